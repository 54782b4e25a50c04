// The input helper against the kernel's real evdev and uinput, inside a throwaway qemu
// guest (tests/kernel/run-in-guest.sh): what test devices type comes back through the
// helper's capture in order and on time, what Quillo posts comes out of the helper's
// virtual devices (whole from the first key of a freshly started helper, read through
// udev and libinput as a compositor reads them), and a client killed mid-playback leaves
// nothing pressed.
#include "Platform/SystemClock.h"
#include "Platform/Wayland/InputdClient.h"
#include "Platform/Wayland/WaylandEventPoster.h"
#include "Platform/Wayland/WaylandInputTap.h"
#include "TestWait.h"
#include "kernel/TestDevice.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#include <libevdev/libevdev.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kSocket = QStringLiteral("/run/quillo-inputd-test/socket");


// Reads a device found by name, as a compositor would.
class DeviceReader
{
public:
    explicit DeviceReader(const char* name)
    {
        for (const QString& node : QDir(QStringLiteral("/dev/input")).entryList({QStringLiteral("event*")}, QDir::System)) {
            const int fd = ::open(("/dev/input/" + node).toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK);
            libevdev* d = nullptr;
            if (fd >= 0 && libevdev_new_from_fd(fd, &d) == 0 && std::string(libevdev_get_name(d)) == name) {
                m_fd = fd;
                m_evdev = d;
                return;
            }
            if (d)
                libevdev_free(d);
            if (fd >= 0)
                ::close(fd);
        }
    }
    ~DeviceReader()
    {
        if (m_evdev)
            libevdev_free(m_evdev);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool found() const { return m_evdev != nullptr; }
    // Every event (other than reports) that arrives within `ms`.
    std::vector<input_event> read(int ms)
    {
        std::vector<input_event> events;
        waitUntil([&] {
            input_event e{};
            while (libevdev_next_event(m_evdev, LIBEVDEV_READ_FLAG_NORMAL, &e) == LIBEVDEV_READ_STATUS_SUCCESS)
                if (e.type != EV_SYN)
                    events.push_back(e);
            return false;
        }, ms);
        return events;
    }
    int value(unsigned type, unsigned code) { return libevdev_get_event_value(m_evdev, type, code); }

private:
    int m_fd = -1;
    libevdev* m_evdev = nullptr;
};

struct KernelInput : ::testing::Test {
    QProcess helper;
    QByteArray helperLog;
    bool m_readingLog = false;

    void SetUp() override
    {
        ASSERT_TRUE(QFileInfo::exists(QStringLiteral("/dev/uinput"))) << "run inside the guest (tests/kernel/run-in-guest.sh)";
        qputenv("QUILLO_INPUTD_SOCKET", kSocket.toLocal8Bit());
        startHelper();
    }
    void startHelper()
    {
        // Its log is read (and passed on): it says when a device is open and set up.
        helper.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        if (!m_readingLog)
            QObject::connect(&helper, &QProcess::readyReadStandardError, &helper, [this] {
                const QByteArray more = helper.readAllStandardError();
                std::fwrite(more.constData(), 1, size_t(more.size()), stderr);
                helperLog += more;
            });
        m_readingLog = true;
        helperLog.clear();
        helper.start(QStringLiteral(QUILLO_INPUTD_BINARY), {QStringLiteral("--socket"), kSocket});
        ASSERT_TRUE(helper.waitForStarted());
        // It says when it listens (an emulated machine that is busy may take seconds).
        ASSERT_TRUE(waitUntil([&] { return helperLog.contains("quillo-inputd: listening at"); }, 60000))
            << helperLog.toStdString();
    }
    // Whether the helper reads `devnode` (it follows devices plugged in while it runs): its
    // log names the device once it is open and its clock set, so nothing sent after that
    // is lost. An emulated machine may take a while.
    bool helperReads(const QString& devnode, int ms)
    {
        const QByteArray line = "quillo-inputd: reading " + devnode.toLocal8Bit() + " (";
        return waitUntil([&] { return helperLog.contains(line); }, ms);
    }
    void TearDown() override
    {
        helper.terminate();
        helper.waitForFinished(5000);
    }
};

} // namespace

