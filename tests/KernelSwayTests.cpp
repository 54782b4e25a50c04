// A real compositor reading the helper's devices, inside the kernel suite's guest: sway
// takes every input device through udev and libinput (as on a desktop), with a German
// layout and wev as its only window. A person's keyboard and mouse (test devices) type
// into wev while `quillo record` runs; `quillo play` at 1x and 4x then replays the
// recording through the helper's virtual devices, and wev must see the same keys (AltGr
// included), the same buttons and the same positions as it saw from the person.
#include "TestWait.h"
#include "kernel/TestDevice.h"

#include <QDir>
#include <QFile>
#include <QPointF>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

const QString kHelperSocket = QStringLiteral("/run/quillo-inputd-sway/socket");
const QString kRuntime = QStringLiteral("/run/quillo-sway");


// What wev saw, from its log: keys (code, state, symbol), and buttons with the position of
// the pointer when each was pressed or let go.
struct Seen {
    QStringList keys;
    QStringList buttons;
    std::vector<QPointF> buttonPositions;
};

Seen parseWev(const QByteArray& log)
{
    // wev asks the seat for a keyboard and a pointer again each time the seat's abilities
    // change (as devices come), and every one of them hears each event: read only the first.
    static const QRegularExpression line(
        QStringLiteral("\\[\\s*(\\d+):\\s*(wl_keyboard|wl_pointer)\\] (?:"
                       "key: .*?key: (\\d+); state: (\\d) \\S+\\s*\\n\\s*sym: (\\S+)|"
                       "(?:motion|enter): .*?x, y: ([-\\d.]+), ([-\\d.]+)|"
                       "button: .*?button: (\\d+) \\(\\w+\\), state: (\\d))"));
    Seen seen;
    QPointF pointer;
    int keyboard = -1, mouse = -1;
    const QString text = QString::fromUtf8(log);
    // One pass in order: the position in force is the last motion before each button.
    for (auto it = line.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const int object = m.captured(1).toInt();
        int& first = m.captured(2) == QLatin1String("wl_keyboard") ? keyboard : mouse;
        if (first < 0)
            first = object;
        if (object != first)
            continue;
        if (!m.captured(3).isEmpty()) {
            seen.keys << QStringLiteral("%1 %2 %3").arg(m.captured(3), m.captured(4), m.captured(5));
        } else if (!m.captured(6).isEmpty()) {
            pointer = QPointF(m.captured(6).toDouble(), m.captured(7).toDouble());
        } else if (!m.captured(8).isEmpty()) {
            seen.buttons << QStringLiteral("%1 %2").arg(m.captured(8), m.captured(9));
            seen.buttonPositions.push_back(pointer);
        }
    }
    return seen;
}

