#include "Cli/Commands/RecordCommand.h"

#include "Cli/CommandRunner.h"
#include "Cli/NoFileDialogs.h"
#include "Cli/SignalWatcher.h"
#include "Cli/TerminalText.h"
#include "App/DesktopPlatform.h"
#include "ViewModels/AppViewModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSettings>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <unistd.h>

using namespace CommandRunner;

namespace {

// "Stop with Alt+Super+R or Ctrl-C, or wait 30 seconds.": only the chords in force.
QString stopWords(const QString& chords, double duration)
{
    return QStringLiteral("Stop with %1Ctrl-C%2.")
        .arg(chords.isEmpty() ? QString() : TerminalText::safe(chords) + QStringLiteral(" or "),
             duration > 0 ? QStringLiteral(", or wait %1 seconds").arg(duration) : QString());
}

} // namespace

int RecordCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption nameOption(QStringLiteral("name"), QStringLiteral("The new macro's name."),
                                        QStringLiteral("NAME"));
    const QCommandLineOption durationOption(QStringLiteral("duration"),
                                            QStringLiteral("Stop after this many seconds."), QStringLiteral("SECONDS"));
    const QCommandLineOption keyboardOption(QStringLiteral("keyboard-only"), QStringLiteral("Record the keyboard only."));
    const QCommandLineOption mouseOption(QStringLiteral("mouse-only"), QStringLiteral("Record the mouse only."));
    const QCommandLineOption thinOption(
        QStringLiteral("thin-moves"),
        QStringLiteral("Keep at most one mouse move per MS milliseconds (moves leading into a click, drag or wheel "
                       "turn stay)."),
        QStringLiteral("MS"));
    parser.addOption(nameOption);
    parser.addOption(durationOption);
    parser.addOption(keyboardOption);
    parser.addOption(mouseOption);
    parser.addOption(thinOption);
    const QCommandLineOption noPicturesOption(
        QStringLiteral("no-pictures"),
        QStringLiteral("Do not keep what the screen showed around each click (smaller files; a replay cannot wait "
                       "for the screen)."));
    parser.addOption(noPicturesOption);
    if (auto done = parse(parser, QStringLiteral("record"),
                          QStringLiteral("Record until a hotkey that stops recording, Ctrl-C or the duration, "
                                         "then save the recording into the library."),
                          args))
        return *done;
    if (auto wrong = expectArguments(parser, QStringLiteral("record"), 0, {}))
        return *wrong;
    double duration = 0;
    if (parser.isSet(durationOption)) {
        const auto value = numberOption(parser, durationOption, 0, RecordCommand::maxSeconds, false,
                                        QStringLiteral("a number of seconds above 0 and at most %1").arg(RecordCommand::maxSeconds));
        if (!value)
            return usage;
        duration = *value;
    }
    // Without options the recording takes in what the window's recorder bar says.
    std::optional<RecordingOptions> options;
    if (parser.isSet(keyboardOption) || parser.isSet(mouseOption) || parser.isSet(thinOption)) {
        if (parser.isSet(keyboardOption) && parser.isSet(mouseOption)) {
            err(QStringLiteral("--keyboard-only and --mouse-only exclude each other"));
            return usage;
        }
        options.emplace();
        options->keyboard = !parser.isSet(mouseOption);
        options->mouse = !parser.isSet(keyboardOption);
        if (parser.isSet(thinOption)) {
            if (!options->mouse) {
                err(QStringLiteral("--thin-moves thins mouse moves, which --keyboard-only leaves out"));
                return usage;
            }
            const auto value = numberOption(parser, thinOption, 1, RecordingOptions::maxMoveIntervalMs, true,
                                            QStringLiteral("a whole number of milliseconds from 1 to %1")
                                                .arg(RecordingOptions::maxMoveIntervalMs));
            if (!value)
                return usage;
            if (*value != std::floor(*value)) {
                err(QStringLiteral("--thin-moves must be a whole number of milliseconds from 1 to %1")
                        .arg(RecordingOptions::maxMoveIntervalMs));
                return usage;
            }
            options->moveIntervalMs = int(*value);
        }
    }
    if (applicationIsRunning()) {
        QStringList request{QStringLiteral("record"), parser.value(nameOption),
                            duration > 0 ? QString::number(duration, 'g', 17) : QString()};
        if (options)
            request << QString::number(options->keyboard) << QString::number(options->mouse)
                    << QString::number(options->moveIntervalMs);
        if (parser.isSet(noPicturesOption))
            request << QStringLiteral("no-pictures");
        return runInApplication(request, [duration](const QStringList& m) {
            const QString kind = m.value(0);
            if (kind == QLatin1String("stops")) {
                out(QStringLiteral("Recording in the running Quillo. %1").arg(stopWords(m.value(1), duration)));
            } else if (kind == QLatin1String("recording")) {
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
    // Before anything starts a thread (X, the secret store): threads inherit the blocked signals.
    SignalWatcher signals;
    NoFileDialogs dialogs;
    DesktopPlatform platform(dialogs);
    // Say what is missing instead of recording nothing.
    if (const QString problem = platform.recordProblem(); !problem.isEmpty()) {
        err(QStringLiteral("cannot record: %1 (see quillo doctor)").arg(problem));
        return failed;
    }
    if (const QString limits = platform.desktopLimits(); !limits.isEmpty())
        err(QStringLiteral("note: ") + limits);
    QSettings settings;
    AppViewModel model(platform.services(), settings);
    if (model.errorMessage()) {
        err(*model.errorMessage());
        return failed;
    }
    model.recordingFlow().setRecoveryFolder(QDir::currentPath());
    int result = success;
    auto finish = [&] {
        if (model.recorder().state() == RecordingState::recording)
            model.recordingFlow().stopRecordingAndPrompt();
    };
    int stoppedBy = 0; // the signal that ended it (saved all the same); a hotkey is a normal end
    QObject::connect(&signals, &SignalWatcher::interrupted, [&] {
        stoppedBy = signals.signalNumber();
        finish();
    });
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

    model.recordingFlow().startRecording(std::nullopt, options,
                                         parser.isSet(noPicturesOption) ? std::optional<bool>(false) : std::nullopt);
    // Said once the input is being read: what is typed after these words is recorded.
    if (model.recorder().state() == RecordingState::recording) {
        out(QStringLiteral("Recording. %1").arg(stopWords(model.hotkeyChords().stopRecordingChords(), duration)));
        QCoreApplication::exec();
    }
    if (isatty(STDOUT_FILENO))
        std::fputs("\n", stdout);
    if (result != success)
        return result;
    if (model.recorder().tapFailed()) {
        err(QStringLiteral("cannot record: the input tap could not start (see quillo doctor)"));
        return failed;
    }
    const int ended = stoppedBy > 0 ? 128 + stoppedBy : success;
    if (!model.recordingFlow().showRecordingSheet()) {
        out(QStringLiteral("Nothing was recorded."));
        return ended;
    }
    model.recordingFlow().setPendingRecordingName(parser.value(nameOption));
    model.recordingFlow().savePendingRecording();
    if (model.errorMessage()) {
        err(*model.errorMessage());
        return failed;
    }
    const Macro& saved = model.macros().front();
    out(QStringLiteral("Saved \"%1\" (%2, %3) as %4")
            .arg(nameText(saved))
            .arg(plural(qsizetype(saved.actions.size()), "action", "actions"))
            .arg(durationText(saved.totalDuration()), idText(saved.id)));
    // The automatic backup to Quillo Cloud (when signed in) finishes before the command does.
    QCoreApplication::processEvents();
    QElapsedTimer waited;
    waited.start();
    while (model.backupSync().inFlight() > 0 && waited.elapsed() < 65'000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    if (model.backupSync().lastSyncedAt())
        out(QStringLiteral("Backed up to Quillo Cloud."));
    else if (model.backupSync().lastError())
        err(QStringLiteral("the backup to Quillo Cloud failed: ") + *model.backupSync().lastError());
    return ended;
}
