#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"
#include "Platform/Fake/FakeSecretStore.h"
#include "ScriptedHttpServer.h"
#include "Services/Cloud/BackupSyncService.h"
#include "Services/Cloud/CloudAPIClient.h"
#include "Services/Cloud/CloudAuthService.h"
#include "Services/Cloud/CloudConfig.h"
#include "Services/Cloud/CloudResponses.h"
#include "Services/Cloud/UpdateCheckerService.h"
#include "Services/LogService.h"
#include "TestMacros.h"
#include "TestWait.h"
#include "ViewModels/RelativeTime.h"
#include "ViewModels/SettingsViewModel.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QByteArray kUser = R"({"user":{"uid":"u1","email":"ann@example.com","displayName":null,"extra":1},"ok":true})";

// Runs one request through `call` and waits for its outcome.
template <typename T> Expected<T, CloudError> await(const std::function<void(CloudAPIClient::Handler<T>)>& call)
{
    std::optional<Expected<T, CloudError>> result;
    call([&](Expected<T, CloudError> r) { result.emplace(std::move(r)); });
    EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 5000));
    return result ? std::move(*result) : Expected<T, CloudError>(failure(CloudError::invalidResponse()));
}

struct ClientFixture : ::testing::Test {
    ScriptedHttpServer server;
    QNetworkAccessManager network;
    std::optional<QString> token = QStringLiteral("tok+/=");

    CloudAPIClient client(const QString& base, int timeoutMs = CloudAPIClient::defaultTimeoutMs)
    {
        return CloudAPIClient(QUrl(base), network, [this] { return token; }, timeoutMs);
    }
    Expected<CloudUser, CloudError> me(CloudAPIClient& c)
    {
        return await<CloudUser>([&](auto done) { c.get<CloudUser>(QStringLiteral("/api/native/me"), &CloudResponses::meResponse, done); });
    }
};

} // namespace

TEST_F(ClientFixture, RequestsCarryTheJsonHeadersAndTheTokenUnderTheBasePath)
{
    auto c = client(server.url() + QStringLiteral("/cloud/"));
    server.script({200, kUser});
    const auto user = me(c);
    ASSERT_TRUE(user) << user.error().description().toStdString();
    EXPECT_EQ(user.value(), (CloudUser{QStringLiteral("u1"), QStringLiteral("ann@example.com"), std::nullopt, std::nullopt}));

    server.script({200, R"({"backup":{"id":"b","sourceMacroId":"S","name":"N","actionCount":2,"durationSeconds":1.5,"size":3,"sha256":"x","macroVersion":1,"createdAt":"2026-12-08T10:00:00Z","updatedAt":"2026-12-08T10:00:01Z"}})"});
    const auto backup = await<CloudBackup>([&](auto done) {
        c.post<CloudBackup>(QStringLiteral("/api/backups"), QByteArrayLiteral("{\"a\":1}"), &CloudResponses::createResponse, done);
    });
    ASSERT_TRUE(backup) << backup.error().description().toStdString();
    EXPECT_EQ(backup.value().updatedAt, TestMacros::date(2026, 12, 8, 10, 0, 1));
    EXPECT_FALSE(backup.value().description.has_value());

    server.script({204, {}});
    std::optional<Status<CloudError>> posted;
    c.postEmpty(QStringLiteral("/api/native/sign-out"), [&](Status<CloudError> r) { posted.emplace(r); });
    ASSERT_TRUE(waitUntil([&] { return posted.has_value(); }));
    EXPECT_TRUE(posted->hasValue());

    ASSERT_EQ(server.received().size(), 3);
    const QList<QByteArray> methods{"GET", "POST", "POST"};
    const QList<QByteArray> paths{"/cloud/api/native/me", "/cloud/api/backups", "/cloud/api/native/sign-out"};
    for (int i = 0; i < 3; ++i) {
        const auto& r = server.received()[i];
        EXPECT_EQ(r.method, methods[i]);
        EXPECT_EQ(r.path, paths[i]);
        EXPECT_EQ(r.headers.value("content-type"), "application/json");
        EXPECT_EQ(r.headers.value("accept"), "application/json");
        EXPECT_EQ(r.headers.value("authorization"), "Bearer tok+/=");
    }
    EXPECT_EQ(server.received()[1].body, "{\"a\":1}");
    EXPECT_TRUE(server.received()[2].body.isEmpty());
}

