// Quillo's KDE Plasma side against Debian's own KWin (5.27 on Debian 12, 6.3 on Debian 13),
// run headless (tests/desktops/kwin-session.sh): the bridge script loads and reports the
// active window, the cursor and the screens, activation works for windows with and without
// a desktop entry, `quillo doctor` judges the desktop once the script has reported, and the
// hotkeys registered as KDE global shortcuts fire on invokeShortcut and on a real chord
// pressed through KWin's fake input; the screen is read through KWin's screenshot
// interface by a program whose desktop entry asks for it.
#include "Platform/Fake/FakeClock.h"
#include "Platform/SystemClock.h"
#include "Platform/Wayland/KGlobalAccelHotkeyRegistrar.h"
#include "Platform/Wayland/KWinProvider.h"
#include "Platform/Wayland/KWinScreenCapture.h"
#include "Codec/PngCodec.h"
#include "Services/HotkeyService.h"
#include "TestWait.h"
#include "desktops/DoctorRun.h"
#include "desktops/EndlessPlayback.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QFileInfo>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

// "KWin 6.3", from the session script (kwin_wayland --version).
QString kwinName()
{
    const QString version = qEnvironmentVariable("QUILLO_KWIN_VERSION");
    return QStringLiteral("KWin %1").arg(version.isEmpty() ? QStringLiteral("?") : version.section(QLatin1Char('.'), 0, 1));
}

int kwinMajor()
{
    return qEnvironmentVariable("QUILLO_KWIN_VERSION").section(QLatin1Char('.'), 0, 0).toInt();
}

struct KdeSession : ::testing::Test {
    std::vector<std::unique_ptr<QProcess>> clients;

    void SetUp() override
    {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) << "run inside tests/desktops/kwin-session.sh";
    }
    void TearDown() override
    {
        for (auto& client : clients)
            client->kill(), client->waitForFinished(3000);
    }
    // A native Wayland window (wev's app id is "wev", weston-terminal's
    // "org.freedesktop.weston.wayland-terminal").
    QProcess* window(const QString& program)
    {
        auto client = std::make_unique<QProcess>();
        client->start(QStringLiteral("stdbuf"), {QStringLiteral("-oL"), program});
        EXPECT_TRUE(client->waitForStarted()) << program.toStdString() << " is not installed";
        clients.push_back(std::move(client));
        return clients.back().get();
    }
    // Presses a chord (evdev codes) as a keyboard would; when the last key went down (ms
    // of the monotonic clock, as QElapsedTimer counts).
    static qint64 press(const QStringList& codes)
    {
        QProcess keys;
        keys.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        keys.start(QStringLiteral(QUILLO_FAKE_INPUT), codes);
        EXPECT_TRUE(keys.waitForFinished(5000));
        EXPECT_EQ(keys.exitCode(), 0);
        const QByteArray out = keys.readAllStandardOutput();
        return out.startsWith("pressed ") ? out.mid(8).trimmed().toLongLong() : -1;
    }
};

} // namespace

