#include "Services/Cloud/CloudTask.h"

#include "Codec/IsoDate.h"
#include "Services/Cloud/BackupRestoreService.h"
#include "Services/Cloud/BackupSyncService.h"
#include "Services/Cloud/CloudAuthService.h"
#include "Services/Cloud/CloudConfig.h"
#include "Services/Cloud/UpdateCheckerService.h"

#include <algorithm>
#include <QPointer>
#include <QSettings>

namespace {

QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(double(bytes) / 1024, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024 * 1024), 0, 'f', 1);
}

} // namespace

CloudTask::CloudTask(CloudAuthService& auth, BackupSyncService& backup, std::function<std::vector<Macro>()> library,
                     QSettings& settings, PutBack putBack, QObject* parent)
    : QObject(parent), m_auth(auth), m_backup(backup), m_library(std::move(library)), m_settings(settings),
      m_putBack(std::move(putBack)), m_restore(new BackupRestoreService(auth.apiClient(), this))
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
        signInByHand(request.value(1), false);
    else if (command == QLatin1String("sign-in-code"))
        signInByHand(request.value(1), true);
    else if (command == QLatin1String("sign-out"))
        signOut();
    else if (command == QLatin1String("sync"))
        sync(request.mid(1));
    else if (command == QLatin1String("check-update"))
        checkUpdate();
    else if (command == QLatin1String("revisions"))
        revisions(request.value(1));
    else if (command == QLatin1String("restore"))
        restore(request.value(1), request.value(2));
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
        Q_EMIT output(QStringLiteral("Not signed in to Quillo Cloud (the service is %1).")
                          .arg(CloudConfig::baseURL(m_settings).toString()) +
                      remembered);
        return finish(0);
    }
    withSession([this, service, remembered] {
        const QString signedIn = QStringLiteral("Signed in to Quillo Cloud at %1 as %2.").arg(service, who());
        // And when the last backup was made, as the service keeps them.
        QPointer<CloudTask> self(this);
        m_restore->listBackups([self, signedIn, remembered](Expected<std::vector<CloudBackupSummary>, BackupError> listed) {
            if (!self)
                return;
            QString last;
            if (!listed)
                last = QStringLiteral(" The backups could not be listed: ") + listed.error().description();
            else if (listed.value().empty())
                last = QStringLiteral(" No backups yet.");
            else
                last = QStringLiteral(" Last backup: \"%1\", %2.")
                           .arg(listed.value().front().name, IsoDate::readable(listed.value().front().latestAt));
            Q_EMIT self->output(signedIn + last + remembered);
            self->finish(0);
        });
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
                                 "(Ctrl-C cancels)\u2026 If Quillo does not open from there, run\n  quillo cloud "
                                 "sign-in --code CODE\nin another terminal with the code the page shows.")
                      .arg(m_auth.signInURL().toString(QUrl::FullyEncoded)));
}

void CloudTask::signInByHand(const QString& value, bool isCode)
{
    if (value.isEmpty())
        return fail(isCode ? QStringLiteral("no code was given") : QStringLiteral("no token was given on standard input"));
    // A stored sign-in is confirmed first, so that a refusal can say who stays signed in.
    if (m_auth.hasToken() && m_auth.status() != CloudAuthService::Status::signedIn) {
        QPointer<CloudTask> self(this);
        m_auth.refreshSession([self, value, isCode](Status<CloudError>) {
            if (self && self->m_auth.status() == CloudAuthService::Status::signedIn)
                self->signInByHand(value, isCode);
            else if (self)
                self->signInByHandNow(value, isCode);
        });
        return;
    }
    signInByHandNow(value, isCode);
}