struct SwayInGuest : ::testing::Test {
    QProcess udev, helper, sway;
    QByteArray swayLog;
    passwd* user = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo::exists(QStringLiteral("/dev/uinput"))) << "run inside the guest (tests/kernel/run-in-guest.sh)";
        user = getpwnam("quillotest");
        ASSERT_NE(user, nullptr) << "sway refuses root: scripts/test.sh creates the user quillotest";
        const group* input = getgrnam("input");
        ASSERT_NE(input, nullptr);
        // udev first, as on a desktop: libinput learns the devices and their kinds from it.
        udev.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        udev.start(QStringLiteral("/lib/systemd/systemd-udevd"), {});
        ASSERT_TRUE(udev.waitForStarted());
        ASSERT_TRUE(waitUntil([] { return QFileInfo::exists(QStringLiteral("/run/udev/control")); }, 5000));
        helper.setProcessChannelMode(QProcess::ForwardedChannels);
        helper.start(QStringLiteral(QUILLO_INPUTD_BINARY), {QStringLiteral("--socket"), kHelperSocket});
        ASSERT_TRUE(helper.waitForStarted());
        ASSERT_TRUE(waitUntil([] { return QFileInfo::exists(kHelperSocket); }, 60000));

        QDir().mkpath(kRuntime);
        ASSERT_EQ(chown(kRuntime.toLocal8Bit().constData(), user->pw_uid, user->pw_gid), 0);
        QFile::setPermissions(kRuntime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile config(kRuntime + QStringLiteral("/config"));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        // A German layout (AltGr+Q is @, Y and Z change places), motion without acceleration
        // (recorded positions follow the motion as the mouse reported it), and wev filling
        // the one output, so that its positions are the screen's.
        config.write("xwayland disable\n"
                     "output HEADLESS-1 resolution 800x600 position 0 0\n"
                     "input type:keyboard xkb_layout de\n"
                     "input type:pointer accel_profile flat\n"
                     "input type:pointer pointer_accel 0\n"
                     "default_border none\n"
                     "exec stdbuf -oL wev > " + kRuntime.toLocal8Bit() + "/wev.log 2>&1\n");
        config.close();
        sway.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&sway, &QProcess::readyRead, &sway, [this] { swayLog += sway.readAll(); });
        sway.start(QStringLiteral("setpriv"),
                   {QStringLiteral("--reuid=%1").arg(user->pw_uid), QStringLiteral("--regid=%1").arg(user->pw_gid),
                    QStringLiteral("--groups=%1").arg(input->gr_gid), QStringLiteral("--inh-caps=-all"), QStringLiteral("env"),
                    QStringLiteral("-i"), QStringLiteral("PATH=/usr/bin:/bin"), QStringLiteral("HOME=") + kRuntime,
                    QStringLiteral("XDG_RUNTIME_DIR=") + kRuntime, QStringLiteral("WLR_BACKENDS=headless,libinput"),
                    QStringLiteral("WLR_LIBINPUT_NO_DEVICES=1"), QStringLiteral("WLR_RENDERER=pixman"),
                    QStringLiteral("LIBSEAT_BACKEND=builtin"), QStringLiteral("SEATD_VTBOUND=0"), QStringLiteral("sway"),
                    QStringLiteral("-c"), config.fileName()});
        ASSERT_TRUE(sway.waitForStarted()) << "sway is not installed";
        ASSERT_TRUE(waitUntil([&] { return !swaySocket().isEmpty() && wevLog().contains("xdg_toplevel"); }, 60000))
            << "sway or wev did not come up:\n" << swayLog.toStdString() << wevLog().toStdString();
    }
    void TearDown() override
    {
        for (QProcess* p : {&sway, &helper, &udev}) {
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill(), p->waitForFinished(2000);
        }
        QDir(QStringLiteral("/run/udev")).removeRecursively(); // the other tests run without udev
    }
    QString swaySocket() const
    {
        const QStringList found = QDir(kRuntime).entryList({QStringLiteral("sway-ipc.*.sock")}, QDir::System);
        return found.isEmpty() ? QString() : kRuntime + QLatin1Char('/') + found.first();
    }
    QByteArray wevLog() const
    {
        QFile log(kRuntime + QStringLiteral("/wev.log"));
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }
    // Whether sway has taken a device of this name in.
    bool swayHas(const QString& name)
    {
        QProcess swaymsg;
        swaymsg.start(QStringLiteral("swaymsg"), {QStringLiteral("-s"), swaySocket(), QStringLiteral("-t"), QStringLiteral("get_inputs")});
        return swaymsg.waitForFinished(10000) && QString::fromUtf8(swaymsg.readAllStandardOutput()).contains(name);
    }
    // Quillo's command line in this session, as the user runs it.
    QProcessEnvironment quilloEnvironment() const
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        env.insert(QStringLiteral("HOME"), kRuntime + QStringLiteral("/home"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), kRuntime + QStringLiteral("/home/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), kRuntime + QStringLiteral("/home/config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), kRuntime + QStringLiteral("/quillo-run"));
        env.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-1"));
        env.insert(QStringLiteral("SWAYSOCK"), swaySocket());
        env.insert(QStringLiteral("QUILLO_INPUTD_SOCKET"), kHelperSocket);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }
};

} // namespace

