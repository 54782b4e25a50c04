// Quillo's GNOME side against Debian's own GNOME Shell (43 on Debian 12, 48 on Debian 13),
// run headless (tests/desktops/gnome-session.sh): the extension's form for that shell loads
// (and the other form is left out, not broken), reports focus changes between two native
// windows, brings either to the front (one with a desktop entry, one without), tells the
// pointer and the monitors, delivers a hotkey chord pressed through mutter's RemoteDesktop
// interface, refuses one the shell holds, shows the indicator, and shows the screen to
// Quillo alone while it says it reads it. What differs between the versions is read from
// the shell, not assumed.
#include "Platform/SystemClock.h"
#include "Platform/Wayland/GnomeHotkeyRegistrar.h"
#include "Platform/Wayland/GnomeProvider.h"
#include "Platform/Wayland/GnomeShellScreenCapture.h"
#include "Platform/Wayland/GnomeStatusIndicator.h"
#include "Services/HotkeyService.h"
#include "TestWait.h"
#include "desktops/DoctorRun.h"
#include "desktops/EndlessPlayback.h"
#include "desktops/MutterRemoteKeyboard.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

QDBusMessage callShell(const QString& path, const QString& interface, const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 5000);
}

// What the shell's JavaScript says (the tests' helper extension turns Eval on).
QString shellEval(const QString& code)
{
    const QDBusMessage reply =
        callShell(QStringLiteral("/org/gnome/Shell"), QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"), {code});
    return reply.arguments().value(1).toString();
}

// The shell's major version ("48.7" -> 48).
int shellVersion()
{
    QDBusMessage get = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get.setArguments({QStringLiteral("org.gnome.Shell"), QStringLiteral("ShellVersion")});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(get, QDBus::Block, 5000);
    return reply.arguments().value(0).value<QDBusVariant>().variant().toString().section(QLatin1Char('.'), 0, 0).toInt();
}

QString shellName()
{
    return QStringLiteral("GNOME Shell %1").arg(shellVersion());
}

QVariantMap extensionInfo(const QString& uuid)
{
    const QDBusMessage info = callShell(QStringLiteral("/org/gnome/Shell"), QStringLiteral("org.gnome.Shell.Extensions"),
                                        QStringLiteral("GetExtensionInfo"), {uuid});
    return qdbus_cast<QVariantMap>(info.arguments().value(0));
}

struct GnomeSession : ::testing::Test {
    std::vector<std::unique_ptr<QProcess>> clients;

    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) << "run inside tests/desktops/gnome-session.sh";
    }
    void TearDown() override
    {
        for (auto& client : clients)
            client->kill(), client->waitForFinished(3000);
    }
    QProcess* window(const QString& program)
    {
        auto client = std::make_unique<QProcess>();
        client->start(QStringLiteral("stdbuf"), {QStringLiteral("-oL"), program});
        EXPECT_TRUE(client->waitForStarted()) << program.toStdString() << " is not installed";
        clients.push_back(std::move(client));
        return clients.back().get();
    }
};

} // namespace

