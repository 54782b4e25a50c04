#include "Cli/Commands/DoctorCommand.h"

#include "App/SingleInstance.h"
#include "Cli/CommandRunner.h"
#include "Platform/Linux/SessionKind.h"
#include "Platform/Wayland/InputdClient.h"
#include "Platform/Wayland/HyprlandProvider.h"
#include "Platform/Wayland/SwayProvider.h"
#include "Platform/Wayland/WaylandPlatform.h"
#include "Platform/X11/X11Platform.h"
#include "Platform/X11/X11ScreenCapture.h"
#include "Services/HotkeyService.h"
#include "Services/StorageService.h"
#include "Cli/TerminalText.h"
#include "ViewModels/HotkeyViewModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <unistd.h>

using namespace CommandRunner;

namespace {

// Another Quillo process of this user on this display (a `quillo play` holding its stop
// chords): "process N: quillo play …", or empty.
QString otherQuilloProcess()
{
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const QString display = SingleInstance::sameDisplay(QString::fromLocal8Bit(qgetenv("DISPLAY")));
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : pids) {
        bool number = false;
        const qint64 n = pid.toLongLong(&number);
        if (!number || n == QCoreApplication::applicationPid())
            continue;
        const QFileInfo exe(QStringLiteral("/proc/%1/exe").arg(pid));
        QString target = QFileInfo(exe.symLinkTarget()).fileName();
        target.remove(QStringLiteral(" (deleted)")); // a build replaced since it started
        if (target != self || exe.ownerId() != ::getuid())
            continue;
        QFile environ(QStringLiteral("/proc/%1/environ").arg(pid));
        if (!environ.open(QIODevice::ReadOnly))
            continue;
        QString theirs;
        for (const QByteArray& entry : environ.read(256 * 1024).split('\0'))
            if (entry.startsWith("DISPLAY="))
                theirs = QString::fromLocal8Bit(entry.mid(8));
        if (SingleInstance::sameDisplay(theirs) != display)
            continue;
        QFile command(QStringLiteral("/proc/%1/cmdline").arg(pid));
        QString words;
        if (command.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> parts = command.read(4096).split('\0');
            for (qsizetype i = 1; i < parts.size() && i < 6; ++i)
                if (!parts[i].isEmpty())
                    words += QLatin1Char(' ') + QString::fromLocal8Bit(parts[i]);
        }
        return QStringLiteral("process %1: %2%3").arg(pid, self, TerminalText::safe(words));
    }
    return {};
}

constexpr int kFirstReportMs = 2000;

bool waitForFirstReport(const DesktopProvider& provider)
{
    QElapsedTimer waited;
    waited.start();
    while (!provider.hasReported() && waited.elapsed() < kFirstReportMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return provider.hasReported();
}

} // namespace