TEST_F(KdeSession, TheBridgeScriptReportsTheActiveWindowCursorAndScreensAndActivates)
{
    KWinProvider provider(QStringLiteral(QUILLO_KWIN_SCRIPT));
    QList<RunningApplication> seen;
    QObject::connect(&provider, &DesktopProvider::applicationActivated, [&](const RunningApplication& a) { seen.append(a); });
    QString problem;
    ASSERT_TRUE(provider.start(&problem)) << problem.toStdString();
    ASSERT_GE(kwinMajor(), 5) << "the session script did not say KWin's version";
    // The terminal has a desktop entry (the session script puts it in place), wev has none.
    window(QStringLiteral("weston-terminal"));
    const QString terminal = QStringLiteral("org.freedesktop.weston.wayland-terminal");
    ASSERT_TRUE(waitUntil([&] { return !seen.isEmpty() && seen.last().id == terminal; }, 10000))
        << "the script on " << kwinName().toStdString() << " reported no active window";
    window(QStringLiteral("wev"));
    ASSERT_TRUE(waitUntil([&] { return seen.last().id == QLatin1String("wev"); }, 10000));
    EXPECT_EQ(provider.frontmostApplication()->id, QStringLiteral("wev"));

    ASSERT_TRUE(provider.activate(terminal));
    EXPECT_TRUE(waitUntil([&] { return seen.last().id == terminal; }, 5000))
        << "the window with a desktop entry did not come to the front";
    ASSERT_TRUE(provider.activate(QStringLiteral("wev")));
    EXPECT_TRUE(waitUntil([&] { return seen.last().id == QLatin1String("wev"); }, 5000))
        << "the window without a desktop entry did not come to the front";
    double x = -1, y = -1;
    EXPECT_TRUE(provider.pointerPosition(x, y));
    EXPECT_TRUE(QRectF(0, 0, 1280, 800).contains(x, y)) << x << "," << y;
    // One output as KWin names it: 5.27's script numbers its screens, 6 names its outputs.
    const std::vector<Output> outputs = provider.outputs();
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0].geometry, QRectF(0, 0, 1280, 800));
    EXPECT_EQ(outputs[0].scale, 1);
    if (kwinMajor() == 5)
        EXPECT_EQ(outputs[0].name, QStringLiteral("screen-0"));
    else
        EXPECT_FALSE(outputs[0].name.isEmpty() || outputs[0].name.startsWith(QLatin1String("screen-")))
            << outputs[0].name.toStdString();
}

