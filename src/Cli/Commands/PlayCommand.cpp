#include "Cli/Commands/PlayCommand.h"

#include "Cli/CommandRunner.h"
#include "Cli/NoFileDialogs.h"
#include "Cli/SignalWatcher.h"
#include "Cli/TerminalText.h"
#include "App/DesktopPlatform.h"
#include "ViewModels/LayoutMapping.h"
#include "Platform/SystemClock.h"
#include "Services/HotkeyService.h"
#include "Services/PlaybackService.h"
#include "ViewModels/HotkeyViewModel.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSettings>
#include <cmath>
#include <cstdio>
#include <unistd.h>

using namespace CommandRunner;

int PlayCommand::run(const QStringList& args)
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
    const QCommandLineOption waitOption(QStringLiteral("wait-for-apps"),
                                        QStringLiteral("At each application switch, wait up to SECONDS for the "
                                                       "application to be in front; stop when it never is."),
                                        QStringLiteral("SECONDS"));
    const QCommandLineOption screenOption(QStringLiteral("wait-for-screen"),
                                          QStringLiteral("Before each click that carries what the screen showed at "
                                                         "recording, wait up to SECONDS for it and click where it is "
                                                         "(default 10; 0 replays blind)."),
                                          QStringLiteral("SECONDS"));
    const QCommandLineOption mapOption(QStringLiteral("map-outputs"),
                                       QStringLiteral("A macro recorded on other monitors: place each position on "
                                                      "the monitor of the same name (or place) here."));
    for (const auto* o : {&speedOption, &loopsOption, &foreverOption, &spacingOption, &waitOption, &screenOption,
                          &mapOption})
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
        if (!ok || options.loopCount < 1 || options.loopCount > PlayCommand::maxLoops) {
            err(QStringLiteral("--loops must be a whole number between 1 and %1 (or --forever)").arg(PlayCommand::maxLoops));
            return usage;
        }
    }
    options.isInfinite = parser.isSet(foreverOption);
    if (parser.isSet(spacingOption)) {
        const auto spacing = numberOption(parser, spacingOption, 0, PlayCommand::maxSpacingSeconds, true,
                                          QStringLiteral("a number of seconds from 0 to %1").arg(PlayCommand::maxSpacingSeconds));
        if (!spacing)
            return usage;
        options.delayOverride = *spacing;
    }
    if (parser.isSet(waitOption)) {
        const auto wait = numberOption(parser, waitOption, 0, PlayCommand::maxWaitSeconds, false,
                                       QStringLiteral("a number of seconds above 0 and at most %1").arg(PlayCommand::maxWaitSeconds));
        if (!wait)
            return usage;
        options.waitForApplications = *wait;
    }
    if (parser.isSet(screenOption)) {
        const auto wait = numberOption(parser, screenOption, 0, PlayCommand::maxWaitSeconds, true,
                                       QStringLiteral("a number of seconds from 0 to %1").arg(PlayCommand::maxWaitSeconds));
        if (!wait)
            return usage;
        options.waitForScreen = *wait;
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
    // Said before anything moves: a macro made on other monitors, or positions this
    // desktop cannot replay.
    const SessionKind::Kind session = SessionKind::detect();
    const bool placed = LayoutMapping::usesPositions(*macro);
    const std::vector<ScreenOutput> here = macro->metadata.outputs.empty() && !placed
                                               ? std::vector<ScreenOutput>()
                                               : DesktopPlatform::currentScreenLayout(session);
    if (placed && !DesktopPlatform::replaysPositions(session, here))
        out(QStringLiteral("This desktop does not say how its screens are laid out, so positions are not replayed: "
                           "clicks, drags and wheel turns land wherever the pointer is."));
    const bool otherLayout = LayoutMapping::differs(macro->metadata.outputs, here);
    options.mapToCurrentLayout = parser.isSet(mapOption);
    if (otherLayout)
        out(options.mapToCurrentLayout
                ? QStringLiteral("Recorded on another screen layout (%1); positions are placed on this one (%2).")
                      .arg(LayoutMapping::describe(macro->metadata.outputs), LayoutMapping::describe(here))
                : QStringLiteral("Recorded on another screen layout (%1; here %2); positions stay as recorded. "
                                 "--map-outputs places them on this layout.")
                      .arg(LayoutMapping::describe(macro->metadata.outputs), LayoutMapping::describe(here)));
    if (applicationIsRunning()) {
        // The running application plays it (as it holds the hotkeys that stop it).
        out(QStringLiteral("Playing %1 in the running Quillo.").arg(source));
        const QStringList request{QStringLiteral("play"),
                                  looksLikePath(what) ? QStringLiteral("file") : QStringLiteral("library"),
                                  looksLikePath(what) ? QFileInfo(what).absoluteFilePath() : idText(macro->id),
                                  QString::number(options.speedMultiplier, 'g', 17),
                                  QString::number(options.loopCount),
                                  options.isInfinite ? QStringLiteral("1") : QStringLiteral("0"),
                                  options.delayOverride ? QString::number(*options.delayOverride, 'g', 17) : QString(),
                                  QString::number(options.waitForApplications, 'g', 17),
                                  options.mapToCurrentLayout ? QStringLiteral("1") : QStringLiteral("0"),
                                  QString::number(options.waitForScreen, 'g', 17)};
        const QString name = nameText(*macro);
        return runInApplication(request, [&](const QStringList& m) {
            const QString kind = m.value(0);
            if (kind == QLatin1String("waiting") && !m.value(1).isEmpty()) {
                status(QStringLiteral("Waiting for %1\u2026").arg(TerminalText::safe(m.value(1))));
            } else if (kind == QLatin1String("progress")) {
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

    // Before anything starts a thread (X, the secret store): threads inherit the blocked signals.
    SignalWatcher signals;
    NoFileDialogs dialogs;
    DesktopPlatform platform(dialogs);
    if (const QString problem = platform.replayProblem(); !problem.isEmpty()) {
        err(QStringLiteral("cannot replay: %1 (see quillo doctor)").arg(problem));
        return failed;
    }
    PlaybackService playback(platform.eventPoster(), SystemClock::instance(), platform.sleeper());
    playback.setOwnApplicationId(platform.services().workspace.ownApplicationId());
    playback.setScreenCapture(platform.services().screenCapture);
    playback.setWorkspace(&platform.services().workspace);
    bool interrupted = false;
    int stoppedBy = 0; // the signal that stopped it; a hotkey is a normal end
    QObject::connect(&signals, &SignalWatcher::interrupted, [&] {
        interrupted = true;
        stoppedBy = signals.signalNumber();
        playback.stop(); // releases what the macro holds down
    });
    // The play chord stops it too, whatever window is in front (also with modifiers the
    // macro holds).
    QSettings settings;
    HotkeyService hotkeys(platform.services().hotkeyRegistrar, SystemClock::instance());
    const HotkeyChord stopChord = HotkeyViewModel::storedChord(settings, HotkeyViewModel::togglePlayback);
    hotkeys.registerHotkey({stopChord.keyCode, stopChord.modifiers, HotkeyViewModel::togglePlayback});
    hotkeys.setLenient(HotkeyViewModel::togglePlayback, true);
    hotkeys.setOnHotKey([&](quint32) {
        interrupted = true;
        playback.stop();
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
    QObject::connect(&playback, &PlaybackService::waitingForChanged, [&] {
        if (!playback.waitingFor().isEmpty())
            status(QStringLiteral("Waiting for %1\u2026").arg(TerminalText::safe(playback.waitingFor())));
    });
    QString failure;
    QObject::connect(&playback, &PlaybackService::failed, [&](const QString& message) { failure = message; });
    QObject::connect(&playback, &PlaybackService::finished, [] { QCoreApplication::exit(); });
    out(QStringLiteral("Playing %1. Stop with %2Ctrl-C.")
            .arg(source, hotkeys.isRegistered(HotkeyViewModel::togglePlayback)
                             ? TerminalText::safe(stopChord.portableText()) + QStringLiteral(" or ")
                             : QString()));
    playback.play(otherLayout && options.mapToCurrentLayout ? LayoutMapping::mapped(*macro, here) : *macro, options);
    if (playback.isBusy())
        QCoreApplication::exec();
    if (isatty(STDOUT_FILENO))
        std::fputs("\n", stdout);
    if (!failure.isEmpty()) {
        // It names applications, titles and steps from the file: escaped for the terminal.
        err(TerminalText::safe(failure));
        return failed;
    }
    out(interrupted ? QStringLiteral("Stopped.") : QStringLiteral("Done."));
    return stoppedBy > 0 ? 128 + stoppedBy : success;
}