int DoctorCommand::run(const QStringList& args)
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
    // Something that works differently here, but is not a fault.
    auto aside = [&](const QString& what, const QString& detail) {
        out(QStringLiteral("note     %1: %2").arg(what, detail));
    };
    const QByteArray display = qgetenv("DISPLAY");
    X11PermissionProbe probe;
    std::unique_ptr<DesktopProvider> provider;   // under Wayland
    X11KeyboardLayout layout;
    std::unique_ptr<HotkeyRegistrar> registrar; // the session's, to try the chords on (after the provider)
    const SessionKind::Kind kind = SessionKind::detect();
    if (kind == SessionKind::Kind::wayland) {
        // Wayland: recording and replay go through quillo-inputd; the desktop says what
        // is in front (and, on some desktops, where the pointer is).
        line(true, QStringLiteral("backend"), QStringLiteral("Wayland, through the input helper quillo-inputd"));
        InputdClient helper;
        QString problem;
        const bool helperOk = helper.connect(InputdClient::socketPath(), problem);
        line(helperOk, QStringLiteral("input helper"),
             helperOk ? QStringLiteral("answers at %1 (it reads every keyboard while Quillo records)").arg(InputdClient::socketPath())
                      : problem);
        provider = WaylandPlatform::providerForSession();
        QString limits;
        const bool desktopOk = provider->start(&limits);
        line(desktopOk, QStringLiteral("desktop"),
             desktopOk ? QStringLiteral("%1 reports the frontmost application").arg(provider->desktopName()) : limits);
        // A desktop that reports on its own (KWin's script) is judged once it has spoken.
        if (desktopOk && !waitForFirstReport(*provider))
            line(false, QStringLiteral("desktop"),
                 QStringLiteral("%1 loaded Quillo's script but it has not reported within %2 s: positions and the "
                                "frontmost application cannot be judged; log out and in, then run quillo doctor again")
                     .arg(provider->desktopName())
                     .arg(kFirstReportMs / 1000));
        if (provider->outputs().empty())
            line(false, QStringLiteral("positions"),
                 QStringLiteral("%1 gives no screen layout: positions are not replayed (clicks and wheel turns land "
                                "wherever the pointer is)")
                     .arg(provider->desktopName()));
        if (desktopOk)
            line(provider->reportsPointer(), QStringLiteral("pointer"),
                 provider->reportsPointer()
                     ? QStringLiteral("%1 reports where the pointer is").arg(provider->desktopName())
                     : QStringLiteral("%1 does not say where the pointer is: recorded positions are estimated from the "
                                      "mouse's motion (keys and wheels are exact)")
                           .arg(provider->desktopName()));
        QString note;
        registrar = WaylandPlatform::hotkeysFor(*provider, layout, &note);
        auto screen = WaylandPlatform::screenFor(*provider);
        if (screen && screen->asksTheUser()) {
            // Not read just to see: the desktop would ask the user.
            line(true, QStringLiteral("screen"),
                 QStringLiteral("through %1, which may ask you once when a recording or a playback first reads "
                                "the screen")
                     .arg(screen->mechanism()));
        } else if (screen) {
            const auto outputs = provider->outputs();
            const QPointF at = outputs.empty() ? QPointF() : outputs.front().geometry.topLeft();
            screen->setReading(true); // as a recording would
            const auto read = screen->capture(QRectF(at, QSizeF(1, 1)));
            screen->setReading(false);
            line(read.hasValue(), QStringLiteral("screen"),
                 read.hasValue() ? QStringLiteral("read from %1 (clicks keep what the screen showed; replays wait for "
                                                  "it)")
                                       .arg(screen->mechanism())
                                 : TerminalText::safe(read.error().description()));
        } else {
            aside(QStringLiteral("screen"),
                  QStringLiteral("Quillo cannot read this desktop's screen yet%1: clicks are recorded without pictures, "
                                 "and a macro whose clicks carry them replays only blind (quillo play --wait-for-screen 0)")
                      .arg(qobject_cast<SwayProvider*>(provider.get()) || qobject_cast<HyprlandProvider*>(provider.get())
                           ? QStringLiteral(" (install grim)")
                           : QString()));
        }
        line(true, QStringLiteral("hotkeys"),
             QStringLiteral("through %1, whichever window is in front%2")
                 .arg(registrar->mechanism(), note.isEmpty() ? QString() : QStringLiteral(" (") + note + QLatin1Char(')')));
    } else {
        line(true, QStringLiteral("backend"), QStringLiteral("X11"));
        const bool opens = !display.isEmpty() && X11Platform::canOpenDisplay();
        if (display.isEmpty())
            line(false, QStringLiteral("display"),
                 QStringLiteral("no X display (DISPLAY is not set): start Quillo inside your desktop session"));
        else if (!opens)
            line(false, QStringLiteral("display"),
                 QStringLiteral("the X display %1 does not answer: start Quillo inside your desktop session, or set "
                                "DISPLAY to a display that runs")
                     .arg(TerminalText::safe(QString::fromLocal8Bit(display))));
        else
            line(true, QStringLiteral("display"), TerminalText::safe(QString::fromLocal8Bit(display)));
        // Without a display the rest cannot be asked.
        if (opens) {
            const bool reports = X11Platform::windowManagerReportsActiveWindow();
            line(reports, QStringLiteral("window manager"),
                 reports ? QStringLiteral("reports the active window (needed to record application switches)")
                         : QStringLiteral("no window manager reports the active window (_NET_ACTIVE_WINDOW): switches "
                                          "between applications are not recorded; run a window manager that does (any "
                                          "desktop's does)"));
            const bool xtest = probe.accessibilityGranted(false);
            line(xtest, QStringLiteral("XTEST"),
                 xtest ? QStringLiteral("needed to replay")
                       : QStringLiteral("the X server has no XTEST extension: macros cannot be replayed; start the X "
                                        "server with XTEST (on unless it was turned off with -extension XTEST)"));
            const bool record = probe.inputMonitoringGranted();
            line(record, QStringLiteral("RECORD"),
                 record ? QStringLiteral("needed to record")
                        : QStringLiteral("the X server has no RECORD extension: nothing can be recorded; start the X "
                                         "server with +extension RECORD (Xorg loads it unless told not to)"));
            X11ScreenCapture screen;
            const auto read = screen.capture(QRectF(0, 0, 1, 1));
            line(read.hasValue(), QStringLiteral("screen"),
                 read.hasValue() ? QStringLiteral("read from %1 (clicks keep what the screen showed; replays wait for "
                                                  "it)")
                                       .arg(screen.mechanism())
                                 : TerminalText::safe(read.error().description()));
            registrar = std::make_unique<X11HotkeyRegistrar>();
        }
    }
    // The hotkeys: the running application says which of its chords are in force;
    // otherwise each chord is tried here.
    if (applicationRuns) {
        runInApplication({QStringLiteral("hotkeys")}, [&](const QStringList& m) {
            if (m.value(0) != QLatin1String("hotkey"))
                return;
            const QString chord = TerminalText::safe(m.value(1));
            if (m.value(2).isEmpty())
                line(true, QStringLiteral("hotkey ") + chord,
                     QStringLiteral("held by Quillo itself (the application is running; %1)").arg(TerminalText::safe(m.value(3))));
            else
                line(false, QStringLiteral("hotkey ") + chord, TerminalText::safe(m.value(2)));
        });
    } else if (registrar) {
        // A `quillo record` or `quillo play` of this session holds its stop chords (looked
        // for once a chord is refused).
        std::optional<QString> otherQuillo;
        auto heldByQuillo = [&] {
            if (!otherQuillo)
                otherQuillo = otherQuilloProcess();
            return *otherQuillo;
        };
        QSettings settings;
        for (const HotkeyConfig& standard : HotkeyService::defaults()) {
            const HotkeyChord chord = HotkeyViewModel::storedChord(settings, standard.id);
            const auto result = registrar->registerHotkey(standard.id, {chord});
            registrar->unregisterHotkey(standard.id);
            const QString name = QStringLiteral("hotkey ") + chord.portableText();
            if (result.ok())
                line(true, name, QStringLiteral("free (%1)").arg(registrar->mechanism()));
            else if (const QString holder = heldByQuillo(); !holder.isEmpty())
                line(true, name, QStringLiteral("held by Quillo itself (%1)").arg(holder));
            else
                line(false, name, TerminalText::safe(result.reason) +
                                      QStringLiteral(": choose another chord in Quillo's settings (Hotkeys), or free it "
                                                     "in the program that holds it"));
        }
    }
    StorageService storage;
    auto library = storage.loadAll();
    line(library.hasValue(), QStringLiteral("library"),
         TerminalText::safe(storage.storageURL()) +
             (library ? QStringLiteral(" (%1)").arg(plural(qsizetype(library.value().size()), "macro", "macros"))
                      : QStringLiteral(" \u2014 ") + TerminalText::safe(library.error().description()) +
                            QStringLiteral(": make the file readable and writable by you, or move it away to start "
                                           "with an empty library (Quillo keeps a copy of a file it cannot read)")));
    return allGood ? success : failed;
}