TEST_F(SwayInGuest, ARecordingTypedIntoANativeWindowReplaysTheSameKeysButtonsAndPositionsAt1xAnd4x)
{
    QDir().mkpath(kRuntime + QStringLiteral("/quillo-run"));
    QFile::setPermissions(kRuntime + QStringLiteral("/quillo-run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TestDevice keyboard(false, "Person's keyboard"), mouse(true, "Person's mouse");
    ASSERT_TRUE(waitUntil([&] {
        return swayHas(QStringLiteral("Person's keyboard")) && swayHas(QStringLiteral("Person's mouse")) &&
               swayHas(QStringLiteral("Quillo virtual pointer"));
    }, 60000)) << "sway did not take the devices in through libinput:\n" << swayLog.toStdString();

    QProcess record;
    record.setProcessEnvironment(quilloEnvironment());
    record.setProcessChannelMode(QProcess::MergedChannels);
    record.start(QStringLiteral(QUILLO_BINARY), {QStringLiteral("record"), QStringLiteral("--name"), QStringLiteral("Typed")});
    QByteArray recordOutput;
    ASSERT_TRUE(waitUntil([&] {
        recordOutput += record.readAll();
        return recordOutput.contains("Recording.") || record.state() == QProcess::NotRunning;
    }, 60000));
    ASSERT_TRUE(recordOutput.contains("Recording.")) << recordOutput.toStdString();
    const qsizetype liveFrom = wevLog().size();

    // A person types "a", AltGr+Q ("@"), Y ("z" here), moves the mouse and Shift-clicks.
    keyboard.tap(KEY_A);
    keyboard.send(EV_KEY, KEY_RIGHTALT, 1);
    QThread::msleep(60);
    keyboard.tap(KEY_Q);
    keyboard.send(EV_KEY, KEY_RIGHTALT, 0);
    QThread::msleep(120);
    keyboard.tap(KEY_Y);
    for (int step = 0; step < 10; ++step) {
        mouse.send(EV_REL, REL_X, 9);
        mouse.send(EV_REL, REL_Y, -5);
        QThread::msleep(30);
    }
    QThread::msleep(100);
    keyboard.send(EV_KEY, KEY_LEFTSHIFT, 1);
    QThread::msleep(60);
    mouse.send(EV_KEY, BTN_LEFT, 1);
    QThread::msleep(60);
    mouse.send(EV_KEY, BTN_LEFT, 0);
    QThread::msleep(60);
    keyboard.send(EV_KEY, KEY_LEFTSHIFT, 0);
    QThread::msleep(500);
    ASSERT_TRUE(waitUntil([&] { return parseWev(wevLog().mid(liveFrom)).buttons.size() == 2; }, 30000))
        << "wev did not see the person's click:\n" << wevLog().mid(liveFrom).toStdString();
    const Seen live = parseWev(wevLog().mid(liveFrom));
    record.terminate(); // Ctrl-C: the recording is saved
    ASSERT_TRUE(record.waitForFinished(30000));
    recordOutput += record.readAll();
    ASSERT_TRUE(recordOutput.contains("Saved \"Typed\"")) << recordOutput.toStdString();

    // a, AltGr, q, y and Shift, each pressed and let go.
    ASSERT_EQ(live.keys.size(), 10) << live.keys.join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(live.keys.filter(QRegularExpression(QStringLiteral(" 1 at$"))).size(), 1)
        << "AltGr+Q is not @ in sway's German layout: " << live.keys.join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(live.keys.filter(QRegularExpression(QStringLiteral(" 1 z$"))).size(), 1) << live.keys.join(QLatin1Char(',')).toStdString();

    for (const char* speed : {"1", "4"}) {
        SCOPED_TRACE(std::string("speed ") + speed);
        const qsizetype from = wevLog().size();
        QProcess play;
        play.setProcessEnvironment(quilloEnvironment());
        play.setProcessChannelMode(QProcess::MergedChannels);
        play.start(QStringLiteral(QUILLO_BINARY),
                   {QStringLiteral("play"), QStringLiteral("Typed"), QStringLiteral("--speed"), QString::fromLatin1(speed)});
        ASSERT_TRUE(play.waitForFinished(60000));
        const QByteArray playOutput = play.readAll();
        ASSERT_EQ(play.exitCode(), 0) << playOutput.toStdString();
        ASSERT_TRUE(waitUntil([&] { return parseWev(wevLog().mid(from)).keys.size() >= live.keys.size(); }, 30000))
            << playOutput.toStdString() << wevLog().mid(from).toStdString();
        waitUntil([] { return false; }, 500);
        const Seen replayed = parseWev(wevLog().mid(from));
        EXPECT_EQ(replayed.keys, live.keys);
        EXPECT_EQ(replayed.buttons, live.buttons);
        ASSERT_EQ(replayed.buttonPositions.size(), live.buttonPositions.size());
        for (std::size_t i = 0; i < live.buttonPositions.size(); ++i) {
            EXPECT_NEAR(replayed.buttonPositions[i].x(), live.buttonPositions[i].x(), 1.0) << "button " << i;
            EXPECT_NEAR(replayed.buttonPositions[i].y(), live.buttonPositions[i].y(), 1.0) << "button " << i;
        }
    }
}
