#pragma once

#include "HttpMessage.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

class AccessLog;
class BodyGate;
class CloudDatabase;
class DeviceCookies;
class HashWorkers;

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
    // How many proxies in front add themselves to X-Forwarded-For: the client is the
    // entry that many from the right (the leftmost entries are whatever the client sent).
    int trustedProxies = 1;
    QString publicUrl; // where people reach it (empty: the address it is asked at)
    // Direct TLS: a PEM certificate chain and its private key.
    QString tlsCertificate;
    QString tlsKey;
    qint64 maxBodyBytes = 64LL * 1024 * 1024;
    int threads = 2;
    // Threads that hash passwords, and how many such requests may wait for them.
    int hashThreads = 1;
    int hashQueue = 16;
    // Parallel connections at most (0: as many as the descriptor limit allows, up to
    // 4096); more wait in the listen backlog until one closes.
    int maxConnections = 0;
    VersionInfo version;
};

// The HTTP side of the service: the API of the application (sign-in check, sign-out,
// backups, version, JSON with errors as {"error": "…"}), a health check and the web pages,
// on a small pool of threads, with password hashing on threads of its own. Parallel
// connections are capped below the descriptor limit, and a watchdog starts the listener
// again should it ever stop accepting. One access-log line per request goes to standard
// error (never a query, a token, a cookie or a password).
class CloudServer
{
public:
    CloudServer(CloudDatabase& database, ServerSettings settings);
    ~CloudServer();

    // Plain HTTP off loopback without a proxy in front is refused, with the reason.
    static QString refusalFor(const ServerSettings& settings);
    // The parallel connections served with `settings` under the descriptor limit `files`.
    static std::size_t connectionCap(const ServerSettings& settings, std::size_t files);
    // How long a connection may take to send one whole request: at least 60 s, and long
    // enough for the largest upload at 64 KiB/s.
    static std::chrono::seconds requestTimeLimit(const ServerSettings& settings);

    // Listens and serves; false and the reason when it cannot.
    bool start(QString* error);
    // Stops taking requests, lets those in flight finish (up to 30 s), then stops.
    void stop();

    // One request, without HTTP: what the API and the pages answer.
    HttpResponse handle(const HttpRequest& request);

private:
    struct Running;
    HttpResponse api(const HttpRequest& request);
    // Whether the database takes a write (checked at most once a second).
    HttpResponse health();
    // POST /api/native/code: a one-time sign-in code for a device token.
    HttpResponse exchangeCode(const HttpRequest& request);
    bool launch(QString* error);
    void watch();

    CloudDatabase& m_database;
    ServerSettings m_settings;
    std::unique_ptr<DeviceCookies> m_devices;
    std::unique_ptr<BodyGate> m_bodyGate;
    std::unique_ptr<HashWorkers> m_hashWorkers;
    std::unique_ptr<AccessLog> m_log;
    std::mutex m_runningMutex;
    std::unique_ptr<Running> m_running;
    std::atomic<int> m_inFlight{0};
    std::atomic<bool> m_stopping{false};
    std::thread m_watchdog;
    std::mutex m_healthMutex;
    std::chrono::steady_clock::time_point m_healthCheckedAt{};
    HttpResponse m_healthAnswer;
};
