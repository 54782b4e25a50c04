// quillo-cloud: the cloud service of Quillo, and its operator commands.
#include "Accounts.h"
#include "CloudDatabase.h"
#include "CloudServer.h"
#include "DeviceTokens.h"
#include "Secrets.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <termios.h>
#include <unistd.h>

namespace {

enum ExitCode { success = 0, failed = 1, usage = 2 };

void out(const QString& text)
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void err(const QString& text)
{
    std::fputs((QStringLiteral("quillo-cloud: ") + text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
}

// One line from standard input; typed at a terminal, it is asked for and not echoed.
QString readPassword()
{
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::fputs("Password: ", stderr);
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    QTextStream input(stdin);
    const QString line = input.readLine();
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fputs("\n", stderr);
    }
    return line;
}

QString defaultDatabase()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/quillo-cloud/cloud.sqlite");
}

// A flag's value, else its environment variable (--max-body: QUILLO_CLOUD_MAX_BODY), else
// the default.
QString setting(const QCommandLineParser& parser, const QString& flag, const QString& fallback = {})
{
    if (parser.isSet(flag))
        return parser.value(flag);
    const QByteArray variable = "QUILLO_CLOUD_" + flag.toUpper().replace(QLatin1Char('-'), QLatin1Char('_')).toLatin1();
    const QString fromEnvironment = qEnvironmentVariable(variable.constData());
    return fromEnvironment.isEmpty() ? fallback : fromEnvironment;
}

std::unique_ptr<CloudDatabase> openMigrated(const QString& location)
{
    QString error;
    auto database = CloudDatabase::open(location, &error);
    if (!database || !database->migrate(&error)) {
        err(error);
        return nullptr;
    }
    return database;
}

// Parses the subcommand's own arguments; a result when the command should end.
std::optional<int> parse(QCommandLineParser& parser, const QString& command, const QStringList& args,
                         qsizetype positional)
{
    parser.addHelpOption();
    parser.addOption({QStringLiteral("database"),
                      QStringLiteral("SQLite file or postgresql:// URL (default: %1; env QUILLO_CLOUD_DATABASE).")
                          .arg(defaultDatabase()),
                      QStringLiteral("PATH|URL")});
    if (!parser.parse(QStringList{QStringLiteral("quillo-cloud ") + command} + args)) {
        err(parser.errorText() + QStringLiteral(" (see quillo-cloud %1 --help)").arg(command));
        return usage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out(parser.helpText());
        return success;
    }
    if (positional >= 0 && parser.positionalArguments().size() != positional) {
        err(QStringLiteral("%1 takes %2 argument(s) (see quillo-cloud %1 --help)").arg(command).arg(positional));
        return usage;
    }
    return std::nullopt;
}

QString database(const QCommandLineParser& parser)
{
    return setting(parser, QStringLiteral("database"), defaultDatabase());
}

int serve(const QStringList& args)
{
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("listen"), QStringLiteral("Address and port (default 127.0.0.1:8787; env QUILLO_CLOUD_LISTEN)."),
                      QStringLiteral("ADDRESS:PORT")});
    parser.addOption({QStringLiteral("behind-proxy"),
                      QStringLiteral("A TLS proxy is in front: serve plain HTTP off loopback (env QUILLO_CLOUD_BEHIND_PROXY=1).")});
    parser.addOption({QStringLiteral("tls-cert"), QStringLiteral("Serve HTTPS with this PEM certificate chain."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("tls-key"), QStringLiteral("The certificate's PEM private key."), QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("public-url"), QStringLiteral("The address people reach the service at."),
                      QStringLiteral("URL")});
    parser.addOption({QStringLiteral("version-file"),
                      QStringLiteral("JSON file with version, downloadUrl, releaseNotesUrl, minSupportedVersion."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("max-body"), QStringLiteral("Largest backup upload in bytes (default 64 MiB)."),
                      QStringLiteral("BYTES")});
    parser.addOption({QStringLiteral("max-connections"),
                      QStringLiteral("Parallel connections at most (default: 4096, or fewer to stay under the descriptor "
                                     "limit); more wait until one closes."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("trusted-proxies"),
                      QStringLiteral("With --behind-proxy: how many proxies in front add to X-Forwarded-For (default 1)."),
                      QStringLiteral("N")});
    parser.addOption({QStringLiteral("hash-threads"),
                      QStringLiteral("Threads that hash passwords for sign-ins and sign-ups (default 1)."), QStringLiteral("N")});
    parser.addOption({QStringLiteral("latest-version"), QStringLiteral("Newest Quillo version."), QStringLiteral("V")});
    parser.addOption({QStringLiteral("download-url"), QStringLiteral("Where to get it."), QStringLiteral("URL")});
    parser.addOption({QStringLiteral("release-notes-url"), QStringLiteral("Its release notes."), QStringLiteral("URL")});
    parser.addOption({QStringLiteral("min-supported-version"), QStringLiteral("Oldest version still served."),
                      QStringLiteral("V")});
    if (auto done = parse(parser, QStringLiteral("serve"), args, 0))
        return *done;
    ServerSettings settings;
    const QString listen = setting(parser, QStringLiteral("listen"), QStringLiteral("127.0.0.1:8787"));
    const qsizetype colon = listen.lastIndexOf(QLatin1Char(':'));
    bool portOk = false;
    const uint port = colon > 0 ? listen.mid(colon + 1).toUInt(&portOk) : 0;
    if (!portOk || port == 0 || port > 65535) {
        err(QStringLiteral("--listen needs ADDRESS:PORT, such as 127.0.0.1:8787"));
        return usage;
    }
    settings.address = listen.left(colon);
    if (settings.address.startsWith(QLatin1Char('[')))
        settings.address = settings.address.mid(1, settings.address.size() - 2);
    settings.port = quint16(port);
    settings.behindProxy = parser.isSet(QStringLiteral("behind-proxy")) ||
                           qEnvironmentVariable("QUILLO_CLOUD_BEHIND_PROXY") == QLatin1String("1");
    settings.publicUrl = setting(parser, QStringLiteral("public-url"));
    settings.tlsCertificate = setting(parser, QStringLiteral("tls-cert"));
    settings.tlsKey = setting(parser, QStringLiteral("tls-key"));
    if (const QString maxBody = setting(parser, QStringLiteral("max-body")); !maxBody.isEmpty()) {
        bool ok = false;
        settings.maxBodyBytes = maxBody.toLongLong(&ok);
        if (!ok || settings.maxBodyBytes < 1) {
            err(QStringLiteral("--max-body must be a number of bytes above 0"));
            return usage;
        }
    }
    // Small whole numbers: the connection cap, the trusted proxies, the hashing threads.
    for (const auto& [flag, target, lowest, highest] :
         {std::tuple{"max-connections", &settings.maxConnections, 1, 1000000}, std::tuple{"trusted-proxies", &settings.trustedProxies, 1, 16},
          std::tuple{"hash-threads", &settings.hashThreads, 1, 64}}) {
        const QString value = setting(parser, QLatin1String(flag));
        if (value.isEmpty())
            continue;
        bool ok = false;
        *target = value.toInt(&ok);
        if (!ok || *target < lowest || *target > highest) {
            err(QStringLiteral("--%1 must be a whole number from %2 to %3").arg(QLatin1String(flag)).arg(lowest).arg(highest));
            return usage;
        }
    }
    // Version information: the file, then the flags (or their variables) over it.
    const QString own = QCoreApplication::applicationVersion();
    QJsonObject file;
    if (const QString path = setting(parser, QStringLiteral("version-file")); !path.isEmpty()) {
        QFile f(path);
        QJsonParseError parseError;
        const QJsonDocument document =
            f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll(), &parseError) : QJsonDocument();
        if (!document.isObject()) {
            err(QStringLiteral("--version-file %1 is not a JSON object (%2)")
                    .arg(path, f.error() != QFile::NoError ? f.errorString() : parseError.errorString()));
            return failed;
        }
        file = document.object();
    }
    auto versionValue = [&](const char* flag, const char* key, const QString& fallback) {
        return setting(parser, QLatin1String(flag), file.value(QLatin1String(key)).toString(fallback));
    };
    settings.version = {versionValue("latest-version", "version", own),
                        versionValue("download-url", "downloadUrl", QStringLiteral("https://quillo.app/download")),
                        versionValue("release-notes-url", "releaseNotesUrl", QStringLiteral("https://quillo.app/releases")),
                        versionValue("min-supported-version", "minSupportedVersion", own)};
    if (const QString refusal = CloudServer::refusalFor(settings); !refusal.isEmpty()) {
        err(refusal);
        return failed;
    }
    auto db = openMigrated(database(parser));
    if (!db)
        return failed;
    CloudServer server(*db, settings);
    QString error;
    if (!server.start(&error)) {
        err(error);
        return failed;
    }
    out(QStringLiteral("quillo-cloud serves %1://%2:%3")
            .arg(settings.tlsCertificate.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"), settings.address)
            .arg(settings.port));
    // Ended by SIGTERM or Ctrl-C: answer what is in flight, then leave.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    int signal = 0;
    sigwait(&set, &signal);
    server.stop();
    return success;
}

int migrate(const QStringList& args)
{
    QCommandLineParser parser;
    if (auto done = parse(parser, QStringLiteral("migrate"), args, 0))
        return *done;
    auto db = openMigrated(database(parser));
    if (!db)
        return failed;
    out(QStringLiteral("The database has schema version %1.").arg(db->storedVersion()));
    return success;
}

int user(const QStringList& args)
{
    const QString action = args.value(0);
    QCommandLineParser parser;
    if (action == QLatin1String("add")) {
        parser.addOption({QStringLiteral("name"), QStringLiteral("Display name."), QStringLiteral("NAME")});
        if (auto done = parse(parser, QStringLiteral("user add"), args.mid(1), 1))
            return *done;
        auto db = openMigrated(database(parser));
        if (!db)
            return failed;
        // Never from the command line, where other users and the shell history see it.
        const QString password = readPassword();
        QString error;
        const auto added = Accounts(*db).add(parser.positionalArguments()[0], parser.value(QStringLiteral("name")),
                                             password.toUtf8(), &error);
        if (!added) {
            err(error);
            return failed;
        }
        out(QStringLiteral("Added %1 (%2)").arg(added->email, added->uid));
        return success;
    }
    if (action == QLatin1String("list")) {
        if (auto done = parse(parser, QStringLiteral("user list"), args.mid(1), 0))
            return *done;
        auto db = openMigrated(database(parser));
        if (!db)
            return failed;
        // Names come from strangers: nothing in them reaches the terminal as a control.
        auto shown = [](const QString& text) {
            QString safe;
            for (const QChar c : text)
                safe += c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
                            ? QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'))
                            : QString(c);
            return safe;
        };
        for (const Account& u : Accounts(*db).all())
            out(QStringLiteral("%1  %2  %3").arg(u.uid, shown(u.email), shown(u.displayName)));
        return success;
    }
    err(QStringLiteral("user needs add or list (see quillo-cloud --help)"));
    return usage;
}

int token(const QStringList& args)
{
    const QString action = args.value(0);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("device"), QStringLiteral("The device's name."), QStringLiteral("NAME")});
    if (action == QLatin1String("revoke"))
        parser.addOption({QStringLiteral("all"), QStringLiteral("Every device of the account.")});
    if (action != QLatin1String("issue") && action != QLatin1String("revoke")) {
        err(QStringLiteral("token needs issue or revoke (see quillo-cloud --help)"));
        return usage;
    }
    if (auto done = parse(parser, QStringLiteral("token ") + action, args.mid(1), 1))
        return *done;
    const bool all = action == QLatin1String("revoke") && parser.isSet(QStringLiteral("all"));
    if (parser.value(QStringLiteral("device")).isEmpty() == !all) {
        err(all ? QStringLiteral("--device and --all exclude each other") : QStringLiteral("--device NAME is needed"));
        return usage;
    }
    auto db = openMigrated(database(parser));
    if (!db)
        return failed;
    const auto account = Accounts(*db).byEmail(parser.positionalArguments()[0]);
    if (!account) {
        err(QStringLiteral("there is no account for %1").arg(parser.positionalArguments()[0]));
        return failed;
    }
    DeviceTokens tokens(*db);
    if (action == QLatin1String("issue")) {
        const QString issued = tokens.issue(account->uid, parser.value(QStringLiteral("device")));
        if (issued.isEmpty()) {
            err(QStringLiteral("the token could not be stored"));
            return failed;
        }
        out(issued); // shown this once; only its digest is kept
        return success;
    }
    const int revoked = all ? tokens.revokeAll(account->uid)
                            : tokens.revokeDevice(account->uid, parser.value(QStringLiteral("device")));
    out(QStringLiteral("Revoked %1 token(s).").arg(revoked));
    return success;
}

