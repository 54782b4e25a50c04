#pragma once

#include "HttpMessage.h"
#include "WebSessions.h"

#include <optional>

class CloudDatabase;
class DeviceCookies;

// The pages people open in their browser: sign-in and sign-up, the sign-in of the
// application (which ends in a quillo://auth link with a new device token), and the
// dashboard of backups and devices. Server-rendered HTML, no script; every POST form
// carries a CSRF token; every value from users or files is escaped.
class WebPages
{
public:
    static constexpr int pageSize = 50;
    static constexpr int maxStateLength = 512;
    // Forms are small: anything larger is refused before it is looked at.
    static constexpr qsizetype maxFormBytes = 64 * 1024;

    WebPages(CloudDatabase& database, const DeviceCookies& devices) : m_database(database), m_devices(devices) {}

    // The page for this request, or nothing when the path is not one of the pages.
    std::optional<HttpResponse> handle(const HttpRequest& request);

    static QString escaped(const QString& text) { return text.toHtmlEscaped(); }
    static QByteArray styleSheet();

private:
    HttpResponse login(const HttpRequest& request, const std::optional<WebSessions::Session>& session);
    HttpResponse signup(const HttpRequest& request, const std::optional<WebSessions::Session>& session);
    HttpResponse logout(const HttpRequest& request, const std::optional<WebSessions::Session>& session);
    HttpResponse authNative(const HttpRequest& request, const std::optional<WebSessions::Session>& session);
    HttpResponse dashboard(const HttpRequest& request, const std::optional<WebSessions::Session>& session,
                           const QString& notice = {});
    HttpResponse dashboardAction(const HttpRequest& request, const WebSessions::Session& session);

    // The CSRF token a form carries: the session's, or for a visitor one kept in a cookie.
    QString formToken(const HttpRequest& request, const std::optional<WebSessions::Session>& session,
                      HttpResponse& response) const;
    bool csrfValid(const HttpRequest& request, const std::optional<WebSessions::Session>& session) const;
    HttpResponse signedIn(const HttpRequest& request, const QString& userUid, const QString& next);

    // A page saying the service cannot do this now (a fault of its own: 5xx).
    static HttpResponse unavailable(int status, const QString& what);

    CloudDatabase& m_database;
    const DeviceCookies& m_devices;
};
