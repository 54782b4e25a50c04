#pragma once

#include <QString>
#include <optional>

// What /api/version says about the newest Quillo.
struct VersionResponse
{
    QString version;
    QString downloadUrl;
    std::optional<QString> releaseNotesUrl;
    std::optional<QString> minSupportedVersion;

    bool operator==(const VersionResponse&) const = default;
};
