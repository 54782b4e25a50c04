#include "Services/Cloud/CloudAPIClient.h"

#include "Services/Cloud/CloudConfig.h"
#include "Services/Cloud/CloudResponses.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

CloudAPIClient::CloudAPIClient(QUrl baseURL, QNetworkAccessManager& network, TokenProvider tokenProvider,
                               int timeoutMs, QObject* parent)
    : QObject(parent), m_baseURL(std::move(baseURL)), m_network(network), m_tokenProvider(std::move(tokenProvider)),
      m_timeoutMs(timeoutMs)
{
}

QNetworkRequest CloudAPIClient::request(const QString& path, const QString& token) const
{
    QNetworkRequest request(CloudConfig::appending(m_baseURL, path));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
    request.setTransferTimeout(m_timeoutMs);
    // A redirect could carry the token somewhere else: it is answered as what it is.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setRawHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json"));
    request.setRawHeader(QByteArrayLiteral("Accept"), QByteArrayLiteral("application/json"));
    if (!token.isEmpty())
        request.setRawHeader(QByteArrayLiteral("Authorization"), QByteArrayLiteral("Bearer ") + token.toUtf8());
    return request;
}

void CloudAPIClient::send(const QByteArray& method, const QString& path, const QByteArray* body, BodyHandler done,
                          bool withToken)
{
    const std::optional<QString> token =
        !withToken ? std::optional<QString>(QString()) : m_tokenProvider ? m_tokenProvider() : std::nullopt;
    // Failures found before any traffic still arrive later, like every other outcome.
    auto failLater = [this, done](CloudError error) {
        QTimer::singleShot(0, this, [done, error] { done(failure(error)); });
    };
    if (!token)
        return failLater(CloudError::notSignedIn());
    if (CloudConfig::isPlainHttpToAnotherHost(m_baseURL))
        return failLater(CloudError::insecureConnection(m_baseURL.toString()));
    const QNetworkRequest built = request(path, *token);
    QNetworkReply* reply = body ? m_network.sendCustomRequest(built, method, *body)
                                : m_network.sendCustomRequest(built, method);
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > maxResponseBytes || total > maxResponseBytes) {
            reply->setProperty("quilloTooLarge", true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [reply, done] {
        reply->deleteLater();
        done(outcome(*reply));
    });
}

void CloudAPIClient::postEmpty(const QString& path, std::function<void(Status<CloudError>)> done)
{
    send(QByteArrayLiteral("POST"), path, nullptr, [done](Expected<QByteArray, CloudError> body) {
        if (!body)
            return done(failure(body.error()));
        done(ok);
    });
}

Expected<QByteArray, CloudError> CloudAPIClient::outcome(QNetworkReply& reply)
{
    if (reply.property("quilloTooLarge").toBool())
        return failure(CloudError::transport(
            QStringLiteral("The answer is larger than Quillo reads (%1 MB at most).").arg(maxResponseBytes / (1024 * 1024))));
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        switch (reply.error()) {
        case QNetworkReply::NoError:
            return failure(CloudError::invalidResponse());
        case QNetworkReply::OperationCanceledError:
            // Nothing here cancels a request; the transfer time-out does.
            return failure(CloudError::transport(QStringLiteral("The request timed out.")));
        default:
            return failure(CloudError::transport(reply.errorString()));
        }
    }
    const int code = status.toInt();
    const QByteArray data = reply.readAll();
    if (code >= 200 && code <= 299)
        return data;
    if (code == 401)
        return failure(CloudError::unauthorized());
    return failure(CloudError::http(code, CloudResponses::errorMessage(data)));
}
