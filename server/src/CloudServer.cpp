#include "CloudServer.h"

#include "Backups.h"
#include "CloudDatabase.h"
#include "DeviceTokens.h"
#include "WebPages.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QThread>

#include <restinio/all.hpp>
#include <restinio/tls.hpp>

#include <cstdio>

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
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 429: return "Too Many Requests";
    case 503: return "Service Unavailable";
    default: return "Internal Server Error";
    }
}

// Starts a server of `Traits` on its thread pool; `configure` adds what that kind needs.
template <typename Traits, typename Handler, typename Configure>
restinio::running_server_handle_t<Traits> launch(const ServerSettings& options,
                                                  const restinio::incoming_http_msg_limits_t& limits, Handler handler,
                                                  std::size_t threads, Configure configure)
{
    restinio::server_settings_t<Traits> settings;
    settings.address(options.address.toStdString())
        .port(options.port)
        .incoming_http_msg_limits(limits)
        .request_handler(std::move(handler));
    configure(settings);
    return restinio::run_async<Traits>(restinio::own_io_context(), std::move(settings), threads);
}

} // namespace

// The server runs with plain sockets or, given a certificate, with TLS.
struct CloudServer::Running {
    restinio::running_server_handle_t<restinio::default_traits_t> plain;
    restinio::running_server_handle_t<restinio::default_tls_traits_t> tls;

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

HttpResponse CloudServer::handle(const HttpRequest& request)
{
    const bool isApi = request.path == "/healthz" || request.path.startsWith("/api/");
    if (!isApi) {
        if (auto page = WebPages(m_database).handle(request))
            return *page;
    }
    return api(request);
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
                                   {"/api/native/sign-out", "POST"},
                                   {"/api/backups", "POST"}};
    const Route* route = nullptr;
    for (const Route& r : routes)
        if (path == r.path)
            route = &r;
    if (!route)
        return HttpResponse::error(404, QStringLiteral("Not found"));
    if (method != route->method)
        return HttpResponse::error(405, QStringLiteral("%1 takes %2 only").arg(QString::fromLatin1(path), QLatin1String(route->method)));

