#include "Services/Cloud/CloudTask.h"

#include "Services/Cloud/BackupSyncService.h"
#include "Services/Cloud/CloudAuthService.h"
#include "Services/Cloud/CloudConfig.h"
#include "Services/Cloud/UpdateCheckerService.h"

#include <QPointer>
#include <QSettings>

CloudTask::CloudTask(CloudAuthService& auth, BackupSyncService& backup, std::function<std::vector<Macro>()> library,
                     QSettings& settings, QObject* parent)
    : QObject(parent), m_auth(auth), m_backup(backup), m_library(std::move(library)), m_settings(settings)
{
}

void CloudTask::finish(int code)
{
    if (m_finished)
        return;
    m_finished = true;
    m_waitingForBrowser = false;
    Q_EMIT finished(code);
}

void CloudTask::fail(const QString& line)
{
    Q_EMIT problem(line);
    finish(1);
}

QString CloudTask::who() const
{
    const auto& user = m_auth.user();
    if (!user)
        return {};
    if (user->displayName && !user->displayName->isEmpty())
        return QStringLiteral("%1 <%2>").arg(*user->displayName, user->email);
    return user->email;
}

void CloudTask::start(const QStringList& request)
{
    const QString command = request.value(0);
    if (command == QLatin1String("status"))
        status();
    else if (command == QLatin1String("sign-in"))
        signIn();
    else if (command == QLatin1String("sign-in-token"))
        signInWithToken(request.value(1));
    else if (command == QLatin1String("sign-out"))
        signOut();
    else if (command == QLatin1String("sync"))
        sync(request.mid(1));
    else if (command == QLatin1String("check-update"))
        checkUpdate();
    else
        fail(QStringLiteral("unknown cloud request \"%1\"").arg(command));
}

void CloudTask::cancel()
{
    if (!m_waitingForBrowser)
        return;
    m_waitingForBrowser = false;
    QPointer<CloudTask> self(this);
    m_auth.signOut([self] {
        if (self)
            self->fail(QStringLiteral("Sign-in cancelled."));
    });
}

void CloudTask::withSession(std::function<void()> then)
{
    if (m_auth.status() == CloudAuthService::Status::signedIn)
        return then();
    if (!m_auth.hasToken())
        return fail(QStringLiteral("Not signed in to Quillo Cloud (see quillo cloud sign-in)."));
    QPointer<CloudTask> self(this);
    m_auth.refreshSession([self, then](Status<CloudError> refreshed) {
        if (!self)
            return;
        if (!refreshed)
            return self->fail(refreshed.error().kind == CloudError::Kind::unauthorized
                                  ? QStringLiteral("Signed out by another device.")
                                  : refreshed.error().description());
        then();
    });
}

void CloudTask::status()
{
    const QString service = m_auth.apiClient().baseURL().toString();
    const QString remembered = m_auth.remembersSignIn()
                                   ? QString()
                                   : QStringLiteral(" No keyring answers: a sign-in lasts for one run only.");
    if (!m_auth.hasToken()) {
        Q_EMIT output(QStringLiteral("Signed out of Quillo Cloud at %1.").arg(CloudConfig::baseURL(m_settings).toString()) +
                      remembered);
        return finish(0);
    }
    withSession([this, service, remembered] {
        Q_EMIT output(QStringLiteral("Signed in to Quillo Cloud at %1 as %2.").arg(service, who()) + remembered);
        finish(0);
    });
}

void CloudTask::signIn()
{
    if (m_auth.status() == CloudAuthService::Status::signedIn) {
        Q_EMIT output(QStringLiteral("Already signed in as %1 (quillo cloud sign-out first to change).").arg(who()));
        return finish(0);
    }
    QPointer<CloudTask> self(this);
    connect(&m_auth, &CloudAuthService::statusChanged, this, [self] {
        if (!self || !self->m_waitingForBrowser)
            return;
        switch (self->m_auth.status()) {
        case CloudAuthService::Status::signedIn:
            Q_EMIT self->output(QStringLiteral("Signed in as %1.").arg(self->who()));
            self->finish(0);
            break;
        case CloudAuthService::Status::signedOut:
            self->fail(self->m_auth.lastError().value_or(QStringLiteral("Sign-in cancelled.")));
            break;
        case CloudAuthService::Status::signingIn:
            break;
        }
    });
    m_waitingForBrowser = true;
    m_auth.startSignIn();
    if (m_finished)
        return;
    if (m_auth.status() != CloudAuthService::Status::signingIn)
        return fail(m_auth.lastError().value_or(QStringLiteral("The sign-in could not start.")));
    Q_EMIT output(QStringLiteral("Sign in in your browser; if it did not open, visit\n  %1\nWaiting for the browser "
                                 "(Ctrl-C cancels)\u2026")
                      .arg(m_auth.signInURL().toString(QUrl::FullyEncoded)));
}

