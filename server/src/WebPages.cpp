#include "WebPages.h"

#include "Accounts.h"
#include "Backups.h"
#include "CloudDatabase.h"
#include "DeviceCookies.h"
#include "DeviceTokens.h"
#include "Secrets.h"
#include "SignInCodes.h"
#include "SignInLimiter.h"

#include <algorithm>
#include "Codec/IsoDate.h"

#include <QDateTime>
#include <QLocale>
#include <QUrl>
#include <QRegularExpression>

namespace {

const QByteArray kVisitorCsrfCookie = "quillo_csrf";

// `head`: more of the page's head (already escaped).
QString page(const QString& title, const QString& body, const QString& head = {})
{
    return QStringLiteral("<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">%3"
                          "<title>%1 \u2014 Quillo Cloud</title><link rel=\"stylesheet\" href=\"/style.css\"></head>"
                          "<body><header><a class=\"brand\" href=\"/dashboard\">Quillo Cloud</a></header><main>%2</main>"
                          "</body></html>")
        .arg(WebPages::escaped(title), body, head);
}

QString hidden(const QString& name, const QString& value)
{
    return QStringLiteral("<input type=\"hidden\" name=\"%1\" value=\"%2\">").arg(name, WebPages::escaped(value));
}

QByteArray cookie(const QByteArray& name, const QString& value, const HttpRequest& request, int maxAgeSeconds)
{
    QByteArray text = name + '=' + value.toLatin1() + "; Path=/; HttpOnly; SameSite=Lax; Max-Age=" +
                      QByteArray::number(maxAgeSeconds);
    if (request.secure)
        text += "; Secure";
    return text;
}

// Where to go after signing in: a path of this site only, written in plain URL
// characters (no control character, no "//" or "/\\" that a browser reads as another
// host, no scheme); anything else means the dashboard.
QString safeNext(const QString& next)
{
    static const QByteArray allowed = QByteArrayLiteral(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~!$&'()*+,;=:@/?%");
    const bool plain = std::all_of(next.begin(), next.end(), [](QChar c) {
        return c.unicode() < 0x80 && allowed.contains(char(c.unicode()));
    });
    if (plain && next.size() <= 1024 && next.startsWith(QLatin1Char('/')) && !next.startsWith(QLatin1String("//")))
        return next;
    return QStringLiteral("/dashboard");
}

// "8 Dec 2026, 22:46 UTC" for a stored "2026-12-08T22:46:10Z"; anything else as it is.
QString dateText(const QString& stored)
{
    const QDateTime at = QDateTime::fromString(stored, Qt::ISODate);
    if (!at.isValid())
        return stored;
    return IsoDate::readable(at);
}

QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(double(bytes) / 1024, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
}

QString signInForm(const QString& csrf, const QString& next, const QString& problem)
{
    return QStringLiteral("<h1>Sign in</h1>%1<form method=\"post\" action=\"/login\">%2%3"
                          "<label>Email <input type=\"email\" name=\"email\" required autocomplete=\"username\"></label>"
                          "<label>Password <input type=\"password\" name=\"password\" required "
                          "autocomplete=\"current-password\"></label><button type=\"submit\">Sign in</button></form>"
                          "<p>No account yet? <a href=\"/signup?next=%4\">Create one</a>.</p>")
        .arg(problem.isEmpty() ? QString() : QStringLiteral("<p class=\"problem\">%1</p>").arg(WebPages::escaped(problem)),
             hidden(QStringLiteral("csrf"), csrf), hidden(QStringLiteral("next"), next),
             WebPages::escaped(QString::fromLatin1(QUrl::toPercentEncoding(next))));
}

} // namespace

QByteArray WebPages::styleSheet()
{
    return "body{font:15px/1.5 system-ui,sans-serif;margin:0;color:#1d1d1f;background:#f5f5f7}"
           "header{background:#fff;border-bottom:1px solid #ddd;padding:12px 24px}"
           ".brand{font-weight:600;color:#ff3b30;text-decoration:none}"
           "main{max-width:760px;margin:24px auto;padding:0 24px}"
           "form{display:flex;flex-direction:column;gap:10px;max-width:360px}"
           "form.inline{display:inline;flex-direction:row}"
           "input{font:inherit;padding:6px 8px;border:1px solid #bbb;border-radius:6px}"
           "button{font:inherit;padding:6px 14px;border:0;border-radius:6px;background:#0a84ff;color:#fff;cursor:pointer}"
           "button.danger{background:#d70015}"
           "table{border-collapse:collapse;width:100%;background:#fff;margin:8px 0 20px}"
           "td,th{text-align:left;padding:6px 10px;border-bottom:1px solid #eee}"
           ".problem{color:#d70015}.token{font-family:monospace;background:#fff;padding:8px;word-break:break-all}"
           "a.button{display:inline-block;padding:6px 14px;border-radius:6px;background:#0a84ff;color:#fff;"
           "text-decoration:none}"
           ".code{font:600 32px/1.2 monospace;letter-spacing:4px;background:#fff;padding:12px 16px;display:inline-block;"
           "border-radius:8px;user-select:all}";
}

QString WebPages::formToken(const HttpRequest& request, const std::optional<WebSessions::Session>& session,
                            HttpResponse& response) const
{
    if (session)
        return session->csrf;
    QString token = QString::fromLatin1(request.cookie(kVisitorCsrfCookie));
    if (token.isEmpty() || token.size() > 100) {
        token = Secrets::newToken();
        response.headers.append({"Set-Cookie", cookie(kVisitorCsrfCookie, token, request, 3600 * 24)});
    }
    return token;
}

bool WebPages::csrfValid(const HttpRequest& request, const std::optional<WebSessions::Session>& session) const
{
    const QString sent = request.formField(QStringLiteral("csrf"));
    const QString expected = session ? session->csrf : QString::fromLatin1(request.cookie(kVisitorCsrfCookie));
    return !sent.isEmpty() && sent == expected;
}

std::optional<HttpResponse> WebPages::handle(const HttpRequest& request)
{
    const QByteArray& path = request.path;
    if (path == "/style.css") {
        HttpResponse css{200, styleSheet(), "text/css; charset=utf-8", {}};
        return css;
    }
    const bool known = path == "/" || path == "/login" || path == "/signup" || path == "/logout" ||
                       path == "/auth/native" || path == "/dashboard" || path.startsWith("/dashboard/");
    if (!known)
        return std::nullopt;
    if (request.method != "GET" && request.method != "POST")
        return HttpResponse::html(405, page(QStringLiteral("Not allowed"), QStringLiteral("<p>Not allowed.</p>")));
    if (request.body.size() > maxFormBytes)
        return HttpResponse::html(413, page(QStringLiteral("Too large"), QStringLiteral("<p>That form is too large.</p>")));
    const auto session = WebSessions(m_database).find(request.cookie(WebSessions::cookieName));
    // Forms change things only with their CSRF token.
    if (request.method == "POST" && !csrfValid(request, session))
        return HttpResponse::html(403, page(QStringLiteral("Expired form"),
                                            QStringLiteral("<h1>This form has expired</h1><p>Go back, reload the page "
                                                           "and try again.</p>")));
    if (path == "/")
        return HttpResponse::redirect("/dashboard");
    if (path == "/login")
        return login(request, session);
    if (path == "/signup")
        return signup(request, session);
    if (path == "/logout")
        return logout(request, session);
    if (path == "/auth/native")
        return authNative(request, session);
    if (!session) {
        const QByteArray back = path + (request.query.isEmpty() ? QByteArray() : '?' + request.query);
        return HttpResponse::redirect("/login?next=" + QUrl::toPercentEncoding(QString::fromLatin1(back)));
    }
    if (path == "/dashboard" && request.method == "GET")
        return dashboard(request, session);
    return dashboardAction(request, *session);
}

HttpResponse WebPages::unavailable(int status, const QString& what)
{
    HttpResponse response = HttpResponse::html(
        status, page(QStringLiteral("Not now"), QStringLiteral("<h1>Not now</h1><p>%1 Try again in a while.</p>").arg(escaped(what))));
    if (status == 503)
        response.headers.append({QByteArray("Retry-After"), QByteArray("30")});
    return response;
}

HttpResponse WebPages::signedIn(const HttpRequest& request, const QString& userUid, const QString& next)
{
    const QString id = WebSessions(m_database).create(userUid);
    if (id.isEmpty())
        return unavailable(503, QStringLiteral("The session could not be stored."));
    HttpResponse response = HttpResponse::redirect(safeNext(next).toUtf8());
    response.headers.append({"Set-Cookie", cookie(WebSessions::cookieName, id, request, WebSessions::idleDays * 86400)});
    // This browser is the account's from now on: strangers' failures will not hold it back.
    response.headers.append({"Set-Cookie", cookie(DeviceCookies::cookieName, QString::fromLatin1(m_devices.issue(userUid)),
                                                  request, DeviceCookies::maxAgeDays * 86400)});
    return response;
}

HttpResponse WebPages::login(const HttpRequest& request, const std::optional<WebSessions::Session>& session)
{
    if (request.method == "GET") {
        if (session)
            return HttpResponse::redirect(safeNext(request.queryItem(QStringLiteral("next"))).toUtf8());
        HttpResponse response = HttpResponse::html(200, {});
        const QString csrf = formToken(request, session, response);
        response.body = page(QStringLiteral("Sign in"), signInForm(csrf, safeNext(request.queryItem(QStringLiteral("next"))), {})).toUtf8();
        return response;
    }
    const QString email = request.formField(QStringLiteral("email"));
    const QByteArray password = request.formField(QStringLiteral("password")).toUtf8();
    const QString next = safeNext(request.formField(QStringLiteral("next")));
    auto form = [&](int status, const QString& problem) {
        HttpResponse response = HttpResponse::html(status, {});
        response.body = page(QStringLiteral("Sign in"), signInForm(formToken(request, session, response), next, problem)).toUtf8();
        return response;
    };
    // Nothing this large can be right: refused before any hashing or storage.
    if (!Accounts::plausible(email, password))
        return form(400, QStringLiteral("The email address or the password is longer than any account's."));
    // A browser that signed in to this account before counts its failures on its own.
    Accounts accounts(m_database);
    std::optional<QString> device;
    if (const auto known = m_devices.verify(request.cookie(DeviceCookies::cookieName)))
        if (const auto account = accounts.byEmail(email); account && account->uid == known->uid)
            device = known->nonce;
    SignInLimiter limiter(m_database);
    const auto limited = limiter.isLimited(email, request.clientAddress, device);
    if (!limited)
        return unavailable(503, QStringLiteral("Sign-in attempts cannot be counted right now, so nobody is signed in."));
    if (*limited)
        return HttpResponse::html(429, page(QStringLiteral("Too many attempts"),
                                            QStringLiteral("<h1>Too many attempts</h1><p>Sign-in failed %1 times in %2 "
                                                           "minutes. Wait a while, then try again.</p>")
                                                .arg(SignInLimiter::maxFailures)
                                                .arg(SignInLimiter::windowMinutes)));
    const auto user = accounts.verify(email, password);
    if (!user) {
        if (!limiter.recordFailure(email, request.clientAddress, device))
            return unavailable(503, QStringLiteral("Sign-in attempts cannot be counted right now, so nobody is signed in."));
        return form(401, QStringLiteral("The email address or the password is not right."));
    }
    return signedIn(request, user->uid, next);
}

HttpResponse WebPages::signup(const HttpRequest& request, const std::optional<WebSessions::Session>& session)
{
    const QString next = safeNext(request.method == "GET" ? request.queryItem(QStringLiteral("next"))
                                                          : request.formField(QStringLiteral("next")));
    auto form = [&](HttpResponse& response, const QString& problem) {
        response.body =
            page(QStringLiteral("Create an account"),
                 QStringLiteral("<h1>Create an account</h1>%1<form method=\"post\" action=\"/signup\">%2%3"
                                "<label>Email <input type=\"email\" name=\"email\" required></label>"
                                "<label>Name (optional) <input type=\"text\" name=\"name\"></label>"
                                "<label>Password (%4 characters or more) <input type=\"password\" name=\"password\" "
                                "required autocomplete=\"new-password\"></label>"
                                "<button type=\"submit\">Create account</button></form>"
                                "<p>Have an account? <a href=\"/login\">Sign in</a>.</p>")
                     .arg(problem.isEmpty() ? QString() : QStringLiteral("<p class=\"problem\">%1</p>").arg(escaped(problem)),
                          hidden(QStringLiteral("csrf"), formToken(request, session, response)),
                          hidden(QStringLiteral("next"), next))
                     .arg(Accounts::minimumPasswordLength))
                .toUtf8();
    };
    if (request.method == "GET") {
        HttpResponse response = HttpResponse::html(200, {});
        form(response, {});
        return response;
    }
    // Sign-ups are counted per address before any hashing, and only while they can be.
    SignInLimiter limiter(m_database);
    const auto limited = limiter.signUpsLimited(request.clientAddress);
    if (!limited || !limiter.recordSignUp(request.clientAddress))
        return unavailable(503, QStringLiteral("New accounts cannot be made right now."));
    if (*limited)
        return HttpResponse::html(429, page(QStringLiteral("Too many accounts"),
                                            QStringLiteral("<h1>Too many new accounts</h1><p>%1 accounts were made from "
                                                           "this address in the last hour. Try again later.</p>")
                                                .arg(SignInLimiter::maxSignUps)));
    QString problem;
    int status = 400;
    const auto user = Accounts(m_database).add(request.formField(QStringLiteral("email")),
                                               request.formField(QStringLiteral("name")),
                                               request.formField(QStringLiteral("password")).toUtf8(), &problem, &status);
    if (!user) {
        if (status >= 500)
            return unavailable(status, QStringLiteral("The account could not be stored."));
        HttpResponse response = HttpResponse::html(status, {});
        form(response, problem);
        return response;
    }
    return signedIn(request, user->uid, next);
}

HttpResponse WebPages::logout(const HttpRequest& request, const std::optional<WebSessions::Session>& session)
{
    if (request.method != "POST")
        return HttpResponse::html(405, page(QStringLiteral("Not allowed"), QStringLiteral("<p>Sign out with the button.</p>")));
    if (session)
        WebSessions(m_database).destroy(request.cookie(WebSessions::cookieName));
    HttpResponse response = HttpResponse::redirect("/login");
    response.headers.append({"Set-Cookie", cookie(WebSessions::cookieName, QString(), request, 0)});
    return response;
}

HttpResponse WebPages::authNative(const HttpRequest& request, const std::optional<WebSessions::Session>& session)
{
    const bool post = request.method == "POST";
    const QString state = post ? request.formField(QStringLiteral("state")) : request.queryItem(QStringLiteral("state"));
    QString device = (post ? request.formField(QStringLiteral("device")) : request.queryItem(QStringLiteral("device"))).trimmed();
    if (state.isEmpty() || state.size() > maxStateLength)
        return HttpResponse::html(400, page(QStringLiteral("Sign-in link not valid"),
                                            QStringLiteral("<h1>This sign-in link is not valid</h1><p>Start the "
                                                           "sign-in again from Quillo's settings.</p>")));
    if (device.isEmpty())
        device = QStringLiteral("Quillo");
    device = device.left(100);
    if (!session) {
        const QByteArray back = "/auth/native?" + request.query;
        HttpResponse response = HttpResponse::html(200, {});
        response.body = page(QStringLiteral("Sign in"),
                             QStringLiteral("<p>Quillo on <strong>%1</strong> asks to use your account.</p>").arg(escaped(device)) +
                                 signInForm(formToken(request, session, response), QString::fromLatin1(back), {}))
                            .toUtf8();
        return response;
    }
    if (!post) {
        return HttpResponse::html(
            200, page(QStringLiteral("Connect Quillo"),
                      QStringLiteral("<h1>Connect Quillo</h1><p>Quillo on <strong>%1</strong> will back up macros to "
                                     "this account.</p><form method=\"post\" action=\"/auth/native\">%2%3%4"
                                     "<button type=\"submit\">Continue as %5</button></form>"
                                     "<p><a href=\"/dashboard\">Cancel</a></p>")
                          .arg(escaped(device), hidden(QStringLiteral("csrf"), session->csrf),
                               hidden(QStringLiteral("state"), state), hidden(QStringLiteral("device"), device),
                               escaped(session->user.email))));
    }
    // Only this POST issues a token, and only to the application's own link.
    DeviceTokens tokens(m_database);
    const QString token = tokens.issue(session->user.uid, device);
    if (token.isEmpty())
        return HttpResponse::html(500, page(QStringLiteral("Error"), QStringLiteral("<p>The token could not be stored.</p>")));
    // For when the link does not reach the application (no handler for quillo://, another
    // machine): a code to type into Quillo, worth a token of its own.
    const QString code = SignInCodes(m_database).issue(session->user.uid, device, token);
    if (code.isEmpty()) {
        tokens.revoke(token);
        return HttpResponse::html(503, page(QStringLiteral("Error"), QStringLiteral("<p>The sign-in could not be stored; "
                                                                                    "try again shortly.</p>")));
    }
    // The state exactly as received, percent-encoded as a query value; the token is
    // base64url, safe as it is.
    const QString link = QStringLiteral("quillo://auth?state=") + QString::fromLatin1(QUrl::toPercentEncoding(state)) +
                         QStringLiteral("&token=") + token;
    const QString body =
        QStringLiteral("<h1>Opening Quillo</h1><p>Quillo on <strong>%1</strong> is signed in as %2 once it opens. If "
                       "your browser asks, let it open Quillo.</p><p><a class=\"button\" href=\"%3\">Open Quillo</a></p>"
                       "<h2>Quillo did not open?</h2><p>Type this code into Quillo's settings (Account, below the "
                       "sign-in link: \u201cSign In with Code\u201d), or run <code>quillo cloud sign-in --code %4</code> "
                       "in a terminal:</p><p class=\"code\" id=\"code\">%4</p><p>The code works once, within %5 minutes.</p>")
            .arg(escaped(device), escaped(session->user.email), escaped(link), code,
                 QString::number(SignInCodes::lifetimeMinutes)); // one pass: the link holds "%2B" and the like
    HttpResponse response = HttpResponse::html(
        200, page(QStringLiteral("Opening Quillo"), body,
                  QStringLiteral("<meta http-equiv=\"refresh\" content=\"0;url=%1\">").arg(escaped(link))));
    return response; // like every page: "Cache-Control: no-store", "Referrer-Policy: no-referrer"
}

HttpResponse WebPages::dashboard(const HttpRequest& request, const std::optional<WebSessions::Session>& session,
                                 const QString& notice)
{
    const Account& user = session->user;
    Backups backups(m_database);
    const int total = backups.count(user.uid);
    const int pageNumber = std::max(1, request.queryItem(QStringLiteral("page")).toInt());
    QString body = QStringLiteral("<h1>Your account</h1><p>%1%2</p>")
                       .arg(escaped(user.email),
                            user.displayName.isEmpty() ? QString() : QStringLiteral(" \u00b7 ") + escaped(user.displayName));
    body += QStringLiteral("<form class=\"inline\" method=\"post\" action=\"/logout\">%1<button type=\"submit\">Sign out"
                           "</button></form>")
                .arg(hidden(QStringLiteral("csrf"), session->csrf));
    if (!notice.isEmpty())
        body += notice;
    body += QStringLiteral("<h2>Backups</h2>");
    const auto macros = backups.summaries(user.uid, (pageNumber - 1) * pageSize, pageSize);
    if (macros.empty())
        body += QStringLiteral("<p>No backups yet. Sign in from Quillo's settings and save a recording.</p>");
    for (const Backups::Summary& macro : macros) {
        // One pass over the pattern: a name holding "%1" stays as it is.
        body += QStringLiteral("<h3>%1</h3><p>%2 \u00b7 latest %3 \u00b7 %4</p><table><tr><th>Saved</th>"
                               "<th>Actions</th><th>Size</th><th></th></tr>")
                    .arg(escaped(macro.name),
                         macro.revisions == 1 ? QStringLiteral("1 revision") : QStringLiteral("%1 revisions").arg(macro.revisions),
                         escaped(dateText(macro.latestAt)), sizeText(macro.size));
        for (const Backups::Revision& revision : backups.revisions(user.uid, macro.backupId, pageSize))
            body += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td><a href=\"/dashboard/revision/%4/download\">"
                                   "Download</a> <a href=\"quillo://restore?revision=%4\" title=\"Put this revision back in place of its "
                                   "macro in the Quillo on this computer\">Restore in Quillo</a> "
                                   "<form class=\"inline\" method=\"post\" action=\"/dashboard/revision/%4/delete\">"
                                   "%5<button class=\"danger\" type=\"submit\">Delete</button></form></td></tr>")
                        .arg(escaped(dateText(revision.createdAt)), QString::number(revision.actionCount), sizeText(revision.size),
                             escaped(revision.id), hidden(QStringLiteral("csrf"), session->csrf));
        body += QStringLiteral("</table>");
    }
    if (total > pageNumber * pageSize)
        body += QStringLiteral("<p><a href=\"/dashboard?page=%1\">More backups</a></p>").arg(pageNumber + 1);
    if (pageNumber > 1)
        body += QStringLiteral("<p><a href=\"/dashboard?page=%1\">Newer backups</a></p>").arg(pageNumber - 1);