TEST_F(KernelInput, CaptureReturnsKeysClicksMovesAndWheelsInOrderWithTheirTimes)
{
    TestDevice keyboard(false), mouse(true);
    std::vector<RawInputEvent> events;
    std::mutex lock;
    WaylandInputTap tap(SystemClock::instance(), kSocket);
    tap.setStartPosition(500, 400);
    QString error;
    ASSERT_TRUE(tap.start([&](const RawInputEvent& e) { std::lock_guard guard(lock); events.push_back(e); }, &error))
        << error.toStdString();
    // The start returns once the helper reads the devices that are there.
    ASSERT_TRUE(helperReads(keyboard.devnode(), 0) && helperReads(mouse.devnode(), 1000)) << helperLog.toStdString();
    const double start = SystemClock::instance().now();
    keyboard.send(EV_KEY, KEY_LEFTSHIFT, 1);
    keyboard.send(EV_KEY, KEY_A, 1);
    keyboard.send(EV_KEY, KEY_A, 0);
    keyboard.send(EV_KEY, KEY_LEFTSHIFT, 0);
    QThread::msleep(100);
    mouse.send(EV_REL, REL_X, 20);
    mouse.send(EV_KEY, BTN_LEFT, 1);
    mouse.send(EV_KEY, BTN_LEFT, 0);
    QThread::msleep(100);
    mouse.send(EV_REL, REL_WHEEL_HI_RES, 120);
    // A keyboard plugged in while recording is followed; what Quillo itself posts is not
    // recorded.
    TestDevice late(false, "Plugged in late");
    ASSERT_TRUE(helperReads(late.devnode(), 10000)) << "the helper never opened " << late.devnode().toStdString();
    late.send(EV_KEY, KEY_Z, 1);
    late.send(EV_KEY, KEY_Z, 0);
    WaylandEventPoster poster(kSocket);
    SyntheticEvent own;
    own.type = RawEventType::keyDown;
    own.keyCode = 11; // B
    poster.post(own);
    own.type = RawEventType::keyUp;
    poster.post(own);
    QThread::msleep(200);
    tap.stop(); // everything before the stop arrives before it returns
    std::vector<RawInputEvent> keys;
    for (const RawInputEvent& e : events)
        if (e.type != RawEventType::flagsChanged)
            keys.push_back(e);
    ASSERT_EQ(keys.size(), 8u);
    EXPECT_EQ(keys[6].keyCode, 6); // Z, from the keyboard plugged in late
    EXPECT_EQ(keys[7].type, RawEventType::keyUp);
    EXPECT_EQ(keys[0].type, RawEventType::keyDown);
    EXPECT_EQ(keys[0].keyCode, 0);
    EXPECT_EQ(keys[0].flags, ModifierFlags::shift);
    EXPECT_EQ(keys[1].type, RawEventType::keyUp);
    EXPECT_EQ(keys[2].type, RawEventType::mouseMoved);
    EXPECT_EQ(keys[2].x, 520);
    EXPECT_EQ(keys[3].type, RawEventType::leftMouseDown);
    EXPECT_EQ(keys[4].type, RawEventType::leftMouseUp);
    EXPECT_EQ(keys[5].type, RawEventType::scrollWheel);
    EXPECT_EQ(keys[5].scrollAxis1, 1);
    // Kernel times on the recording clock: in order, after the start, 100 ms pauses kept.
    for (std::size_t i = 1; i < keys.size(); ++i)
        EXPECT_GE(keys[i].time, keys[i - 1].time);
    EXPECT_GE(keys[0].time, start - 0.05);
    EXPECT_NEAR(keys[2].time - keys[1].time, 0.1, 0.06);
}

