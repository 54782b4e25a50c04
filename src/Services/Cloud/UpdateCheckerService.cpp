#include "Services/Cloud/UpdateCheckerService.h"

#include "Services/Cloud/CloudConfig.h"
#include "Services/Cloud/CloudResponses.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

#ifndef QUILLO_VERSION
#error "QUILLO_VERSION comes from the build"
#endif

UpdateCheckerService::UpdateCheckerService(QUrl baseURL, QString currentVersion, QObject* parent)
    : QObject(parent), m_baseURL(std::move(baseURL)),
      m_currentVersion(currentVersion.isEmpty() ? QStringLiteral(QUILLO_VERSION) : std::move(currentVersion)),
      m_network(new QNetworkAccessManager(this))
{
}

void UpdateCheckerService::finish(State state)
{
    m_state = std::move(state);
    Q_EMIT stateChanged();
}

void UpdateCheckerService::check()
{
    if (m_state.kind == State::Kind::checking)
        return;
    finish(State{State::Kind::checking});
    QNetworkRequest request(CloudConfig::appending(m_baseURL, QStringLiteral("api/version")));
    request.setRawHeader(QByteArrayLiteral("Accept"), QByteArrayLiteral("application/json"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply* reply = m_network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        auto failed = [](QString message) { return State{State::Kind::failed, {}, {}, std::move(message)}; };
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid()) {
            if (reply->error() == QNetworkReply::NoError)
                return finish(failed(QStringLiteral("Invalid response from server.")));
            if (reply->error() == QNetworkReply::OperationCanceledError)
                return finish(failed(QStringLiteral("The request timed out.")));
            return finish(failed(reply->errorString()));
        }
        const int code = status.toInt();
        if (code < 200 || code > 299)
            return finish(failed(QStringLiteral("Server returned HTTP %1.").arg(code)));
        const auto info = CloudResponses::versionResponse(reply->readAll());
        if (!info)
            return finish(failed(QStringLiteral("Couldn't parse version info: ") + info.error()));
        const QUrl download(info.value().downloadUrl, QUrl::StrictMode);
        if (info.value().downloadUrl.isEmpty() || !download.isValid())
            return finish(failed(QStringLiteral("Invalid download URL in response.")));
        const QString latest = trimmedHorizontally(info.value().version);
        if (isNewer(latest, m_currentVersion))
            return finish(State{State::Kind::available, latest, download, {}});
        finish(State{State::Kind::upToDate, latest, {}, {}});
    });
}

QString UpdateCheckerService::trimmedHorizontally(const QString& text)
{
    auto horizontal = [](QChar c) { return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space; };
    qsizetype begin = 0, end = text.size();
    while (begin < end && horizontal(text[begin]))
        ++begin;
    while (end > begin && horizontal(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

namespace {

QString normalised(const QString& version)
{
    QString text = UpdateCheckerService::trimmedHorizontally(version);
    if (text.startsWith(QLatin1Char('v')))
        text.remove(0, 1);
    return text;
}

bool isDigit(char32_t c)
{
    return c >= U'0' && c <= U'9';
}

// <0, 0, >0 like a three-way comparison; digit runs by value, other characters by code point.
int compareVersions(const std::u32string& a, const std::u32string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            // Leading zeros do not count; then the longer run is larger, else digit by digit.
            std::size_t startA = i, startB = j;
            while (startA + 1 < endA && a[startA] == U'0')
                ++startA;
            while (startB + 1 < endB && b[startB] == U'0')
                ++startB;
            if (endA - startA != endB - startB)
                return endA - startA < endB - startB ? -1 : 1;
            for (std::size_t k = 0; k < endA - startA; ++k)
                if (a[startA + k] != b[startB + k])
                    return a[startA + k] < b[startB + k] ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

} // namespace

bool UpdateCheckerService::isNewer(const QString& a, const QString& b)
{
    return compareVersions(normalised(a).toStdU32String(), normalised(b).toStdU32String()) > 0;
}