QString help()
{
    return QStringLiteral(
        "quillo-cloud: the cloud service of Quillo.\n"
        "\n"
        "Usage: quillo-cloud COMMAND [options]\n"
        "\n"
        "  serve [--listen 127.0.0.1:8787] [--database PATH|URL] [--behind-proxy]\n"
        "  migrate                        create or upgrade the database schema\n"
        "  user add EMAIL [--name NAME]   password from standard input\n"
        "  user list\n"
        "  token issue EMAIL --device NAME\n"
        "  token revoke EMAIL --device NAME | --all\n"
        "\n"
        "Each command has --help. Exit codes: 0 done, 1 failed, 2 wrong use.");
}

} // namespace

int main(int argc, char** argv)
{
    // Blocked in every thread, read by serve's main thread with sigwait.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    // What it writes (the SQLite file with password hashes and backups) is its owner's alone.
    umask(077);
    // As many descriptors as the system lets it have: connections are capped below that.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillo-cloud"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLO_VERSION));
    if (!Secrets::initialize()) {
        err(QStringLiteral("libsodium could not start"));
        return failed;
    }
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if (command.isEmpty() || command == QLatin1String("--help") || command == QLatin1String("-h")) {
        out(help());
        return command.isEmpty() ? usage : success;
    }
    if (command == QLatin1String("serve"))
        return serve(args.mid(1));
    if (command == QLatin1String("migrate"))
        return migrate(args.mid(1));
    if (command == QLatin1String("user"))
        return user(args.mid(1));
    if (command == QLatin1String("token"))
        return token(args.mid(1));
    err(QStringLiteral("unknown command \"%1\" (see quillo-cloud --help)").arg(command));
    return usage;
}