void CloudTask::signInByHandNow(const QString& value, bool isCode)
{
    QPointer<CloudTask> self(this);
    auto done = [self](std::optional<QString> problem) {
        if (!self)
            return;
        if (problem)
            return self->fail(*problem);
        Q_EMIT self->output(QStringLiteral("Signed in as %1.").arg(self->who()) +
                            (self->m_auth.remembersSignIn()
                                 ? QString()
                                 : QStringLiteral(" No keyring answers: this sign-in is not remembered.")));
        self->finish(0);
    };
    if (isCode)
        m_auth.signInWithCode(value, done);
    else
        m_auth.signInWithToken(value, done);
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


void CloudTask::findMacro(const QString& nameOrId, std::function<void(const QUuid&, const QString&)> then)
{
    if (nameOrId.isEmpty())
        return fail(QStringLiteral("name the macro (its name or id)"));
    const QUuid id = QUuid::fromString(nameOrId);
    std::vector<Macro> found;
    for (const Macro& macro : m_library())
        if ((!id.isNull() && macro.id == id) || macro.metadata.name == nameOrId)
            found.push_back(macro);
    if (found.size() > 1)
        return fail(QStringLiteral("%1 macros are named \"%2\"; use the id instead").arg(found.size()).arg(nameOrId));
    if (found.size() == 1)
        return then(found.front().id, found.front().metadata.name);
    if (!id.isNull())
        return then(id, nameOrId);
    // Not in the library (deleted here, or made on another computer): the backups know it.
    QPointer<CloudTask> self(this);
    m_restore->listBackups([self, nameOrId, then](Expected<std::vector<CloudBackupSummary>, BackupError> listed) {
        if (!self)
            return;
        if (!listed)
            return self->fail(QStringLiteral("The backups could not be listed: ") + listed.error().description());
        std::vector<CloudBackupSummary> named;
        for (const CloudBackupSummary& backup : listed.value())
            if (backup.name == nameOrId)
                named.push_back(backup);
        if (named.empty())
            return self->fail(QStringLiteral("no macro or backup is named or has the id \"%1\"").arg(nameOrId));
        if (named.size() > 1)
            return self->fail(QStringLiteral("%1 backups are named \"%2\"; use the macro's id instead")
                                  .arg(named.size())
                                  .arg(nameOrId));
        const QUuid source = QUuid::fromString(named.front().sourceMacroId);
        if (source.isNull())
            return self->fail(QStringLiteral("the backup named \"%1\" does not say which macro it was made from").arg(nameOrId));
        then(source, nameOrId);
    });
}

void CloudTask::withRevisions(const QString& nameOrId,
                              std::function<void(const QUuid&, const QString&, const std::vector<CloudRevision>&)> then)
{
    withSession([this, nameOrId, then] {
        findMacro(nameOrId, [this, then](const QUuid& id, const QString& name) {
            QPointer<CloudTask> self(this);
            m_restore->revisionsOf(id, [self, id, name, then](Expected<std::vector<CloudRevision>, BackupError> listed) {
                if (!self)
                    return;
                if (!listed)
                    return self->fail(QStringLiteral("The revisions could not be listed: ") + listed.error().description());
                if (listed.value().empty())
                    return self->fail(QStringLiteral("Quillo Cloud holds no backup of \"%1\".").arg(name));
                then(id, name, listed.value());
            });
        });
    });
}

void CloudTask::revisions(const QString& nameOrId)
{
    withRevisions(nameOrId, [this](const QUuid& id, const QString& name, const std::vector<CloudRevision>& revisions) {
        QStringList lines{QStringLiteral("Revisions of \"%1\" (%2) on Quillo Cloud, newest first:")
                              .arg(name, id.toString(QUuid::WithoutBraces).toUpper())};
        int number = 0;
        for (const CloudRevision& revision : revisions)
            lines << QStringLiteral("%1  %2  %3 actions  %4  \"%5\"")
                         .arg(++number, 3)
                         .arg(IsoDate::readable(revision.createdAt))
                         .arg(revision.actionCount)
                         .arg(sizeText(revision.size), revision.name);
        lines << QStringLiteral("Restore one with: quillo cloud restore %1 --revision N")
                     .arg(id.toString(QUuid::WithoutBraces).toUpper());
        Q_EMIT output(lines.join(QLatin1Char('\n')));
        finish(0);
    });
}

void CloudTask::restore(const QString& nameOrId, const QString& number)
{
    bool valid = true;
    const int wanted = number.isEmpty() ? 1 : number.toInt(&valid);
    if (!valid || wanted < 1)
        return fail(QStringLiteral("--revision must be a whole number of at least 1 (1 is the newest)"));
    if (!m_putBack)
        return fail(QStringLiteral("restoring is not possible here"));
    withRevisions(nameOrId, [this, wanted](const QUuid&, const QString& name, const std::vector<CloudRevision>& revisions) {
        if (std::size_t(wanted) > revisions.size())
            return fail(QStringLiteral("\"%1\" has %2 revision(s) on Quillo Cloud (see quillo cloud revisions)")
                            .arg(name)
                            .arg(revisions.size()));
        const CloudRevision chosen = revisions[std::size_t(wanted - 1)];
        QPointer<CloudTask> self(this);
        m_restore->fetch(chosen.id, [self, wanted](Expected<BackupRestoreService::Restored, BackupError> fetched) {
            if (!self)
                return;
            if (!fetched)
                return self->fail(QStringLiteral("The backup could not be fetched: ") + fetched.error().description());
            const CloudRevision& revision = fetched.value().revision;
            const std::vector<Macro> library = self->m_library();
            const bool inLibrary = std::any_of(library.begin(), library.end(),
                                               [&](const Macro& m) { return m.id == fetched.value().macro.id; });
            const QString description = QStringLiteral("Restored \"%1\" from its backup of %2%3")
                                            .arg(revision.name, IsoDate::readable(revision.createdAt),
                                                 inLibrary ? QString() : QStringLiteral(" (added again: the macro was gone)"));
            if (const auto problem = self->m_putBack(fetched.value().macro, description))
                return self->fail(*problem);
            Q_EMIT self->output(QStringLiteral("%1 (revision %2).").arg(description).arg(wanted));
            self->finish(0);
        });
    });
}
