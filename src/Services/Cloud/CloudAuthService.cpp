#include "Services/Cloud/CloudAuthService.h"

#include "Codec/JsonWriter.h"
#include "Codec/SignInCode.h"
#include "Platform/SecretStore.h"
#include "Services/Cloud/CloudConfig.h"
#include "Services/Cloud/CloudResponses.h"
#include "Services/LogService.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QSysInfo>
#include <QTimer>
#include <QUuid>

namespace {

// Splits an encoded query into decoded (name, value) pairs; a value is absent when
// its item has no "=". A "+" stays a plus.
std::vector<std::pair<QString, std::optional<QString>>> queryItems(const QUrl& url)
{
    std::vector<std::pair<QString, std::optional<QString>>> items;
    const QString query = url.query(QUrl::FullyEncoded);
    if (query.isEmpty())
        return items;
    for (const QString& part : query.split(QLatin1Char('&'))) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        const QString name = QUrl::fromPercentEncoding(part.left(equals < 0 ? part.size() : equals).toUtf8());
        std::optional<QString> value;
        if (equals >= 0)
            value = QUrl::fromPercentEncoding(part.mid(equals + 1).toUtf8());
        items.emplace_back(name, value);
    }
    return items;
}

std::optional<QString> firstValue(const QUrl& url, const QString& name)
{
    for (const auto& [itemName, value] : queryItems(url))
        if (itemName == name)
            return value;
    return std::nullopt;
}

} // namespace

CloudAuthService::CloudAuthService(SecretStore& keychain, QSettings& settings, OpenUrl openUrl, QObject* parent,
                                   bool confirmAtLaunch)
    : QObject(parent), m_keychain(keychain), m_settings(settings), m_openUrl(std::move(openUrl))
{
    restoreSession(confirmAtLaunch);
}

CloudAuthService::~CloudAuthService() = default;

CloudAPIClient& CloudAuthService::apiClient()
{
    if (!m_apiClient) {
        m_network = new QNetworkAccessManager(this);
        QPointer<CloudAuthService> self(this);
        m_apiClient = new CloudAPIClient(
            CloudConfig::baseURL(m_settings), *m_network,
            [self]() -> std::optional<QString> { return self ? self->m_cachedToken : std::nullopt; },
            CloudAPIClient::defaultTimeoutMs, this);
    }
    return *m_apiClient;
}

void CloudAuthService::restoreSession(bool confirm)
{
    auto loaded = m_keychain.load();
    if (!loaded) {
        appLog(QStringLiteral("Keychain load failed: ") + loaded.error().logText(), LogEntry::Level::error);
        if (loaded.error().storeUnavailable)
            noteStoreUnavailable(loaded.error().detail);
        return;
    }
    if (!loaded.value() || loaded.value()->isEmpty())
        return;
    m_cachedToken = *loaded.value();
    if (confirm)
        QTimer::singleShot(0, this, [this] { refreshSession(); });
}

void CloudAuthService::noteStoreUnavailable(const QString& detail)
{
    m_remembersSignIn = false;
    appLog(QStringLiteral("No secret store answers (%1): a sign-in to Quillo Cloud lasts for this run only and is "
                          "never written to a file")
               .arg(detail),
           LogEntry::Level::warn);
    Q_EMIT changed();
}

void CloudAuthService::setStatus(Status status, std::optional<CloudUser> user)
{
    if (m_status == status && m_user == user)
        return;
    m_status = status;
    m_user = std::move(user);
    Q_EMIT statusChanged();
    Q_EMIT changed();
}

void CloudAuthService::setLastError(std::optional<QString> error)
{
    if (m_lastError == error)
        return;
    m_lastError = std::move(error);
    Q_EMIT lastErrorChanged();
    Q_EMIT changed();
}

QString CloudAuthService::deviceName()
{
    // hostnamectl keeps the pretty name here.
    QFile machineInfo(QStringLiteral("/etc/machine-info"));
    if (machineInfo.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : machineInfo.readAll().split('\n')) {
            if (!line.startsWith("PRETTY_HOSTNAME="))
                continue;
            QString value = QString::fromUtf8(line.mid(16)).trimmed();
            if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')) &&
                value.back() == value.front())
                value = value.mid(1, value.size() - 2);
            value.replace(QStringLiteral("\\\""), QStringLiteral("\""));
            if (!value.isEmpty())
                return value;
        }
    }
    return QSysInfo::machineHostName();
}

