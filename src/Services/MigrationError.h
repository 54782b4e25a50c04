#pragma once

#include <QString>

// A macro of a format version this build cannot use.
struct MigrationError
{
    enum class Kind
    {
        versionTooOld,
        versionTooNew
    };

    Kind kind = Kind::versionTooNew;
    qint64 version = 0;

    QString description() const
    {
        if (kind == Kind::versionTooOld)
            return QStringLiteral(
                       "Macro format v%1 is too old and cannot be migrated. Please re-record.")
                .arg(version);
        return QStringLiteral("Macro format v%1 was created by a newer version of Quillo. Please "
                              "update the app.")
            .arg(version);
    }
    bool operator==(const MigrationError&) const = default;
};
