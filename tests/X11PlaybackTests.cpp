#include "Platform/SystemClock.h"
#include "Platform/SystemSleeper.h"
#include "Platform/X11/X11EventPoster.h"
#include "Platform/X11/X11InputTap.h"
#include "Platform/X11/X11KeyboardLayout.h"
#include "Platform/X11/X11Workspace.h"
#include "Services/PlaybackService.h"
#include "Services/RecorderService.h"
#include "Library/ActionRetiming.h"
#include "ViewModels/TextTyping.h"

#include <QElapsedTimer>
#include <algorithm>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>

// Last: Xlib's macros (None, Bool, ...) would break the headers above.
#include "X11TestDesktop.h"
#include <X11/keysym.h>
#include <xkbcommon/xkbcommon.h>

namespace {

class X11PlaybackTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_NE(desktop.display(), nullptr) << "these tests need an X display (scripts/test.sh starts one)";
        ASSERT_TRUE(poster.isConnected());
    }

    bool playToEnd(const Macro& macro) { return playToEndWith(macro, {}); }
    bool playToEndWith(const Macro& macro, const PlaybackOptions& options)
    {
        playback.play(macro, options);
        return X11TestDesktop::waitFor([&] { return !playback.isBusy(); }, 10000);
    }

    X11TestDesktop desktop;
    const SystemClock& clock = SystemClock::instance();
    SystemSleeper sleeper;
    X11EventPoster poster;
    PlaybackService playback{poster, clock, sleeper};
};

using A = MacroAction;

// Replayed input as the X server stamped it, against the schedule that was played: every
// action is off by the same amount, when the replay started (taken as the median). Server
// times are whole milliseconds, so on time is within 2 ms. A busy machine may hold an
// action back now and then (the next is on time again: the player keeps to the schedule),
// but never by a noticeable time, and most actions are on time.
void expectOnSchedule(const std::vector<MacroAction>& recorded, const std::vector<MacroAction>& planned)
{
    ASSERT_EQ(recorded.size(), planned.size());
    ASSERT_FALSE(recorded.empty());
    std::vector<double> offsets;
    for (std::size_t i = 0; i < recorded.size(); ++i)
        offsets.push_back(recorded[i].timestamp - planned[i].timestamp);
    std::vector<double> sorted = offsets;
    std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
    const double start = sorted[sorted.size() / 2];
    std::size_t late = 0;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        EXPECT_NEAR(offsets[i], start, 0.015) << "action " << i << ": " << planned[i].displayName().toStdString();
        if (std::abs(offsets[i] - start) > 0.002 + 1e-9)
            ++late;
    }
    EXPECT_LE(late * 4, offsets.size()) << late << " of " << offsets.size()
                                        << " actions are off the schedule by more than 2 ms";
}

} // namespace

