#pragma once

#include <QString>
#include <optional>

// What /api/version says about the newest Quillo.
struct VersionInfo
{
    QString version;
    QString downloadUrl;
    std::optional<QString> releaseNotesUrl;
    std::optional<QString> minSupportedVersion;

    bool operator==(const VersionInfo&) const = default;
};
