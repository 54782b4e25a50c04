// Replay that sees the screen, against an application of the test's own on a real X
// server: a click recorded on its button while it was quick replays onto that button when
// it is slow and its window opened 150 px further right, with waiting on; with waiting
// off the same replay misses it (so the test fails if waiting does nothing); a button
// that never comes stops the playback with nothing held down. Steps that wait, made by
// hand, hold a click until the button's picture, its colour, or the close of a progress
// window are there, read from the real screen and the window manager's list.
#include "Platform/SystemClock.h"
#include "Platform/SystemSleeper.h"
#include "Platform/X11/X11EventPoster.h"
#include "Platform/X11/X11InputTap.h"
#include "Platform/X11/X11ScreenCapture.h"
#include "Platform/X11/X11Workspace.h"
#include "Services/PlaybackService.h"
#include "Services/RecorderService.h"
#include "Codec/PngCodec.h"

#include <QElapsedTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <limits>
#include <thread>

// Last: Xlib's macros (None, Bool, ...) would break the headers above.
#include "X11TestDesktop.h"

namespace {

// The application: a window whose button (80 x 40 at 200, 150 in the window, drawn in
// four colours) shows only once `buttonFrom` has passed; it redraws itself every 20 ms
// on a connection of its own, as a slow application would draw late.
class SlowApplication
{
public:
    explicit SlowApplication(Window window) : m_window(window)
    {
        m_display = XOpenDisplay(nullptr);
        m_thread = std::thread([this] { paint(); });
    }
    ~SlowApplication()
    {
        m_running = false;
        m_thread.join();
        XCloseDisplay(m_display);
    }
    // The button shows `delayMs` from now (negative: never).
    void showButtonAfter(int delayMs)
    {
        m_buttonFrom = delayMs < 0 ? std::numeric_limits<qint64>::max() : m_clock.elapsed() + delayMs;
    }
    static constexpr int buttonX = 200, buttonY = 150, buttonW = 80, buttonH = 40;

private:
    void paint()
    {
        GC gc = XCreateGC(m_display, m_window, 0, nullptr);
        while (m_running) {
            XSetForeground(m_display, gc, 0xf4f4f4);
            XFillRectangle(m_display, m_window, gc, 0, 0, 600, 400);
            // Some other content, so that the screen is not empty around the button.
            for (int i = 0; i < 10; ++i) {
                XSetForeground(m_display, gc, 0x203040 + 0x101010 * i);
                XFillRectangle(m_display, m_window, gc, 20 + 55 * i, 20, 40, 12);
            }
            if (m_clock.elapsed() >= m_buttonFrom) {
                const unsigned long colours[] = {0xc03020, 0x20a040, 0x2040c0, 0xe0c020};
                for (int q = 0; q < 4; ++q) {
                    XSetForeground(m_display, gc, colours[q]);
                    XFillRectangle(m_display, m_window, gc, buttonX + (q % 2) * 40, buttonY + (q / 2) * 20, 40, 20);
                }
                XSetForeground(m_display, gc, 0x101010);
                XDrawRectangle(m_display, m_window, gc, buttonX + 10, buttonY + 8, 60, 24);
            }
            XFlush(m_display);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        XFreeGC(m_display, gc);
    }

    Window m_window;
    Display* m_display = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_running{true};
    QElapsedTimer m_clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    std::atomic<qint64> m_buttonFrom{0};
};

QPoint windowOrigin(Display* d, Window w)
{
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    return {x, y};
}

} // namespace

TEST(X11ScreenReplay, AClickFollowsItsButtonIntoASlowMovedWindowOnlyWithWaitingOn)
{
    X11TestDesktop desktop;
    ASSERT_NE(desktop.display(), nullptr) << "these tests need an X display (scripts/test.sh starts one)";
    Display* d = desktop.display();
    const Window w = desktop.createWindow("QuilloSlowApplication");
    XStoreName(d, w, "Slow application");
    SlowApplication app(w);
    desktop.watch(w, ButtonPressMask);
    const QPoint origin = windowOrigin(d, w);
    const QPoint onButton = origin + QPoint(SlowApplication::buttonX + 40, SlowApplication::buttonY + 20);

    // Recorded while the application keeps up.
    const SystemClock& clock = SystemClock::instance();
    X11ScreenCapture screen;
    X11InputTap tap(clock);
    X11Workspace workspace;
    RecorderService recorder(tap, workspace, clock);
    recorder.setScreenCapture(&screen);
    recorder.startRecording();
    ASSERT_EQ(recorder.state(), RecordingState::recording);
    desktop.moveTo(onButton.x(), onButton.y());
    desktop.sync();
    QThread::msleep(300); // the camera takes its frames around the pointer
    desktop.click(1);
    desktop.sync();
    QThread::msleep(100);
    Macro macro;
    macro.id = QUuid::createUuid();
    for (const MacroAction& a : recorder.stopRecording())
        if (a.type() != ActionType::windowFocus)
            macro.actions.push_back(a);
    const auto press = std::find_if(macro.actions.begin(), macro.actions.end(),
                                    [](const MacroAction& a) { return a.type() == ActionType::mouseDown; });
    ASSERT_NE(press, macro.actions.end());
    const SightRef& sight = std::get<MacroAction::MouseDown>(press->payload).sight;
    ASSERT_TRUE(sight) << "the press kept no picture";
    // And the window it was in: its title and its place.
    EXPECT_EQ(sight->windowTitle, QStringLiteral("Slow application"));
    EXPECT_EQ(sight->windowArea, QRectF(origin.x(), origin.y(), 600, 400));
    while (desktop.nextEvent(w, ButtonPress, 200)) {
    }

    // Now slow (the button 1.5 s late) and opened 150 px further right.
    XMoveWindow(d, w, 50 + 150, 50); // it was asked for at 50, 50

    desktop.sync();
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return windowOrigin(d, w).x() == origin.x() + 150; }, 3000))
        << "the window manager did not move the window";
    X11EventPoster poster;
    SystemSleeper sleeper;
    PlaybackService playback(poster, clock, sleeper);
    playback.setScreenCapture(&screen);
    QString failure;
    QObject::connect(&playback, &PlaybackService::failed, [&](const QString& m) { failure = m; });
    auto replay = [&](double waitForScreen) -> std::optional<QPoint> {
        app.showButtonAfter(1500);
        desktop.moveTo(0, 0);
        desktop.sync();
        PlaybackOptions options;
        options.waitForScreen = waitForScreen;
        playback.play(macro, options);
        EXPECT_TRUE(X11TestDesktop::waitFor([&] { return !playback.isBusy(); }, 15000));
        const auto event = desktop.nextEvent(w, ButtonPress, 500);
        return event ? std::optional<QPoint>(QPoint(event->xbutton.x, event->xbutton.y)) : std::nullopt;
    };
    auto onTheButton = [](const QPoint& p) {
        return p.x() >= SlowApplication::buttonX && p.x() < SlowApplication::buttonX + SlowApplication::buttonW &&
               p.y() >= SlowApplication::buttonY && p.y() < SlowApplication::buttonY + SlowApplication::buttonH;
    };

    QElapsedTimer took;
    took.start();
    const auto seeing = replay(10);
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
    ASSERT_TRUE(seeing) << "the replay's click did not reach the window";
    EXPECT_TRUE(onTheButton(*seeing)) << "clicked at " << seeing->x() << ", " << seeing->y() << " in the window";
    EXPECT_GE(took.elapsed(), 1400) << "the click did not wait for the button";

    // Blind, the click lands where the button was, which is not where it is.
    const auto blind = replay(0);
    EXPECT_TRUE(!blind || !onTheButton(*blind)) << "a blind replay hit the moved button";

    // A button that never comes: the playback stops, says which step, holds nothing.
    app.showButtonAfter(-1);
    failure.clear();
    PlaybackOptions shortWait;
    shortWait.waitForScreen = 1;
    playback.play(macro, shortWait);
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return !playback.isBusy(); }, 10000));
    EXPECT_TRUE(failure.contains(QStringLiteral("waited 1 s for what was on the screen when it was recorded")))
        << failure.toStdString();
    Window root, child;
    int rx, ry, wx, wy;
    unsigned mask = 0;
    XQueryPointer(d, DefaultRootWindow(d), &root, &child, &rx, &ry, &wx, &wy, &mask);
    EXPECT_EQ(mask & (Button1Mask | Button2Mask | Button3Mask), 0u);
    EXPECT_FALSE(desktop.nextEvent(w, ButtonPress, 300)) << "a click was posted although the button never came";
}