TEST_F(GnomeSession, TheExtensionLoadsInItsFormAndTellsFocusPointerAndMonitorsAndActivates)
{
    // 42 to 44 load the legacy form, 45 and later the module form; the other is out of date.
    const int version = shellVersion();
    ASSERT_GE(version, 42) << "the shell does not say its version";
    const QString loaded = version >= 45 ? QStringLiteral("quillo@quillo.app") : QStringLiteral("quillo-legacy@quillo.app");
    const QString other = version >= 45 ? QStringLiteral("quillo-legacy@quillo.app") : QStringLiteral("quillo@quillo.app");
    EXPECT_EQ(extensionInfo(loaded).value(QStringLiteral("state")).toInt(), 1)
        << loaded.toStdString() << " did not load on " << shellName().toStdString() << " (1: active, 3: error)";
    EXPECT_EQ(extensionInfo(other).value(QStringLiteral("state")).toInt(), 4)
        << other.toStdString() << " should be out of date here (4), not broken (3)";
    // Installed by the package: from the system's folder, as a user's desktop has it.
    if (qEnvironmentVariableIsSet("QUILLO_TEST_INSTALLED"))
        EXPECT_TRUE(extensionInfo(loaded).value(QStringLiteral("path")).toString().startsWith(
            QStringLiteral("/usr/share/gnome-shell/extensions/")))
            << extensionInfo(loaded).value(QStringLiteral("path")).toString().toStdString();

    GnomeProvider provider;
    QString problem;
    ASSERT_TRUE(provider.start(&problem)) << problem.toStdString();
    QList<RunningApplication> seen;
    QObject::connect(&provider, &DesktopProvider::applicationActivated, [&](const RunningApplication& a) { seen.append(a); });
    // The terminal has a desktop entry (as nearly every application has; the session
    // script puts it in place), wev has none.
    window(QStringLiteral("weston-terminal"));
    const QString terminal = QStringLiteral("org.freedesktop.weston.wayland-terminal");
    ASSERT_TRUE(waitUntil([&] { return !seen.isEmpty() && seen.last().id == terminal; }, 10000));
    EXPECT_EQ(seen.last().name, QStringLiteral("Weston Terminal")) << "the shell did not match the window to its entry";
    window(QStringLiteral("wev"));
    ASSERT_TRUE(waitUntil([&] { return seen.last().id == QLatin1String("wev"); }, 10000));
    EXPECT_EQ(provider.frontmostApplication()->id, QStringLiteral("wev"));
    ASSERT_TRUE(provider.activate(terminal));
    EXPECT_TRUE(waitUntil([&] { return seen.last().id == terminal; }, 5000))
        << "the application with a desktop entry did not come to the front on " << shellName().toStdString();
    EXPECT_EQ(shellEval(QStringLiteral("global.display.focus_window?.get_wm_class() ?? ''")),
              QStringLiteral("\"%1\"").arg(terminal));
    ASSERT_TRUE(provider.activate(QStringLiteral("wev")));
    EXPECT_TRUE(waitUntil([&] { return seen.last().id == QLatin1String("wev"); }, 5000))
        << "the window without a desktop entry did not come to the front";
    EXPECT_FALSE(provider.activate(QStringLiteral("org.quillo.NotRunning")));
    double x = -1, y = -1;
    EXPECT_TRUE(provider.pointerPosition(x, y));
    EXPECT_TRUE(QRectF(0, 0, 1280, 800).contains(x, y));
    ASSERT_EQ(provider.outputs().size(), 1u);
    EXPECT_EQ(provider.outputs()[0].geometry, QRectF(0, 0, 1280, 800));
}

TEST_F(GnomeSession, HotkeysAreGrabbedInTheShellAndReachQuilloWhicheverWindowIsInFront)
{
    GnomeHotkeyRegistrar registrar;
    QString problem;
    ASSERT_TRUE(registrar.start(&problem)) << problem.toStdString();
    HotkeyService service(registrar, SystemClock::instance());
    for (const auto& c : HotkeyService::defaults())
        service.registerHotkey(c);
    ASSERT_TRUE(service.isRegistered(1) && service.isRegistered(2) && service.isRegistered(3)) << service.problem(1).toStdString();
    // Super+P is GNOME's own (switch monitors): refused, the chord in force stays.
    EXPECT_FALSE(service.registerHotkey({35, HotkeyChord::command, 3}));
    EXPECT_EQ(service.problem(3), QStringLiteral("GNOME Shell or another program already uses Super+P"));

    window(QStringLiteral("wev"));
    GnomeProvider provider;
    ASSERT_TRUE(provider.start(&problem));
    ASSERT_TRUE(waitUntil([&] { return provider.frontmostApplication().has_value(); }, 10000));
    std::vector<quint32> fired;
    qint64 reachedAt = 0;
    service.setOnHotKey([&](quint32 id) {
        fired.push_back(id);
        QElapsedTimer now;
        now.start();
        reachedAt = now.msecsSinceReference();
    });
    MutterRemoteKeyboard keyboard;
    ASSERT_TRUE(keyboard.ok()) << "mutter's RemoteDesktop did not make a session";
    const qint64 pressedAt = keyboard.chord({125, 56, 25}); // Super+Alt+P
    ASSERT_TRUE(waitUntil([&] { return !fired.empty(); }, 5000)) << "the chord did not reach Quillo";
    EXPECT_EQ(fired, std::vector<quint32>{3});
    std::printf("[ %s ] chord to Quillo: %lld ms\n", qPrintable(shellName()), static_cast<long long>(reachedAt - pressedAt));
    // Another Quillo's presses do not reach this one, and ungrabbed chords are the shell's again.
    service.unregisterHotkey(3);
    EXPECT_EQ(shellEval(QStringLiteral("(() => { const a = global.display.grab_accelerator('<Super><Alt>p', 0); "
                                       "global.display.ungrab_accelerator(a); return a > 0; })()")),
              QStringLiteral("true"));
}

