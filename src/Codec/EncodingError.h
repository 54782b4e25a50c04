#pragma once

#include <QString>

// Macros that have no JSON form (a number that is not finite).
struct EncodingError
{
    QString detail;

    QString description() const { return detail; }
    bool operator==(const EncodingError&) const = default;
};