TEST_F(X11PlaybackTest, AReplayIsRecordedBackActionForActionWithItsTiming)
{
    X11InputTap tap(clock);
    X11Workspace workspace;
    RecorderService recorder(tap, workspace, clock);
    const Window alpha = desktop.createWindow("QuilloReplayAlpha");
    desktop.createWindow("QuilloReplayBeta");
    ASSERT_TRUE(desktop.activate(alpha));

    constexpr std::uint64_t shift = ModifierFlags::shift;
    constexpr std::uint64_t ctrlAlt = ModifierFlags::control | ModifierFlags::option;
    constexpr std::uint64_t super = ModifierFlags::command;
    Macro macro;
    macro.id = QUuid::createUuid();
    macro.actions = {
        A::windowFocus(0.05, QStringLiteral("QuilloReplayBeta"), QStringLiteral("QuilloReplayBeta")),
        A::keyDown(0.20, 0, shift), A::keyUp(0.23, 0, shift),        // Shift+A
        A::keyDown(0.26, 1, ctrlAlt), A::keyUp(0.29, 1, ctrlAlt),    // Ctrl+Alt+S
        A::keyDown(0.32, 40, super), A::keyUp(0.35, 40, super),      // Super+K
        A::keyDown(0.38, 36, 0), A::keyUp(0.41, 36, 0),              // Return, modifiers let go
        A::mouseMove(0.45, 300, 300),
        A::mouseDown(0.50, 300, 300, MouseButton::left), A::mouseUp(0.52, 300, 300, MouseButton::left),
        A::mouseDown(0.55, 300, 300, MouseButton::right), A::mouseUp(0.57, 300, 300, MouseButton::right),
        A::mouseDown(0.60, 300, 300, MouseButton::middle), A::mouseUp(0.62, 300, 300, MouseButton::middle),
        A::mouseDown(0.70, 300, 300, MouseButton::left), A::mouseDrag(0.75, 350, 320, MouseButton::left),
        A::mouseUp(0.80, 350, 320, MouseButton::left),
        A::scroll(0.85, 350, 320, 0, -1), A::scroll(0.88, 350, 320, 0, 1),
        A::scroll(0.91, 350, 320, 1, 0), A::scroll(0.94, 350, 320, -1, 0),
    };

    recorder.startRecording();
    ASSERT_TRUE(playToEnd(macro));
    desktop.sync();
    QThread::msleep(50); // let the focus change reach the workspace
    X11TestDesktop::waitFor([] { return false; }, 50);
    std::vector<MacroAction> recorded = recorder.stopRecording();

    ASSERT_FALSE(recorded.empty());
    EXPECT_EQ(recorded.front(), A::windowFocus(0, QStringLiteral("QuilloReplayAlpha"), QStringLiteral("QuilloReplayAlpha")));
    recorded.erase(recorded.begin());
    ASSERT_EQ(recorded.size(), macro.actions.size()) << [&] {
        std::string all;
        for (const auto& a : recorded)
            all += a.displayName().toStdString() + "\n";
        return all;
    }();
    for (std::size_t i = 0; i < recorded.size(); ++i)
        EXPECT_EQ(recorded[i].payload, macro.actions[i].payload)
            << i << ": recorded " << recorded[i].displayName().toStdString() << ", played "
            << macro.actions[i].displayName().toStdString();

    // The focus change is stamped when the window manager announces it: left out.
    expectOnSchedule({recorded.begin() + 1, recorded.end()}, {macro.actions.begin() + 1, macro.actions.end()});
}

TEST_F(X11PlaybackTest, StoppingMidwayLeavesNoKeyOrButtonDown)
{
    desktop.activate(desktop.createWindow("QuilloReplayStuck"));
    Macro macro;
    macro.id = QUuid::createUuid();
    macro.actions = {
        A::keyDown(0.01, 56, 0),                         // Shift itself, held by the macro
        A::keyDown(0.02, 0, ModifierFlags::shift | ModifierFlags::command),
        A::mouseDown(0.03, 200, 200, MouseButton::left),
        A::keyUp(30.0, 0, 0),
    };
    playback.play(macro, {});
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return playback.progress() >= 0.75; }));
    playback.stop();
    desktop.sync();

    Window root, child;
    int rx, ry, wx, wy;
    unsigned mask = 0;
    XQueryPointer(desktop.display(), DefaultRootWindow(desktop.display()), &root, &child, &rx, &ry, &wx, &wy, &mask);
    EXPECT_EQ(mask & (Button1Mask | Button2Mask | Button3Mask | ShiftMask | ControlMask | Mod1Mask | Mod4Mask), 0u)
        << std::hex << mask;
    char keys[32];
    XQueryKeymap(desktop.display(), keys);
    for (int keycode = 8; keycode < 256; ++keycode)
        EXPECT_FALSE(keys[keycode / 8] & (1 << (keycode % 8))) << "key " << keycode << " is still down";
}

namespace {
unsigned stateOfNext(X11TestDesktop& desktop, Window w, int type)
{
    const auto event = desktop.nextEvent(w, type);
    EXPECT_TRUE(event.has_value()) << "no event of type " << type;
    return event ? event->xbutton.state : ~0u;
}

// The next press of `keycode` (the window also sees the presses of modifier keys).
std::optional<XEvent> nextPressOf(X11TestDesktop& desktop, Window w, unsigned keycode)
{
    while (const auto event = desktop.nextEvent(w, KeyPress)) {
        if (event->xkey.keycode == keycode)
            return event;
    }
    ADD_FAILURE() << "no press of key " << keycode;
    return std::nullopt;
}

// Switches the test display to a keyboard layout for one test, and back.
class SwitchedLayout
{
public:
    explicit SwitchedLayout(const char* layout)
    {
        m_ok = std::system((std::string("setxkbmap ") + layout).c_str()) == 0;
    }
    ~SwitchedLayout() { std::system("setxkbmap us"); }
    bool ok() const { return m_ok; }

private:
    bool m_ok = false;
};
} // namespace