TEST_F(KdeSession, TheDoctorJudgesTheDesktopOnceTheScriptHasReported)
{
    // As a user runs it in a Plasma session: the installed script, nothing running before.
    const QString said = runDoctor([](const QString& dataHome) {
        if (qEnvironmentVariableIsSet("QUILLO_TEST_INSTALLED"))
            return;
        QDir().mkpath(dataHome + QStringLiteral("/quillo/kwin"));
        QFile::copy(QStringLiteral(QUILLO_KWIN_SCRIPT), dataHome + QStringLiteral("/quillo/kwin/bridge.js"));
    });
    EXPECT_TRUE(said.contains(QStringLiteral("desktop: KDE Plasma reports the frontmost application"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("gives no screen layout"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("has not reported"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("pointer: KDE Plasma reports where the pointer is"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("hotkeys: through KDE Plasma's global shortcuts"))) << said.toStdString();
}

TEST_F(KdeSession, HotkeysAreGlobalShortcutsThatFireOnInvokeAndOnARealChord)
{
    KGlobalAccelHotkeyRegistrar registrar({});
    QString problem;
    ASSERT_TRUE(registrar.start(&problem)) << problem.toStdString();
    HotkeyService service(registrar, SystemClock::instance());
    const char* const names[] = {"toggle-recording", "stop-recording", "play-stop"};
    for (const auto& c : HotkeyService::defaults()) {
        service.describe(c.id, QString::fromLatin1(names[c.id - 1]), QStringLiteral("Quillo %1").arg(c.id));
        service.registerHotkey(c);
    }
    ASSERT_TRUE(service.isRegistered(1) && service.isRegistered(2) && service.isRegistered(3))
        << service.problem(1).toStdString() << service.problem(3).toStdString();
    std::vector<quint32> fired;
    qint64 reachedAt = -1;
    service.setOnHotKey([&](quint32 id) {
        fired.push_back(id);
        QElapsedTimer now;
        now.start();
        reachedAt = now.msecsSinceReference();
    });

    // As the desktop's shortcut settings do it.
    QDBusMessage invoke = QDBusMessage::createMethodCall(QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/component/quillo"),
                                                         QStringLiteral("org.kde.kglobalaccel.Component"),
                                                         QStringLiteral("invokeShortcut"));
    invoke.setArguments({QStringLiteral("play-stop")});
    QDBusConnection::sessionBus().call(invoke);
    ASSERT_TRUE(waitUntil([&] { return fired == std::vector<quint32>{3}; }, 5000));

    // A real chord, with a native window in front: Super+Alt+R (evdev 125, 56, 19).
    window(QStringLiteral("wev"));
    waitUntil([] { return false; }, 500);
    const qint64 pressedAt = press({QStringLiteral("125"), QStringLiteral("56"), QStringLiteral("19")});
    ASSERT_TRUE(waitUntil([&] { return fired.size() == 2; }, 5000)) << "the chord did not reach Quillo";
    EXPECT_EQ(fired.back(), 1u);
    std::printf("[ %s ] chord to Quillo: %lld ms\n", qPrintable(kwinName()), static_cast<long long>(reachedAt - pressedAt));

    // A chord KWin holds is refused with its holder's name; the earlier chord stays.
    EXPECT_FALSE(service.registerHotkey({2, HotkeyChord::command, 3})); // Super+D: KWin's Peek at Desktop
    EXPECT_EQ(service.problem(3), QStringLiteral("KWin (\u201cPeek at Desktop\u201d) already uses Super+D"));
    EXPECT_EQ(service.chord(3), HotkeyService::defaults()[2].chord());

    // Changed in the desktop's shortcut settings (as System Settings does it): Quillo takes
    // the new chord, and a real press of it plays.
    QProcess settings;
    settings.start(QStringLiteral("gdbus"),
                   {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"), QStringLiteral("org.kde.kglobalaccel"),
                    QStringLiteral("--object-path"), QStringLiteral("/kglobalaccel"), QStringLiteral("--method"),
                    QStringLiteral("org.kde.KGlobalAccel.setForeignShortcutKeys"),
                    QStringLiteral("['quillo', 'play-stop', 'Quillo', 'Quillo 3']"),
                    QStringLiteral("[([%1, 0, 0, 0],)]").arg(int(Qt::MetaModifier | Qt::AltModifier) | Qt::Key_O)});
    ASSERT_TRUE(settings.waitForFinished(5000));
    ASSERT_EQ(settings.exitCode(), 0) << settings.readAllStandardError().toStdString();
    ASSERT_TRUE(waitUntil([&] { return service.chord(3) == HotkeyChord{31, HotkeyChord::command | HotkeyChord::option}; }, 5000))
        << "the chord chosen in the desktop's settings was not taken";
    waitUntil([] { return false; }, 400);
    press({QStringLiteral("125"), QStringLiteral("56"), QStringLiteral("24")}); // Super+Alt+O
    ASSERT_TRUE(waitUntil([&] { return fired.size() == 3; }, 5000));
    EXPECT_EQ(fired.back(), 3u);
}

TEST_F(KdeSession, AnEndlessPlaybackIntoANativeWindowStopsOnTheChord)
{
    QProcess* wev = window(QStringLiteral("wev"));
    QByteArray seen;
    auto typed = [&] {
        seen += wev->readAllStandardOutput();
        return EndlessPlayback::pressesOfA(seen);
    };
    waitUntil([] { return false; }, 1000); // the window has the focus
    const auto result = EndlessPlayback::run(
        QStringLiteral("kwin"), QProcessEnvironment::systemEnvironment(), typed,
        [] { return press({QStringLiteral("125"), QStringLiteral("56"), QStringLiteral("25")}); },
        [](const QString& dataHome) {
            QDir().mkpath(dataHome + QStringLiteral("/quillo/kwin"));
            QFile::copy(QStringLiteral(QUILLO_KWIN_SCRIPT), dataHome + QStringLiteral("/quillo/kwin/bridge.js"));
        });
    EXPECT_GE(result.typedBeforeChord, 3);
    EXPECT_TRUE(result.stopped) << "the playback went on after the chord: " << result.commandOutput.toStdString();
    EXPECT_TRUE(result.commandOutput.contains(QStringLiteral("Stopped."))) << result.commandOutput.toStdString();
    EXPECT_LE(result.typedAfterStop, 0) << "keys kept coming after the stop";
    std::printf("[ %s ] chord to a stopped playback: %lld ms\n", qPrintable(kwinName()),
                static_cast<long long>(result.chordToStopMs));
}

TEST_F(KdeSession, TheScreenIsReadThroughKWinByAProgramWhoseDesktopEntryAsksForIt)
{
    KWinProvider provider(QStringLiteral(QUILLO_KWIN_SCRIPT));
    QString problem;
    ASSERT_TRUE(provider.start(&problem)) << problem.toStdString();
    ASSERT_TRUE(waitUntil([&] { return provider.hasReported(); }, 5000)) << "the script never reported";
    // The session script gave this program the desktop entry Quillo's package installs.
    KWinScreenCapture screen([&] { return provider.outputs(); });
    const QRectF area(0, 0, 1280, 800);
    // KWin 6 has its screenshot effect only when it composites with OpenGL; without a GPU
    // (as here, headless in a container) it composites in software and offers no such
    // interface. Then the capture must say so, plainly, and nothing more can be checked.
    const QDBusMessage support = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/KWin"), QStringLiteral("org.kde.KWin"),
                                       QStringLiteral("supportInformation")),
        QDBus::Block, 5000);
    const bool software = support.arguments().value(0).toString().contains(QLatin1String("Compositing Type: QPainter"));
    if (kwinMajor() >= 6 && software) {
        const auto none = screen.captureScreen();
        ASSERT_FALSE(none.hasValue());
        EXPECT_EQ(none.error().kind, CaptureError::Kind::unavailable);
        EXPECT_TRUE(none.error().description().contains(QStringLiteral("without OpenGL")))
            << none.error().description().toStdString();
        std::printf("[ %s ] composites in software here: no screenshot interface (%s)\n", qPrintable(kwinName()),
                    qPrintable(none.error().description()));
        return;
    }

    // A window that shows a picture of two colours.
    const int w = 240, h = 120;
    ScreenImage drawn{QRectF(0, 0, w, h), w, h, std::vector<std::uint8_t>(std::size_t(w) * h * 4)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = &drawn.pixels[(std::size_t(y) * w + x) * 4];
            const bool left = x < w / 2;
            p[0] = left ? 0x20 : 0x40, p[1] = left ? 0x30 : 0xa0, p[2] = left ? 0xc0 : 0x20;
        }
    const QString file = QDir::temp().filePath(QStringLiteral("quillo-kde-colours.png"));
    QFile picture(file);
    ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
    picture.write(PngCodec::encode(drawn).value());
    picture.close();
    auto* viewer = window(QStringLiteral("weston-image"));
    viewer->kill(); // started without the file by window(); start it again with it
    viewer->waitForFinished(3000);
    viewer->start(QStringLiteral("weston-image"), {file});
    ASSERT_TRUE(viewer->waitForStarted());

    // Both colours come back, each about as many pixels as the window shows.
    auto count = [](const ScreenImage& image, unsigned colour) {
        int n = 0;
        for (std::size_t i = 0; i + 3 < image.pixels.size(); i += 4)
            if (std::abs(image.pixels[i + 2] - int(colour >> 16 & 0xff)) <= 6 &&
                std::abs(image.pixels[i + 1] - int(colour >> 8 & 0xff)) <= 6 &&
                std::abs(image.pixels[i] - int(colour & 0xff)) <= 6)
                ++n;
        return n;
    };
    ScreenImage seen;
    const bool shown = waitUntil([&] {
        auto read = screen.capture(area);
        if (!read.hasValue()) {
            problem = read.error().description();
            return false;
        }
        seen = std::move(read).value();
        return count(seen, 0xc03020) >= w * h / 2 * 8 / 10 && count(seen, 0x20a040) >= w * h / 2 * 8 / 10;
    }, 10000);
    EXPECT_TRUE(shown) << (problem.isEmpty() ? std::string("the picture's colours are not on the screen")
                                             : problem.toStdString());
    EXPECT_EQ(seen.area, area);

    // How long a capture takes here.
    for (const QRectF& part : {QRectF(0, 0, 400, 400), area}) {
        std::vector<qint64> times;
        for (int i = 0; i < 15; ++i) {
            QElapsedTimer took;
            took.start();
            ASSERT_TRUE(screen.capture(part).hasValue());
            times.push_back(took.nsecsElapsed() / 1000);
        }
        std::sort(times.begin(), times.end());
        std::printf("[ %s ] capture %s: median %.2f ms, p95 %.2f ms\n", qPrintable(kwinName()),
                    part.width() == 400 ? "400x400" : "whole screen", times[times.size() / 2] / 1000.0,
                    times[times.size() * 95 / 100] / 1000.0);
    }
}