    const auto devices = DeviceTokens(m_database).devices(user.uid);
    body += QStringLiteral("<h2>Signed-in devices</h2>");
    if (devices.empty())
        body += QStringLiteral("<p>No devices signed in.</p>");
    body += QStringLiteral("<table><tr><th>Device</th><th>Signed in</th><th>Last used</th><th></th></tr>");
    for (std::size_t i = 0; i < devices.size() && i < std::size_t(pageSize); ++i) {
        const auto& device = devices[i];
        body += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td><form class=\"inline\" method=\"post\" "
                               "action=\"/dashboard/device/revoke\">%4%5<button class=\"danger\" type=\"submit\">Revoke"
                               "</button></form></td></tr>")
                    .arg(escaped(device.name), escaped(dateText(device.createdAt)),
                         device.lastUsedAt.isEmpty() ? QStringLiteral("never") : escaped(dateText(device.lastUsedAt)),
                         hidden(QStringLiteral("csrf"), session->csrf), hidden(QStringLiteral("device"), device.name));
    }
    body += QStringLiteral("</table><h2>A token for a machine without a browser</h2>"
                           "<form method=\"post\" action=\"/dashboard/token\">%1<label>Device name <input type=\"text\" "
                           "name=\"device\" required maxlength=\"100\"></label><button type=\"submit\">Create token</button></form>")
                .arg(hidden(QStringLiteral("csrf"), session->csrf));
    return HttpResponse::html(200, page(QStringLiteral("Dashboard"), body));
}