TEST_F(X11PlaybackTest, ModifiersOfAKeyActionAreLetGoBeforeTheNextMouseAction)
{
    const Window w = desktop.createWindow("QuilloReplayModifiers");
    ASSERT_TRUE(desktop.activate(w));
    desktop.watch(w, KeyPressMask | ButtonPressMask);
    Macro macro;
    macro.id = QUuid::createUuid();
    macro.actions = {
        // What a recording started with Super+R used to begin with, then a click.
        A::keyUp(0.01, 15, ModifierFlags::command),
        A::mouseDown(0.02, 200, 200, MouseButton::left), A::mouseUp(0.03, 200, 200, MouseButton::left),
        // Shift+C, then a click.
        A::keyDown(0.04, 8, ModifierFlags::shift), A::keyUp(0.05, 8, ModifierFlags::shift),
        A::mouseDown(0.06, 200, 200, MouseButton::left), A::mouseUp(0.07, 200, 200, MouseButton::left),
    };
    ASSERT_TRUE(playToEnd(macro));
    desktop.sync();
    EXPECT_EQ(stateOfNext(desktop, w, ButtonPress) & Mod4Mask, 0u);
    const auto c = nextPressOf(desktop, w, 46 + 8);
    EXPECT_TRUE(c && (c->xkey.state & ShiftMask)); // the C had its Shift
    EXPECT_EQ(stateOfNext(desktop, w, ButtonPress) & (ShiftMask | Mod4Mask), 0u);
}

TEST_F(X11PlaybackTest, AltGrOnAGermanKeyboardIsRecordedAndReplayed)
{
    SwitchedLayout german("de");
    ASSERT_TRUE(german.ok()) << "setxkbmap de failed";
    const Window w = desktop.createWindow("QuilloReplayAltGr");
    ASSERT_TRUE(desktop.activate(w));
    const unsigned altGr = XKeysymToKeycode(desktop.display(), XK_ISO_Level3_Shift);
    const unsigned q = XKeysymToKeycode(desktop.display(), XK_q);
    ASSERT_NE(altGr, 0u);

    X11InputTap tap(clock);
    X11Workspace workspace;
    RecorderService recorder(tap, workspace, clock);
    recorder.startRecording();
    desktop.key(altGr, true);
    desktop.tap(q);
    desktop.key(altGr, false);
    desktop.sync();
    std::vector<MacroAction> recorded;
    for (const MacroAction& a : recorder.stopRecording())
        if (a.type() != ActionType::windowFocus)
            recorded.push_back(a);
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].payload, A::Payload(A::KeyDown{12, ModifierFlags::option | 0x40}));

    desktop.watch(w, KeyPressMask);
    Macro macro;
    macro.id = QUuid::createUuid();
    macro.actions = recorded;
    ASSERT_TRUE(playToEnd(macro));
    desktop.sync();
    const auto press = nextPressOf(desktop, w, q);
    ASSERT_TRUE(press.has_value());
    EXPECT_EQ(X11TestDesktop::typed(press->xkey), "@");
}

TEST_F(X11PlaybackTest, AnyScrollDeltaIsCutToTheClickLimit)
{
    const Window w = desktop.createWindow("QuilloReplayWheel");
    ASSERT_TRUE(desktop.activate(w));
    desktop.watch(w, ButtonPressMask);
    SyntheticEvent scroll{RawEventType::scrollWheel, 200, 200};
    scroll.wheel1 = std::numeric_limits<std::int32_t>::min();
    poster.prepare();
    ASSERT_TRUE(poster.post(scroll));
    desktop.sync();
    int clicks = 0;
    while (desktop.nextEvent(w, ButtonPress, 200))
        ++clicks;
    EXPECT_EQ(clicks, X11EventPoster::maxWheelClicks);
}