TEST_F(GnomeSession, TheIndicatorShowsTheStateAndItsEntriesComeBackWithTheirPlace)
{
    GnomeStatusIndicator indicator;
    ASSERT_TRUE(indicator.isAvailable());
    QString chosen;
    std::vector<QRectF> areas;
    QObject::connect(&indicator, &StatusIndicator::activated, [&](const QString& id, const std::vector<QRectF>& where) {
        chosen = id;
        areas = where;
    });
    indicator.show(QStringLiteral("recording"),
                   {{QString(), QStringLiteral("Recording..."), false, false},
                    {{}, {}, false, true},
                    {QStringLiteral("stopRecording"), QStringLiteral("Stop Recording    Alt+Super+R"), true, false}});
    const QString button = QStringLiteral("Main.panel.statusArea['quillo-indicator']");
    ASSERT_TRUE(waitUntil([&] { return shellEval(button + QStringLiteral(" !== undefined")) == QLatin1String("true"); }, 5000));
    EXPECT_EQ(shellEval(button + QStringLiteral("._quilloIcon.get_style()")), QStringLiteral("\"color: #ff3b30;\""));
    // The user opens the menu (drawn for people to look at) and picks the entry.
    shellEval(button + QStringLiteral(".menu.open()"));
    QDir().mkpath(QStringLiteral(QUILLO_SCREENSHOTS));
    const QString picture = QStringLiteral(QUILLO_SCREENSHOTS "/gnome%1-indicator-recording.png").arg(shellVersion());
    QFile::remove(picture);
    waitUntil([] { return false; }, 400); // the menu's opening animation
    callShell(QStringLiteral("/org/gnome/Shell/Screenshot"), QStringLiteral("org.gnome.Shell.Screenshot"),
              QStringLiteral("Screenshot"), {false, false, picture});
    EXPECT_TRUE(QFile::exists(picture));
    shellEval(button + QStringLiteral(".menu._getMenuItems().find(i => i.label && i.label.text.startsWith('Stop')).activate(null)"));
    ASSERT_TRUE(waitUntil([&] { return !chosen.isEmpty(); }, 5000));
    EXPECT_EQ(chosen, QStringLiteral("stopRecording"));
    ASSERT_EQ(areas.size(), 2u) << "the button and its open menu";
    EXPECT_LT(areas[0].top(), 40) << "the button is in the top bar";
    indicator.show(QStringLiteral("playing"), {{QStringLiteral("stopPlayback"), QStringLiteral("Stop Playback"), true, false}});
    ASSERT_TRUE(waitUntil([&] { return shellEval(button + QStringLiteral("._quilloIcon.get_style()")).contains(QLatin1String("0a84ff")); }, 5000));
    indicator.hide();
    ASSERT_TRUE(waitUntil([&] { return shellEval(button + QStringLiteral(" === undefined || ") + button + QStringLiteral(" === null")) == QLatin1String("true"); }, 5000))
        << "the indicator stayed";
}

TEST_F(GnomeSession, AnEndlessPlaybackIntoANativeWindowStopsOnTheChord)
{
    QProcess* wev = window(QStringLiteral("wev"));
    QByteArray seen;
    auto typed = [&] {
        seen += wev->readAllStandardOutput();
        return EndlessPlayback::pressesOfA(seen);
    };
    GnomeProvider provider;
    QString problem;
    ASSERT_TRUE(provider.start(&problem));
    ASSERT_TRUE(waitUntil([&] { return provider.frontmostApplication().has_value(); }, 10000));
    std::unique_ptr<MutterRemoteKeyboard> keyboard;
    const auto result = EndlessPlayback::run(QStringLiteral("gnome"), QProcessEnvironment::systemEnvironment(), typed, [&] {
        keyboard = std::make_unique<MutterRemoteKeyboard>();
        return keyboard->chord({125, 56, 25}); // Super+Alt+P
    });
    EXPECT_GE(result.typedBeforeChord, 3);
    EXPECT_TRUE(result.stopped) << "the playback went on after the chord: " << result.commandOutput.toStdString();
    EXPECT_TRUE(result.commandOutput.contains(QStringLiteral("Stopped."))) << result.commandOutput.toStdString();
    EXPECT_LE(result.typedAfterStop, 0) << "keys kept coming after the stop";
    std::printf("[ %s ] chord to a stopped playback: %lld ms\n", qPrintable(shellName()),
                static_cast<long long>(result.chordToStopMs));
}

