#include "Cli/Commands/CloudCommand.h"

#include "App/InstanceMessages.h"
#include "App/SingleInstance.h"
#include "Cli/CommandRunner.h"
#include "Cli/SignalWatcher.h"
#include "Cli/TerminalText.h"
#include "Codec/SignInCode.h"
#include "Library/MacroLibrary.h"
#include "Platform/Linux/KeychainStore.h"
#include "Services/Cloud/BackupSyncService.h"
#include "Services/Cloud/CloudAuthService.h"
#include "Services/Cloud/CloudTask.h"
#include "Services/LogService.h"
#include "Services/StorageService.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QPointer>
#include <QUrl>
#include <cmath>

using namespace CommandRunner;

namespace {

const QString kDescription = QStringLiteral(
    "Quillo Cloud: the account, backups and updates.\n"
    "\n"
    "  status                 Who is signed in, and where.\n"
    "  sign-in                Sign in through the browser.\n"
    "  sign-in --with-token   Sign in with a device token read from standard input\n"
    "                         (from the dashboard or `quillo-cloud token issue`).\n"
    "  sign-in --code CODE    Finish a browser sign-in with the code its page shows\n"
    "                         (when Quillo did not open; it works once, for 10 minutes).\n"
    "  sign-out               Sign out here and on the service.\n"
    "  sync [NAME|ID...]      Back up these macros, or the whole library.\n"
    "  revisions NAME|ID      The revisions of a macro's backup, newest first.\n"
    "  restore NAME|ID [--revision N]\n"
    "                         Put a revision (1, the newest, unless N says) back in place\n"
    "                         of the macro it was backed up from.\n"
    "  check-update           Whether a newer Quillo exists.");

// The link the sign-in page sends the browser to comes back as a launch of
// `quillo quillo://auth?...`; while no application runs, this command takes it.
void receiveLinks(SingleInstance& instance, CloudAuthService& auth)
{
    QObject::connect(&instance, &SingleInstance::activated, &auth, [&auth](const QStringList& arguments) {
        for (const QString& argument : arguments) {
            if (!argument.startsWith(QLatin1String("quillo:")))
                continue;
            const QUrl url(argument);
            appLog(QStringLiteral("Received deep link: ") + CloudAuthService::redacted(url), LogEntry::Level::info);
            auth.handleCallbackURL(url);
        }
    });
    QObject::connect(&instance, &SingleInstance::commandRequested, &auth,
                     [&auth](QLocalSocket* socket, const QStringList& request) {
        // The code of the very sign-in this command waits for, typed in another terminal.
        // The request: the asker's folder, then its words.
        if (request.value(1) == QLatin1String("cloud") && request.value(2) == QLatin1String("sign-in-code")) {
            QPointer<QLocalSocket> asker(socket);
            auth.signInWithCode(request.value(3), [asker, &auth](std::optional<QString> problem) {
                if (!asker)
                    return;
                const QString email = auth.user() ? auth.user()->email : QString();
                InstanceMessages::send(*asker, problem ? QStringList{QStringLiteral("error"), *problem}
                                                       : QStringList{QStringLiteral("line"),
                                                                     QStringLiteral("Signed in as %1.").arg(email)});
                InstanceMessages::send(*asker, {QStringLiteral("exit"), problem ? QStringLiteral("1") : QStringLiteral("0")});
            });
            return;
        }
        InstanceMessages::send(*socket, {QStringLiteral("error"),
                                         QStringLiteral("a `quillo cloud sign-in` is waiting for the browser; try again "
                                                        "when it is done")});
        InstanceMessages::send(*socket, {QStringLiteral("exit"), QStringLiteral("1")});
    });
}

} // namespace

int CloudCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption withToken(QStringLiteral("with-token"),
                                       QStringLiteral("sign-in: read a device token from standard input."));
    parser.addOption(withToken);
    const QCommandLineOption codeOption(QStringLiteral("code"),
                                        QStringLiteral("sign-in: the one-time code the sign-in page shows."),
                                        QStringLiteral("CODE"));
    parser.addOption(codeOption);
    const QCommandLineOption revisionOption(QStringLiteral("revision"),
                                            QStringLiteral("restore: which revision (1 is the newest)."), QStringLiteral("N"));
    parser.addOption(revisionOption);
    parser.addPositionalArgument(QStringLiteral("request"), QStringLiteral("What to do (see above)."),
                                 QStringLiteral("status|sign-in|sign-out|sync|revisions|restore|check-update"));
    if (auto done = parse(parser, QStringLiteral("cloud"), kDescription, args))
        return *done;
    const QStringList positional = parser.positionalArguments();
    const QString what = positional.value(0);
    const QStringList known = {QStringLiteral("status"),    QStringLiteral("sign-in"), QStringLiteral("sign-out"),
                               QStringLiteral("sync"),      QStringLiteral("check-update"),
                               QStringLiteral("revisions"), QStringLiteral("restore")};
    if (!known.contains(what)) {
        err(what.isEmpty() ? QStringLiteral("cloud needs a request (see quillo cloud --help)")
                           : QStringLiteral("unknown cloud request \"%1\" (see quillo cloud --help)").arg(what));
        return usage;
    }
    const bool namesOne = what == QLatin1String("revisions") || what == QLatin1String("restore");
    if (namesOne && positional.size() != 2) {
        err(QStringLiteral("cloud %1 needs one macro: its name or id (see quillo cloud --help)").arg(what));
        return usage;
    }
    if (what != QLatin1String("sync") && !namesOne && positional.size() > 1) {
        err(QStringLiteral("cloud %1 takes no arguments (see quillo cloud --help)").arg(what));
        return usage;
    }
    if (parser.isSet(revisionOption) && what != QLatin1String("restore")) {
        err(QStringLiteral("--revision belongs to cloud restore"));
        return usage;
    }
    if (parser.isSet(withToken) && what != QLatin1String("sign-in")) {
        err(QStringLiteral("--with-token belongs to cloud sign-in"));
        return usage;
    }
    if (parser.isSet(codeOption) && (what != QLatin1String("sign-in") || parser.isSet(withToken))) {
        err(QStringLiteral("--code belongs to cloud sign-in, without --with-token"));
        return usage;
    }
    if (parser.isSet(codeOption) && SignInCode::normalized(parser.value(codeOption)).isEmpty()) {
        err(QStringLiteral("--code takes the eight letters and digits the sign-in page shows, like ABCD-EFGH"));
        return usage;
    }
    QStringList request = positional;
    if (what == QLatin1String("restore")) {
        if (parser.isSet(revisionOption)) {
            const auto number = numberOption(parser, revisionOption, 1, 1000000, true,
                                             QStringLiteral("a whole number of at least 1 (1 is the newest)"));
            if (!number)
                return usage;
            if (*number != std::floor(*number)) {
                err(QStringLiteral("--revision must be a whole number of at least 1 (1 is the newest)"));
                return usage;
            }
            request << QString::number(qint64(*number));
        } else {
            request << QString();
        }
    }
    if (parser.isSet(withToken)) {
        QFile input;
        if (!input.open(stdin, QIODevice::ReadOnly)) {
            err(QStringLiteral("standard input cannot be read"));
            return failed;
        }
        const QString token = QString::fromUtf8(input.readAll()).trimmed();
        if (token.isEmpty()) {
            err(QStringLiteral("no token on standard input (e.g. quillo cloud sign-in --with-token < token.txt)"));
            return failed;
        }
        request = {QStringLiteral("sign-in-token"), token};
    }
    if (parser.isSet(codeOption))
        request = {QStringLiteral("sign-in-code"), SignInCode::normalized(parser.value(codeOption))};

    if (applicationIsRunning())
        return runInApplication(QStringList{QStringLiteral("cloud")} + request, [](const QStringList& m) {
            if (m.value(0) == QLatin1String("line"))
                out(TerminalText::safeLines(m.value(1)));
        });

    // Before anything starts a thread (X, the secret store): threads inherit the blocked signals.
    SignalWatcher signals;
    QSettings settings;
    KeychainStore keychain;
    CloudAuthService auth(keychain, settings, [](const QUrl& url) {
        return QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
    }, nullptr, false);
    BackupSyncService backup(auth.apiClient());
    auto library = [] {
        auto loaded = StorageService().loadAll();
        return loaded ? std::move(loaded).value() : std::vector<Macro>();
    };
    if (request.value(0) == QLatin1String("sync") || namesOne) {
        if (!loadLibrary())
            return failed;
    }
    // Without the application the library is changed here, under its lock, as the
    // application changes it.
    auto putBack = [](Macro macro, const QString& description) -> std::optional<QString> {
        StorageService storage;
        if (auto locked = storage.lockForWriting(); !locked)
            return locked.error().description();
        MacroLibrary library(storage);
        std::optional<QString> problem;
        QObject::connect(&library, &MacroLibrary::failed, [&](const QString& message) { problem = message; });
        library.load();
        if (problem)
            return problem;
        library.putMacroInPlace(std::move(macro), description);
        return problem;
    };
    SingleInstance instance;
    if (request.value(0) == QLatin1String("sign-in") && instance.claim({})) {
        receiveLinks(instance, auth);
        instance.acceptRequests();
    }

    CloudTask task(auth, backup, library, settings, putBack);
    int code = failed;
    bool done = false;
    QObject::connect(&task, &CloudTask::output, [](const QString& line) { out(TerminalText::safeLines(line)); });
    QObject::connect(&task, &CloudTask::problem, [](const QString& line) { err(TerminalText::safeLines(line)); });
    QObject::connect(&task, &CloudTask::finished, [&](int result) {
        code = result;
        done = true;
        QCoreApplication::exit(0);
    });
    QObject::connect(&signals, &SignalWatcher::interrupted, &task, [&task] {
        task.cancel();
        QCoreApplication::exit(0); // nothing else waits for the answer
    });
    task.start(request);
    if (!done)
        QCoreApplication::exec();
    QCoreApplication::sendPostedEvents(); // the last log lines
    return code;
}
