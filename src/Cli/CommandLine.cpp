#include "Cli/CommandLine.h"

#include "App/InstanceMessages.h"
#include "App/SingleInstance.h"
#include "Cli/SignalWatcher.h"
#include "Cli/TerminalText.h"
#include "Platform/X11/X11Platform.h"
#include "Codec/MacroJsonEncoder.h"
#include "Services/ExportImportService.h"
#include "Services/LogService.h"
#include "Services/PlaybackEngine.h"
#include "Services/StorageService.h"
#include "ViewModels/AppViewModel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSettings>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace {

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

// The file dialogs of a program without windows: never anything chosen.
class NoFileDialogs : public FileDialogs
{
public:
    std::optional<QString> saveFile(const QString&, const QString&, const QString&) override { return {}; }
    std::optional<QString> openFile(const QString&, const QString&) override { return {}; }
};

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
        return CommandLine::usage;
    }
    if (parser.isSet(helpOption)) {
        // Qt names the program by its path; the usage line names the command.
        QString text = parser.helpText();
        const qsizetype end = text.indexOf(QLatin1String(" [options]"));
        if (text.startsWith(QLatin1String("Usage: ")) && end > 0)
            text.replace(7, end - 7, QStringLiteral("quillo ") + command);
        out(text);
        return CommandLine::success;
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
    return CommandLine::usage;
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
        return CommandLine::failed;
    }
    InstanceMessages::send(socket, QStringList{InstanceMessages::commandMarker, QDir::currentPath()} + request);
    SignalWatcher signals;
    QObject::connect(&signals, &SignalWatcher::interrupted, &socket,
                     [&] { InstanceMessages::send(socket, {QStringLiteral("stop")}); });
    std::optional<int> code;
    QEventLoop loop;
    auto drain = [&] {
        while (!code) {
            const auto message = InstanceMessages::receive(socket);
            if (!message)
                return;
            if (message->value(0) == QLatin1String("exit"))
                code = message->value(1).toInt();
            else if (message->value(0) == QLatin1String("error"))
                err(message->value(1));
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
        return CommandLine::failed;
    }
    return *code;
}

void endStatusLine()
{
    if (isatty(STDOUT_FILENO))
        std::fputs("\n", stdout);
}

} // namespace

QString CommandLine::help()
{
    return QStringLiteral(
        "Quillo records keyboard and mouse input into macros and replays them.\n"
        "\n"
        "Usage: quillo [command] [options]\n"
        "\n"
        "Without a command the application starts.\n"
        "\n"
        "Commands:\n"
        "  list                      The macros in the library.\n"
        "  record [--name NAME] [--duration SECONDS]\n"
        "                            Record until Super+R, Super+Alt+P, Ctrl-C or the duration;\n"
        "                            then save into the library.\n"
        "  play NAME|ID|FILE [--speed X] [--loops N | --forever] [--spacing SECONDS]\n"
        "                            Replay a macro; Ctrl-C stops it.\n"
        "  export NAME|ID FILE       Write a macro to a file of its own.\n"
        "  import FILE               Add the macro in FILE to the library.\n"
        "  doctor                    Check what recording and replaying need.\n"
        "\n"
        "Each command has --help. Exit codes: 0 done, 1 failed, 2 wrong use.\n"
        "The library is %1")
        .arg(StorageService().storageURL());
}

int CommandLine::run(const QStringList& arguments)
{
    if (arguments.isEmpty() || arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h") ||
        arguments[0] == QLatin1String("help")) {
        out(help());
        return success;
    }
    const QString command = arguments[0];
    const QStringList rest = arguments.mid(1);
    if (command == QLatin1String("list"))
        return list(rest);
    if (command == QLatin1String("record"))
        return record(rest);
    if (command == QLatin1String("play"))
        return play(rest);
    if (command == QLatin1String("export"))
        return exportMacro(rest);
    if (command == QLatin1String("import"))
        return importMacro(rest);
    if (command == QLatin1String("doctor"))
        return doctor(rest);
    err(QStringLiteral("unknown command \"%1\" (see quillo --help)").arg(command));
    return usage;
}

