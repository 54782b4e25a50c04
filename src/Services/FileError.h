#pragma once

#include <QString>

// A file that could not be read, written or moved; `detail` says which and why.
struct FileError
{
    QString detail;

    QString description() const { return detail; }
    bool operator==(const FileError&) const = default;
};
