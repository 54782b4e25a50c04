// The sway provider against a real headless sway (run as an unprivileged user, as sway
// refuses root) with two foot terminals of different app ids.
#include "Platform/SystemClock.h"
#include "Codec/PngCodec.h"
#include "Platform/Wayland/GrimScreenCapture.h"
#include "Services/Screen/PressCamera.h"
#include "Platform/Wayland/SwayHotkeyRegistrar.h"
#include "Platform/Wayland/SwayProvider.h"
#include "Services/HotkeyService.h"
#include "TestWait.h"
#include "desktops/EndlessPlayback.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <QScopeGuard>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

namespace {

const char* kUser = "quillotest";

struct HeadlessSway : ::testing::Test {
    QString runtime;
    QProcess sway;
    std::vector<std::unique_ptr<QProcess>> clients;

    void SetUp() override
    {
        runtime = QStringLiteral("/tmp/quillo-sway-%1").arg(QCoreApplication::applicationPid());
        QDir().mkpath(runtime);
        QFile config(runtime + QStringLiteral("-config"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        // The user's own binding of a chord Quillo would otherwise use.
        config.write("output HEADLESS-1 resolution 1280x800\nbindsym Mod4+Mod1+p exec true\n");
        config.close();
        QStringList command{QStringLiteral("env"), QStringLiteral("-i"), QStringLiteral("PATH=/usr/bin:/bin"),
                            QStringLiteral("XDG_RUNTIME_DIR=") + runtime, QStringLiteral("WLR_BACKENDS=headless"),
                            QStringLiteral("WLR_RENDERER=pixman"), QStringLiteral("WLR_LIBINPUT_NO_DEVICES=1"),
                            QStringLiteral("sway"), QStringLiteral("-c"), config.fileName()};
        if (getuid() == 0) {
            const passwd* user = getpwnam(kUser);
            ASSERT_NE(user, nullptr) << "sway refuses root: scripts/test.sh creates the user " << kUser;
            ASSERT_EQ(chown(runtime.toLocal8Bit().constData(), user->pw_uid, user->pw_gid), 0);
            command = QStringList{QStringLiteral("-u"), QString::fromLatin1(kUser), QStringLiteral("--")} + command;
            command.prepend(QStringLiteral("runuser"));
        }
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        sway.setProcessChannelMode(QProcess::MergedChannels);
        sway.start(command.takeFirst(), command);
        ASSERT_TRUE(sway.waitForStarted()) << "sway is not installed (scripts/install-deps.sh installs it)";
        ASSERT_TRUE(waitUntil([&] { return !socket().isEmpty() && QFile::exists(runtime + QStringLiteral("/wayland-1")); }, 10000))
            << sway.readAll().toStdString();
        // The socket exists a moment before sway answers on it (longer while other
        // desktops start on the same cores).
        ASSERT_TRUE(waitUntil([&] {
            QProcess swaymsg;
            swaymsg.start(QStringLiteral("swaymsg"), {QStringLiteral("-s"), socket(), QStringLiteral("-t"), QStringLiteral("get_version")});
            return swaymsg.waitForFinished(2000) && swaymsg.exitCode() == 0;
        }, 15000)) << "sway does not answer on its socket: " << sway.readAll().toStdString();
    }
    void TearDown() override
    {
        for (auto& client : clients)
            client->kill(), client->waitForFinished(3000);
        sway.terminate();
        if (!sway.waitForFinished(5000))
            sway.kill();
        QDir(runtime).removeRecursively();
        QFile::remove(runtime + QStringLiteral("-config"));
    }
    QString socket() const
    {
        const QStringList found = QDir(runtime).entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
        return found.isEmpty() ? QString() : runtime + QLatin1Char('/') + found.first();
    }
    void terminal(const QString& appId)
    {
        auto client = std::make_unique<QProcess>();
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-1"));
        client->setProcessEnvironment(env);
        client->start(QStringLiteral("foot"), {QStringLiteral("--app-id=") + appId});
        ASSERT_TRUE(client->waitForStarted()) << "foot is not installed";
        clients.push_back(std::move(client));
    }
    // A client of the session (the process itself, so that killing it ends it).
    QProcess* client(const QStringList& arguments)
    {
        QStringList command{QStringLiteral("env"), QStringLiteral("XDG_RUNTIME_DIR=") + runtime,
                            QStringLiteral("WAYLAND_DISPLAY=wayland-1"), QStringLiteral("stdbuf"), QStringLiteral("-oL")};
        command += arguments;
        auto process = std::make_unique<QProcess>();
        process->start(command.takeFirst(), command);
        EXPECT_TRUE(process->waitForStarted());
        clients.push_back(std::move(process));
        return clients.back().get();
    }
    // Types into sway through a virtual keyboard (wtype), as the user of the session.
    void wtype(const QStringList& arguments)
    {
        QStringList command{QStringLiteral("env"), QStringLiteral("XDG_RUNTIME_DIR=") + runtime,
                            QStringLiteral("WAYLAND_DISPLAY=wayland-1"), QStringLiteral("wtype")};
        command += arguments;
        if (getuid() == 0)
            command = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"), QString::fromLatin1(kUser), QStringLiteral("--")} + command;
        QProcess typing;
        typing.start(command.takeFirst(), command);
        ASSERT_TRUE(typing.waitForFinished(5000)) << "wtype is not installed (scripts/install-deps.sh installs it)";
    }
    QJsonArray swaymsgOutputs()
    {
        QProcess swaymsg;
        swaymsg.start(QStringLiteral("swaymsg"), {QStringLiteral("-s"), socket(), QStringLiteral("-r"), QStringLiteral("-t"),
                                                  QStringLiteral("get_outputs")});
        swaymsg.waitForFinished(5000);
        return QJsonDocument::fromJson(swaymsg.readAllStandardOutput()).array();
    }
};

} // namespace

TEST_F(HeadlessSway, FocusSwitchesActivationAndTheOutputLayout)
{
    // The first terminal has a desktop entry, as nearly every application has; the second
    // has none.
    const QString entries = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications");
    QDir().mkpath(entries);
    QFile entry(entries + QStringLiteral("/org.quillo.TestOne.desktop"));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Test One\nExec=foot\n");
    entry.close();
    auto removeEntry = qScopeGuard([&] { entry.remove(); });
    SwayProvider provider(socket());
    QString problem;
    ASSERT_TRUE(provider.start(&problem)) << problem.toStdString();
    QList<RunningApplication> seen;
    QObject::connect(&provider, &DesktopProvider::applicationActivated,
                     [&](const RunningApplication& app) { seen.append(app); });
    terminal(QStringLiteral("org.quillo.TestOne"));
    ASSERT_TRUE(waitUntil([&] { return !seen.isEmpty(); }, 10000)) << "no focus event for the first terminal";
    terminal(QStringLiteral("org.quillo.TestTwo"));
    ASSERT_TRUE(waitUntil([&] { return seen.last().id == QLatin1String("org.quillo.TestTwo"); }, 10000));
    EXPECT_EQ(seen.first().id, QStringLiteral("org.quillo.TestOne"));
    EXPECT_EQ(provider.frontmostApplication()->id, QStringLiteral("org.quillo.TestTwo"));

    ASSERT_TRUE(provider.activate(QStringLiteral("org.quillo.TestOne")));
    ASSERT_TRUE(waitUntil([&] { return seen.last().id == QLatin1String("org.quillo.TestOne"); }, 5000))
        << "the application with a desktop entry did not come to the front";
    EXPECT_EQ(provider.frontmostApplication()->id, QStringLiteral("org.quillo.TestOne"));
    EXPECT_EQ(seen.last().name, QStringLiteral("Test One")) << "named by its desktop entry";
    ASSERT_TRUE(provider.activate(QStringLiteral("org.quillo.TestTwo")));
    ASSERT_TRUE(waitUntil([&] { return seen.last().id == QLatin1String("org.quillo.TestTwo"); }, 5000))
        << "the application without a desktop entry did not come to the front";
    EXPECT_FALSE(provider.activate(QStringLiteral("org.quillo.NotRunning")));
    EXPECT_TRUE(provider.placePointer(100, 100));

    // The layout is sway's own, also after a second output appears.
    auto check = [&] {
        std::vector<Output> expected;
        for (const QJsonValue v : swaymsgOutputs()) {
            const QJsonObject o = v.toObject();
            if (!o.value(QStringLiteral("active")).toBool())
                continue;
            const QJsonObject r = o.value(QStringLiteral("rect")).toObject();
            expected.push_back({o.value(QStringLiteral("name")).toString(),
                                QRectF(r.value(QStringLiteral("x")).toDouble(), r.value(QStringLiteral("y")).toDouble(),
                                       r.value(QStringLiteral("width")).toDouble(), r.value(QStringLiteral("height")).toDouble()),
                                o.value(QStringLiteral("scale")).toDouble()});
        }
        EXPECT_EQ(provider.outputs(), expected);
        return expected.size();
    };
    EXPECT_EQ(check(), 1u);
    ASSERT_TRUE(provider.request(0, QByteArrayLiteral("create_output")));
    ASSERT_TRUE(waitUntil([&] { return provider.outputs().size() == 2; }, 5000));
    EXPECT_EQ(check(), 2u);
    EXPECT_EQ(OutputLayout::boundingBox(provider.outputs()).width(), 1280 + provider.outputs()[1].geometry.width());
}

TEST_F(HeadlessSway, HotkeysAreBindingsWhosePressesSwayReportsWhicheverWindowIsInFront)
{
    SwayProvider provider(socket());
    QString problem;
    ASSERT_TRUE(provider.start(&problem)) << problem.toStdString();
    SwayHotkeyRegistrar registrar(provider, {});
    ASSERT_TRUE(registrar.start(&problem)) << problem.toStdString();
    HotkeyService service(registrar, SystemClock::instance());
    for (const auto& c : HotkeyService::defaults())
        service.registerHotkey(c);
    EXPECT_TRUE(service.isRegistered(1) && service.isRegistered(2));
    EXPECT_FALSE(service.isRegistered(3));
    EXPECT_EQ(service.problem(3),
              QStringLiteral("sway's configuration already binds Mod4+Mod1+p (bindsym Mod4+Mod1+p exec true)"));

    // A native window in front; the chord still reaches Quillo.
    terminal(QStringLiteral("org.quillo.Front"));
    ASSERT_TRUE(waitUntil([&] { return provider.frontmostApplication().has_value(); }, 10000));
    std::vector<quint32> fired;
    QElapsedTimer sincePress;
    qint64 latency = -1;
    service.setOnHotKey([&](quint32 id) {
        fired.push_back(id);
        latency = sincePress.elapsed();
    });
    sincePress.start();
    wtype({QStringLiteral("-M"), QStringLiteral("logo"), QStringLiteral("-M"), QStringLiteral("alt"), QStringLiteral("-k"),
           QStringLiteral("r"), QStringLiteral("-m"), QStringLiteral("alt"), QStringLiteral("-m"), QStringLiteral("logo")});
    ASSERT_TRUE(waitUntil([&] { return !fired.empty(); }, 5000)) << "the chord did not reach Quillo";
    EXPECT_EQ(fired, std::vector<quint32>{1});
    std::printf("[ sway ] chord to Quillo: %lld ms (with wtype's own start)\n", static_cast<long long>(latency));

    // Lenient (a playback may hold Ctrl): the chord with Ctrl too; then strict again.
    service.setLenient(1, true);
    waitUntil([] { return false; }, 400);
    wtype({QStringLiteral("-M"), QStringLiteral("ctrl"), QStringLiteral("-M"), QStringLiteral("logo"), QStringLiteral("-M"),
           QStringLiteral("alt"), QStringLiteral("-k"), QStringLiteral("r")});
    ASSERT_TRUE(waitUntil([&] { return fired.size() == 2; }, 5000)) << "a lenient chord with Ctrl held was not seen";
    // Gone once unregistered: sway keeps no binding of Quillo's.
    service.unregisterHotkey(1);
    waitUntil([] { return false; }, 400);
    wtype({QStringLiteral("-M"), QStringLiteral("logo"), QStringLiteral("-M"), QStringLiteral("alt"), QStringLiteral("-k"),
           QStringLiteral("r")});
    waitUntil([] { return false; }, 500);
    EXPECT_EQ(fired.size(), 2u);
}

TEST_F(HeadlessSway, AnEndlessPlaybackIntoANativeWindowStopsOnTheChord)
{
    QProcess* wev = client({QStringLiteral("wev")});
    QByteArray seen;
    auto typed = [&] {
        seen += wev->readAllStandardOutput();
        return EndlessPlayback::pressesOfA(seen);
    };
    SwayProvider provider(socket());
    ASSERT_TRUE(provider.start(nullptr));
    ASSERT_TRUE(waitUntil([&] { return provider.frontmostApplication().has_value(); }, 10000));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SWAYSOCK"), socket());
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), runtime + QStringLiteral("/wayland-1")); // for wtype
    // Super+Alt+P is this configuration's own: play and stop with another chord, chosen
    // in the settings as a user would.
    const auto result = EndlessPlayback::run(
        QStringLiteral("sway"), environment, typed,
        [&] {
            wtype({QStringLiteral("-M"), QStringLiteral("logo"), QStringLiteral("-M"), QStringLiteral("ctrl"), QStringLiteral("-k"),
                   QStringLiteral("p")});
            return qint64(-1);
        },
        [](const QString& dataHome) {
            QDir().mkpath(dataHome + QStringLiteral("/../config/Quillo"));
            QFile settings(dataHome + QStringLiteral("/../config/Quillo/Quillo.conf"));
            ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
            settings.write("[hotkeys]\ntogglePlayback=Ctrl+Super+P\n");
        });
    EXPECT_GE(result.typedBeforeChord, 3);
    EXPECT_TRUE(result.stopped) << "the playback went on after the chord: " << result.commandOutput.toStdString();
    EXPECT_TRUE(result.commandOutput.contains(QStringLiteral("Stopped."))) << result.commandOutput.toStdString();
    EXPECT_LE(result.typedAfterStop, 0) << "keys kept coming after the stop";
    std::printf("[ sway ] chord to a stopped playback: %lld ms (with wtype's own start)\n",
                static_cast<long long>(result.chordToStopMs));
}