QString CloudAuthService::redacted(const QUrl& url)
{
    const QString query = url.query(QUrl::FullyEncoded);
    if (query.isEmpty())
        return url.toString(QUrl::FullyEncoded);
    QStringList parts = query.split(QLatin1Char('&'));
    for (QString& part : parts) {
        const qsizetype equals = part.indexOf(QLatin1Char('='));
        if (equals >= 0 && QUrl::fromPercentEncoding(part.left(equals).toUtf8()) == QLatin1String("token"))
            part = part.left(equals) + QStringLiteral("=<redacted>");
    }
    QString text = url.toString(QUrl::FullyEncoded | QUrl::RemoveQuery | QUrl::RemoveFragment) + QLatin1Char('?') +
                   parts.join(QLatin1Char('&'));
    if (url.hasFragment())
        text += QLatin1Char('#') + url.fragment(QUrl::FullyEncoded);
    return text;
}

void CloudAuthService::startSignIn()
{
    setStatus(Status::signingIn);
    setLastError(std::nullopt);
    const QString nonce = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    m_pendingState = nonce;
    const QUrl base = CloudConfig::baseURL(m_settings);
    apiClient().setBaseURL(base); // the token that comes back belongs to this service
    QUrl url = CloudConfig::appending(base, QStringLiteral("auth/native"));
    url.setQuery(QStringLiteral("state=%1&device=%2")
                     .arg(QString::fromLatin1(QUrl::toPercentEncoding(nonce)),
                          QString::fromLatin1(QUrl::toPercentEncoding(deviceName()))),
                 QUrl::StrictMode);
    if (!url.isValid()) {
        setLastError(QStringLiteral("Failed to build sign-in URL"));
        setStatus(Status::signedOut);
        return;
    }
    m_signInURL = url;
    m_browserFailed = m_openUrl && !m_openUrl(url);
    if (m_browserFailed)
        appLog(QStringLiteral("No browser opened the sign-in page; open it yourself: ") + url.toString(QUrl::FullyEncoded),
               LogEntry::Level::warn);
    Q_EMIT changed();
    appLog(QStringLiteral("Cloud sign-in started: ") + url.toString(QUrl::FullyEncoded), LogEntry::Level::info);
}

void CloudAuthService::failSignIn(const QString& message)
{
    appLog(QStringLiteral("Cloud sign-in failed: ") + message, LogEntry::Level::error);
    setLastError(message);
    m_pendingState.reset();
    setStatus(Status::signedOut);
}

void CloudAuthService::handleCallbackURL(const QUrl& url)
{
    if (url.scheme() != QLatin1String("quillo") || url.host() != QLatin1String("auth")) {
        appLog(QStringLiteral("Ignoring unrelated URL: ") + redacted(url), LogEntry::Level::warn);
        return;
    }
    if (!m_pendingState && m_status == Status::signedIn) {
        // A link that arrives after a code finished the sign-in (or a second click on it).
        appLog(QStringLiteral("Ignoring a sign-in link: no sign-in waits for one"), LogEntry::Level::info);
        return;
    }
    const std::optional<QString> state = firstValue(url, QStringLiteral("state"));
    const std::optional<QString> token = firstValue(url, QStringLiteral("token"));
    if (!state || !token)
        return failSignIn(QStringLiteral("Callback URL missing state or token"));
    if (!m_pendingState || *m_pendingState != *state)
        return failSignIn(QStringLiteral("State mismatch \u2014 sign-in aborted"));
    m_pendingState.reset();
    QTimer::singleShot(0, this, [this, token = *token] { acceptToken(token, {}); });
}

void CloudAuthService::forgetToken()
{
    if (auto removed = m_keychain.remove(); !removed)
        appLog(QStringLiteral("Keychain delete failed (ignored): ") + removed.error().logText(), LogEntry::Level::debug);
    m_cachedToken.reset();
}

void CloudAuthService::acceptToken(const QString& token, SignInDone done)
{
    auto fail = [this, done](const QString& log, const QString& message) {
        appLog(QStringLiteral("Cloud sign-in failed: ") + log, LogEntry::Level::error);
        setLastError(message);
        setStatus(Status::signedOut);
        forgetToken();
        if (done)
            done(message);
    };
    if (auto saved = m_keychain.save(token); !saved) {
        if (!saved.error().storeUnavailable)
            return fail(saved.error().logText(), saved.error().description());
        // Nowhere to keep it: this run holds it in memory and forgets it at the end.
        noteStoreUnavailable(saved.error().detail);
    } else if (!m_remembersSignIn) {
        m_remembersSignIn = true;
        Q_EMIT changed();
    }
    m_cachedToken = token;
    appLog(QStringLiteral("Cloud token persisted"), LogEntry::Level::info);
    QPointer<CloudAuthService> self(this);
    refreshSession([self, fail, done](::Status<CloudError> refreshed) {
        if (!self)
            return;
        if (!refreshed)
            return fail(refreshed.error().description(), refreshed.error().description());
        if (done)
            done(std::nullopt);
    });
}