TEST_F(X11PlaybackTest, KeysAreNamedAfterTheCurrentLayout)
{
    X11KeyboardLayout names;
    EXPECT_EQ(names.keyName(4), QStringLiteral("H"));
    EXPECT_EQ(names.keyName(16), QStringLiteral("Y"));
    EXPECT_EQ(names.keyName(36), QStringLiteral("Return"));
    EXPECT_EQ(names.keyName(51), QStringLiteral("Backspace"));
    EXPECT_EQ(names.keyName(52), QString()); // no such key
    SwitchedLayout german("de");
    ASSERT_TRUE(german.ok());
    QThread::msleep(1100); // past the names' one-second memory
    EXPECT_EQ(names.keyName(16), QStringLiteral("Z")); // the key right of T
    EXPECT_EQ(names.keyName(6), QStringLiteral("Y"));
    EXPECT_EQ(names.keyName(41), QStringLiteral("\u00d6"));
}

TEST_F(X11PlaybackTest, ModifierClicksDragsAndWheelsComeBackWithTheirModifiers)
{
    X11InputTap tap(clock);
    X11Workspace workspace;
    RecorderService recorder(tap, workspace, clock);
    const Window w = desktop.createWindow("QuilloModifierClicks");
    ASSERT_TRUE(desktop.activate(w));
    desktop.watch(w, ButtonPressMask);
    constexpr std::uint64_t shift = ModifierFlags::shift, control = ModifierFlags::control, alt = ModifierFlags::option;
    Macro macro;
    macro.id = QUuid::createUuid();
    macro.actions = {
        A::mouseDown(0.05, 200, 200, MouseButton::left, shift), A::mouseUp(0.07, 200, 200, MouseButton::left, shift),
        A::mouseDown(0.10, 210, 200, MouseButton::left), A::mouseUp(0.12, 210, 200, MouseButton::left),
        A::scroll(0.15, 210, 200, 0, 1, control),
        // Alt+drag (the window manager takes it to move the window; the recording still sees it).
        A::mouseDown(0.20, 220, 210, MouseButton::left, alt), A::mouseDrag(0.25, 260, 230, MouseButton::left, alt),
        A::mouseUp(0.30, 260, 230, MouseButton::left, alt),
        A::mouseDown(0.35, 200, 200, MouseButton::right), A::mouseUp(0.37, 200, 200, MouseButton::right),
    };
    recorder.startRecording();
    ASSERT_TRUE(playToEnd(macro));
    desktop.sync();
    X11TestDesktop::waitFor([] { return false; }, 100);
    std::vector<MacroAction> recorded = recorder.stopRecording();

    // What the window received: Shift with the first click, nothing with the second,
    // Control with the wheel.
    EXPECT_EQ(stateOfNext(desktop, w, ButtonPress) & (ShiftMask | ControlMask | Mod1Mask), unsigned(ShiftMask));
    EXPECT_EQ(stateOfNext(desktop, w, ButtonPress) & (ShiftMask | ControlMask | Mod1Mask), 0u);
    const auto wheel = desktop.nextEvent(w, ButtonPress);
    ASSERT_TRUE(wheel);
    EXPECT_EQ(wheel->xbutton.button, 4u);
    EXPECT_EQ(wheel->xbutton.state & (ShiftMask | ControlMask | Mod1Mask), unsigned(ControlMask));

    // And the recording of the replay holds the same actions, modifiers included.
    // (Moving to each new place is recorded as a move of its own.)
    std::erase_if(recorded, [](const MacroAction& a) {
        return a.type() == ActionType::windowFocus || a.type() == ActionType::mouseMove;
    });
    ASSERT_EQ(recorded.size(), macro.actions.size()) << [&] {
        std::string all;
        for (const auto& a : recorded)
            all += a.displayName().toStdString() + "\n";
        return all;
    }();
    for (std::size_t i = 0; i < recorded.size(); ++i)
        EXPECT_EQ(recorded[i].payload, macro.actions[i].payload)
            << i << ": recorded " << recorded[i].displayName().toStdString() << " flags " << recorded[i].mouseFlags();
}

