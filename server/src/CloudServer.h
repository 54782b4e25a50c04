#pragma once

#include "HttpMessage.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>

class CloudDatabase;

// What `GET /api/version` answers.
struct VersionInfo {
    QString version;
    QString downloadUrl;
    QString releaseNotesUrl;
    QString minSupportedVersion;
};

struct ServerSettings {
    QString address = QStringLiteral("127.0.0.1");
    quint16 port = 8787;
    // A TLS proxy in front: plain HTTP may then listen off loopback, and the proxy's
    // X-Forwarded-For and X-Forwarded-Proto are believed.
    bool behindProxy = false;
    QString publicUrl; // where people reach it (empty: the address it is asked at)
    // Direct TLS: a PEM certificate chain and its private key.
    QString tlsCertificate;
    QString tlsKey;
    qint64 maxBodyBytes = 64LL * 1024 * 1024;
    int threads = 2;
    VersionInfo version;
};

// The HTTP side of the service on a small fixed pool of threads: the API of the
// application (sign-in check, sign-out, backups, version, JSON with errors as
// {"error": "…"}), a health check and the web pages. One access-log line per request
// goes to standard error (never a query, a token, a cookie or a password).
class CloudServer
{
public:
    CloudServer(CloudDatabase& database, ServerSettings settings);
    ~CloudServer();

    // Plain HTTP off loopback without a proxy in front is refused, with the reason.
    static QString refusalFor(const ServerSettings& settings);

    // Listens and serves; false and the reason when it cannot.
    bool start(QString* error);
    // Stops taking requests, lets those in flight finish (up to 30 s), then stops.
    void stop();

    // One request, without HTTP: what the API and the pages answer.
    HttpResponse handle(const HttpRequest& request);

private:
    struct Running;
    HttpResponse api(const HttpRequest& request);

    CloudDatabase& m_database;
    ServerSettings m_settings;
    std::unique_ptr<Running> m_running;
    std::atomic<int> m_inFlight{0};
    std::atomic<bool> m_stopping{false};
};
