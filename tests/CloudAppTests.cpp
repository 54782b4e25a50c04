// The application's cloud services against a real quillo-cloud (SQLite).
#include "AppModelHarness.h"
#include "CloudServiceProcess.h"
#include "Codec/SignInCode.h"
#include "Services/Cloud/BackupRestoreService.h"
#include "Services/Cloud/CloudConfig.h"
#include "Services/Cloud/CloudTask.h"
#include "TestMacros.h"
#include "TestWait.h"
#include "ViewModels/SettingsViewModel.h"

#include <QThread>
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
        m.recordingFlow().savePendingRecording();
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
    EXPECT_TRUE(m.recordingFlow().autoSyncEnabled());
    const QUuid first = recordAndSave(m).id;
    settle(m);
    EXPECT_EQ(cloud.revisionsOf(first), 1);
    EXPECT_TRUE(m.backupSync().lastSyncedAt());

    m.recordingFlow().setAutoSyncEnabled(false);
    EXPECT_FALSE(h.settings.value(QStringLiteral("autoSyncEnabled")).toBool());
    const QUuid second = recordAndSave(m).id;
    settle(m);
    EXPECT_EQ(cloud.revisionsOf(second), 0);

    m.recordingFlow().setAutoSyncEnabled(true);
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

TEST_F(CloudApp, RecordingsSavedAtQuitOrIntoAFileOfTheirOwnAreBackedUpAtTheNextChance)
{
    const QString waiting = QStringLiteral("cloud/pendingBackups");
    AppViewModel& m = startSignedIn();
    // Quit in the middle of a recording: saved, but the process ends before any upload.
    m.recordingFlow().startRecording();
    RawInputEvent key;
    key.type = RawEventType::keyDown;
    key.time = h.clock.now() + 0.1;
    h.tap.deliver(key);
    QCoreApplication::sendPostedEvents();
    m.recordingFlow().saveUnfinishedRecording();
    const QUuid atQuit = m.macros().front().id;
    h.model.reset();
    EXPECT_EQ(cloud.revisionsOf(atQuit), 0);
    EXPECT_EQ(h.settings.value(waiting).toStringList().size(), 1);

    // The next launch backs it up once the stored sign-in is confirmed.
    AppViewModel& next = start();
    ASSERT_TRUE(waitUntil([&] { return cloud.revisionsOf(atQuit) == 1; }));
    settle(next);
    EXPECT_FALSE(h.settings.contains(waiting));

    // The library refuses a recording: it goes to a file of its own, and is backed up
    // when that file is imported (under the new id an import gives).
    const QString recovery = h.dir.path() + QStringLiteral("/recovery");
    QDir().mkpath(recovery);
    next.recordingFlow().setRecoveryFolder(recovery);
    const QString folder = QFileInfo(h.libraryPath()).absolutePath();
    h.record(next, 6);
    ASSERT_TRUE(QDir().rename(folder, folder + QStringLiteral(".away")));
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    next.recordingFlow().savePendingRecording();
    ASSERT_TRUE(next.errorMessage());
    EXPECT_TRUE(next.errorMessage()->contains(recovery)) << next.errorMessage()->toStdString();
    h.model.reset();
    QFile::remove(folder);
    ASSERT_TRUE(QDir().rename(folder + QStringLiteral(".away"), folder));
    const QStringList kept = QDir(recovery).entryList({QStringLiteral("*.quillo")});
    ASSERT_EQ(kept.size(), 1);

    AppViewModel& third = start();
    ASSERT_TRUE(waitUntil([&] { return third.cloudAuth().status() == AuthStatus::signedIn; }));
    auto brought = ExportImportService::importMacroFrom(recovery + QLatin1Char('/') + kept.front());
    ASSERT_TRUE(brought.hasValue());
    // Another file with other actions is an import like any other: not backed up.
    Macro other = TestMacros::small();
    other.id = QUuid::createUuid();
    third.library().addImportedMacro(other);
    third.library().addImportedMacro(brought.value());
    const QUuid imported = brought.value().id;
    ASSERT_TRUE(waitUntil([&] { return cloud.revisionsOf(imported) == 1; }));
    settle(third);
    EXPECT_EQ(cloud.revisionsOf(other.id), 0);
    EXPECT_FALSE(h.settings.contains(waiting));

    // "Sync all" twice: the bytes the service already has make no new revision.
    for (int round = 0; round < 2; ++round) {
        std::optional<Expected<int, BackupError>> synced;
        third.syncAllMacrosToCloud([&](Expected<int, BackupError> r) { synced.emplace(r); });
        ASSERT_TRUE(waitUntil([&] { return synced.has_value(); }, 20000));
        ASSERT_TRUE(synced->hasValue());
    }
    for (const Macro& macro : third.macros())
        EXPECT_EQ(cloud.revisionsOf(macro.id), 1) << macro.metadata.name.toStdString();
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
        m.library().addImportedMacro(macro);
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
    m.library().deleteMacro(big.id);
    settings.syncNow();
    ASSERT_TRUE(waitUntil([&] { return !settings.isSyncing(); }, 20000));
    EXPECT_EQ(settings.syncMessage(), QStringLiteral("Synced 2 macros."));
    EXPECT_FALSE(settings.syncMessageIsFailure());
    EXPECT_EQ(cloud.revisionsOf(before.id), 1); // the same bytes again: no second revision
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

TEST_F(CloudApp, ABackupIsRestoredInPlaceOfItsMacroFromALinkOrTheCommandLineAndCanBeUndone)
{
    AppViewModel& m = startSignedIn();
    // Three macros; the middle one is backed up twice, then changed again here.
    for (int i = 0; i < 3; ++i) {
        Macro macro = TestMacros::small();
        macro.id = QUuid::createUuid();
        macro.metadata.name = QStringLiteral("M%1").arg(i);
        m.library().addImportedMacro(macro);
    }
    const QUuid id = m.macros()[1].id;
    auto byId = [&](const QUuid& wanted) -> const Macro* {
        for (const Macro& macro : m.macros())
            if (macro.id == wanted)
                return &macro;
        return nullptr;
    };
    const QString name = m.macros()[1].metadata.name;
    auto backUp = [&] {
        std::optional<Expected<int, BackupError>> pushed;
        m.backupSync().pushAll({*byId(id)}, [&](Expected<int, BackupError> r) { pushed.emplace(r); });
        ASSERT_TRUE(waitUntil([&] { return pushed.has_value(); }, 20000));
        ASSERT_TRUE(pushed->hasValue()) << pushed->error().description().toStdString();
    };
    const std::vector<MacroAction> first = byId(id)->actions;
    backUp();
    QThread::sleep(1); // revisions are ordered by their whole-second times
    m.library().deleteActions(id, {0});
    const std::vector<MacroAction> second = byId(id)->actions;
    backUp();
    m.library().deleteActions(id, {0});
    const std::vector<MacroAction> local = byId(id)->actions;

    // The command line's task lists them newest first and restores the older one in place.
    auto runTask = [&](const QStringList& request, QStringList* lines) {
        CloudTask task(m.cloudAuth(), m.backupSync(), [&] { return m.macros(); }, m.settings(),
                       [&](Macro macro, const QString& description) -> std::optional<QString> {
                           m.library().putMacroInPlace(std::move(macro), description);
                           return std::nullopt;
                       });
        std::optional<int> code;
        QObject::connect(&task, &CloudTask::output, [&](const QString& line) { *lines << line; });
        QObject::connect(&task, &CloudTask::problem, [&](const QString& line) { *lines << QStringLiteral("! ") + line; });
        QObject::connect(&task, &CloudTask::finished, [&](int c) { code = c; });
        task.start(request);
        EXPECT_TRUE(waitUntil([&] { return code.has_value(); }, 20000));
        return code.value_or(-1);
    };
    QStringList lines;
    ASSERT_EQ(runTask({QStringLiteral("status")}, &lines), 0);
    EXPECT_TRUE(lines.value(0).contains(QStringLiteral("as Ann Lee <ann@example.com>. Last backup: \"M1\", ")))
        << lines.value(0).toStdString();
    lines.clear();
    ASSERT_EQ(runTask({QStringLiteral("revisions"), name}, &lines), 0) << lines.join('\n').toStdString();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].count(QLatin1Char('\n')), 3) << lines[0].toStdString(); // heading, two revisions, hint
    EXPECT_TRUE(lines[0].contains(QStringLiteral("  1  "))) << lines[0].toStdString();
    lines.clear();
    ASSERT_EQ(runTask({QStringLiteral("restore"), name, QStringLiteral("2")}, &lines), 0) << lines.join('\n').toStdString();
    EXPECT_EQ(m.macros()[1].id, id); // in its place
    EXPECT_EQ(m.macros()[1].actions, first);
    EXPECT_TRUE(lines.value(0).startsWith(QStringLiteral("Restored \"M1\" from its backup of "))) << lines.value(0).toStdString();
    m.undo();
    EXPECT_EQ(byId(id)->actions, local);
    lines.clear();
    EXPECT_EQ(runTask({QStringLiteral("restore"), name, QStringLiteral("3")}, &lines), 1);
    EXPECT_TRUE(lines.value(0).contains(QStringLiteral("has 2 revision(s)"))) << lines.value(0).toStdString();
    lines.clear();
    EXPECT_EQ(runTask({QStringLiteral("restore"), QStringLiteral("No such"), QString()}, &lines), 1);
    EXPECT_TRUE(lines.value(0).contains(QStringLiteral("no macro or backup is named"))) << lines.value(0).toStdString();

    // "Restore in Quillo" on the dashboard: the newest, in place, one undo step.
    BackupRestoreService restore(m.cloudAuth().apiClient());
    std::optional<Expected<std::vector<CloudRevision>, BackupError>> listed;
    restore.revisionsOf(id, [&](Expected<std::vector<CloudRevision>, BackupError> r) { listed.emplace(r); });
    ASSERT_TRUE(waitUntil([&] { return listed.has_value(); }, 20000));
    ASSERT_TRUE(listed->hasValue());
    const QString newest = listed->value().front().id;
    std::optional<std::optional<QString>> outcome;
    m.restoreFlow().handleRestoreLink(QUrl(QStringLiteral("quillo://restore?revision=") + newest));
    m.restoreFlow().restoreRevision(newest, [&](std::optional<QString> problem) { outcome = problem; });
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 20000));
    EXPECT_FALSE(outcome->has_value()) << outcome->value_or(QString()).toStdString();
    EXPECT_EQ(m.macros()[1].actions, second);
    EXPECT_TRUE(h.logMessages().last().startsWith(QStringLiteral("INFO Restored \"M1\" from its backup of ")));

    // Gone from the library: the service still knows it by name, and it comes back first,
    // under its own id.
    m.library().deleteMacro(id);
    lines.clear();
    ASSERT_EQ(runTask({QStringLiteral("revisions"), name}, &lines), 0) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.value(0).contains(id.toString(QUuid::WithoutBraces).toUpper())) << lines.value(0).toStdString();
    outcome.reset();
    m.restoreFlow().restoreRevision(newest, [&](std::optional<QString> problem) { outcome = problem; });
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 20000));
    ASSERT_EQ(m.macros().size(), 3u);
    EXPECT_EQ(m.macros()[0].id, id);
    EXPECT_EQ(m.selectedMacroID(), id);

    // A link without a revision, and a revision the account does not have, change nothing and say why.
    m.clearErrorMessage();
    m.restoreFlow().handleRestoreLink(QUrl(QStringLiteral("quillo://restore?revision=../x")));
    EXPECT_EQ(m.errorMessage(), QStringLiteral("The link does not name a backup to restore."));
    m.clearErrorMessage();
    outcome.reset();
    m.restoreFlow().restoreRevision(QUuid::createUuid().toString(QUuid::WithoutBraces), [&](std::optional<QString> p) { outcome = p; });
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 20000));
    ASSERT_TRUE(outcome->has_value());
    EXPECT_EQ(**outcome, QStringLiteral("Could not restore the backup: This account has no such revision"));
    EXPECT_EQ(m.macros().size(), 3u);

    // The link launched Quillo: the stored sign-in is confirmed first, then the restore runs.
    m.library().deleteMacro(id);
    h.model.reset();
    AppViewModel& launched = start();
    ASSERT_NE(launched.cloudAuth().status(), AuthStatus::signedIn);
    outcome.reset();
    launched.restoreFlow().handleRestoreLink(QUrl(QStringLiteral("quillo://restore?revision=") + newest));
    launched.restoreFlow().restoreRevision(newest, [&](std::optional<QString> problem) { outcome = problem; });
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 20000));
    EXPECT_FALSE(outcome->has_value()) << outcome->value_or(QString()).toStdString();
    ASSERT_FALSE(launched.macros().empty());
    EXPECT_EQ(launched.macros()[0].id, id);
}

