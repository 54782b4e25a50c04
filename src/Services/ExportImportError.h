#pragma once

#include "Services/FileError.h"

#include <QString>
#include <variant>

// Why a macro file could not be written or read.
struct ExportImportError {
    enum class Kind { decodingFailed, encodingFailed, fileSystem };

    Kind kind = Kind::decodingFailed;
    QString message; // what went wrong (decoding) or the file error's description

    static ExportImportError decodingFailed(const QString& message) { return {Kind::decodingFailed, message}; }
    static ExportImportError encodingFailed() { return {Kind::encodingFailed, {}}; }
    static ExportImportError fileSystem(const FileError& error) { return {Kind::fileSystem, error.description()}; }

    QString description() const
    {
        switch (kind) {
        case Kind::decodingFailed:
            return QStringLiteral("Failed to import: ") + message;
        case Kind::encodingFailed:
            return QStringLiteral("Failed to encode macro data.");
        case Kind::fileSystem:
            return message;
        }
        return message;
    }
    bool operator==(const ExportImportError&) const = default;
};
