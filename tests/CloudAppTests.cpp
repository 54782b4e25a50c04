// The application's cloud services against a real quillo-cloud (SQLite).
#include "AppModelHarness.h"
#include "CloudServiceProcess.h"
#include "Services/Cloud/CloudConfig.h"
#include "TestMacros.h"
#include "TestWait.h"
#include "ViewModels/SettingsViewModel.h"

#include <gtest/gtest.h>

namespace {

using AuthStatus = CloudAuthService::Status;

struct CloudApp : ::testing::Test {
    CloudServiceProcess cloud;
    AppModelHarness h;
    std::optional<QUrl> opened;

    AppViewModel& start()
    {
        h.settings.setValue(CloudConfig::settingsKey, cloud.url());
        AppViewModel& m = h.start();
        m.openUrl = [this](const QUrl& url) {
            opened = url;
            return true;
        };
        return m;
    }
    // A model that is signed in with a device token.
    AppViewModel& startSignedIn(const QString& email = QStringLiteral("ann@example.com"))
    {
        h.secrets.secret = cloud.addUserWithToken(email);
        AppViewModel& m = start();
        EXPECT_TRUE(waitUntil([&] { return m.cloudAuth().status() == AuthStatus::signedIn; }));
        return m;
    }
    const Macro& recordAndSave(AppViewModel& m)
    {
        h.record(m, 4);
        m.savePendingRecording();
        return m.macros().front();
    }
    // Lets queued uploads start and finish.
    void settle(AppViewModel& m)
    {
        QCoreApplication::processEvents();
        waitUntil([&] { return m.backupSync().inFlight() == 0; });
    }
};

} // namespace

TEST_F(CloudApp, TheBrowserSignInEndsSignedInAndTheNextLaunchRestoresIt)
{
    AppViewModel& m = start();
    m.cloudAuth().startSignIn();
    ASSERT_TRUE(opened);
    EXPECT_EQ(m.cloudAuth().status(), AuthStatus::signingIn);
    const QString link = cloud.browserSignIn(*opened, QStringLiteral("dee@example.com"));
    ASSERT_TRUE(link.startsWith(QStringLiteral("quillo://auth?"))) << link.toStdString();
    m.cloudAuth().handleCallbackURL(QUrl(link));
    ASSERT_TRUE(waitUntil([&] { return m.cloudAuth().status() == AuthStatus::signedIn; }));
    EXPECT_EQ(m.cloudAuth().user()->email, QStringLiteral("dee@example.com"));
    EXPECT_EQ(m.cloudAuth().user()->displayName, QStringLiteral("Dee Example"));
    ASSERT_TRUE(h.secrets.secret);
    EXPECT_TRUE(link.contains(*h.secrets.secret));

    // The next launch finds the token and asks who it belongs to.
    h.model.reset();
    AppViewModel& again = start();
    EXPECT_EQ(again.cloudAuth().status(), AuthStatus::signedOut);
    ASSERT_TRUE(waitUntil([&] { return again.cloudAuth().status() == AuthStatus::signedIn; }));

    // Revoked from elsewhere: the launch after that signs out locally and says why.
    h.model.reset();
    EXPECT_EQ(cloud.run({QStringLiteral("token"), QStringLiteral("revoke"), QStringLiteral("dee@example.com"),
                         QStringLiteral("--all")}).first, 0);
    AppViewModel& third = start();
    ASSERT_TRUE(waitUntil([&] { return third.cloudAuth().lastError().has_value(); }));
    EXPECT_EQ(third.cloudAuth().lastError(), QStringLiteral("Signed out by another device."));
    EXPECT_EQ(third.cloudAuth().status(), AuthStatus::signedOut);
    EXPECT_FALSE(h.secrets.secret);
}

TEST_F(CloudApp, SigningOutRevokesTheTokenOnTheService)
{
    AppViewModel& m = startSignedIn();
    const QString token = *h.secrets.secret;
    bool done = false;
    m.cloudAuth().signOut([&] { done = true; });
    ASSERT_TRUE(waitUntil([&] { return done; }));
    EXPECT_EQ(m.cloudAuth().status(), AuthStatus::signedOut);
    EXPECT_FALSE(h.secrets.secret);
    // The token no longer works anywhere.
    FakeSecretStore other;
    other.secret = token;
    QSettings settings(h.dir.filePath(QStringLiteral("other.ini")), QSettings::IniFormat);
    settings.setValue(CloudConfig::settingsKey, cloud.url());
    CloudAuthService elsewhere(other, settings, {});
    ASSERT_TRUE(waitUntil([&] { return elsewhere.lastError().has_value(); }));
    EXPECT_EQ(elsewhere.lastError(), QStringLiteral("Signed out by another device."));
}

TEST_F(CloudApp, ASavedRecordingIsBackedUpOnlyWhenTheSwitchIsOnAndSomeoneIsSignedIn)
{
    AppViewModel& m = startSignedIn();
    EXPECT_TRUE(m.autoSyncEnabled());
    const QUuid first = recordAndSave(m).id;
    settle(m);
    EXPECT_EQ(cloud.revisionsOf(first), 1);
    EXPECT_TRUE(m.backupSync().lastSyncedAt());

    m.setAutoSyncEnabled(false);
    EXPECT_FALSE(h.settings.value(QStringLiteral("autoSyncEnabled")).toBool());
    const QUuid second = recordAndSave(m).id;
    settle(m);
    EXPECT_EQ(cloud.revisionsOf(second), 0);

    m.setAutoSyncEnabled(true);
    bool out = false;
    m.cloudAuth().signOut([&] { out = true; });
    ASSERT_TRUE(waitUntil([&] { return out; }));
    const QUuid third = recordAndSave(m).id;
    settle(m);
    EXPECT_EQ(cloud.revisionsOf(third), 0);
    EXPECT_EQ(m.macros().size(), 3u); // every recording saved, backed up or not

    // Signed out, "Sync all now" fails at once and sends nothing.
    std::optional<Expected<int, BackupError>> synced;
    m.syncAllMacrosToCloud([&](Expected<int, BackupError> r) { synced.emplace(r); });
    ASSERT_TRUE(waitUntil([&] { return synced.has_value(); }));
    ASSERT_FALSE(*synced);
    EXPECT_EQ(synced->error().description(), QStringLiteral("Sign in to Quillo Cloud first."));
}

