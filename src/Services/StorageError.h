#pragma once

#include "Codec/DecodingError.h"
#include "Codec/EncodingError.h"
#include "Services/FileError.h"
#include "Services/MigrationError.h"

#include <variant>

// Why the library could not be loaded or saved.
struct StorageError
{
    std::variant<FileError, DecodingError, EncodingError, MigrationError> reason;

    QString description() const
    {
        return std::visit([](const auto& r) { return r.description(); }, reason);
    }
    bool operator==(const StorageError&) const = default;
};