TEST_F(HeadlessSway, TheScreenIsReadThroughScreencopyAtEachOutputsScale)
{
    ASSERT_TRUE(GrimScreenCapture::available()) << "grim is not installed (scripts/install-deps.sh installs it)";
    // A terminal drawn in one colour fills the output.
    QProcess* foot = client({QStringLiteral("foot"), QStringLiteral("--override=colors.background=c03020"),
                             QStringLiteral("--app-id=org.quillo.Colour")});
    ASSERT_TRUE(foot);
    SwayProvider provider(socket());
    ASSERT_TRUE(provider.start(nullptr));
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-1"));
    GrimScreenCapture screen([&] { return provider.outputs(); }, environment);
    auto colourAt = [](const ScreenImage& image, int x, int y) {
        const std::uint8_t* p = &image.pixels[(std::size_t(y) * image.width + x) * 4];
        return std::array<int, 3>{p[2], p[1], p[0]};
    };
    auto near = [](std::array<int, 3> a, std::array<int, 3> b) {
        return std::abs(a[0] - b[0]) <= 3 && std::abs(a[1] - b[1]) <= 3 && std::abs(a[2] - b[2]) <= 3;
    };
    const std::array<int, 3> red{0xc0, 0x30, 0x20};
    ASSERT_TRUE(waitUntil([&] {
        const auto image = screen.capture(QRectF(600, 400, 20, 20));
        return image.hasValue() && near(colourAt(image.value(), 10, 10), red);
    }, 10000)) << "the terminal's colour never showed";
    auto one = screen.capture(QRectF(600, 400, 20, 20));
    ASSERT_TRUE(one.hasValue());
    EXPECT_EQ(one.value().width, 20);
    EXPECT_EQ(one.value().scale(), 1.0);

    // At scale 2 the same logical area holds four times the pixels; past the output's
    // edge it is black.
    QProcess swaymsg;
    swaymsg.start(QStringLiteral("swaymsg"), {QStringLiteral("-s"), socket(), QStringLiteral("output"),
                                              QStringLiteral("HEADLESS-1"), QStringLiteral("scale"), QStringLiteral("2")});
    ASSERT_TRUE(swaymsg.waitForFinished(5000));
    ASSERT_TRUE(waitUntil([&] {
        const auto outputs = provider.outputs();
        return !outputs.empty() && outputs.front().scale == 2;
    }, 10000));
    ASSERT_TRUE(waitUntil([&] {
        const auto image = screen.capture(QRectF(300, 200, 20, 20));
        return image.hasValue() && image.value().width == 40 && near(colourAt(image.value(), 20, 20), red);
    }, 10000)) << "scale 2 was not read at its own scale";
    const auto edge = screen.capture(QRectF(630, 390, 20, 20));
    ASSERT_TRUE(edge.hasValue()) << edge.error().description().toStdString();
    EXPECT_EQ(colourAt(edge.value(), 35, 35), (std::array<int, 3>{0, 0, 0}));
    const auto whole = screen.captureScreen();
    ASSERT_TRUE(whole.hasValue());
    EXPECT_EQ(whole.value().area, QRectF(0, 0, 640, 400));
    EXPECT_EQ(whole.value().width, 1280);

    // A recording's camera reads it on its own thread: a press gets its picture.
    PressCamera camera(screen, SystemClock::instance());
    camera.start(SystemClock::instance().now());
    camera.pointerAt(320, 200);
    QThread::msleep(600);
    const SightRef sight = camera.sightFor(1e9, 320, 200, QStringLiteral("Colour"));
    camera.stop();
    ASSERT_TRUE(sight);
    EXPECT_EQ(PngCodec::declaredSize(sight->png)->width, 288); // plain: 144 logical px at scale 2
}