TEST_F(GnomeSession, TheDoctorSaysWhatTheShellGives)
{
    // As a user runs it in a GNOME session, with the extension the shell loaded.
    const QString said = runDoctor();
    EXPECT_TRUE(said.contains(QStringLiteral("desktop: GNOME reports the frontmost application"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("gives no screen layout"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("pointer: GNOME reports where the pointer is"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("hotkeys: through GNOME Shell (Quillo's extension)"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("hotkey Alt+Super+R: free"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("screen: read from Quillo's GNOME Shell extension"))) << said.toStdString();
}

TEST_F(GnomeSession, TheScreenIsShownToQuilloAloneAndOnlyWhileItReadsIt)
{
    // Something the shell draws at a known place: a block in four colours on top of everything.
    ASSERT_EQ(shellEval(QStringLiteral(
                  "(() => { const St = imports.gi.St; const box = new St.BoxLayout({x: 200, y: 150, width: 80, height: 40}); "
                  "for (const c of ['#c03020', '#20a040']) box.add_child(new St.Widget({width: 40, height: 40, "
                  "style: `background-color: ${c}`})); global.stage.add_child(box); global.quilloTestBox = box; "
                  "return 'shown'; })()")),
              QStringLiteral("\"shown\""));
    QThread::msleep(300);
    GnomeProvider provider;
    ASSERT_TRUE(provider.start(nullptr));
    GnomeShellScreenCapture screen([&] { return provider.outputs(); });
    // Not while nothing reads the screen.
    EXPECT_FALSE(screen.capture(QRectF(200, 150, 80, 40)).hasValue());
    screen.setReading(true);
    const auto read = screen.capture(QRectF(200, 150, 80, 40));
    ASSERT_TRUE(read.hasValue()) << read.error().description().toStdString();
    const ScreenImage& image = read.value();
    ASSERT_FALSE(image.isNull());
    // 0xRRGGBB at a logical point of the picture.
    auto colourAt = [&](int x, int y) {
        const std::uint8_t* p = &image.pixels[(std::size_t(int(y * image.scale())) * image.width + int(x * image.scale())) * 4];
        return unsigned(p[2]) << 16 | unsigned(p[1]) << 8 | p[0];
    };
    auto near = [](unsigned a, unsigned b) {
        for (int shift : {0, 8, 16})
            if (std::abs(int(a >> shift & 0xff) - int(b >> shift & 0xff)) > 8)
                return false;
        return true;
    };
    EXPECT_TRUE(near(colourAt(20, 20), 0xc03020)) << std::hex << colourAt(20, 20);
    EXPECT_TRUE(near(colourAt(60, 20), 0x20a040)) << std::hex << colourAt(60, 20);

    // Another program of the session asks the same: refused, even while Quillo reads.
    QProcess other;
    other.start(QStringLiteral("gdbus"), {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
                                          QStringLiteral("org.gnome.Shell"), QStringLiteral("--object-path"),
                                          QStringLiteral("/app/quillo/Shell"), QStringLiteral("--method"),
                                          QStringLiteral("app.quillo.Shell.CaptureArea"), QStringLiteral("0"),
                                          QStringLiteral("0"), QStringLiteral("10"), QStringLiteral("10")});
    ASSERT_TRUE(other.waitForFinished(10000));
    EXPECT_NE(other.exitCode(), 0);
    EXPECT_TRUE(other.readAllStandardError().contains("NotAllowed"));

    // How long a capture takes here (a 400 x 400 area and the whole screen).
    for (const QRectF& area : {QRectF(0, 0, 400, 400), QRectF()}) {
        std::vector<qint64> times;
        for (int i = 0; i < 15; ++i) {
            QElapsedTimer took;
            took.start();
            const bool ok = area.isEmpty() ? screen.captureScreen().hasValue() : screen.capture(area).hasValue();
            times.push_back(took.nsecsElapsed() / 1000);
            ASSERT_TRUE(ok);
        }
        std::sort(times.begin(), times.end());
        std::printf("[ %s ] capture %s: median %.2f ms, p95 %.2f ms\n", qPrintable(shellName()),
                    area.isEmpty() ? "whole screen" : "400x400", times[times.size() / 2] / 1000.0,
                    times[times.size() * 95 / 100] / 1000.0);
    }

    // After the reading ends, nothing more.
    screen.setReading(false);
    EXPECT_FALSE(screen.capture(QRectF(200, 150, 80, 40)).hasValue());
    shellEval(QStringLiteral("global.quilloTestBox.destroy()"));
}
