#include "Cli/CommandRunner.h"

#include "App/InstanceMessages.h"
#include "App/SingleInstance.h"
#include "Cli/SignalWatcher.h"
#include "Cli/TerminalText.h"
#include "Services/ExportImportService.h"
#include "Services/StorageService.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalSocket>

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace CommandRunner {

void out(const QString& text)
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void err(const QString& text)
{
    std::fputs((QStringLiteral("quillo: ") + text + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
}

// A line that rewrites itself (progress, live counts); only on a terminal.
void status(const QString& text)
{
    if (!isatty(STDOUT_FILENO))
        return;
    std::fputs((QStringLiteral("\r\033[K") + text).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}


// Parses `args` (the subcommand's own); on --help prints it and returns success, on a
// mistake prints it and returns usage; nothing when the command should go on.
std::optional<int> parse(QCommandLineParser& parser, const QString& command, const QString& description,
                         const QStringList& args)
{
    parser.setApplicationDescription(description);
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this help."));
    parser.addOption(helpOption);
    if (!parser.parse(QStringList{QStringLiteral("quillo ") + command} + args)) {
        err(parser.errorText() + QStringLiteral(" (see quillo %1 --help)").arg(command));
        return usage;
    }
    if (parser.isSet(helpOption)) {
        // Qt names the program by its path; the usage line names the command.
        QString text = parser.helpText();
        const qsizetype end = text.indexOf(QLatin1String(" [options]"));
        if (text.startsWith(QLatin1String("Usage: ")) && end > 0)
            text.replace(7, end - 7, QStringLiteral("quillo ") + command);
        out(text);
        return success;
    }
    return std::nullopt;
}

// Wrong use unless exactly `count` arguments follow the options.
std::optional<int> expectArguments(const QCommandLineParser& parser, const QString& command, qsizetype count,
                                   const QString& what)
{
    const QStringList positional = parser.positionalArguments();
    if (positional.size() == count && !positional.contains(QString()))
        return std::nullopt;
    if (positional.contains(QString()))
        err(QStringLiteral("an empty argument is not a %1 (see quillo %2 --help)").arg(what, command));
    else if (count == 0)
        err(QStringLiteral("%1 takes no arguments, but got \"%2\" (see quillo %1 --help)")
                .arg(command, TerminalText::safe(positional.join(QLatin1Char(' ')))));
    else
        err(QStringLiteral("%1 needs %2 (see quillo %1 --help)").arg(command, what));
    return usage;
}

// A number option within [low, high]; `name` and the range go into the message.
std::optional<double> numberOption(const QCommandLineParser& parser, const QCommandLineOption& option, double low,
                                   double high, bool lowIncluded, const QString& what)
{
    bool ok = false;
    const double value = parser.value(option).toDouble(&ok);
    const bool aboveLow = lowIncluded ? value >= low : value > low;
    // Written so that NaN fails; infinity fails the upper bound.
    if (ok && std::isfinite(value) && aboveLow && value <= high)
        return value;
    err(QStringLiteral("--%1 must be %2").arg(option.names().constFirst(), what));
    return std::nullopt;
}

QString plural(qsizetype count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

// A running desktop application on this display (it holds the hotkeys and the library).
bool applicationIsRunning()
{
    QLocalSocket socket;
    socket.connectToServer(SingleInstance::serverName());
    const bool running = socket.waitForConnected(300);
    socket.abort();
    return running;
}

QString durationText(double seconds)
{
    return QString::number(seconds, 'f', 1) + QStringLiteral(" s");
}

QString nameText(const Macro& macro)
{
    return TerminalText::safe(macro.metadata.name);
}

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<std::vector<Macro>> loadLibrary()
{
    StorageService storage;
    auto loaded = storage.loadAll();
    if (!loaded) {
        err(QStringLiteral("Failed to load macros: ") + loaded.error().description());
        return std::nullopt;
    }
    return std::move(loaded).value();
}

// Hands a command to the running application, which does the work (it holds the
// library and the hotkeys); each reply goes to `show`, errors to standard error. Ctrl-C
// asks it to stop. The command's exit code.
int runInApplication(const QStringList& request, const std::function<void(const QStringList&)>& show)
{
    QLocalSocket socket;
    socket.connectToServer(SingleInstance::serverName());
    if (!socket.waitForConnected(1000)) {
        err(QStringLiteral("the running Quillo does not answer (%1)").arg(socket.errorString()));
        return failed;
    }
    InstanceMessages::send(socket, QStringList{InstanceMessages::commandMarker, QDir::currentPath()} + request);
    SignalWatcher signals;
    int stoppedBy = 0;
    QObject::connect(&signals, &SignalWatcher::interrupted, &socket, [&] {
        stoppedBy = signals.signalNumber();
        InstanceMessages::send(socket, {QStringLiteral("stop")});
    });
    std::optional<int> code;
    QEventLoop loop;
    auto drain = [&] {
        while (!code) {
            const auto message = InstanceMessages::receive(socket);
            if (!message)
                return;
            if (message->value(0) == QLatin1String("exit"))
                code = message->value(1).toInt();
            else if (message->value(0) == QLatin1String("error")) {
                // It may quote names from files: each line made safe, the lines kept.
                err(TerminalText::safeLines(message->value(1)));
            }
            else
                show(*message);
        }
        loop.quit();
    };
    QObject::connect(&socket, &QLocalSocket::readyRead, &loop, drain);
    QObject::connect(&socket, &QLocalSocket::disconnected, &loop, [&] {
        drain();
        loop.quit();
    });
    drain();
    if (!code && socket.state() == QLocalSocket::ConnectedState)
        loop.exec();
    if (!code) {
        err(QStringLiteral("the running Quillo ended the command before it was done"));
        return failed;
    }
    // Stopped by Ctrl-C (or the terminal going away): 128 + the signal, as shells expect.
    if (*code == success && stoppedBy > 0)
        return 128 + stoppedBy;
    return *code;
}

void endStatusLine()
{
    if (isatty(STDOUT_FILENO))
        std::fputs("\n", stdout);
}

bool looksLikePath(const QString& argument)
{
    return argument.contains(QLatin1Char('/')) || argument.endsWith(QLatin1String(".quillo"));
}

std::optional<Macro> findMacro(const QString& what, bool allowFile, QString& error)
{
    if (allowFile && looksLikePath(what)) {
        auto macro = ExportImportService::importMacroFrom(what);
        if (!macro) {
            // Played, not imported: say what the file is not (the path as it was given).
            error = macro.error().kind == ExportImportError::Kind::decodingFailed
                        ? QStringLiteral("%1 is not a macro file: %2").arg(TerminalText::safe(what), macro.error().message)
                        : macro.error().description();
            return std::nullopt;
        }
        return std::move(macro).value();
    }
    const auto library = loadLibrary();
    if (!library) {
        error = QStringLiteral("the library could not be read");
        return std::nullopt;
    }
    const QUuid id = QUuid::fromString(what);
    std::vector<const Macro*> byName;
    for (const Macro& m : *library) {
        if (!id.isNull() && m.id == id)
            return m;
        if (m.metadata.name == what)
            byName.push_back(&m);
    }
    if (byName.size() == 1)
        return *byName.front();
    const QString shown = TerminalText::safe(what);
    if (byName.empty()) {
        error = QStringLiteral("no macro is named or has the id \"%1\" (see quillo list)").arg(shown);
        if (allowFile && QFileInfo(what).isFile())
            error += QStringLiteral("; to play the file of that name, write ./%1").arg(shown);
    } else {
        error = QStringLiteral("%1 macros are named \"%2\"; use the id instead (see quillo list)")
                    .arg(byName.size())
                    .arg(shown);
    }
    return std::nullopt;
}

} // namespace CommandRunner
