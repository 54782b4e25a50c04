#include "Services/Cloud/CloudConfig.h"

#include <QHostAddress>
#include <QSettings>
#include <optional>

#ifndef QUILLO_CLOUD_URL
#error "QUILLO_CLOUD_URL comes from the build (the cache variable of the same name)"
#endif

namespace CloudConfig {

bool isUsable(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

namespace {

std::optional<QUrl> parsed(const QString& text)
{
    if (text.trimmed().isEmpty())
        return std::nullopt;
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!isUsable(url))
        return std::nullopt;
    return url;
}

} // namespace

QUrl defaultBaseURL()
{
    static const QUrl url(QStringLiteral(QUILLO_CLOUD_URL));
    return url;
}

QUrl baseURL(const QSettings& settings)
{
    if (auto url = parsed(qEnvironmentVariable(environmentVariable.toUtf8().constData())))
        return *url;
    if (auto url = parsed(settings.value(settingsKey).toString()))
        return *url;
    return defaultBaseURL();
}

QUrl appending(const QUrl& base, const QString& path)
{
    QUrl url = base;
    QString joined = base.path();
    while (joined.endsWith(QLatin1Char('/')))
        joined.chop(1);
    QString tail = path;
    while (tail.startsWith(QLatin1Char('/')))
        tail.remove(0, 1);
    url.setPath(joined + QLatin1Char('/') + tail);
    return url;
}

bool isPlainHttpToAnotherHost(const QUrl& url)
{
    if (url.scheme() != QLatin1String("http"))
        return false;
    const QString host = url.host();
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
        host.endsWith(QLatin1String(".localhost"), Qt::CaseInsensitive))
        return false;
    const QHostAddress address(host);
    return address.isNull() || !address.isLoopback();
}

} // namespace CloudConfig
