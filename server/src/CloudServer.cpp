#include "CloudServer.h"

#include "AccessLog.h"
#include "BodyGate.h"
#include "Backups.h"
#include "CloudDatabase.h"
#include "DeviceCookies.h"
#include "DeviceTokens.h"
#include "HashWorkers.h"
#include "SignInCodes.h"
#include "SignInLimiter.h"
#include "WebPages.h"

#include <algorithm>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSqlError>
#include <QTcpSocket>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QThread>

#include <restinio/all.hpp>
#include <restinio/tls.hpp>

#include "GatedParser.h"

#include <cstdio>
#include <sys/resource.h>

namespace {

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QJsonValue orNull(const QString& text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

const char* reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 302: return "Found";
    case 303: return "See Other";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 411: return "Length Required";
    case 413: return "Payload Too Large";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    case 507: return "Insufficient Storage";
    default: return "Internal Server Error";
    }
}

// Counts the connections the HTTP layer holds and those it accepted (the watchdog sees
// from the second whether the listener still accepts).
struct ConnectionCount {
    static inline std::atomic<long> open{0};
    static inline std::atomic<long> accepted{0};

    void state_changed(const restinio::connection_state::notice_t& notice) noexcept
    {
        if (restinio::holds_alternative<restinio::connection_state::accepted_t>(notice.cause())) {
            ++open;
            ++accepted;
        } else if (restinio::holds_alternative<restinio::connection_state::closed_t>(notice.cause())) {
            --open;
        }
    }
};

// The default traits, with a cap on parallel connections (those over it wait in the
// listen backlog instead of taking descriptors), the count above and the parser that
// asks the body gate.
struct PlainTraits : restinio::default_traits_t {
    static constexpr bool use_connection_count_limiter = true;
    using connection_state_listener_t = ConnectionCount;
    using http_methods_mapper_t = GatedHttpMethods;
};
struct TlsTraits : restinio::default_tls_traits_t {
    static constexpr bool use_connection_count_limiter = true;
    using connection_state_listener_t = ConnectionCount;
    using http_methods_mapper_t = GatedHttpMethods;
};

// Starts a server of `Traits` on its thread pool; `configure` adds what that kind needs.
template <typename Traits, typename Handler, typename Configure>
restinio::running_server_handle_t<Traits> launchWith(const ServerSettings& options,
                                                      const restinio::incoming_http_msg_limits_t& limits, Handler handler,
                                                      std::size_t threads, std::size_t maxConnections, Configure configure)
{
    restinio::server_settings_t<Traits> settings;
    settings.address(options.address.toStdString())
        .port(options.port)
        .incoming_http_msg_limits(limits)
        .max_parallel_connections(maxConnections)
        .connection_state_listener(std::make_shared<ConnectionCount>())
        .read_next_http_message_timelimit(CloudServer::requestTimeLimit(options))
        .request_handler(std::move(handler));
    configure(settings);
    return restinio::run_async<Traits>(restinio::own_io_context(), std::move(settings), threads);
}

// The descriptor limit this process runs under.
std::size_t fileLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1024;
    return std::size_t(limit.rlim_cur);
}

} // namespace

// The server runs with plain sockets or, given a certificate, with TLS.
struct CloudServer::Running {
    restinio::running_server_handle_t<PlainTraits> plain;
    restinio::running_server_handle_t<TlsTraits> tls;

    void stop()
    {
        if (plain) {
            plain->stop();
            plain->wait();
        }
        if (tls) {
            tls->stop();
            tls->wait();
        }
    }
};

CloudServer::CloudServer(CloudDatabase& database, ServerSettings settings)
    : m_database(database), m_settings(std::move(settings))
{
}

CloudServer::~CloudServer()
{
    stop();
}

QString CloudServer::refusalFor(const ServerSettings& settings)
{
    const QHostAddress address(settings.address == QLatin1String("localhost") ? QStringLiteral("127.0.0.1")
                                                                              : settings.address);
    if (address.isNull())
        return QStringLiteral("--listen needs an IP address and port, such as 127.0.0.1:8787");
    if (!address.isLoopback() && !settings.behindProxy && settings.tlsCertificate.isEmpty())
        return QStringLiteral("plain HTTP is only served on a loopback address: passwords and tokens would cross "
                              "the network unencrypted. Give --tls-cert and --tls-key, put a TLS proxy in front "
                              "and pass --behind-proxy, or listen on 127.0.0.1");
    if (settings.tlsCertificate.isEmpty() != settings.tlsKey.isEmpty())
        return QStringLiteral("--tls-cert and --tls-key go together");
    return {};
}