TEST_F(ClientFixture, NoTokenOrPlainHttpToAnotherMachineSendsNothing)
{
    token.reset();
    auto c = client(server.url());
    auto r = me(c);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().description(), QStringLiteral("Sign in to Quillo Cloud first."));

    token = QStringLiteral("secret");
    auto remote = client(QStringLiteral("http://192.0.2.10:8787"));
    r = me(remote);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind, CloudError::Kind::insecureConnection);
    EXPECT_TRUE(r.error().description().contains(QStringLiteral("http://192.0.2.10:8787")));
    EXPECT_TRUE(server.received().isEmpty());

    for (const char* local : {"http://127.0.0.1:1", "http://localhost:1", "http://[::1]:1", "https://192.0.2.10"})
        EXPECT_FALSE(CloudConfig::isPlainHttpToAnotherHost(QUrl(QString::fromLatin1(local)))) << local;
}

TEST_F(ClientFixture, StatusesAndErrorBodiesBecomeTheirMessages)
{
    auto c = client(server.url());
    struct Case {
        int status;
        QByteArray body;
        QString message;
    };
    const Case cases[] = {
        // (Not 1xx: Qt 6.8 reads those as interim answers and waits for the final one.)
        {304, {}, QStringLiteral("Server returned HTTP 304.")},
        {401, R"({"error":"token revoked"})", QStringLiteral("Your session has expired or was signed out remotely.")},
        {404, "<html>nope</html>", QStringLiteral("Server returned HTTP 404.")},
        {500, R"({"error":"Database on fire"})", QStringLiteral("Database on fire")},
        {500, {}, QStringLiteral("Server returned HTTP 500.")},
        {500, R"({"error":null})", QStringLiteral("Server returned HTTP 500.")},
        {500, R"({"error":""})", QString()},
        {500, R"({"error":42})", QStringLiteral("Server returned HTTP 500.")},
        {500, R"(["error"])", QStringLiteral("Server returned HTTP 500.")},
    };
    for (const Case& k : cases) {
        server.script({k.status, k.body});
        const auto r = me(c);
        ASSERT_FALSE(r) << k.status;
        EXPECT_EQ(r.error().description(), k.message) << k.status << " " << k.body.toStdString();
        EXPECT_EQ(r.error().kind == CloudError::Kind::unauthorized, k.status == 401);
    }
    // A 200 whose body is not the record asked for.
    for (const QByteArray& body : {QByteArray("not json"), QByteArray(R"({"user":{"uid":"u"}})"),
                                   QByteArray(R"({"backup":{}})")}) {
        server.script({200, body});
        const auto r = me(c);
        ASSERT_FALSE(r);
        EXPECT_TRUE(r.error().description().startsWith(QStringLiteral("Failed to decode response: "))) << body.toStdString();
    }
}

TEST_F(ClientFixture, ASilentServerTimesOutAndAClosedPortIsANetworkError)
{
    auto c = client(server.url(), 300);
    server.script({200, {}, true});
    auto r = me(c);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().description(), QStringLiteral("Network error: The request timed out."));

    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const quint16 port = closed.serverPort();
    closed.close();
    auto refused = client(QStringLiteral("http://127.0.0.1:%1").arg(port));
    r = me(refused);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.error().kind, CloudError::Kind::transport);
    EXPECT_TRUE(r.error().description().startsWith(QStringLiteral("Network error: "))) << r.error().description().toStdString();
}