TEST_F(KernelInput, PostedEventsComeOutOfTheVirtualDevices)
{
    WaylandEventPoster poster(kSocket);
    poster.setLayout([] { return std::vector<Output>{{QStringLiteral("A"), QRectF(0, 0, 1280, 800), 1}}; });
    ASSERT_EQ(poster.connectionProblem(), QString());
    poster.prepare();
    // The helper made its devices as it started: they are there before anything is posted.
    DeviceReader keyboard("Quillo virtual keyboard"), pointer("Quillo virtual pointer");
    ASSERT_TRUE(keyboard.found() && pointer.found());
    SyntheticEvent e;
    e.type = RawEventType::keyDown;
    e.keyCode = 0; // A
    e.flags = ModifierFlags::shift;
    ASSERT_TRUE(poster.post(e));
    e.type = RawEventType::keyUp;
    ASSERT_TRUE(poster.post(e));
    SyntheticEvent click;
    click.type = RawEventType::leftMouseDown;
    click.x = 1279;
    click.y = 0;
    ASSERT_TRUE(poster.post(click));
    click.type = RawEventType::leftMouseUp;
    ASSERT_TRUE(poster.post(click));
    SyntheticEvent wheel;
    wheel.type = RawEventType::scrollWheel;
    wheel.wheel1 = -2;
    ASSERT_TRUE(poster.post(wheel));
    poster.releaseModifiers();

    const auto keys = keyboard.read(300);
    std::vector<std::pair<int, int>> seen;
    for (const input_event& k : keys)
        seen.emplace_back(k.code, k.value);
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{KEY_LEFTSHIFT, 1}, {KEY_A, 1}, {KEY_A, 0}, {KEY_LEFTSHIFT, 0}}));
    bool pressed = false, released = false, wheeled = false, corner = false;
    for (const input_event& p : pointer.read(300)) {
        // The click lands on the right edge of the only output, the wheel turns at (0, 0).
        corner = corner || (p.type == EV_ABS && p.code == ABS_X && p.value == 32767);
        pressed = pressed || (p.type == EV_KEY && p.code == BTN_LEFT && p.value == 1);
        released = released || (p.type == EV_KEY && p.code == BTN_LEFT && p.value == 0);
        wheeled = wheeled || (p.type == EV_REL && p.code == REL_WHEEL && p.value == -2);
    }
    EXPECT_TRUE(pressed && released && wheeled && corner);
    EXPECT_EQ(pointer.value(EV_ABS, ABS_X), 0);
}

TEST_F(KernelInput, AClientKilledMidPlaybackLeavesNothingPressedAndBadClientsDoNotStopOthers)
{
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        InputdClient client;
        QString error;
        if (!client.connect(kSocket, error))
            _exit(1);
        for (const InputdProtocol::Post& p : {InputdProtocol::Post{EV_KEY, KEY_LEFTSHIFT, 1}, InputdProtocol::Post{EV_SYN, 0, 0},
                                              InputdProtocol::Post{EV_KEY, BTN_LEFT, 1}, InputdProtocol::Post{EV_SYN, 0, 0}})
            client.send(p);
        client.receive(300); // let the helper take them
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_TRUE(waitUntil([] { return DeviceReader("Quillo virtual pointer").found(); }, 3000));
    DeviceReader keyboard("Quillo virtual keyboard"), pointer("Quillo virtual pointer");
    ASSERT_EQ(keyboard.value(EV_KEY, KEY_LEFTSHIFT), 1);
    ASSERT_EQ(pointer.value(EV_KEY, BTN_LEFT), 1);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    keyboard.read(200);
    pointer.read(1);
    EXPECT_EQ(keyboard.value(EV_KEY, KEY_LEFTSHIFT), 0) << "Shift stayed down";
    EXPECT_EQ(pointer.value(EV_KEY, BTN_LEFT), 0) << "the button stayed down";

    // Garbage on one connection ends that connection only.
    InputdClient bad;
    QString error;
    ASSERT_TRUE(bad.connect(kSocket, error)) << error.toStdString();
    const int fd = bad.descriptor();
    const std::uint8_t junk[] = {0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3};
    ASSERT_EQ(::write(fd, junk, sizeof junk), ssize_t(sizeof junk));
    bad.receive(1000);
    EXPECT_TRUE(bad.failed()) << "the helper kept a connection that sent garbage";
    InputdClient good;
    EXPECT_TRUE(good.connect(kSocket, error)) << error.toStdString();
    EXPECT_EQ(helper.state(), QProcess::Running);
}