std::size_t CloudServer::connectionCap(const ServerSettings& settings, std::size_t files)
{
    // Room left for the database, the log and the listener itself.
    const std::size_t reserve = 64;
    const std::size_t room = files > reserve * 2 ? files - reserve : files / 2;
    const std::size_t wanted = settings.maxConnections > 0 ? std::size_t(settings.maxConnections) : 4096;
    return std::max<std::size_t>(1, std::min(wanted, room));
}

std::chrono::seconds CloudServer::requestTimeLimit(const ServerSettings& settings)
{
    return std::chrono::seconds(std::max<qint64>(60, settings.maxBodyBytes / (64 * 1024) + 10));
}

HttpResponse CloudServer::handle(const HttpRequest& request)
{
    const bool isApi = request.path == "/healthz" || request.path.startsWith("/api/");
    if (!isApi) {
        if (auto page = WebPages(m_database, *m_devices).handle(request))
            return *page;
    }
    return api(request);
}

HttpResponse CloudServer::health()
{
    // A write, as every request that changes something needs: a read-only or full
    // database is not healthy. Checked at most once a second.
    std::lock_guard lock(m_healthMutex);
    const auto now = std::chrono::steady_clock::now();
    if (m_healthAnswer.status != 0 && now - m_healthCheckedAt < std::chrono::seconds(1))
        return m_healthAnswer;
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("INSERT INTO health (id, at) VALUES (1, ?) ON CONFLICT (id) DO UPDATE SET at = excluded.at"));
    query.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    if (query.exec()) {
        m_healthAnswer = HttpResponse::json(200, json(QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")}}));
    } else {
        const QString reason = m_database.notWritableReason();
        m_healthAnswer = HttpResponse::error(
            503, QStringLiteral("the database does not take writes: ") +
                     (reason.isEmpty() ? query.lastError().text().left(300) : reason));
    }
    m_healthCheckedAt = now;
    return m_healthAnswer;
}

HttpResponse CloudServer::api(const HttpRequest& request)
{
    const QByteArray& method = request.method;
    const QByteArray& path = request.path;
    const QByteArray authorization = request.header("authorization");
    const QByteArray& body = request.body;
    struct Route {
        const char* path;
        const char* method;
    };
    static const Route routes[] = {{"/healthz", "GET"},
                                   {"/api/version", "GET"},
                                   {"/api/native/me", "GET"},
                                   {"/api/native/code", "POST"},
                                   {"/api/native/sign-out", "POST"},
                                   {"/api/backups", "GET"},
                                   {"/api/backups", "POST"},
                                   {"/api/macros/*/revisions", "GET"},
                                   {"/api/revisions/*", "GET"}};
    // A "*" stands for one id: letters, digits and hyphens, as the service and the
    // application make them.
    QByteArray pathId;
    auto matches = [&](const char* pattern) {
        const QByteArray p(pattern);
        const qsizetype star = p.indexOf('*');
        if (star < 0)
            return path == p;
        const QByteArray head = p.left(star), tail = p.mid(star + 1);
        if (!path.startsWith(head) || !path.endsWith(tail) || path.size() <= head.size() + tail.size())
            return false;
        const QByteArray id = path.mid(head.size(), path.size() - head.size() - tail.size());
        if (id.size() > 100 || !std::all_of(id.begin(), id.end(), [](char c) {
                return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
            }))
            return false;
        pathId = id;
        return true;
    };
    const Route* route = nullptr;
    QStringList allowed;
    for (const Route& r : routes) {
        if (!matches(r.path))
            continue;
        allowed << QLatin1String(r.method);
        if (method == r.method)
            route = &r;
    }
    if (allowed.isEmpty())
        return HttpResponse::error(404, QStringLiteral("Not found"));
    if (!route)
        return HttpResponse::error(405, QStringLiteral("%1 takes %2 only").arg(QString::fromLatin1(path), allowed.join(QStringLiteral(" or "))));

    if (path == "/healthz")
        return health();
    if (path == "/api/version") {
        const VersionInfo& v = m_settings.version;
        return HttpResponse::json(200, json(QJsonObject{{QStringLiteral("version"), v.version},
                                                        {QStringLiteral("downloadUrl"), v.downloadUrl},
                                                        {QStringLiteral("releaseNotesUrl"), v.releaseNotesUrl},
                                                        {QStringLiteral("minSupportedVersion"), v.minSupportedVersion}}));
    }

    if (path == "/api/native/code")
        return exchangeCode(request);

    // Everything else needs a device token.
    const QString token = DeviceTokens::bearerToken(authorization);
    if (token.isEmpty())
        return HttpResponse::error(401, QStringLiteral("Sign in first: the request carries no token"));
    DeviceTokens tokens(m_database);
    const auto user = tokens.authenticate(token);
    if (!user)
        return HttpResponse::error(401, QStringLiteral("The token is not valid (unknown or signed out)"));

    if (path == "/api/native/me")
        return HttpResponse::json(200, json(QJsonObject{{QStringLiteral("user"),
                                                         QJsonObject{{QStringLiteral("uid"), user->uid},
                                                                     {QStringLiteral("email"), orNull(user->email)},
                                                                     {QStringLiteral("displayName"), orNull(user->displayName)},
                                                                     {QStringLiteral("photoURL"), orNull(user->photoURL)}}}}));
    if (path == "/api/native/sign-out") {
        tokens.revoke(token);
        return HttpResponse::json(204, {});
    }
    Backups backups(m_database);
    if (method == "GET") {
        const QString id = QString::fromLatin1(pathId);
        const Backups::Reply reply = path == "/api/backups"            ? backups.list(user->uid)
                                     : path.startsWith("/api/macros/") ? backups.revisionsOfMacro(user->uid, id)
                                                                       : backups.revision(user->uid, id);
        return HttpResponse::json(reply.status, reply.body);
    }
    // POST /api/backups
    if (body.size() > m_settings.maxBodyBytes)
        return HttpResponse::error(413, QStringLiteral("The backup is larger than this service takes (%1 bytes at most)")
                              .arg(m_settings.maxBodyBytes));
    const Backups::Reply reply = backups.upload(user->uid, body);
    return HttpResponse::json(reply.status, reply.body);
}

HttpResponse CloudServer::exchangeCode(const HttpRequest& request)
{
    // Guesses are counted per address before anything else: 32^8 codes are many, but
    // not so many that they may be tried without end.
    SignInLimiter limiter(m_database);
    const auto limited = limiter.codeGuessesLimited(request.clientAddress);
    if (!limited)
        return HttpResponse::error(503, QStringLiteral("Sign-in codes cannot be checked just now; try again shortly"));
    if (*limited) {
        HttpResponse response = HttpResponse::error(
            429, QStringLiteral("Too many codes that were not valid; wait %1 minutes and start the sign-in again")
                     .arg(SignInLimiter::windowMinutes));
        response.headers.append({"Retry-After", QByteArray::number(SignInLimiter::windowMinutes * 60)});
        return response;
    }
    const QJsonObject body = QJsonDocument::fromJson(request.body).object();
    const SignInCodes::Exchange exchanged = SignInCodes(m_database).exchange(body.value(QStringLiteral("code")).toString());
    switch (exchanged.outcome) {
    case SignInCodes::Outcome::exchanged:
        return HttpResponse::json(200, json(QJsonObject{{QStringLiteral("token"), exchanged.token}}));
    case SignInCodes::Outcome::notValid:
        if (!limiter.recordCodeGuess(request.clientAddress))
            return HttpResponse::error(503, QStringLiteral("Sign-in codes cannot be checked just now; try again shortly"));
        return HttpResponse::error(400, QStringLiteral("That code is not valid: codes work once, within %1 minutes of "
                                                       "the sign-in; start the sign-in again for a new one")
                                            .arg(SignInCodes::lifetimeMinutes));
    case SignInCodes::Outcome::failed:
        break;
    }
    return HttpResponse::error(exchanged.status, QStringLiteral("The sign-in code could not be exchanged; try again shortly"));
}

bool CloudServer::start(QString* error)
{
    if (const QString refusal = refusalFor(m_settings); !refusal.isEmpty()) {
        *error = refusal;
        return false;
    }
    const auto key = DeviceCookies::loadKey(m_database, error);
    if (!key)
        return false;
    m_devices = std::make_unique<DeviceCookies>(*key);
    m_log = std::make_unique<AccessLog>();
    m_bodyGate = std::make_unique<BodyGate>(m_database, m_settings.maxBodyBytes);
    const BodyGate* none = nullptr;
    if (!activeBodyGate.compare_exchange_strong(none, m_bodyGate.get())) {
        *error = QStringLiteral("another quillo-cloud service already runs in this process");
        m_bodyGate.reset();
        return false;
    }
    m_hashWorkers = std::make_unique<HashWorkers>(std::size_t(std::max(1, m_settings.hashThreads)),
                                                  std::size_t(std::max(1, m_settings.hashQueue)));
    if (!launch(error)) {
        activeBodyGate = nullptr;
        return false;
    }
    m_watchdog = std::thread([this] { watch(); });
    return true;
}

namespace {

// A response that must not be sent: a header that would split it.
bool headersSafe(const HttpResponse& response)
{
    for (const auto& [name, value] : response.headers)
        for (const char c : {'\r', '\n', '\0'})
            if (value.contains(c) || name.contains(c) || name.contains(':'))
                return false;
    return true;
}

// What comes to our handler, as the routes see it. Behind a proxy, the client is the
// entry the trusted proxies added (counted from the right; the left is the client's own).
HttpRequest messageOf(const restinio::request_t& request, const ServerSettings& settings)
{
    const auto& header = request.header();
    HttpRequest message;
    message.method = QByteArray(header.method().c_str());
    message.path = QByteArray::fromStdString(std::string(header.path()));
    message.query = QByteArray::fromStdString(std::string(header.query()));
    for (const auto& field : header)
        message.headers.insert(QByteArray::fromStdString(std::string(field.name())).toLower(),
                               QByteArray::fromStdString(std::string(field.value())));
    message.body = QByteArray::fromStdString(request.body());
    message.clientAddress = QString::fromStdString(request.remote_endpoint().address().to_string());
    if (settings.behindProxy) {
        QList<QByteArray> hops = message.header("x-forwarded-for").split(',');
        const int trusted = std::max(1, settings.trustedProxies);
        if (hops.size() >= trusted) {
            const QByteArray client = hops[hops.size() - trusted].trimmed();
            if (!client.isEmpty() && client.size() <= 64)
                message.clientAddress = QString::fromLatin1(client);
        }
        message.secure = message.header("x-forwarded-proto").trimmed().toLower() == "https";
    }
    if (!settings.tlsCertificate.isEmpty() || settings.publicUrl.startsWith(QLatin1String("https://")))
        message.secure = true; // people reach it over HTTPS, whatever the hop in between
    return message;
}

template <typename Builder>
void addHeaders(Builder& reply, const HttpResponse& response)
{
    reply.append_header("Content-Security-Policy",
                        "default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self' quillo:; "
                        "frame-ancestors 'none'");
    reply.append_header("X-Content-Type-Options", "nosniff");
    reply.append_header("Referrer-Policy", "no-referrer");
    reply.append_header(restinio::http_field::cache_control, "no-store");
    for (const auto& [name, value] : response.headers)
        reply.append_header(name.toStdString(), value.toStdString());
    if (response.status != 204)
        reply.append_header(restinio::http_field::content_type, response.contentType.toStdString());
}

} // namespace

bool CloudServer::launch(QString* error)
{
    // Sends a response: from memory, or (a download) from the database a piece at a time
    // while the client takes it, so that a client that never reads holds one piece.
    auto respond = [this](const restinio::request_handle_t& request, const HttpRequest& message, HttpResponse response,
                          bool head, const QElapsedTimer& timer) {
        if (!headersSafe(response)) {
            m_log->write("refused to send a response with a line break or NUL in a header (a fault of the service)");
            response = HttpResponse::error(500, QStringLiteral("The service made a response it may not send"));
        }
        const restinio::http_status_line_t status{restinio::http_status_code_t{std::uint16_t(response.status)},
                                                  reason(response.status)};
        const qint64 size = response.stream ? response.stream->size : response.body.size();
        if (response.stream || head) {
            using Output = restinio::response_builder_t<restinio::user_controlled_output_t>;
            auto reply = std::make_shared<Output>(request->create_response<restinio::user_controlled_output_t>(status));
            addHeaders(*reply, response);
            if (response.closeConnection)
                reply->connection_close();
            reply->set_content_length(response.status == 204 ? 0 : std::size_t(size));
            if (head || !response.stream || size == 0) {
                reply->done();
            } else {
                auto offset = std::make_shared<qint64>(0);
                auto next = std::make_shared<std::function<void()>>();
                *next = [this, reply, offset, next, sha = response.stream->sha256, size]() {
                    constexpr qint64 piece = 256 * 1024;
                    const auto chunk = Backups(m_database).chunk(sha, *offset, std::min(piece, size - *offset));
                    if (!chunk || chunk->isEmpty()) {
                        m_log->write("a download ended early: its bytes could not be read");
                        reply->done(); // the connection closes short of its length: the client sees it failed
                        *next = nullptr;
                        return;
                    }
                    *offset += chunk->size();
                    reply->append_body(chunk->toStdString());
                    if (*offset >= size) {
                        reply->done();
                        *next = nullptr;
                        return;
                    }
                    reply->flush([next](const restinio::asio_ns::error_code& ec) {
                        if (!ec && *next)
                            (*next)();
                        else
                            *next = nullptr;
                    });
                };
                (*next)();
            }
        } else {
            auto reply = request->create_response(status);
            addHeaders(reply, response);
            if (response.closeConnection)
                reply.connection_close();
            if (response.status != 204)
                reply.set_body(response.body.toStdString());
            reply.done();
        }
        // Method, path (never the query), status, milliseconds, bytes.
        m_log->write(AccessLog::printable(message.method, 16) + ' ' + AccessLog::printable(message.path) + ' ' +
                     QByteArray::number(response.status) + ' ' +
                     QByteArray::number(double(timer.nsecsElapsed()) / 1e6, 'f', 1) + "ms " +
                     QByteArray::number(size));
    };
    auto handler = [this, respond](restinio::request_handle_t request) {
        QElapsedTimer timer;
        timer.start();
        ++m_inFlight;
        HttpRequest message = messageOf(*request, m_settings);
        // HEAD is answered like GET, without the body.
        const bool head = message.method == "HEAD";
        if (head)
            message.method = "GET";
        // Refused at its headers: answered without the body, which is never read.
        const auto& fields = request->header();
        const int refused = std::atoi(fields.get_field_or(refusedStatusField, "0").c_str());
        // Sign-in and sign-up hash a password: on threads of their own, so that nothing
        // else waits behind them; when those are all taken, at once a 503.
        const bool hashes = refused == 0 && message.method == "POST" && (message.path == "/login" || message.path == "/signup");
        auto answer = [this, respond, request, head, timer, refused](const HttpRequest& m) {
            HttpResponse response;
            try {
                if (refused != 0) {
                    response = HttpResponse::error(refused, QString::fromStdString(request->header().get_field_or(refusedMessageField, "")));
                    response.closeConnection = true; // the body may be left unread
                } else {
                    response = m_stopping ? HttpResponse::error(503, QStringLiteral("The service is stopping")) : handle(m);
                }
            } catch (const std::bad_alloc&) {
                response = HttpResponse::error(503, QStringLiteral("The service is out of memory"));
            } catch (const std::exception&) {
                response = HttpResponse::error(500, QStringLiteral("The service failed on this request"));
            }
            respond(request, m, std::move(response), head, timer);
            --m_inFlight;
        };
        if (hashes) {
            auto shared = std::make_shared<HttpRequest>(std::move(message));
            if (!m_hashWorkers->submit([answer, shared] { answer(*shared); })) {
                HttpResponse busy = HttpResponse::html(503, QStringLiteral("<p>Too many sign-ins at once; try again in a moment.</p>"));
                busy.headers.append({QByteArray("Retry-After"), QByteArray("2")});
                respond(request, *shared, std::move(busy), head, timer);
                --m_inFlight;
            }
        } else {
            answer(message);
        }
        return restinio::request_accepted();
    };
    try {
        // A body larger than the largest upload is refused by the HTTP layer itself.
        const auto limits = restinio::incoming_http_msg_limits_t{}.max_body_size(
            std::uint64_t(std::max<qint64>(m_settings.maxBodyBytes, WebPages::maxFormBytes)));
        const std::size_t threads = std::size_t(std::max(1, m_settings.threads));
        const std::size_t cap = connectionCap(m_settings, fileLimit());
        auto running = std::make_unique<Running>();
        if (m_settings.tlsCertificate.isEmpty()) {
            running->plain = launchWith<PlainTraits>(m_settings, limits, std::move(handler), threads, cap, [](auto&) {});
        } else {
            asio::ssl::context context{asio::ssl::context::tls_server};
            context.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                                asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                                asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use);
            context.use_certificate_chain_file(m_settings.tlsCertificate.toStdString());
            context.use_private_key_file(m_settings.tlsKey.toStdString(), asio::ssl::context::pem);
            running->tls = launchWith<TlsTraits>(m_settings, limits, std::move(handler), threads, cap,
                                                 [&context](auto& settings) { settings.tls_context(std::move(context)); });
        }
        std::lock_guard lock(m_runningMutex);
        m_running = std::move(running);
    } catch (const std::exception& e) {
        *error = QStringLiteral("cannot serve on %1:%2: %3")
                     .arg(m_settings.address)
                     .arg(m_settings.port)
                     .arg(QString::fromLocal8Bit(e.what()));
        return false;
    }
    return true;
}