TEST(CloudResponses, DatesAreWholeSecondsAndUnknownKeysAreIgnored)
{
    const QByteArray base = R"({"backup":{"id":"b","sourceMacroId":"S","name":"N","description":"d","actionCount":2,"durationSeconds":1,"size":3,"sha256":"x","macroVersion":1,"createdAt":"%1","updatedAt":"2026-12-08T10:00:01Z","more":[1]}})";
    auto with = [&](const char* date) { return QByteArray(base).replace("%1", date); };
    const auto ok = CloudResponses::createResponse(with("2026-12-08T10:00:00Z"));
    ASSERT_TRUE(ok) << ok.error().toStdString();
    EXPECT_EQ(ok.value().description, QStringLiteral("d"));
    EXPECT_EQ(ok.value().durationSeconds, 1.0);
    EXPECT_FALSE(CloudResponses::createResponse(with("2026-12-08T10:00:00.5Z")));
    EXPECT_FALSE(CloudResponses::createResponse(QByteArray(base).replace("\"%1\"", "1765188000")));
    EXPECT_EQ(CloudResponses::errorMessage(R"({"error":"x","code":1})"), QStringLiteral("x"));
}

TEST(CloudConfig, TheEnvironmentWinsThenTheSettingThenTheBuiltInAddress)
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    settings.setValue(CloudConfig::settingsKey, QStringLiteral("https://self.example/q"));
    qputenv("QUILLO_CLOUD_BASE_URL", "https://env.example");
    EXPECT_EQ(CloudConfig::baseURL(settings), QUrl(QStringLiteral("https://env.example")));
    qputenv("QUILLO_CLOUD_BASE_URL", "");
    EXPECT_EQ(CloudConfig::baseURL(settings), QUrl(QStringLiteral("https://self.example/q")));
    qputenv("QUILLO_CLOUD_BASE_URL", "not a url");
    settings.setValue(CloudConfig::settingsKey, QStringLiteral("ftp://files.example"));
    EXPECT_EQ(CloudConfig::baseURL(settings), CloudConfig::defaultBaseURL());
    qunsetenv("QUILLO_CLOUD_BASE_URL");
    EXPECT_EQ(CloudConfig::defaultBaseURL(), QUrl(QStringLiteral("http://127.0.0.1:8787")));
    EXPECT_EQ(CloudConfig::appending(QUrl(QStringLiteral("https://h/x/")), QStringLiteral("/api/backups")).toString(),
              QStringLiteral("https://h/x/api/backups"));
}

TEST(UpdateChecker, VersionsCompareByTheirNumbers)
{
    auto newer = &UpdateCheckerService::isNewer;
    EXPECT_TRUE(newer(QStringLiteral("1.10.0"), QStringLiteral("1.9.3")));
    EXPECT_TRUE(newer(QStringLiteral("v2.0"), QStringLiteral("1.9")));
    EXPECT_FALSE(newer(QStringLiteral("v2.0"), QStringLiteral("2.0")));
    EXPECT_FALSE(newer(QStringLiteral("2.0"), QStringLiteral("v2.0")));
    EXPECT_TRUE(newer(QStringLiteral("1.2.0"), QStringLiteral("1.2")));
    EXPECT_FALSE(newer(QStringLiteral("1.2"), QStringLiteral("1.2.0")));
    EXPECT_FALSE(newer(QStringLiteral(" 1.4\t"), QStringLiteral("1.4")));
    EXPECT_FALSE(newer(QStringLiteral("1.4"), QStringLiteral("\u00a01.4 ")));
    // Leading zeros do not count; digit runs of any length compare.
    EXPECT_FALSE(newer(QStringLiteral("1.01"), QStringLiteral("1.1")));
    EXPECT_FALSE(newer(QStringLiteral("1.1"), QStringLiteral("1.01")));
    EXPECT_TRUE(newer(QStringLiteral("1.100000000000000000000"), QStringLiteral("1.99999999999999999999")));
    // An upper-case V is a character like any other (it sorts after the digits).
    EXPECT_TRUE(newer(QStringLiteral("V1"), QStringLiteral("9")));
    EXPECT_EQ(UpdateCheckerService::trimmedHorizontally(QStringLiteral(" \t1.0\n ")), QStringLiteral("1.0\n"));
}