TEST_F(X11PlaybackTest, WaitingForEachApplicationWaitsForALateWindowAndStopsForAMissingOne)
{
    const Window other = desktop.createWindow("QuilloWaitOther");
    ASSERT_TRUE(desktop.activate(other));
    desktop.watch(other, KeyPressMask);
    Macro macro;
    macro.id = QUuid::createUuid();
    macro.actions = {A::windowFocus(0.05, QStringLiteral("QuilloWaitLate"), QStringLiteral("Late")),
                     A::keyDown(0.10, 0, 0), A::keyUp(0.12, 0, 0)};
    PlaybackOptions wait;
    wait.waitForApplications = 5;

    // The application appears a second after its switch is due: the keys wait for it.
    Window late = 0;
    QTimer::singleShot(1000, [&] {
        late = desktop.createWindow("QuilloWaitLate");
        desktop.watch(late, KeyPressMask);
    });
    QString waitedFor;
    QObject::connect(&playback, &PlaybackService::waitingForChanged, [&] {
        if (!playback.waitingFor().isEmpty())
            waitedFor = playback.waitingFor();
    });
    QElapsedTimer elapsed;
    elapsed.start();
    playback.play(macro, wait);
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return !playback.isBusy(); }, 10000));
    EXPECT_GE(elapsed.elapsed(), 1000);
    EXPECT_EQ(waitedFor, QStringLiteral("Late"));
    ASSERT_NE(late, 0u);
    desktop.sync();
    EXPECT_TRUE(nextPressOf(desktop, late, 38)) << "the A went elsewhere";

    // An application that never comes: the playback stops and says which; no key is typed.
    ASSERT_TRUE(desktop.activate(other));
    macro.actions[0] = A::windowFocus(0.05, QStringLiteral("QuilloWaitNever"), QStringLiteral("Never There"));
    wait.waitForApplications = 1;
    QString failure;
    QObject::connect(&playback, &PlaybackService::failed, [&](const QString& m) { failure = m; });
    ASSERT_TRUE(playToEndWith(macro, wait));
    EXPECT_TRUE(failure.startsWith(QStringLiteral("Never There is not running or did not come to the front within 1 s")))
        << failure.toStdString();
    desktop.sync();
    EXPECT_FALSE(desktop.nextEvent(other, KeyPress, 300)) << "a key was typed although the application never came";
}

TEST_F(X11PlaybackTest, TypedTextArrivesExactlyInTheUsAndTheGermanLayout)
{
    const Window w = desktop.createWindow("QuilloTypedText");
    ASSERT_TRUE(desktop.activate(w));
    desktop.watch(w, KeyPressMask);
    // What the window reads from its key presses (modifier keys type nothing).
    auto readBack = [&] {
        std::u32string text;
        while (const auto event = desktop.nextEvent(w, KeyPress, 300)) {
            XKeyEvent key = event->xkey;
            char ignored[16];
            KeySym sym = NoSymbol;
            XLookupString(&key, ignored, sizeof ignored, &sym, nullptr);
            if (sym == XK_Return)
                text += U'\n';
            else if (const char32_t c = xkb_keysym_to_utf32(xkb_keysym_t(sym)))
                text += c;
        }
        return QString::fromStdU32String(text);
    };
    auto typeIn = [&](const QString& text) {
        X11KeyboardLayout layout;
        const auto actions = TextTyping::actionsFor(text, layout, 0.01);
        if (!actions.hasValue())
            return QStringLiteral("refused: ") + actions.error();
        Macro macro;
        macro.id = QUuid::createUuid();
        macro.actions = actions.value();
        if (!playToEnd(macro))
            return QStringLiteral("the playback did not end");
        desktop.sync();
        return readBack();
    };

    const QString us = QStringLiteral("Hello, World! 42 @{[|]}~ \"quoted\"\n");
    EXPECT_EQ(typeIn(us), us);
    EXPECT_EQ(typeIn(QStringLiteral("Stra\u00dfe")), QStringLiteral("refused: The keyboard layout has no key for \u201c\u00df\u201d (U+00DF)."));

    SwitchedLayout german("de");
    ASSERT_TRUE(german.ok()) << "setxkbmap de failed";
    // Z and Y swapped, umlauts on their own keys, @ { [ ] } \\ | ~ and the euro with AltGr.
    const QString de = QStringLiteral("Gr\u00fc\u00dfe aus Z\u00fcrich: yz @{[]}\\|~ 5\u20ac!\n");
    EXPECT_EQ(typeIn(de), de);
    EXPECT_TRUE(typeIn(QStringLiteral("x^")).startsWith(QStringLiteral("refused: The keyboard layout has no key for \u201c^\u201d")));
}