TEST_F(CloudApp, ARefusedTokenLeavesTheSignInAsItWas)
{
    AppViewModel& m = startSignedIn();
    const QString kept = h.secrets.secret.value_or(QString());
    std::optional<std::optional<QString>> outcome;
    m.cloudAuth().signInWithToken(QStringLiteral("not-a-token"), [&](std::optional<QString> p) { outcome = p; });
    ASSERT_TRUE(waitUntil([&] { return outcome.has_value(); }, 20000));
    ASSERT_TRUE(outcome->has_value());
    EXPECT_EQ(**outcome, QStringLiteral("That token was refused; still signed in as ann@example.com"));
    EXPECT_EQ(m.cloudAuth().status(), AuthStatus::signedIn);
    EXPECT_EQ(h.secrets.secret.value_or(QString()), kept);
    std::optional<Status<CloudError>> again;
    m.cloudAuth().refreshSession([&](Status<CloudError> r) { again.emplace(r); });
    ASSERT_TRUE(waitUntil([&] { return again.has_value(); }, 20000));
    EXPECT_TRUE(again->hasValue()); // the kept token still works
}

TEST_F(CloudApp, TheCodeOnTheServicesPageFinishesAWaitingSignInOnceAndTheLateLinkChangesNothing)
{
    AppViewModel& m = start();
    m.cloudAuth().startSignIn();
    ASSERT_TRUE(opened);
    const QString link = cloud.browserSignIn(*opened, QStringLiteral("dee@example.com"));
    const QString code = cloud.signInCode();
    ASSERT_EQ(code.size(), 9);
    auto signIn = [&](const QString& typed) {
        std::optional<std::optional<QString>> outcome;
        m.cloudAuth().signInWithCode(typed, [&](std::optional<QString> p) { outcome = p; });
        EXPECT_TRUE(waitUntil([&] { return outcome.has_value(); }, 20000));
        return outcome.value_or(QStringLiteral("no answer"));
    };

    // Not a code at all: said at once, and the browser sign-in still waits.
    EXPECT_TRUE(signIn(QStringLiteral("https://example.com/"))->startsWith(QStringLiteral("That is not a sign-in code")));
    EXPECT_EQ(m.cloudAuth().status(), AuthStatus::signingIn);

    // Typed in lower case: signed in, with a token of its own (not the link's).
    EXPECT_EQ(signIn(code.toLower()), std::nullopt);
    EXPECT_EQ(m.cloudAuth().status(), AuthStatus::signedIn);
    EXPECT_EQ(m.cloudAuth().user()->email, QStringLiteral("dee@example.com"));
    ASSERT_TRUE(h.secrets.secret);
    EXPECT_FALSE(link.contains(*h.secrets.secret));

    // The link arriving after all (its token retired) leaves the sign-in as it is.
    m.cloudAuth().handleCallbackURL(QUrl(link));
    QCoreApplication::processEvents();
    EXPECT_EQ(m.cloudAuth().status(), AuthStatus::signedIn);
    EXPECT_FALSE(m.cloudAuth().lastError());

    // A code works once; the command line's request says so and who stays signed in.
    CloudTask task(m.cloudAuth(), m.backupSync(), [&] { return m.macros(); }, m.settings());
    QStringList lines;
    std::optional<int> exit;
    QObject::connect(&task, &CloudTask::problem, [&](const QString& line) { lines << line; });
    QObject::connect(&task, &CloudTask::finished, [&](int c) { exit = c; });
    task.start({QStringLiteral("sign-in-code"), SignInCode::normalized(code)});
    ASSERT_TRUE(waitUntil([&] { return exit.has_value(); }, 20000));
    EXPECT_EQ(*exit, 1);
    EXPECT_TRUE(lines.value(0).contains(QStringLiteral("codes work once")) &&
                lines.value(0).endsWith(QStringLiteral("; still signed in as dee@example.com")))
        << lines.value(0).toStdString();
    EXPECT_EQ(m.cloudAuth().status(), AuthStatus::signedIn);
}

TEST_F(CloudApp, AWaitingRecordingGoesToTheAccountItWasSavedUnderAndNoOneElse)
{
    AppViewModel& m = startSignedIn(QStringLiteral("ann@example.com"));
    h.record(m, 2);
    m.recordingFlow().saveUnfinishedRecording();
    const QUuid anns = m.macros().front().id;
    h.model.reset(); // quit before the upload

    // Someone else signs in on this computer: Ann's recording waits for Ann.
    const QString annToken = *h.secrets.secret;
    AppViewModel& other = startSignedIn(QStringLiteral("bo@example.com"));
    settle(other);
    QThread::msleep(300);
    settle(other);
    EXPECT_EQ(cloud.revisionsOf(anns), 0);
    EXPECT_EQ(h.settings.value(QStringLiteral("cloud/pendingBackups")).toStringList().size(), 1);
    h.model.reset();

    h.secrets.secret = annToken;
    AppViewModel& again = start();
    ASSERT_TRUE(waitUntil([&] { return cloud.revisionsOf(anns) == 1; }));
    settle(again);
    EXPECT_FALSE(h.settings.contains(QStringLiteral("cloud/pendingBackups")));
}