void CloudAuthService::refreshSession(std::function<void(::Status<CloudError>)> done)
{
    QPointer<CloudAuthService> self(this);
    apiClient().get<CloudUser>(
        QStringLiteral("/api/native/me"), &CloudResponses::meResponse,
        [self, done](Expected<CloudUser, CloudError> user) {
            if (!self)
                return;
            if (user) {
                self->setStatus(Status::signedIn, user.value());
                self->setLastError(std::nullopt);
                appLog(QStringLiteral("Cloud /me ok \u2014 ") + user.value().email, LogEntry::Level::info);
                if (done)
                    done(ok);
                return;
            }
            if (user.error().kind == CloudError::Kind::unauthorized) {
                appLog(QStringLiteral("Cloud /me unauthorized \u2014 signing out locally"), LogEntry::Level::warn);
                self->forgetToken();
                self->setStatus(Status::signedOut);
                self->setLastError(QStringLiteral("Signed out by another device."));
            }
            if (done)
                done(failure(user.error()));
        });
}

void CloudAuthService::signOut(std::function<void()> done)
{
    QPointer<CloudAuthService> self(this);
    auto finish = [self, done] {
        if (!self)
            return;
        self->forgetToken();
        self->m_pendingState.reset();
        self->setStatus(Status::signedOut);
        self->setLastError(std::nullopt);
        appLog(QStringLiteral("Cloud signed out"), LogEntry::Level::info);
        if (done)
            done();
    };
    if (!m_cachedToken)
        return finish();
    apiClient().postEmpty(QStringLiteral("/api/native/sign-out"), [finish](::Status<CloudError> posted) {
        if (!posted)
            appLog(QStringLiteral("Sign-out POST failed (continuing): ") + posted.error().description(),
                   LogEntry::Level::warn);
        finish();
    });
}

void CloudAuthService::signInWithToken(const QString& token, SignInDone done)
{
    m_pendingState.reset();
    apiClient().setBaseURL(CloudConfig::baseURL(m_settings));
    checkAndAcceptToken(token, QStringLiteral("That token was refused"), std::move(done));
}

void CloudAuthService::checkAndAcceptToken(const QString& token, const QString& refused, SignInDone done)
{
    // Asked about first, with only this request carrying it: a refused token leaves the
    // sign-in there is as it was.
    const std::optional<QString> current = m_cachedToken;
    m_cachedToken = token;
    QPointer<CloudAuthService> self(this);
    apiClient().get<CloudUser>(
        QStringLiteral("/api/native/me"), &CloudResponses::meResponse,
        [self, token, refused, done](Expected<CloudUser, CloudError> user) {
            if (!self)
                return;
            if (user)
                return self->acceptToken(token, done);
            QString message = user.error().kind == CloudError::Kind::unauthorized ? refused : user.error().description();
            if (self->m_status == Status::signedIn && self->m_user)
                message += QStringLiteral("; still signed in as %1").arg(self->m_user->email);
            appLog(QStringLiteral("A device token given by hand was not taken: ") + message, LogEntry::Level::warn);
            if (done)
                done(message);
        });
    m_cachedToken = current;
}

void CloudAuthService::signInWithCode(const QString& typed, SignInDone done)
{
    const QString code = SignInCode::normalized(typed);
    if (code.isEmpty()) {
        QTimer::singleShot(0, this, [done] {
            if (done)
                done(QStringLiteral("That is not a sign-in code: it is the eight letters and digits the page shows "
                                    "after \u201cContinue\u201d, like ABCD-EFGH."));
        });
        return;
    }
    apiClient().setBaseURL(CloudConfig::baseURL(m_settings));
    JsonWriter body(JsonWriter::Layout::compact, 64);
    body.beginObject();
    body.key("code");
    body.string(code);
    body.endObject();
    QPointer<CloudAuthService> self(this);
    apiClient().postWithoutToken<QString>(
        QStringLiteral("/api/native/code"), body.take(),
        &CloudResponses::tokenResponse, [self, done](Expected<QString, CloudError> token) {
            if (!self)
                return;
            if (!token) {
                QString message = token.error().description();
                if (self->m_status == Status::signedIn && self->m_user)
                    message += QStringLiteral("; still signed in as %1").arg(self->m_user->email);
                appLog(QStringLiteral("A sign-in code was not taken: ") + message, LogEntry::Level::warn);
                if (done)
                    done(message);
                return;
            }
            // The browser's sign-in is finished by the code: a link that arrives later
            // carries a token the service has retired.
            self->m_pendingState.reset();
            self->checkAndAcceptToken(token.value(), QStringLiteral("The token the code brought was refused"), done);
        });
}
