#pragma once

#include "Services/Cloud/CloudUser.h"
#include "Services/Cloud/UpdateCheckerService.h"

#include <QObject>
#include <QString>
#include <QUrl>
#include <optional>

class AppViewModel;

// What the settings window shows beyond the model itself: the backup switch, the
// "Sync all now" run and its message, the update check, and the cloud address.
class SettingsViewModel : public QObject
{
    Q_OBJECT
public:
    explicit SettingsViewModel(AppViewModel& model, QObject* parent = nullptr);

    // Shared with the model: whether saved recordings are backed up.
    bool autoSyncEnabled() const;
    void setAutoSyncEnabled(bool enabled);

    bool isSyncing() const { return m_isSyncing; }
    const std::optional<QString>& syncMessage() const { return m_syncMessage; }
    // Shown in red: the message speaks of a failure ("fail" in it, in any case).
    bool syncMessageIsFailure() const;
    bool canSync() const;
    // Backs up the whole library; the outcome becomes `syncMessage`.
    void syncNow();

    // The window's own checker, made on first use with the cloud address of that moment.
    UpdateCheckerService& updateChecker();
    // The updates row: its status text.
    QString updateStatusText();

    // The cloud address in use, and whether the environment variable decides it.
    QString serviceAddress() const;
    bool serviceAddressFromEnvironment() const;
    // Writes "cloud.baseURL" (empty: the built-in address again); false when `text`
    // is not an http(s) address.
    bool setServiceAddress(const QString& text);
    // The account page: the address's text followed by "/dashboard".
    QUrl dashboardURL() const;

    // "JD" for Jane Doe or jane.doe@…, "AL" for Alice.
    static QString initials(const CloudUser& user);
    // "1.4.0", with the build in parentheses when it differs: "1.4.0 (57)"; "—" without one.
    static QString versionText(const QString& shortVersion, const QString& build);

Q_SIGNALS:
    void changed();

private:
    AppViewModel& m_model;
    bool m_isSyncing = false;
    std::optional<QString> m_syncMessage;
    UpdateCheckerService* m_updateChecker = nullptr;
};