void CloudTask::signInWithToken(const QString& token)
{
    if (token.isEmpty())
        return fail(QStringLiteral("no token was given on standard input"));
    QPointer<CloudTask> self(this);
    m_auth.signInWithToken(token, [self](std::optional<QString> problem) {
        if (!self)
            return;
        if (problem)
            return self->fail(*problem);
        Q_EMIT self->output(QStringLiteral("Signed in as %1.").arg(self->who()) +
                            (self->m_auth.remembersSignIn()
                                 ? QString()
                                 : QStringLiteral(" No keyring answers: this sign-in is not remembered.")));
        self->finish(0);
    });
}

void CloudTask::signOut()
{
    const bool hadToken = m_auth.hasToken();
    QPointer<CloudTask> self(this);
    m_auth.signOut([self, hadToken] {
        if (!self)
            return;
        Q_EMIT self->output(hadToken ? QStringLiteral("Signed out.") : QStringLiteral("Not signed in."));
        self->finish(0);
    });
}

void CloudTask::sync(const QStringList& names)
{
    std::vector<Macro> library = m_library();
    std::vector<Macro> chosen;
    if (names.isEmpty()) {
        chosen = std::move(library);
    } else {
        for (const QString& name : names) {
            const QUuid id = QUuid::fromString(name);
            std::vector<const Macro*> found;
            for (const Macro& macro : library)
                if ((!id.isNull() && macro.id == id) || macro.metadata.name == name)
                    found.push_back(&macro);
            if (found.size() != 1)
                return fail(found.empty()
                                ? QStringLiteral("no macro is named or has the id \"%1\" (see quillo list)").arg(name)
                                : QStringLiteral("%1 macros are named \"%2\"; use the id instead").arg(found.size()).arg(name));
            chosen.push_back(*found.front());
        }
    }
    if (chosen.empty()) {
        Q_EMIT output(QStringLiteral("The library is empty: nothing to back up."));
        return finish(0);
    }
    withSession([this, chosen = std::move(chosen)]() mutable {
        QPointer<CloudTask> self(this);
        m_backup.pushAll(std::move(chosen), [self](Expected<int, BackupError> pushed) {
            if (!self)
                return;
            if (!pushed)
                return self->fail(QStringLiteral("Backup failed: ") + pushed.error().description());
            Q_EMIT self->output(pushed.value() == 1 ? QStringLiteral("Backed up 1 macro.")
                                                    : QStringLiteral("Backed up %1 macros.").arg(pushed.value()));
            self->finish(0);
        });
    });
}

void CloudTask::checkUpdate()
{
    m_checker = new UpdateCheckerService(CloudConfig::baseURL(m_settings), {}, this);
    connect(m_checker, &UpdateCheckerService::stateChanged, this, [this] {
        const auto& state = m_checker->state();
        using Kind = UpdateCheckerService::State::Kind;
        const QString current = m_checker->currentVersion();
        switch (state.kind) {
        case Kind::idle:
        case Kind::checking:
            return;
        case Kind::upToDate:
            Q_EMIT output(QStringLiteral("Quillo %1 is up to date (the newest is %2).").arg(current, state.latest));
            return finish(0);
        case Kind::available:
            Q_EMIT output(QStringLiteral("Quillo %1 is available (this is %2): %3")
                              .arg(state.latest, current, state.downloadURL.toString()));
            return finish(0);
        case Kind::failed:
            return fail(QStringLiteral("Couldn't check for updates: ") + state.message);
        }
    });
    m_checker->check();
}
