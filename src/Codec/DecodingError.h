#pragma once

#include <QString>

// Macro JSON that could not be read. `detail` names the first problem and where it is,
// e.g. `macro 2, action 17: "keyCode" 65536 is out of range 0…65535`.
struct DecodingError
{
    QString detail;

    QString description() const { return detail; }
    bool operator==(const DecodingError&) const = default;
};
