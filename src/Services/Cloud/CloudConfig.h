#pragma once

#include <QString>
#include <QUrl>

class QSettings;

// Where Quillo Cloud lives: the environment variable QUILLO_CLOUD_BASE_URL, else the
// setting "cloud.baseURL", else the address built in (QUILLO_CLOUD_URL at build time).
// A value that is not a usable URL is skipped. Read afresh on every call.
namespace CloudConfig {

inline const QString environmentVariable = QStringLiteral("QUILLO_CLOUD_BASE_URL");
inline const QString settingsKey = QStringLiteral("cloud.baseURL");

QUrl baseURL(const QSettings& settings);
QUrl defaultBaseURL();
// An absolute http(s) URL with a host; nothing else can be a base URL.
bool isUsable(const QUrl& url);
// `base` with `path` appended as a path component ("/api/backups" onto "https://h/x"
// gives "https://h/x/api/backups").
QUrl appending(const QUrl& base, const QString& path);
// Plain HTTP to a host other than this machine: a token must not travel there.
bool isPlainHttpToAnotherHost(const QUrl& url);

} // namespace CloudConfig