TEST_F(X11PlaybackTest, AnEditedRecordingReplaysEveryUntouchedGapAsRecorded)
{
    X11InputTap tap(clock);
    X11Workspace workspace;
    RecorderService recorder(tap, workspace, clock);
    const Window w = desktop.createWindow("QuilloEditedReplay");
    ASSERT_TRUE(desktop.activate(w));
    auto recordKeys = [&](const Macro& played) {
        recorder.startRecording();
        const bool ended = playToEnd(played);
        desktop.sync();
        X11TestDesktop::waitFor([] { return false; }, 50);
        std::vector<MacroAction> keys;
        for (const MacroAction& a : recorder.stopRecording())
            if (a.type() == ActionType::keyDown || a.type() == ActionType::keyUp)
                keys.push_back(a);
        EXPECT_TRUE(ended);
        return keys;
    };

    // Someone types "asdfh" quickly: 21 ms presses, one release and press in the same ms.
    Macro typing;
    typing.id = QUuid::createUuid();
    typing.actions = {A::keyDown(0.000, 0, 0), A::keyUp(0.021, 0, 0), A::keyDown(0.021, 1, 0), A::keyUp(0.055, 1, 0),
                      A::keyDown(0.090, 2, 0), A::keyUp(0.103, 2, 0), A::keyDown(0.180, 3, 0), A::keyUp(0.201, 3, 0),
                      A::keyDown(0.230, 4, 0), A::keyUp(0.262, 4, 0)};
    const std::vector<MacroAction> r = recordKeys(typing);
    ASSERT_EQ(r.size(), 10u);
    auto at = [&](int i) { return r[std::size_t(i)].timestamp; };

    // Delete "s", a 150 ms pause after "d", then "h" moved to the front.
    Macro edited;
    edited.id = QUuid::createUuid();
    edited.actions = r;
    ActionRetiming::deleteActions(edited.actions, {2, 3});
    ActionRetiming::insertDelay(edited.actions, 3, 0.150);
    ActionRetiming::moveActions(edited.actions, {7, 8}, 0);
    ASSERT_EQ(edited.actions.size(), 9u);
    const auto& e = edited.actions;
    // The edited list keeps every gap nothing touched, to the recorded microsecond.
    EXPECT_NEAR(e[1].timestamp - e[0].timestamp, at(9) - at(8), 1e-9); // h
    EXPECT_NEAR(e[3].timestamp - e[2].timestamp, at(1) - at(0), 1e-9); // a
    EXPECT_NEAR(e[4].timestamp - e[3].timestamp, at(4) - at(1), 1e-9); // a to d, across the deleted s
    EXPECT_NEAR(e[5].timestamp - e[4].timestamp, at(5) - at(4), 1e-9); // d
    EXPECT_NEAR(e[7].timestamp - e[5].timestamp, at(6) - at(5) + 0.150, 1e-9); // d to f, the pause between
    EXPECT_NEAR(e[8].timestamp - e[7].timestamp, at(7) - at(6), 1e-9); // f

    // And so does its replay, as the X server stamps it (whole milliseconds).
    const std::vector<MacroAction> back = recordKeys(edited);
    std::vector<MacroAction> expected;
    for (const MacroAction& a : edited.actions)
        if (a.type() != ActionType::delay)
            expected.push_back(a);
    ASSERT_EQ(back.size(), expected.size());
    for (std::size_t i = 0; i < back.size(); ++i)
        EXPECT_EQ(back[i].payload, expected[i].payload) << i;
    expectOnSchedule(back, expected);
}