TEST(X11ScreenReplay, HandMadeWaitsHoldTheClickUntilThePictureTheColourOrTheWindowsCloseComes)
{
    X11TestDesktop desktop;
    ASSERT_NE(desktop.display(), nullptr) << "these tests need an X display (scripts/test.sh starts one)";
    Display* d = desktop.display();
    const Window w = desktop.createWindow("QuilloSlowApplication");
    XStoreName(d, w, "Slow application");
    SlowApplication app(w);
    desktop.watch(w, ButtonPressMask);
    const QPoint origin = windowOrigin(d, w);
    const QRectF button(origin.x() + SlowApplication::buttonX, origin.y() + SlowApplication::buttonY,
                        SlowApplication::buttonW, SlowApplication::buttonH);

    // The button's picture, taken as the editor takes it.
    X11ScreenCapture screen;
    app.showButtonAfter(0);
    QThread::msleep(150);
    const auto taken = screen.capture(button);
    ASSERT_TRUE(taken.hasValue()) << taken.error().description().toStdString();
    ScreenWait image;
    image.png = PngCodec::encode(taken.value()).value();
    image.area = button;
    image.timeout = 8;
    ScreenWait color;
    color.kind = ScreenWait::Kind::color;
    color.area = QRectF(button.topLeft() + QPointF(5, 5), QSizeF(1, 1));
    color.color = 0xc03020;
    color.tolerance = 8;
    color.timeout = 8;
    ScreenWait closes;
    closes.kind = ScreenWait::Kind::window;
    closes.title = QStringLiteral("Export progress");
    closes.event = ScreenWait::WindowEvent::close;
    closes.timeout = 8;

    const SystemClock& clock = SystemClock::instance();
    X11Workspace workspace;
    X11EventPoster poster;
    SystemSleeper sleeper;
    PlaybackService playback(poster, clock, sleeper);
    playback.setScreenCapture(&screen);
    playback.setWorkspace(&workspace);
    QString failure;
    QObject::connect(&playback, &PlaybackService::failed, [&](const QString& m) { failure = m; });
    const QPointF onButton = button.center();
    // How long after the start the click reached the window (-1: it never did).
    auto clickAfter = [&](std::vector<MacroAction> before) -> qint64 {
        Macro macro;
        macro.id = QUuid::createUuid();
        macro.actions = std::move(before);
        macro.actions.push_back(MacroAction::mouseDown(0.2, onButton.x(), onButton.y(), MouseButton::left));
        macro.actions.push_back(MacroAction::mouseUp(0.25, onButton.x(), onButton.y(), MouseButton::left));
        while (desktop.nextEvent(w, ButtonPress, 100)) {
        }
        QElapsedTimer took;
        took.start();
        playback.play(macro, PlaybackOptions{});
        EXPECT_TRUE(X11TestDesktop::waitFor([&] { return !playback.isBusy(); }, 15000));
        const auto event = desktop.nextEvent(w, ButtonPress, 500);
        return event ? took.elapsed() : -1;
    };

    // Without a wait the click comes at once, before the slow button: so the waits below
    // are what holds it.
    app.showButtonAfter(1500);
    const qint64 blind = clickAfter({});
    EXPECT_GE(blind, 0);
    EXPECT_LT(blind, 1000);
    for (const ScreenWait& wait : {image, color}) {
        app.showButtonAfter(1500);
        const qint64 after = clickAfter({MacroAction::wait(0.1, wait)});
        EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
        EXPECT_GE(after, 1400) << MacroAction::wait(0, wait).displayName().toStdString();
        EXPECT_LT(after, 4000);
    }

    // A progress window that closes after 1.5 s, from another connection as its
    // application would.
    const Window progress = desktop.createWindow("QuilloProgress");
    XStoreName(d, progress, "Export progress \u2014 42%");
    desktop.sync();
    std::thread closer([progress] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        Display* other = XOpenDisplay(nullptr);
        XDestroyWindow(other, progress);
        XCloseDisplay(other);
    });
    const qint64 afterClose = clickAfter({MacroAction::wait(0.1, closes)});
    closer.join();
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
    EXPECT_GE(afterClose, 1400);
    EXPECT_LT(afterClose, 4000);

    // A picture that never comes stops the playback before the click, with the step named.
    app.showButtonAfter(-1);
    ScreenWait never = image;
    never.timeout = 1;
    EXPECT_EQ(clickAfter({MacroAction::wait(0.1, never)}), -1);
    EXPECT_TRUE(failure.startsWith(QStringLiteral("Step 1 (Wait for Image) waited 1 s"))) << failure.toStdString();
}