TEST_F(KernelInput, AFreshHelpersFirstReplayReachesLibinputWhole)
{
    // udev and libinput as a desktop has them, running before the helper starts.
    helper.terminate();
    ASSERT_TRUE(helper.waitForFinished(5000));
    QProcess udev, events;
    udev.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    udev.start(QStringLiteral("/lib/systemd/systemd-udevd"), {});
    ASSERT_TRUE(udev.waitForStarted());
    ASSERT_TRUE(waitUntil([] { return QFileInfo::exists(QStringLiteral("/run/udev/control")); }, 5000));
    events.start(QStringLiteral("stdbuf"), {QStringLiteral("-oL"), QStringLiteral("libinput"), QStringLiteral("debug-events"),
                                            QStringLiteral("--show-keycodes")});
    ASSERT_TRUE(events.waitForStarted());
    QByteArray seen;
    auto readEvents = [&] {
        events.waitForReadyRead(50);
        seen += events.readAllStandardOutput();
    };
    waitUntil([&] { readEvents(); return false; }, 1500); // libinput has taken in what is there
    startHelper();

    // No warm-up: the very first events a client posts.
    WaylandEventPoster poster(kSocket);
    for (const std::uint16_t key : {0, 12, 2}) { // a, q, d
        SyntheticEvent e;
        e.type = RawEventType::keyDown;
        e.keyCode = key;
        ASSERT_TRUE(poster.post(e));
        e.type = RawEventType::keyUp;
        ASSERT_TRUE(poster.post(e));
    }
    auto pressed = [&](const char* key) { return seen.contains(QByteArray(key) + " pressed"); };
    waitUntil([&] {
        readEvents();
        return pressed("KEY_A (30)") && pressed("KEY_Q (16)") && pressed("KEY_D (32)");
    }, 3000);
    events.terminate();
    events.waitForFinished(2000);
    udev.terminate();
    udev.waitForFinished(2000);
    QDir(QStringLiteral("/run/udev")).removeRecursively(); // the other tests run without udev
    EXPECT_TRUE(pressed("KEY_A (30)")) << "the first key was lost:\n" << seen.toStdString();
    EXPECT_TRUE(pressed("KEY_Q (16)")) << seen.toStdString();
    EXPECT_TRUE(pressed("KEY_D (32)")) << seen.toStdString();
}

TEST_F(KernelInput, TheHelpersChordWatchReportsARegisteredChordAndNothingOfOtherTyping)
{
    TestDevice keyboard(false);
    InputdClient watcher;
    QString error;
    ASSERT_TRUE(watcher.connect(kSocket, error)) << error.toStdString();
    using namespace InputdProtocol::HotkeyModifier;
    ASSERT_TRUE(watcher.send(InputdProtocol::WatchHotkeys{{{1, KEY_R, super | alt}, {3, KEY_P, super | alt}}}));
    ASSERT_TRUE(helperReads(keyboard.devnode(), 10000)) << "the helper does not watch the keyboard";
    // Typing that is not a chord: nothing comes back, not even a key.
    for (const unsigned key : {KEY_H, KEY_E, KEY_L, KEY_P}) {
        keyboard.send(EV_KEY, key, 1);
        keyboard.send(EV_KEY, key, 0);
    }
    keyboard.send(EV_KEY, KEY_LEFTMETA, 1);
    keyboard.send(EV_KEY, KEY_R, 1); // Super+R alone is not Super+Alt+R
    keyboard.send(EV_KEY, KEY_R, 0);
    keyboard.send(EV_KEY, KEY_LEFTALT, 1);
    keyboard.send(EV_KEY, KEY_R, 1);
    keyboard.send(EV_KEY, KEY_R, 0);
    keyboard.send(EV_KEY, KEY_LEFTALT, 0);
    keyboard.send(EV_KEY, KEY_LEFTMETA, 0);
    std::vector<InputdProtocol::Message> received;
    while (auto message = watcher.receive(700))
        received.push_back(*message);
    ASSERT_EQ(received.size(), 1u) << "the watch told more than the chord";
    EXPECT_EQ(received[0], InputdProtocol::Message(InputdProtocol::HotkeyMatched{1}));

    // The helper's own replay never completes a chord (a macro that holds Super+Alt).
    WaylandEventPoster poster(kSocket);
    SyntheticEvent e;
    e.type = RawEventType::keyDown;
    e.keyCode = 35; // P
    e.flags = ModifierFlags::command | ModifierFlags::option;
    ASSERT_TRUE(poster.post(e));
    e.type = RawEventType::keyUp;
    ASSERT_TRUE(poster.post(e));
    poster.releaseModifiers();
    EXPECT_FALSE(watcher.receive(500).has_value());
}
