#pragma once

#include <QGroupBox>
#include <QTimer>

class AppViewModel;
class SettingsViewModel;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

// The account section: sign in through the browser (and which service), waiting for
// the browser, or the signed-in person with the backup switch, "Sync all now", the
// last sync, the dashboard link and sign-out.
class AccountSettingsSection : public QGroupBox
{
    Q_OBJECT
public:
    AccountSettingsSection(AppViewModel& model, SettingsViewModel& settings, QWidget* parent = nullptr);

    void refresh();

    // For tests and screenshots.
    QPushButton* signInButton() const { return m_signIn; }
    QPushButton* syncButton() const { return m_syncButton; }
    QPushButton* signOutButton() const { return m_signOut; }
    QPushButton* cancelButton() const { return m_cancel; }
    QLabel* linkHint() const { return m_linkHint; }
    class QLineEdit* linkField() const { return m_link; }
    QPushButton* copyLinkButton() const { return m_copyLink; }
    QLineEdit* codeField() const { return m_code; }
    QPushButton* codeButton() const { return m_useCode; }
    QLabel* codeProblem() const { return m_codeProblem; }
    QLineEdit* serviceField() const { return m_serviceField; }
    QLabel* syncMessage() const { return m_syncMessage; }
    QLabel* lastErrorText() const { return m_lastError; }
    QLabel* lastSyncText() const { return m_lastSync; }
    QLabel* nameText() const { return m_name; }
    QLabel* initialsText() const { return m_avatar; }
    QCheckBox* autoBackupSwitch() const { return m_autoBackup; }
    QWidget* signedOutPage() const { return m_signedOutPage; }
    QWidget* signingInPage() const { return m_signingInPage; }
    QWidget* signedInPage() const { return m_signedInPage; }

private:
    void buildSignedOut();
    void buildSigningIn();
    void buildSignedIn();
    void applyServiceAddress();
    void useCode();

    AppViewModel& m_model;
    SettingsViewModel& m_settings;
    QTimer m_clock; // keeps "Last sync: 2 min. ago" current

    QWidget* m_signedOutPage;
    QLabel* m_signedOutDescription;
    QLabel* m_serviceLabel;
    QLineEdit* m_serviceField;
    QLabel* m_serviceNote;
    QPushButton* m_signIn;
    QLabel* m_lastError;

    QWidget* m_signingInPage;
    QProgressBar* m_spinner;
    QLabel* m_signingIn;
    QPushButton* m_cancel;
    QLabel* m_linkHint;
    class QLineEdit* m_link;
    QPushButton* m_copyLink;
    QLabel* m_codeHint;
    QLineEdit* m_code;
    QPushButton* m_useCode;
    QLabel* m_codeProblem;

    QWidget* m_signedInPage;
    QLabel* m_avatar;
    QLabel* m_name;
    QLabel* m_email;
    QCheckBox* m_autoBackup;
    QLabel* m_autoBackupDescription;
    QPushButton* m_syncButton;
    QLabel* m_lastSync;
    QLabel* m_syncMessage;
    QPushButton* m_dashboard;
    QPushButton* m_signOut;

    QLabel* m_notRemembered;
};
