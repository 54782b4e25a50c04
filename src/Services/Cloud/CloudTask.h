#pragma once

#include "Models/Macro.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <vector>

class BackupSyncService;
class CloudAuthService;
class QSettings;
class UpdateCheckerService;

// One `quillo cloud` request carried out with the given services, in the command
// line's own process or in the running application: its results come out as lines.
//
//   {"status"}  {"sign-in"}  {"sign-in-token", token}  {"sign-out"}
//   {"sync", name-or-id...}  {"check-update"}
class CloudTask : public QObject
{
    Q_OBJECT
public:
    CloudTask(CloudAuthService& auth, BackupSyncService& backup, std::function<std::vector<Macro>()> library,
              QSettings& settings, QObject* parent = nullptr);

    void start(const QStringList& request);
    // Ctrl-C: a sign-in waiting for the browser is cancelled; other work ends on its own.
    void cancel();

Q_SIGNALS:
    void output(const QString& line);
    void problem(const QString& line);
    void finished(int code);

private:
    void status();
    void signIn();
    void signInWithToken(const QString& token);
    void signOut();
    void sync(const QStringList& names);
    void checkUpdate();
    // Runs `then` once the stored session is confirmed; says why not otherwise.
    void withSession(std::function<void()> then);
    void finish(int code);
    void fail(const QString& line);
    QString who() const;

    CloudAuthService& m_auth;
    BackupSyncService& m_backup;
    std::function<std::vector<Macro>()> m_library;
    QSettings& m_settings;
    UpdateCheckerService* m_checker = nullptr;
    bool m_waitingForBrowser = false;
    bool m_finished = false;
};