    if (path == "/healthz") {
        QSqlQuery query(m_database.connection());
        if (!query.exec(QStringLiteral("SELECT 1")))
            return HttpResponse::error(503, QStringLiteral("the database does not answer"));
        return HttpResponse::json(200, json(QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")}}));
    }
    if (path == "/api/version") {
        const VersionInfo& v = m_settings.version;
        return HttpResponse::json(200, json(QJsonObject{{QStringLiteral("version"), v.version},
                                                        {QStringLiteral("downloadUrl"), v.downloadUrl},
                                                        {QStringLiteral("releaseNotesUrl"), v.releaseNotesUrl},
                                                        {QStringLiteral("minSupportedVersion"), v.minSupportedVersion}}));
    }

    // Everything else needs a device token.
    QString token;
    if (authorization.startsWith("Bearer "))
        token = QString::fromLatin1(authorization.mid(7)).trimmed();
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
    // /api/backups
    if (body.size() > m_settings.maxBodyBytes)
        return HttpResponse::error(413, QStringLiteral("The backup is larger than this service takes (%1 bytes at most)")
                              .arg(m_settings.maxBodyBytes));
    const Backups::Reply reply = Backups(m_database).upload(user->uid, body);
    return HttpResponse::json(reply.status, reply.body);
}

bool CloudServer::start(QString* error)
{
    if (const QString refusal = refusalFor(m_settings); !refusal.isEmpty()) {
        *error = refusal;
        return false;
    }
    auto handler = [this](const restinio::request_handle_t& request) {
        QElapsedTimer timer;
        timer.start();
        ++m_inFlight;
        const auto& header = request->header();
        HttpRequest message;
        message.method = QByteArray(header.method().c_str());
        message.path = QByteArray::fromStdString(std::string(header.path()));
        message.query = QByteArray::fromStdString(std::string(header.query()));
        for (const auto& field : header)
            message.headers.insert(QByteArray::fromStdString(std::string(field.name())).toLower(),
                                   QByteArray::fromStdString(std::string(field.value())));
        message.body = QByteArray::fromStdString(request->body());
        message.clientAddress = QString::fromStdString(request->remote_endpoint().address().to_string());
        if (m_settings.behindProxy) {
            // Only the proxy in front can have set these.
            const QByteArray forwardedFor = message.header("x-forwarded-for").split(',').value(0).trimmed();
            if (!forwardedFor.isEmpty())
                message.clientAddress = QString::fromLatin1(forwardedFor);
            message.secure = message.header("x-forwarded-proto").trimmed().toLower() == "https";
        }
        if (!m_settings.tlsCertificate.isEmpty() || m_settings.publicUrl.startsWith(QLatin1String("https://")))
            message.secure = true; // people reach it over HTTPS, whatever the hop in between
        const HttpResponse response = m_stopping ? HttpResponse::error(503, QStringLiteral("The service is stopping"))
                                                 : handle(message);
        auto reply = request->create_response(
            restinio::http_status_line_t{restinio::http_status_code_t{std::uint16_t(response.status)},
                                         reason(response.status)});
        reply.append_header("Content-Security-Policy",
                            "default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self' quillo:; "
                            "frame-ancestors 'none'");
        reply.append_header("X-Content-Type-Options", "nosniff");
        reply.append_header("Referrer-Policy", "no-referrer");
        reply.append_header(restinio::http_field::cache_control, "no-store");
        for (const auto& [name, value] : response.headers)
            reply.append_header(name.toStdString(), value.toStdString());
        if (response.status != 204) {
            reply.append_header(restinio::http_field::content_type, response.contentType.toStdString());
            reply.set_body(response.body.toStdString());
        }
        reply.done();
        // Method, path (never the query), status, milliseconds, bytes.
        std::fprintf(stderr, "%s %s %d %.1fms %lld\n", message.method.constData(), message.path.constData(), response.status,
                     double(timer.nsecsElapsed()) / 1e6, static_cast<long long>(response.body.size()));
        --m_inFlight;
        return restinio::request_accepted();
    };
    try {
        // Bodies up to twice the limit are read and answered with a 413 that says why;
        // the HTTP layer drops the connection of anything larger still.
        const auto readLimit = std::uint64_t(m_settings.maxBodyBytes) * 2 + 1024 * 1024;
        const auto limits = restinio::incoming_http_msg_limits_t{}.max_body_size(readLimit);
        const std::size_t threads = std::size_t(std::max(1, m_settings.threads));
        m_running = std::make_unique<Running>();
        if (m_settings.tlsCertificate.isEmpty()) {
            m_running->plain = launch<restinio::default_traits_t>(m_settings, limits, std::move(handler), threads,
                                                                  [](auto&) {});
        } else {
            asio::ssl::context context{asio::ssl::context::tls_server};
            context.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                                asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                                asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use);
            context.use_certificate_chain_file(m_settings.tlsCertificate.toStdString());
            context.use_private_key_file(m_settings.tlsKey.toStdString(), asio::ssl::context::pem);
            m_running->tls = launch<restinio::default_tls_traits_t>(
                m_settings, limits, std::move(handler), threads,
                [&context](auto& settings) { settings.tls_context(std::move(context)); });
        }
    } catch (const std::exception& e) {
        m_running.reset();
        *error = QStringLiteral("cannot serve on %1:%2: %3")
                     .arg(m_settings.address)
                     .arg(m_settings.port)
                     .arg(QString::fromLocal8Bit(e.what()));
        return false;
    }
    return true;
}

void CloudServer::stop()
{
    if (!m_running)
        return;
    m_stopping = true;
    // Requests in flight are answered before the threads go.
    for (int i = 0; i < 3000 && m_inFlight.load() > 0; ++i)
        QThread::msleep(10);
    QThread::msleep(20); // the last answers leave the sockets
    m_running->stop();
    m_running.reset();
}