TEST(UpdateChecker, EveryOutcomeEndsInItsState)
{
    ScriptedHttpServer server;
    UpdateCheckerService checker(QUrl(server.url() + QStringLiteral("/base")), QStringLiteral("1.2.9"));
    using Kind = UpdateCheckerService::State::Kind;
    auto check = [&](ScriptedHttpServer::Reply reply) {
        server.script(reply);
        checker.check();
        EXPECT_EQ(checker.state().kind, Kind::checking);
        checker.check(); // a second press while checking does nothing
        EXPECT_TRUE(waitUntil([&] { return checker.state().kind != Kind::checking; }));
        return checker.state();
    };
    auto state = check({200, R"({"version":" v1.3.0 ","downloadUrl":"https://example.com/q.deb"})"});
    EXPECT_EQ(state, (UpdateCheckerService::State{Kind::available, QStringLiteral("v1.3.0"), QUrl(QStringLiteral("https://example.com/q.deb")), {}}));
    EXPECT_EQ(check({200, R"({"version":"1.2.9","downloadUrl":"https://e/x","releaseNotesUrl":null})"}).kind, Kind::upToDate);
    EXPECT_EQ(check({200, R"({"version":"1.0","downloadUrl":"has a space"})"}).message,
              QStringLiteral("Invalid download URL in response."));
    EXPECT_TRUE(check({200, R"({"downloadUrl":"https://e/x"})"}).message.startsWith(QStringLiteral("Couldn't parse version info: ")));
    EXPECT_EQ(check({503, R"({"error":"stopping"})"}).message, QStringLiteral("Server returned HTTP 503."));
    ASSERT_EQ(server.received().size(), 5); // the second presses sent nothing
    EXPECT_EQ(server.received()[0].path, "/base/api/version");
    EXPECT_FALSE(server.received()[0].headers.contains("authorization"));
    EXPECT_EQ(server.received()[0].headers.value("accept"), "application/json");
}

TEST(BackupPayload, DescribesTheVeryBytesItCarriesInSortedKeyOrder)
{
    Macro macro = TestMacros::small();
    macro.metadata.name = QStringLiteral("a/b \u00e9");
    const auto first = BackupSyncService::payload(macro);
    ASSERT_TRUE(first);
    EXPECT_EQ(first.value(), BackupSyncService::payload(macro).value()); // unchanged macro, same upload
    const QByteArray& body = first.value();
    const QStringList keys = {"\"actionCount\"", "\"data\"", "\"durationSeconds\"", "\"macroVersion\"", "\"name\"",
                              "\"sha256\"", "\"size\"", "\"sourceMacroId\""};
    qsizetype last = -1;
    for (const QString& key : keys) {
        const qsizetype at = body.indexOf(key.toUtf8());
        EXPECT_GT(at, last) << key.toStdString();
        last = at;
    }
    EXPECT_FALSE(body.contains("description"));
    EXPECT_FALSE(body.contains('\n'));
    EXPECT_FALSE(body.contains("\": ") || body.contains(", \""));
    const QJsonObject json = QJsonDocument::fromJson(body).object();
    const QByteArray data = QByteArray::fromBase64(json[QStringLiteral("data")].toString().toLatin1(),
                                                   QByteArray::AbortOnBase64DecodingErrors);
    EXPECT_EQ(json[QStringLiteral("size")].toInteger(), data.size());
    EXPECT_EQ(json[QStringLiteral("data")].toString().size(), (data.size() + 2) / 3 * 4);
    EXPECT_EQ(json[QStringLiteral("sha256")].toString(),
              QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex()));
    EXPECT_TRUE(data.contains("a\\/b")); // the solidus escaped, the macro JSON compact
    const auto back = MacroJsonDecoder::decodeMacro(data);
    ASSERT_TRUE(back);
    EXPECT_EQ(back.value(), macro);
    EXPECT_EQ(json[QStringLiteral("sourceMacroId")].toString(), macro.id.toString(QUuid::WithoutBraces).toUpper());

    macro.metadata.durationSeconds = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(BackupSyncService::payload(macro));
}

TEST(BackupSync, ASignedOutUploadFailsAtOnceAndLeavesItsError)
{
    QNetworkAccessManager network;
    CloudAPIClient client(QUrl(QStringLiteral("http://127.0.0.1:1")), network, [] { return std::nullopt; });
    BackupSyncService sync(client);
    std::optional<Expected<int, BackupError>> result;
    sync.pushAll({TestMacros::small(), TestMacros::small()}, [&](Expected<int, BackupError> r) { result.emplace(r); });
    EXPECT_EQ(sync.inFlight(), 1);
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }));
    ASSERT_FALSE(*result);
    EXPECT_EQ(result->error().description(), QStringLiteral("Sign in to Quillo Cloud first."));
    EXPECT_EQ(sync.lastError(), QStringLiteral("Sign in to Quillo Cloud first."));
    EXPECT_EQ(sync.inFlight(), 0);
    EXPECT_FALSE(sync.lastSyncedAt());
}

TEST(CloudAuth, CallbacksAreCheckedAndTokensNeverReachTheLog)
{
    LogService::shared()->setEntries({});
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    ScriptedHttpServer server;
    settings.setValue(CloudConfig::settingsKey, server.url());
    FakeSecretStore store;
    std::optional<QUrl> opened;
    CloudAuthService auth(store, settings, [&](const QUrl& url) { opened = url; return true; });

    // Only the newest sign-in's state is accepted; a wrong host is not a callback at all.
    auth.startSignIn();
    const QString first = *auth.pendingState();
    EXPECT_EQ(first.size(), 36);
    EXPECT_EQ(first, first.toUpper());
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->path(), QStringLiteral("/auth/native"));
    EXPECT_TRUE(opened->query().startsWith(QStringLiteral("state=") + first + QStringLiteral("&device=")));
    auth.startSignIn();
    auth.handleCallbackURL(QUrl(QStringLiteral("quillo://other?state=%1&token=SECRET1").arg(*auth.pendingState())));
    EXPECT_EQ(auth.status(), CloudAuthService::Status::signingIn);
    auth.handleCallbackURL(QUrl(QStringLiteral("quillo://auth?state=%1&token=SECRET2").arg(first)));
    EXPECT_EQ(auth.status(), CloudAuthService::Status::signedOut);
    EXPECT_EQ(auth.lastError(), QStringLiteral("State mismatch \u2014 sign-in aborted"));
    auth.startSignIn();
    auth.handleCallbackURL(QUrl(QStringLiteral("quillo://auth?state=%1").arg(*auth.pendingState())));
    EXPECT_EQ(auth.lastError(), QStringLiteral("Callback URL missing state or token"));
    EXPECT_FALSE(store.secret);

    // The right state: the token is kept and the profile confirms it.
    auth.startSignIn();
    server.script({200, kUser});
    const QString state = *auth.pendingState();
    auth.handleCallbackURL(QUrl(QStringLiteral("quillo://auth?token=a%2Bb%3D&extra=1&state=") + state));
    ASSERT_TRUE(waitUntil([&] { return auth.status() == CloudAuthService::Status::signedIn; }));
    EXPECT_EQ(store.secret, QStringLiteral("a+b="));
    EXPECT_EQ(server.received().back().headers.value("authorization"), "Bearer a+b=");

    QCoreApplication::sendPostedEvents();
    const QString log = LogService::text(LogService::shared()->entries());
    EXPECT_TRUE(log.contains(QStringLiteral("Ignoring unrelated URL: quillo://other?state=")));
    EXPECT_TRUE(log.contains(QStringLiteral("token=<redacted>")));
    for (const char* secret : {"SECRET1", "SECRET2", "a%2Bb", "a+b="})
        EXPECT_FALSE(log.contains(QLatin1String(secret))) << secret;
    EXPECT_EQ(CloudAuthService::redacted(QUrl(QStringLiteral("quillo://auth?state=s&token=t&x=1"))),
              QStringLiteral("quillo://auth?state=s&token=<redacted>&x=1"));

    // Cancelling (no token) sends nothing; a stored token and no network keeps it.
    server.script({204, {}});
    bool signedOut = false;
    auth.signOut([&] { signedOut = true; });
    ASSERT_TRUE(waitUntil([&] { return signedOut; }));
    EXPECT_EQ(server.received().back().path, "/api/native/sign-out");
    EXPECT_FALSE(store.secret);
}

TEST(CloudAuth, AStoreThatFailsToLoadLeavesTheUserSignedOut)
{
    QTemporaryDir dir;
    QSettings settings(dir.filePath(QStringLiteral("s.ini")), QSettings::IniFormat);
    FakeSecretStore store;
    store.secret = QStringLiteral("kept");
    store.loadError = KeychainError{KeychainError::Kind::unexpectedStatus, 4, QStringLiteral("locked")};
    CloudAuthService auth(store, settings, {});
    EXPECT_FALSE(auth.hasToken());
    EXPECT_TRUE(auth.remembersSignIn());
    EXPECT_EQ(store.removes, 0); // the item is left alone
    EXPECT_EQ(store.loadError->description(), QStringLiteral("Keychain operation failed (status 4)"));
}

TEST(SettingsTexts, InitialsRelativeDatesAndVersions)
{
    auto user = [](const char* name, const char* email) {
        return CloudUser{QStringLiteral("u"), QString::fromUtf8(email),
                         name ? std::optional<QString>(QString::fromUtf8(name)) : std::nullopt, std::nullopt};
    };
    EXPECT_EQ(SettingsViewModel::initials(user("Jane Doe", "x@y")), QStringLiteral("JD"));
    EXPECT_EQ(SettingsViewModel::initials(user(nullptr, "jane.doe@example.com")), QStringLiteral("JD"));
    EXPECT_EQ(SettingsViewModel::initials(user("", "a.b@example.com")), QStringLiteral("AB"));
    EXPECT_EQ(SettingsViewModel::initials(user("Alice", "x@y")), QStringLiteral("AL"));
    EXPECT_EQ(SettingsViewModel::initials(user("Q", "x@y")), QStringLiteral("Q"));
    EXPECT_EQ(SettingsViewModel::initials(user("\U0001F600 Smile", "x@y")), QStringLiteral("\U0001F600S"));

    const QDateTime now = TestMacros::date(2026, 12, 8, 12, 0, 0);
    EXPECT_EQ(RelativeTime::shortText(now.addSecs(-42), now, AppLocale::en), QStringLiteral("42 sec. ago"));
    EXPECT_EQ(RelativeTime::shortText(now.addSecs(-150), now, AppLocale::en), QStringLiteral("2 min. ago"));
    EXPECT_EQ(RelativeTime::shortText(now.addDays(-1), now, AppLocale::en), QStringLiteral("1 day ago"));
    EXPECT_EQ(RelativeTime::shortText(now.addDays(-400), now, AppLocale::en), QStringLiteral("1 yr. ago"));
    EXPECT_EQ(RelativeTime::shortText(now.addSecs(-7200), now, AppLocale::fr), QStringLiteral("il y a 2 h"));
    EXPECT_EQ(RelativeTime::shortText(now.addSecs(-300), now, AppLocale::zh), QStringLiteral("5\u5206\u949f\u524d"));
    EXPECT_EQ(RelativeTime::shortText(now.addSecs(5), now, AppLocale::en), QStringLiteral("0 sec. ago")); // a clock step back

    EXPECT_EQ(SettingsViewModel::versionText(QStringLiteral("1.4.0"), QStringLiteral("57")), QStringLiteral("1.4.0 (57)"));
    EXPECT_EQ(SettingsViewModel::versionText(QStringLiteral("1.4.0"), QStringLiteral("1.4.0")), QStringLiteral("1.4.0"));
    EXPECT_EQ(SettingsViewModel::versionText({}, {}), QStringLiteral("\u2014"));
}