HttpResponse WebPages::dashboardAction(const HttpRequest& request, const WebSessions::Session& session)
{
    const QString path = QString::fromLatin1(request.path);
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts); // dashboard, revision, ID, action
    if (request.method == "GET" && parts.size() == 4 && parts[1] == QLatin1String("revision") &&
        parts[3] == QLatin1String("download")) {
        const auto file = Backups(m_database).fileInfo(session.user.uid, parts[2]);
        if (!file)
            return HttpResponse::html(404, page(QStringLiteral("Not found"), QStringLiteral("<p>No such backup.</p>")));
        // A name a file system takes, and short enough for any client to read.
        QString name = file->name.left(100);
        name.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f\\x7f]")), QStringLiteral("_"));
        HttpResponse response{200, {}, "application/json", {}, HttpResponse::StoredBytes{file->sha256, file->size}};
        response.headers.append({"Content-Disposition",
                                 "attachment; filename=\"macro.quillo\"; filename*=UTF-8''" +
                                     QUrl::toPercentEncoding(name + QStringLiteral(".quillo"))});
        return response;
    }
    if (request.method != "POST")
        return HttpResponse::html(404, page(QStringLiteral("Not found"), QStringLiteral("<p>No such page.</p>")));
    if (parts.size() == 4 && parts[1] == QLatin1String("revision") && parts[3] == QLatin1String("delete")) {
        if (!Backups(m_database).deleteRevision(session.user.uid, parts[2]))
            return HttpResponse::html(404, page(QStringLiteral("Not found"), QStringLiteral("<p>No such backup.</p>")));
        return HttpResponse::redirect("/dashboard");
    }
    if (path == QLatin1String("/dashboard/device/revoke")) {
        DeviceTokens(m_database).revokeDevice(session.user.uid, request.formField(QStringLiteral("device")));
        return HttpResponse::redirect("/dashboard");
    }
    if (path == QLatin1String("/dashboard/token")) {
        const QString device = request.formField(QStringLiteral("device")).trimmed().left(100);
        if (device.isEmpty())
            return HttpResponse::redirect("/dashboard");
        const QString token = DeviceTokens(m_database).issue(session.user.uid, device);
        // Shown this once: only its digest is kept.
        return dashboard(request, session,
                         QStringLiteral("<p>The token for <strong>%1</strong> (copy it now; it is not shown again):</p>"
                                        "<p class=\"token\">%2</p>")
                             .arg(escaped(device), escaped(token)));
    }
    return HttpResponse::html(404, page(QStringLiteral("Not found"), QStringLiteral("<p>No such page.</p>")));
}
