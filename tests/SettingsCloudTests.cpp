// The settings window's account and updates sections with a real quillo-cloud behind
// them; draws each state in English and Arabic into screenshots-settings/ to look at.
#include "AppModelHarness.h"
#include "CloudServiceProcess.h"
#include "ScriptedHttpServer.h"
#include "Services/Cloud/CloudConfig.h"
#include "TestMacros.h"
#include "TestWait.h"
#include "ViewModels/SettingsViewModel.h"
#include "Views/Settings/AccountSettingsSection.h"
#include "Views/Settings/SettingsWindow.h"
#include "Views/Settings/UpdatesSettingsSection.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QClipboard>
#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {

using AuthStatus = CloudAuthService::Status;

// Both languages of each state, the section in view.
void shoot(AppViewModel& m, SettingsWindow& window, QWidget& section, const QString& name)
{
    QDir().mkpath(QStringLiteral(QUILLO_SCREENSHOTS));
    for (const AppLocale language : {AppLocale::en, AppLocale::ar}) {
        m.setAppLanguage(language);
        window.findChild<QScrollArea*>()->ensureWidgetVisible(&section, 0, 0);
        QCoreApplication::processEvents();
        window.grab().save(QStringLiteral(QUILLO_SCREENSHOTS "/%1-%2.png").arg(name, AppLocales::rawValue(language)));
    }
    m.setAppLanguage(AppLocale::en);
}

} // namespace

