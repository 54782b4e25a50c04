#pragma once

#include "Models/Expected.h"
#include "Services/Cloud/CloudError.h"

#include <QByteArray>
#include <QNetworkRequest>
#include <QObject>
#include <QUrl>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// JSON over HTTP to Quillo Cloud: every request carries the JSON headers and the
// bearer token of whoever is signed in, times out after a minute without progress,
// and comes back as its body or a CloudError. Main thread; callbacks run there and
// never after the client is gone. Several requests may be in flight at once.
class CloudAPIClient : public QObject
{
    Q_OBJECT
public:
    using TokenProvider = std::function<std::optional<QString>()>;
    template <typename T> using Decoder = Expected<T, QString> (*)(const QByteArray&);
    template <typename T> using Handler = std::function<void(Expected<T, CloudError>)>;
    static constexpr int defaultTimeoutMs = 60'000;
    // Answers beyond this are not read (a revision of a 10,000-action macro is ~2 MB).
    static constexpr qint64 maxResponseBytes = 64 * 1024 * 1024;

    CloudAPIClient(QUrl baseURL, QNetworkAccessManager& network, TokenProvider tokenProvider,
                   int timeoutMs = defaultTimeoutMs, QObject* parent = nullptr);

    const QUrl& baseURL() const { return m_baseURL; }
    // A new session may belong to another service (the address changed while signed out).
    void setBaseURL(const QUrl& url) { m_baseURL = url; }

    template <typename T> void get(const QString& path, Decoder<T> decode, Handler<T> done)
    {
        send(QByteArrayLiteral("GET"), path, nullptr, decoded(decode, std::move(done)));
    }
    // `body`: JSON already written (the caller's writer decides its layout).
    template <typename T> void post(const QString& path, const QByteArray& body, Decoder<T> decode, Handler<T> done)
    {
        send(QByteArrayLiteral("POST"), path, &body, decoded(decode, std::move(done)));
    }
    // A request that needs no sign-in (a sign-in code being exchanged): sent without
    // the token.
    template <typename T>
    void postWithoutToken(const QString& path, const QByteArray& body, Decoder<T> decode, Handler<T> done)
    {
        send(QByteArrayLiteral("POST"), path, &body, decoded(decode, std::move(done)), false);
    }
    // The answer's body is not read.
    void postEmpty(const QString& path, std::function<void(Status<CloudError>)> done);

    // The request as it would be sent with `token` (none when empty).
    QNetworkRequest request(const QString& path, const QString& token) const;

private:
    using BodyHandler = std::function<void(Expected<QByteArray, CloudError>)>;

    template <typename T> static BodyHandler decoded(Decoder<T> decode, Handler<T> done)
    {
        return [decode, done = std::move(done)](Expected<QByteArray, CloudError> body) {
            if (!body)
                return done(failure(body.error()));
            auto value = decode(body.value());
            if (!value)
                return done(failure(CloudError::decoding(value.error())));
            done(std::move(value).value());
        };
    }

    void send(const QByteArray& method, const QString& path, const QByteArray* body, BodyHandler done,
              bool withToken = true);
    static Expected<QByteArray, CloudError> outcome(QNetworkReply& reply);

    QUrl m_baseURL;
    QNetworkAccessManager& m_network;
    TokenProvider m_tokenProvider;
    int m_timeoutMs;
};