void CloudServer::watch()
{
    // The HTTP layer stops accepting for good after an accept error (a descriptor limit
    // reached by a burst of connections): each second, a connection of our own must be
    // accepted while there is room for it; if it is not, the listener starts again.
    const std::size_t cap = connectionCap(m_settings, fileLimit());
    const QString host = m_settings.address == QLatin1String("0.0.0.0") ? QStringLiteral("127.0.0.1")
                         : m_settings.address == QLatin1String("::")    ? QStringLiteral("::1")
                                                                          : m_settings.address;
    int missed = 0;
    while (!m_stopping) {
        for (int i = 0; i < 20 && !m_stopping; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (m_stopping || std::size_t(ConnectionCount::open.load()) + 2 >= cap) {
            missed = 0;
            continue;
        }
        const long before = ConnectionCount::accepted.load();
        QTcpSocket probe;
        probe.connectToHost(host, m_settings.port);
        if (!probe.waitForConnected(1000))
            continue; // not even the backlog: the address itself is gone or busy
        bool accepted = false;
        for (int i = 0; i < 100 && !accepted && !m_stopping; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            accepted = ConnectionCount::accepted.load() != before;
        }
        probe.abort();
        missed = accepted ? 0 : missed + 1;
        if (missed < 2 || m_stopping)
            continue;
        m_log->write("the listener stopped accepting connections; starting it again");
        {
            std::lock_guard lock(m_runningMutex);
            if (m_stopping)
                break;
            if (m_running)
                m_running->stop();
            m_running.reset();
        }
        QString error;
        if (!launch(&error))
            m_log->write("the listener could not start again: " + AccessLog::printable(error.toUtf8()));
        missed = 0;
    }
}

void CloudServer::stop()
{
    if (m_stopping.exchange(true))
        return;
    if (m_watchdog.joinable())
        m_watchdog.join();
    // Requests in flight are answered before the threads go.
    for (int i = 0; i < 3000 && m_inFlight.load() > 0; ++i)
        QThread::msleep(10);
    QThread::msleep(20); // the last answers leave the sockets
    {
        std::lock_guard lock(m_runningMutex);
        if (m_running)
            m_running->stop();
        m_running.reset();
    }
    m_hashWorkers.reset();
    m_log.reset();
    if (m_bodyGate) {
        const BodyGate* ours = m_bodyGate.get();
        activeBodyGate.compare_exchange_strong(ours, nullptr);
    }
}