TEST_F(CloudApp, SyncAllStopsAtTheFirstMacroTheServiceRefuses)
{
    cloud.stop();
    cloud.start({QStringLiteral("--max-body"), QStringLiteral("20000")});
    AppViewModel& m = startSignedIn();
    Macro big = TestMacros::small();
    while (big.actions.size() < 2000)
        big.actions.push_back(big.actions.back());
    big.metadata.actionCount = qint64(big.actions.size());
    // An import goes first in the list: the library reads before, big, after.
    for (Macro macro : {TestMacros::small(), big, TestMacros::small()}) {
        macro.id = QUuid::createUuid();
        m.addImportedMacro(macro);
    }
    ASSERT_EQ(m.macros().size(), 3u);
    const Macro before = m.macros()[0];
    const Macro after = m.macros()[2];
    big = m.macros()[1];
    ASSERT_EQ(big.actions.size(), 2000u);

    SettingsViewModel settings(m);
    settings.syncNow();
    EXPECT_TRUE(settings.isSyncing());
    EXPECT_FALSE(settings.canSync());
    ASSERT_TRUE(waitUntil([&] { return !settings.isSyncing(); }, 20000));
    EXPECT_EQ(cloud.revisionsOf(before.id), 1);
    EXPECT_EQ(cloud.revisionsOf(big.id), 0);
    EXPECT_EQ(cloud.revisionsOf(after.id), 0);
    ASSERT_TRUE(settings.syncMessage());
    EXPECT_TRUE(settings.syncMessage()->startsWith(QStringLiteral("Sync failed: "))) << settings.syncMessage()->toStdString();
    EXPECT_TRUE(settings.syncMessageIsFailure());
    EXPECT_EQ(m.backupSync().lastError(), settings.syncMessage()->mid(13));
    EXPECT_TRUE(m.backupSync().lastSyncedAt()); // the first one went through

    // Without the big one, all of them; the plural message.
    m.deleteMacro(big.id);
    settings.syncNow();
    ASSERT_TRUE(waitUntil([&] { return !settings.isSyncing(); }, 20000));
    EXPECT_EQ(settings.syncMessage(), QStringLiteral("Synced 2 macros."));
    EXPECT_FALSE(settings.syncMessageIsFailure());
    EXPECT_EQ(cloud.revisionsOf(before.id), 2);
    EXPECT_EQ(m.backupSync().lastError(), std::nullopt);

    // Revoked meanwhile: the sync says the session ended elsewhere.
    EXPECT_EQ(cloud.run({QStringLiteral("token"), QStringLiteral("revoke"), QStringLiteral("ann@example.com"),
                         QStringLiteral("--all")}).first, 0);
    settings.syncNow();
    ASSERT_TRUE(waitUntil([&] { return !settings.isSyncing(); }, 20000));
    EXPECT_EQ(settings.syncMessage(), QStringLiteral("Signed out by another device."));
}

TEST_F(CloudApp, TheUpdateCheckComparesWithWhatTheServiceAnnounces)
{
    using Kind = UpdateCheckerService::State::Kind;
    auto checkAgainst = [&](const QStringList& flags, const QString& running) {
        cloud.stop();
        cloud.start(flags);
        UpdateCheckerService checker(QUrl(cloud.url()), running);
        checker.check();
        EXPECT_TRUE(waitUntil([&] { return checker.state().kind != Kind::checking; }));
        return checker.state();
    };
    const QStringList announced = {QStringLiteral("--latest-version"), QStringLiteral("1.4.0"),
                                   QStringLiteral("--download-url"), QStringLiteral("https://example.com/quillo.deb")};
    auto state = checkAgainst(announced, QStringLiteral("1.3.9"));
    EXPECT_EQ(state.kind, Kind::available);
    EXPECT_EQ(state.latest, QStringLiteral("1.4.0"));
    EXPECT_EQ(state.downloadURL, QUrl(QStringLiteral("https://example.com/quillo.deb")));
    EXPECT_EQ(checkAgainst(announced, QStringLiteral("1.4.0")).kind, Kind::upToDate);
    EXPECT_EQ(checkAgainst(announced, QStringLiteral("1.10.0")).kind, Kind::upToDate);
    state = checkAgainst({QStringLiteral("--latest-version"), QStringLiteral("0.1.0"), QStringLiteral("--download-url"),
                          QStringLiteral("not a url")},
                         QStringLiteral("1.0"));
    EXPECT_EQ(state.message, QStringLiteral("Invalid download URL in response."));
    cloud.stop();
    UpdateCheckerService gone(QUrl(cloud.url()), QStringLiteral("1.0"));
    gone.check();
    ASSERT_TRUE(waitUntil([&] { return gone.state().kind == Kind::failed; }));
    EXPECT_FALSE(gone.state().message.isEmpty());
}