TEST(SettingsWithCloud, SignInSyncAndUpdateStatesAsTheUserSeesThem)
{
    CloudServiceProcess cloud;
    AppModelHarness h;
    h.settings.setValue(CloudConfig::settingsKey, cloud.url());
    AppViewModel& m = h.start();
    std::optional<QUrl> opened;
    m.openUrl = [&](const QUrl& url) {
        opened = url;
        return true;
    };
    SettingsWindow window(m);
    window.show();
    AccountSettingsSection& account = *window.account();
    EXPECT_EQ(window.size(), QSize(480, 640));

    // Signed out: which service, and the sign-in button.
    EXPECT_TRUE(account.signedOutPage()->isVisible());
    EXPECT_EQ(account.serviceField()->text(), cloud.url());
    shoot(m, window, account, QStringLiteral("01-signed-out"));

    // An address that is not one, then a plain-HTTP one on another machine: both said.
    account.serviceField()->setText(QStringLiteral("ftp://files.example"));
    Q_EMIT account.serviceField()->editingFinished();
    EXPECT_EQ(CloudConfig::baseURL(h.settings).toString(), cloud.url());
    auto visibleText = [&](const QString& needle) {
        for (QLabel* label : account.findChildren<QLabel*>())
            if (label->isVisible() && label->text().contains(needle))
                return true;
        return false;
    };
    EXPECT_TRUE(visibleText(QStringLiteral("starts with https://")));
    account.serviceField()->setText(QStringLiteral("http://192.0.2.7:8787"));
    Q_EMIT account.serviceField()->editingFinished();
    EXPECT_TRUE(visibleText(QStringLiteral("plain HTTP to another machine (\u2066http://192.0.2.7:8787\u2069)")));
    shoot(m, window, account, QStringLiteral("02-plain-http-elsewhere"));
    account.serviceField()->setText(QString()); // back to the built-in address...
    Q_EMIT account.serviceField()->editingFinished();
    EXPECT_FALSE(h.settings.contains(CloudConfig::settingsKey));
    account.serviceField()->setText(cloud.url()); // ...and to this service
    Q_EMIT account.serviceField()->editingFinished();

    // The button opens the sign-in page; waiting shows Cancel, which sends nothing.
    account.signInButton()->click();
    ASSERT_TRUE(opened);
    EXPECT_TRUE(opened->toString().startsWith(cloud.url() + QStringLiteral("/auth/native?state=")));
    EXPECT_TRUE(account.signingInPage()->isVisible());
    // The page's link stays at hand, with a button that copies it.
    EXPECT_EQ(account.linkField()->text(), opened->toString(QUrl::FullyEncoded));
    EXPECT_TRUE(account.linkHint()->text().startsWith(QStringLiteral("If the browser did not open")));
    account.copyLinkButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), account.linkField()->text());
    shoot(m, window, account, QStringLiteral("03-signing-in"));
    account.cancelButton()->click();
    ASSERT_TRUE(waitUntil([&] { return m.cloudAuth().status() == AuthStatus::signedOut; }));
    EXPECT_FALSE(m.cloudAuth().lastError());
    // No browser would start: said, with the link to open by hand.
    m.openUrl = [](const QUrl&) { return false; };
    account.signInButton()->click();
    EXPECT_TRUE(account.signingInPage()->isVisible());
    EXPECT_TRUE(account.linkHint()->text().startsWith(QStringLiteral("No browser could be opened")));
    EXPECT_FALSE(account.linkField()->text().isEmpty());
    shoot(m, window, account, QStringLiteral("03b-no-browser"));
    account.cancelButton()->click();
    ASSERT_TRUE(waitUntil([&] { return m.cloudAuth().status() == AuthStatus::signedOut; }));
    m.openUrl = [&](const QUrl& url) {
        opened = url;
        return true;
    };

    // The whole sign-in, finished with the code the page shows (the link never came);
    // then the person, and sync (disabled while the library is empty).
    account.signInButton()->click();
    cloud.browserSignIn(*opened, QStringLiteral("dee.example@example.com"));
    account.codeField()->setText(QStringLiteral("ZZZZ-ZZZZ"));
    account.codeButton()->click();
    ASSERT_TRUE(waitUntil([&] { return account.codeProblem()->isVisible(); }));
    EXPECT_TRUE(account.codeProblem()->text().startsWith(QStringLiteral("That code is not valid")));
    EXPECT_TRUE(account.signingInPage()->isVisible());
    shoot(m, window, account, QStringLiteral("03c-code-refused"));
    account.codeField()->setText(cloud.signInCode());
    Q_EMIT account.codeField()->returnPressed();
    ASSERT_TRUE(waitUntil([&] { return account.signedInPage()->isVisible(); }));
    EXPECT_EQ(account.nameText()->text(), QStringLiteral("Dee Example"));
    EXPECT_EQ(account.initialsText()->accessibleName(), QStringLiteral("DE"));
    EXPECT_FALSE(account.syncButton()->isEnabled());
    EXPECT_FALSE(account.lastSyncText()->isVisible());
    m.library().addImportedMacro(TestMacros::small());
    EXPECT_TRUE(account.syncButton()->isEnabled());
    account.syncButton()->click();
    EXPECT_FALSE(account.syncButton()->isEnabled());
    EXPECT_EQ(account.syncButton()->text(), QStringLiteral("Syncing\u2026"));
    ASSERT_TRUE(waitUntil([&] { return account.syncMessage()->isVisible(); }));
    EXPECT_EQ(account.syncMessage()->text(), QStringLiteral("Synced 1 macro."));
    EXPECT_FALSE(account.syncMessage()->styleSheet().contains(QStringLiteral("#d0312d")));
    EXPECT_TRUE(account.lastSyncText()->isVisible());
    EXPECT_TRUE(account.lastSyncText()->text().startsWith(QStringLiteral("Last sync: "))) << account.lastSyncText()->text().toStdString();
    shoot(m, window, account, QStringLiteral("04-signed-in-after-sync"));
    account.autoBackupSwitch()->click();
    EXPECT_FALSE(m.recordingFlow().autoSyncEnabled());

    // Revoked elsewhere: the next sync says so in red, in English.
    cloud.run({QStringLiteral("token"), QStringLiteral("revoke"), QStringLiteral("dee.example@example.com"), QStringLiteral("--all")});
    account.syncButton()->click();
    ASSERT_TRUE(waitUntil([&] { return account.syncButton()->isEnabled(); }));
    EXPECT_EQ(account.syncMessage()->text(), QStringLiteral("Signed out by another device."));

    // Sign out from the button.
    account.signOutButton()->click();
    ASSERT_TRUE(waitUntil([&] { return account.signedOutPage()->isVisible(); }));

    // The five states of the updates row, against a service that answers as scripted.
    ScriptedHttpServer versions;
    ASSERT_TRUE(window.viewModel().setServiceAddress(versions.url()));
    UpdatesSettingsSection& updates = *window.updates();
    EXPECT_EQ(updates.statusText()->text(), QStringLiteral(QUILLO_VERSION));
    shoot(m, window, updates, QStringLiteral("05-update-idle"));
    versions.script({200, {}, true}); // no answer yet
    updates.actionButton()->click();
    EXPECT_TRUE(updates.spinner()->isVisible());
    EXPECT_EQ(updates.statusText()->text(), QStringLiteral("Checking\u2026"));
    shoot(m, window, updates, QStringLiteral("06-update-checking"));

    auto checkWith = [&](ScriptedHttpServer::Reply reply) {
        window.viewModel().setServiceAddress(QString()); // a fresh checker for each answer
        window.viewModel().setServiceAddress(versions.url());
        versions.script(reply);
        updates.actionButton()->click();
        EXPECT_TRUE(waitUntil([&] { return !updates.spinner()->isVisible(); }));
    };
    checkWith({200, R"({"version":"9.0.0","downloadUrl":"https://example.com/quillo_9.deb"})"});
    EXPECT_EQ(updates.statusText()->text(), QStringLiteral("New version available: 9.0.0"));
    EXPECT_EQ(updates.actionButton()->text(), QStringLiteral("Download"));
    shoot(m, window, updates, QStringLiteral("07-update-available"));
    checkWith({200, R"({"version":")" QUILLO_VERSION R"(","downloadUrl":"https://example.com/q.deb"})"});
    EXPECT_EQ(updates.statusText()->text(), QStringLiteral("You're up to date (" QUILLO_VERSION ")"));
    shoot(m, window, updates, QStringLiteral("08-update-up-to-date"));
    checkWith({503, {}});
    EXPECT_EQ(updates.statusText()->text(), QStringLiteral("Couldn't check for updates: Server returned HTTP 503."));
    EXPECT_EQ(updates.actionButton()->text(), QStringLiteral("Check for updates"));
    shoot(m, window, updates, QStringLiteral("09-update-failed"));
}

TEST(SettingsWithCloud, WithoutAKeyringTheSectionSaysTheSignInIsNotRemembered)
{
    AppModelHarness h;
    h.secrets.loadError = KeychainError{KeychainError::Kind::unexpectedStatus, 7, QStringLiteral("Could not connect"), true};
    AppViewModel& m = h.start();
    SettingsWindow window(m);
    window.show();
    bool said = false;
    for (QLabel* label : window.account()->findChildren<QLabel*>())
        said = said || (label->isVisible() && label->text().contains(QStringLiteral("lasts until Quillo quits")));
    EXPECT_TRUE(said);
}