bool CommandLine::looksLikePath(const QString& argument)
{
    return argument.contains(QLatin1Char('/')) || argument.endsWith(QLatin1String(".quillo"));
}

std::optional<Macro> CommandLine::findMacro(const QString& what, bool allowFile, QString& error)
{
    if (allowFile && looksLikePath(what)) {
        auto macro = ExportImportService::importMacroFrom(what);
        if (!macro) {
            error = macro.error().description();
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

int CommandLine::list(const QStringList& args)
{
    QCommandLineParser parser;
    if (auto done = parse(parser, QStringLiteral("list"), QStringLiteral("The macros in the library."), args))
        return *done;
    if (auto wrong = expectArguments(parser, QStringLiteral("list"), 0, {}))
        return *wrong;
    const auto library = loadLibrary();
    if (!library)
        return failed;
    if (library->empty()) {
        out(QStringLiteral("The library is empty."));
        return success;
    }
    using TerminalText::padded;
    int nameWidth = 4;
    for (const Macro& m : *library)
        nameWidth = std::max(nameWidth, TerminalText::displayWidth(nameText(m)));
    out(QStringLiteral("%1  %2  %3  %4")
            .arg(padded(QStringLiteral("NAME"), nameWidth))
            .arg(QStringLiteral("ACTIONS"), 7)
            .arg(QStringLiteral("DURATION"), 10)
            .arg(QStringLiteral("ID")));
    for (const Macro& m : *library)
        out(QStringLiteral("%1  %2  %3  %4")
                .arg(padded(nameText(m), nameWidth))
                .arg(m.actions.size(), 7)
                .arg(durationText(m.totalDuration()), 10)
                .arg(idText(m.id)));
    return success;
}

int CommandLine::record(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption nameOption(QStringLiteral("name"), QStringLiteral("The new macro's name."),
                                        QStringLiteral("NAME"));
    const QCommandLineOption durationOption(QStringLiteral("duration"),
                                            QStringLiteral("Stop after this many seconds."), QStringLiteral("SECONDS"));
    parser.addOption(nameOption);
    parser.addOption(durationOption);
    if (auto done = parse(parser, QStringLiteral("record"),
                          QStringLiteral("Record until Super+R, Super+Alt+P, Ctrl-C or the duration, then save "
                                         "the recording into the library."),
                          args))
        return *done;
    if (auto wrong = expectArguments(parser, QStringLiteral("record"), 0, {}))
        return *wrong;
    double duration = 0;
    if (parser.isSet(durationOption)) {
        const auto value = numberOption(parser, durationOption, 0, maxRecordSeconds, false,
                                        QStringLiteral("a number of seconds above 0 and at most %1").arg(maxRecordSeconds));
        if (!value)
            return usage;
        duration = *value;
    }
    if (applicationIsRunning()) {
        out(QStringLiteral("Recording in the running Quillo. Stop with Super+R, Super+Alt+P or Ctrl-C%1.")
                .arg(duration > 0 ? QStringLiteral(", or wait %1 seconds").arg(duration) : QString()));
        const QStringList request{QStringLiteral("record"), parser.value(nameOption),
                                  duration > 0 ? QString::number(duration, 'g', 17) : QString()};
        return runInApplication(request, [](const QStringList& m) {
            const QString kind = m.value(0);
            if (kind == QLatin1String("recording")) {
                status(QStringLiteral("Recording\u2026 %1 captured").arg(plural(m.value(1).toLongLong(), "action", "actions")));
            } else if (kind == QLatin1String("nothing")) {
                endStatusLine();
                out(QStringLiteral("Nothing was recorded."));
            } else if (kind == QLatin1String("saved")) {
                endStatusLine();
                out(QStringLiteral("Saved \"%1\" (%2, %3) as %4")
                        .arg(TerminalText::safe(m.value(1)), plural(m.value(2).toLongLong(), "action", "actions"),
                             durationText(m.value(3).toDouble()), m.value(4)));
            }
        });
    }
    // Say what is missing instead of recording nothing.
    {
        X11PermissionProbe probe;
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            err(QStringLiteral("cannot record: there is no X display (DISPLAY is not set; see quillo doctor)"));
            return failed;
        }
        if (X11PermissionProbe::isWaylandSession()) {
            err(QStringLiteral("cannot record: this is a Wayland session, where only X applications could be "
                               "observed (see quillo doctor)"));
            return failed;
        }
        if (!probe.inputMonitoringGranted()) {
            err(QStringLiteral("cannot record: the X display %1 cannot be opened or has no RECORD extension (see "
                               "quillo doctor)")
                    .arg(QString::fromLocal8Bit(qgetenv("DISPLAY"))));
            return failed;
        }
    }

    NoFileDialogs dialogs;
    X11Platform platform(dialogs);
    QSettings settings;
    AppViewModel model(platform.services(), settings);
    if (model.errorMessage()) {
        err(*model.errorMessage());
        return failed;
    }
    model.setRecoveryFolder(QDir::currentPath());
    SignalWatcher signals;
    int result = success;
    auto finish = [&] {
        if (model.recorder().state() == RecordingState::recording)
            model.stopRecordingAndPrompt();
    };
    QObject::connect(&signals, &SignalWatcher::interrupted, finish);
    if (duration > 0)
        QTimer::singleShot(int(std::lround(duration * 1000)), finish);
    QObject::connect(&model.recorder(), &RecorderService::currentActionsChanged, [&] {
        if (model.recorder().state() == RecordingState::recording)
            status(QStringLiteral("Recording\u2026 %1 captured").arg(plural(qsizetype(model.recorder().currentActions().size()), "action", "actions")));
    });
    QObject::connect(&model, &AppViewModel::errorMessageChanged, [&] {
        if (model.errorMessage()) {
            err(*model.errorMessage());
            result = failed;
            QCoreApplication::exit();
        }
    });
    QObject::connect(&model.recorder(), &RecorderService::stateChanged, [&] {
        if (model.recorder().state() == RecordingState::idle)
            QTimer::singleShot(0, [] { QCoreApplication::exit(); });
    });

    out(QStringLiteral("Recording. Stop with Super+R, Super+Alt+P or Ctrl-C%1.")
            .arg(duration > 0 ? QStringLiteral(", or wait %1 seconds").arg(duration) : QString()));
    model.startRecording();
    if (model.recorder().state() == RecordingState::recording)
        QCoreApplication::exec();
    if (isatty(STDOUT_FILENO))
        std::fputs("\n", stdout);
    if (result != success)
        return result;
    if (model.recorder().tapFailed()) {
        err(QStringLiteral("cannot record: the input tap could not start (see quillo doctor)"));
        return failed;
    }
    if (!model.showRecordingSheet()) {
        out(QStringLiteral("Nothing was recorded."));
        return success;
    }
    model.setPendingRecordingName(parser.value(nameOption));
    model.savePendingRecording();
    if (model.errorMessage()) {
        err(*model.errorMessage());
        return failed;
    }
    const Macro& saved = model.macros().front();
    out(QStringLiteral("Saved \"%1\" (%2, %3) as %4")
            .arg(nameText(saved))
            .arg(plural(qsizetype(saved.actions.size()), "action", "actions"))
            .arg(durationText(saved.totalDuration()), idText(saved.id)));
    return success;
}

int CommandLine::play(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption speedOption(QStringLiteral("speed"), QStringLiteral("Speed, 0.25 to 4 (default 1)."),
                                         QStringLiteral("X"));
    const QCommandLineOption loopsOption(QStringLiteral("loops"), QStringLiteral("Play N times (default 1)."),
                                         QStringLiteral("N"));
    const QCommandLineOption foreverOption(QStringLiteral("forever"), QStringLiteral("Play until Ctrl-C."));
    const QCommandLineOption spacingOption(QStringLiteral("spacing"),
                                           QStringLiteral("Space actions this many seconds apart instead of as "
                                                          "recorded."),
                                           QStringLiteral("SECONDS"));
    for (const auto* o : {&speedOption, &loopsOption, &foreverOption, &spacingOption})
        parser.addOption(*o);
    parser.addPositionalArgument(QStringLiteral("macro"), QStringLiteral("A macro's name or id, or a macro file."),
                                 QStringLiteral("NAME|ID|FILE"));
    if (auto done = parse(parser, QStringLiteral("play"), QStringLiteral("Replay a macro; Ctrl-C stops it and "
                                                                          "releases every key and button."),
                          args))
        return *done;
    if (auto wrong = expectArguments(parser, QStringLiteral("play"), 1, QStringLiteral("exactly one macro")))
        return *wrong;
    PlaybackOptions options;
    if (parser.isSet(speedOption)) {
        const auto speed = numberOption(parser, speedOption, 0.25, 4, true, QStringLiteral("a number from 0.25 to 4"));
        if (!speed)
            return usage;
        options.speedMultiplier = *speed;
    }
    if (parser.isSet(loopsOption) && parser.isSet(foreverOption)) {
        err(QStringLiteral("--loops and --forever exclude each other"));
        return usage;
    }
    if (parser.isSet(loopsOption)) {
        bool ok = false;
        options.loopCount = parser.value(loopsOption).toLongLong(&ok);
        if (!ok || options.loopCount < 1) {
            err(QStringLiteral("--loops must be a whole number of at least 1"));
            return usage;
        }
    }
    options.isInfinite = parser.isSet(foreverOption);
    if (parser.isSet(spacingOption)) {
        const auto spacing = numberOption(parser, spacingOption, 0, maxSpacingSeconds, true,
                                          QStringLiteral("a number of seconds from 0 to %1").arg(maxSpacingSeconds));
        if (!spacing)
            return usage;
        options.delayOverride = *spacing;
    }
    const QString what = parser.positionalArguments()[0];
    QString error;
    const auto macro = findMacro(what, true, error);
    if (!macro) {
        err(error);
        return failed;
    }
    const QString source = looksLikePath(what)
                               ? QStringLiteral("\"%1\" from the file %2").arg(nameText(*macro), TerminalText::safe(what))
                               : QStringLiteral("\"%1\" from the library").arg(nameText(*macro));
    if (macro->actions.empty()) {
        out(QStringLiteral("Nothing to play: %1 has no actions.").arg(source));
        return success;
    }
    if (applicationIsRunning()) {
        // The running application plays it (as it holds the hotkeys that stop it).
        out(QStringLiteral("Playing %1 in the running Quillo.").arg(source));
        const QStringList request{QStringLiteral("play"),
                                  looksLikePath(what) ? QStringLiteral("file") : QStringLiteral("library"),
                                  looksLikePath(what) ? QFileInfo(what).absoluteFilePath() : idText(macro->id),
                                  QString::number(options.speedMultiplier, 'g', 17),
                                  QString::number(options.loopCount),
                                  options.isInfinite ? QStringLiteral("1") : QStringLiteral("0"),
                                  options.delayOverride ? QString::number(*options.delayOverride, 'g', 17) : QString()};
        const QString name = nameText(*macro);
        return runInApplication(request, [&](const QStringList& m) {
            const QString kind = m.value(0);
            if (kind == QLatin1String("progress")) {
                status(QStringLiteral("Playing \"%1\" \u2014 loop %2 of %3, %4%")
                           .arg(name, m.value(1), m.value(2).isEmpty() ? QStringLiteral("\u221e") : m.value(2),
                                m.value(3)));
            } else if (kind == QLatin1String("nothing")) {
                out(QStringLiteral("Nothing to play: %1 has no actions.").arg(source));
            } else if (kind == QLatin1String("done") || kind == QLatin1String("stopped")) {
                endStatusLine();
                out(kind == QLatin1String("done") ? QStringLiteral("Done.") : QStringLiteral("Stopped."));
            }
        });
    }

    NoFileDialogs dialogs;
    X11Platform platform(dialogs);
    if (!platform.eventPoster().isConnected()) {
        err(QStringLiteral("cannot replay: no X display with the XTEST extension (see quillo doctor)"));
        return failed;
    }
    PlaybackService playback(platform.eventPoster(), SystemClock::instance(), platform.sleeper());
    SignalWatcher signals;
    bool interrupted = false;
    QObject::connect(&signals, &SignalWatcher::interrupted, [&] {
        interrupted = true;
        playback.stop(); // releases what the macro holds down
    });
    auto showProgress = [&] {
        const PlaybackState& state = playback.state();
        if (state.kind != PlaybackState::Kind::playing)
            return;
        const QString loops = state.isEndless() ? QStringLiteral("\u221e") : QString::number(state.totalLoops);
        status(QStringLiteral("Playing \"%1\" \u2014 loop %2 of %3, %4%")
                   .arg(nameText(*macro))
                   .arg(state.currentLoop)
                   .arg(loops)
                   .arg(int(std::floor(playback.progress() * 100))));
    };
    QObject::connect(&playback, &PlaybackService::progressChanged, showProgress);
    QObject::connect(&playback, &PlaybackService::stateChanged, showProgress);
    QObject::connect(&playback, &PlaybackService::finished, [] { QCoreApplication::exit(); });
    out(QStringLiteral("Playing %1.").arg(source));
    playback.play(*macro, options);
    if (playback.isBusy())
        QCoreApplication::exec();
    if (isatty(STDOUT_FILENO))
        std::fputs("\n", stdout);
    out(interrupted ? QStringLiteral("Stopped.") : QStringLiteral("Done."));
    return success;
}

int CommandLine::exportMacro(const QStringList& args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("macro"), QStringLiteral("A macro's name or id."),
                                 QStringLiteral("NAME|ID"));
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Where to write it."), QStringLiteral("FILE"));
    if (auto done = parse(parser, QStringLiteral("export"), QStringLiteral("Write a macro to a file of its own."),
                          args))
        return *done;
    if (auto wrong = expectArguments(parser, QStringLiteral("export"), 2, QStringLiteral("a macro and a file")))
        return *wrong;
    QString error;
    const auto macro = findMacro(parser.positionalArguments()[0], false, error);
    if (!macro) {
        err(error);
        return failed;
    }
    const QString path = parser.positionalArguments()[1];
    if (path == QLatin1String("-")) {
        auto encoded = MacroJsonEncoder::encodeMacro(*macro);
        if (!encoded) {
            err(QStringLiteral("Failed to encode macro data."));
            return failed;
        }
        QFile standardOutput;
        if (!standardOutput.open(stdout, QIODevice::WriteOnly) || standardOutput.write(encoded.value()) < 0 ||
            !standardOutput.flush()) {
            err(QStringLiteral("could not write to standard output: %1").arg(standardOutput.errorString()));
            return failed;
        }
        return success;
    }
    if (auto written = ExportImportService::exportMacroTo(*macro, path); !written) {
        err(written.error().description());
        return failed;
    }
    out(QStringLiteral("Exported \"%1\" to %2").arg(nameText(*macro), TerminalText::safe(path)));
    return success;
}

int CommandLine::importMacro(const QStringList& args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A macro file."), QStringLiteral("FILE"));
    if (auto done = parse(parser, QStringLiteral("import"),
                          QStringLiteral("Add the macro in a file to the library, first in the list."), args))
        return *done;
    if (auto wrong = expectArguments(parser, QStringLiteral("import"), 1, QStringLiteral("one file")))
        return *wrong;
    if (applicationIsRunning()) {
        return runInApplication({QStringLiteral("import"), parser.positionalArguments()[0]}, [](const QStringList& m) {
            if (m.value(0) == QLatin1String("imported"))
                out(QStringLiteral("Imported \"%1\" (%2) as %3")
                        .arg(TerminalText::safe(m.value(1)), plural(m.value(2).toLongLong(), "action", "actions"),
                             m.value(3)));
        });
    }
    auto macro = ExportImportService::importMacroFrom(parser.positionalArguments()[0]);
    if (!macro) {
        err(macro.error().description());
        return failed;
    }
    StorageService storage;
    if (auto locked = storage.lockForWriting(); !locked) {
        err(locked.error().description());
        return failed;
    }
    auto library = storage.loadAll();
    if (!library) {
        err(QStringLiteral("Failed to load macros: ") + library.error().description());
        return failed;
    }
    std::vector<Macro> macros = std::move(library).value();
    const Macro imported = macro.value();
    macros.insert(macros.begin(), std::move(macro).value());
    if (auto saved = storage.saveAll(macros); !saved) {
        err(QStringLiteral("Failed to save macros: ") + saved.error().description());
        return failed;
    }
    out(QStringLiteral("Imported \"%1\" (%2) as %3")
            .arg(nameText(imported))
            .arg(plural(qsizetype(imported.actions.size()), "action", "actions"))
            .arg(idText(imported.id)));
    return success;
}

int CommandLine::doctor(const QStringList& args)
{
    QCommandLineParser parser;
    if (auto done = parse(parser, QStringLiteral("doctor"),
                          QStringLiteral("Check what recording and replaying need, one line each."), args))
        return *done;
    if (auto wrong = expectArguments(parser, QStringLiteral("doctor"), 0, {}))
        return *wrong;
    const bool applicationRuns = applicationIsRunning();
    bool allGood = true;
    auto line = [&](bool good, const QString& what, const QString& detail) {
        allGood = allGood && good;
        out(QStringLiteral("%1  %2: %3").arg(good ? QStringLiteral("ok     ") : QStringLiteral("PROBLEM"), what, detail));
    };
    const QByteArray display = qgetenv("DISPLAY");
    X11PermissionProbe probe;
    const bool hasDisplay = !display.isEmpty() && (probe.accessibilityGranted(false) || probe.inputMonitoringGranted() ||
                                                   X11Platform::windowManagerReportsActiveWindow());
    line(hasDisplay, QStringLiteral("display"),
         display.isEmpty() ? QStringLiteral("DISPLAY is not set") : QString::fromLocal8Bit(display));
    const bool wayland = X11PermissionProbe::isWaylandSession();
    line(!wayland, QStringLiteral("session"),
         wayland ? QStringLiteral("Wayland: only X applications can be recorded") : QStringLiteral("X11"));
    line(X11Platform::windowManagerReportsActiveWindow(), QStringLiteral("window manager"),
         QStringLiteral("reports the active window (needed to record application switches)"));
    line(probe.accessibilityGranted(false), QStringLiteral("XTEST"), QStringLiteral("needed to replay"));
    line(!wayland && probe.inputMonitoringGranted(), QStringLiteral("RECORD"), QStringLiteral("needed to record"));
    {
        X11HotkeyRegistrar registrar;
        const QStringList names = {QStringLiteral("Super+R"), QStringLiteral("Super+Alt+P"), QStringLiteral("Super+P")};
        for (std::size_t i = 0; i < HotkeyService::defaults().size(); ++i) {
            const HotkeyConfig& c = HotkeyService::defaults()[i];
            const auto result = registrar.registerHotkey(c.keyCode, c.modifiers, c.id);
            if (result.status == 0)
                registrar.unregisterHotkey(result.handle);
            if (result.status != 0 && applicationRuns) {
                line(true, QStringLiteral("hotkey ") + names[int(i)],
                     QStringLiteral("held by Quillo itself (the application is running)"));
                continue;
            }
            line(result.status == 0, QStringLiteral("hotkey ") + names[int(i)],
                 result.status == 0 ? QStringLiteral("free")
                                    : QStringLiteral("taken by another program (or no display)"));
        }
    }
    StorageService storage;
    auto library = storage.loadAll();
    line(library.hasValue(), QStringLiteral("library"),
         storage.storageURL() + (library ? QStringLiteral(" (%1)").arg(plural(qsizetype(library.value().size()), "macro", "macros"))
                                         : QStringLiteral(" \u2014 ") + library.error().description()));
    return allGood ? success : failed;
}
