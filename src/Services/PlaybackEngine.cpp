#include "Services/PlaybackEngine.h"

#include "Codec/PngCodec.h"
#include "Services/Screen/PictureSearch.h"
#include "Services/Screen/ScreenWaitCheck.h"
#include "Models/Overloaded.h"
#include "Services/Screen/ImageMatcher.h"

#include <algorithm>
#include <cmath>

PlaybackEngine::PlaybackEngine(const Clock& clock, Sleeper& sleeper, EventPoster& poster)
    : m_clock(clock), m_sleeper(sleeper), m_poster(poster)
{
}

qint64 PlaybackEngine::totalLoops(const PlaybackOptions& options)
{
    if (options.isInfinite)
        return std::numeric_limits<qint64>::max();
    return std::max<qint64>(options.loopCount, 1);
}

std::optional<SyntheticEvent> PlaybackEngine::eventFor(const MacroAction& action)
{
    using A = MacroAction;
    using T = RawEventType;
    auto mouse = [](T left, T right, T other, double x, double y, MouseButton button, std::uint64_t flags) {
        SyntheticEvent e;
        e.x = x;
        e.y = y;
        e.flags = flags;
        switch (button) {
        case MouseButton::left:
            e.type = left;
            e.button = 0;
            break;
        case MouseButton::right:
            e.type = right;
            e.button = 1;
            break;
        case MouseButton::middle:
            e.type = other;
            e.button = 2;
            break;
        }
        return std::optional<SyntheticEvent>(e);
    };
    return std::visit(
        Overloaded{
            [](const A::KeyDown& k) {
                return std::optional<SyntheticEvent>(SyntheticEvent{T::keyDown, 0, 0, k.keyCode, k.flags});
            },
            [](const A::KeyUp& k) {
                return std::optional<SyntheticEvent>(SyntheticEvent{T::keyUp, 0, 0, k.keyCode, k.flags});
            },
            [](const A::MouseMove& m) {
                return std::optional<SyntheticEvent>(SyntheticEvent{T::mouseMoved, m.x, m.y});
            },
            [&](const A::MouseDown& m) {
                return mouse(T::leftMouseDown, T::rightMouseDown, T::otherMouseDown, m.x, m.y, m.button, m.flags);
            },
            [&](const A::MouseUp& m) {
                return mouse(T::leftMouseUp, T::rightMouseUp, T::otherMouseUp, m.x, m.y, m.button, m.flags);
            },
            [&](const A::MouseDrag& m) {
                return mouse(T::leftMouseDragged, T::rightMouseDragged, T::otherMouseDragged, m.x, m.y,
                             m.button, m.flags);
            },
            [](const A::Scroll& s) {
                SyntheticEvent e{T::scrollWheel, s.x, s.y};
                e.flags = s.flags;
                e.wheel1 = s.deltaY;
                e.wheel2 = s.deltaX;
                return std::optional<SyntheticEvent>(e);
            },
            [](const A::WindowFocus&) { return std::optional<SyntheticEvent>(); },
            [](const A::Delay&) { return std::optional<SyntheticEvent>(); },
            [](const A::Wait&) { return std::optional<SyntheticEvent>(); },
            [](const A::Unknown&) { return std::optional<SyntheticEvent>(); }, // skipped
        },
        action.payload);
}

bool PlaybackEngine::isOwnApplication(const MacroAction::WindowFocus& focus) const
{
    return !m_ownApplicationId.isEmpty() && focus.bundleID() == m_ownApplicationId;
}

void PlaybackEngine::cancel()
{
    m_cancelled = true;
    m_sleeper.wake();
}

bool PlaybackEngine::sleepUntil(double deadline)
{
    if (m_cancelled)
        return false;
    if (deadline > m_clock.now() && !m_sleeper.sleepUntil(deadline))
        return false;
    return !m_cancelled;
}

void PlaybackEngine::post(const MacroAction& action, QPointF shift)
{
    if (const auto* focus = std::get_if<MacroAction::WindowFocus>(&action.payload)) {
        if (!isOwnApplication(*focus)) {
            m_poster.activateApplication(focus->bundleID());
            m_lastApplication = focus->appName().isEmpty() ? focus->bundleID() : focus->appName();
        }
        return;
    }
    std::optional<SyntheticEvent> event = eventFor(action);
    if (!event)
        return;
    // A press goes where its picture was found; its drags and its release follow it.
    using A = MacroAction;
    const std::size_t button = std::size_t(event->button);
    const bool released = std::holds_alternative<A::MouseUp>(action.payload);
    if (std::holds_alternative<A::MouseDown>(action.payload))
        m_buttonShift[button] = shift;
    else if (released || std::holds_alternative<A::MouseDrag>(action.payload))
        shift = m_buttonShift[button];
    event->x += shift.x();
    event->y += shift.y();
    if (released)
        m_buttonShift[button] = {};
    if (!m_poster.post(*event))
        return;
    switch (event->type) {
    case RawEventType::keyDown:
        if (std::find(m_heldKeys.begin(), m_heldKeys.end(), event->keyCode) == m_heldKeys.end())
            m_heldKeys.push_back(event->keyCode);
        return;
    case RawEventType::keyUp:
        std::erase(m_heldKeys, event->keyCode);
        return;
    case RawEventType::leftMouseDown:
    case RawEventType::rightMouseDown:
    case RawEventType::otherMouseDown:
        m_heldButtons[std::size_t(event->button)] = true;
        break;
    case RawEventType::leftMouseUp:
    case RawEventType::rightMouseUp:
    case RawEventType::otherMouseUp:
        m_heldButtons[std::size_t(event->button)] = false;
        break;
    default:
        break;
    }
    m_pointerX = event->x;
    m_pointerY = event->y;
}

void PlaybackEngine::releaseHeld()
{
    for (const std::uint16_t key : m_heldKeys)
        m_poster.post(SyntheticEvent{RawEventType::keyUp, 0, 0, key, 0});
    m_heldKeys.clear();
    constexpr RawEventType ups[] = {RawEventType::leftMouseUp, RawEventType::rightMouseUp,
                                    RawEventType::otherMouseUp};
    for (int b = 0; b < 3; ++b) {
        if (!m_heldButtons[std::size_t(b)])
            continue;
        SyntheticEvent up{ups[b], m_pointerX, m_pointerY};
        up.button = b;
        m_poster.post(up);
        m_heldButtons[std::size_t(b)] = false;
    }
    m_poster.releaseModifiers();
}

bool PlaybackEngine::run(const Macro& macro, const PlaybackOptions& options, Listener& listener)
{
    m_heldKeys.clear();
    m_heldButtons.fill(false);
    m_failure.reset();
    m_failedApplication.clear();
    m_failedWaitSeconds = 0;
    m_failureKind = FailureKind::none;
    m_failedStep = 0;
    m_failedWhere.clear();
    m_failedScreen = {};
    m_failedPicture = {};
    m_pictures.clear();
    m_buttonShift.fill({});
    m_lastApplication.clear();
    if (!screenReadable(macro, options))
        return false;
    m_poster.prepare();
    if (options.initialDelay > 0 && !sleepUntil(m_clock.now() + options.initialDelay))
        return false;
    const std::size_t count = macro.actions.size();
    if (count == 0)
        return !m_cancelled;

    const qint64 loops = totalLoops(options);
    const double speed = options.speedMultiplier;
    for (qint64 loop = 1; loop <= loops && !m_cancelled && !m_failure; ++loop) {
        double loopStart = m_clock.now();
        listener.loopStarted(loop, loops, loopStart);
        for (std::size_t i = 0; i < count; ++i) {
            const MacroAction& action = macro.actions[i];
            const double offset = options.delayOverride ? *options.delayOverride * double(i) : action.timestamp;
            if (!sleepUntil(loopStart + offset / speed))
                break;
            QPointF shift;
            const auto* down = std::get_if<MacroAction::MouseDown>(&action.payload);
            if (down && down->sight && options.waitForScreen > 0) {
                // Like an application switch, a checkpoint: the rest keeps its spacing
                // from the moment the picture was there.
                const double waitStart = m_clock.now();
                const std::optional<QPointF> found = waitForSight(*down->sight.get(), i, options.waitForScreen);
                if (!found)
                    break;
                shift = *found;
                loopStart += m_clock.now() - waitStart;
            }
            if (const auto* wait = std::get_if<MacroAction::Wait>(&action.payload);
                wait && (options.waitForScreen > 0 || !readsScreen(action))) {
                const double waitStart = m_clock.now();
                if (!waitStep(wait->get(), i, listener))
                    break;
                loopStart += m_clock.now() - waitStart;
            }
            post(action, shift);
            const auto* focus = std::get_if<MacroAction::WindowFocus>(&action.payload);
            if (focus && options.waitForApplications > 0 && !isOwnApplication(*focus)) {
                // A checkpoint: what follows waits for the application, and the rest of
                // the loop keeps its spacing from the moment it came to the front.
                const double waitStart = m_clock.now();
                if (!waitForFront(*focus, options.waitForApplications, listener))
                    break;
                loopStart += m_clock.now() - waitStart;
            }
            listener.progressed(double(i + 1) / double(count));
        }
    }
    releaseHeld();
    return !m_cancelled && !m_failure;
}

bool PlaybackEngine::waitForFront(const MacroAction::WindowFocus& focus, double seconds, Listener& listener)
{
    const double deadline = m_clock.now() + seconds;
    double activated = m_clock.now();
    bool said = false;
    for (;;) {
        const std::optional<QString> front = m_poster.frontmostApplicationId();
        if (!front || *front == focus.bundleID())
            break; // in front, or the poster cannot tell: go on as without the option
        if (m_clock.now() >= deadline) {
            if (said)
                listener.waitingFor({});
            const QString name = focus.appName().isEmpty() ? focus.bundleID() : focus.appName();
            m_failedApplication = name;
            m_failureKind = FailureKind::application;
            m_failedWaitSeconds = seconds;
            m_failure = QStringLiteral("%1 is not running or did not come to the front within %2 s; the playback "
                                       "stopped and let go of every key and button.")
                            .arg(name)
                            .arg(seconds);
            return false;
        }
        if (!said) {
            listener.waitingFor(focus.appName().isEmpty() ? focus.bundleID() : focus.appName());
            said = true;
        }
        // An application that has just started may take a moment to take activation.
        if (m_clock.now() - activated >= 0.5) {
            m_poster.activateApplication(focus.bundleID());
            activated = m_clock.now();
        }
        if (!sleepUntil(std::min(deadline, m_clock.now() + frontmostPollInterval)))
            return false;
    }
    if (said)
        listener.waitingFor({});
    return !m_cancelled;
}

bool PlaybackEngine::readsScreen(const MacroAction& action)
{
    if (const auto* down = std::get_if<MacroAction::MouseDown>(&action.payload))
        return bool(down->sight);
    const auto* wait = std::get_if<MacroAction::Wait>(&action.payload);
    return wait && wait->get().kind != ScreenWait::Kind::window;
}

bool PlaybackEngine::screenReadable(const Macro& macro, const PlaybackOptions& options)
{
    // A wait for a window needs a desktop that says which windows are open, blind or not.
    for (std::size_t i = 0; i < macro.actions.size(); ++i) {
        const auto* wait = std::get_if<MacroAction::Wait>(&macro.actions[i].payload);
        if (wait && wait->get().kind == ScreenWait::Kind::window && (!m_windows || !m_windows->windows())) {
            m_failure = QStringLiteral("Step %1 waits for a window, but this desktop does not say which windows "
                                       "are open; the playback did not start.")
                            .arg(i + 1);
            m_failureKind = FailureKind::windowsUnknown;
            m_failedStep = int(i + 1);
            return false;
        }
    }
    if (options.waitForScreen <= 0)
        return true;
    const auto first = std::find_if(macro.actions.begin(), macro.actions.end(), readsScreen);
    if (first == macro.actions.end())
        return true;
    QRectF area(0, 0, 1, 1);
    if (const auto* down = std::get_if<MacroAction::MouseDown>(&first->payload))
        area = down->sight->area;
    else if (const auto* wait = std::get_if<MacroAction::Wait>(&first->payload); !wait->get().area.isEmpty())
        area = wait->get().area;
    const QString blind = QStringLiteral(
        "The clicks of this macro wait for what was on the screen when it was recorded, but %1. Turn off waiting for "
        "the screen to replay it blind.");
    if (!m_capture) {
        m_failure = blind.arg(QStringLiteral("the screen of this desktop cannot be read"));
        m_failureKind = FailureKind::screenUnreadable;
        return false;
    }
    if (auto tried = m_capture->capture(area); !tried) {
        m_failure = blind.arg(tried.error().description());
        m_failureKind = FailureKind::screenUnreadable;
        return false;
    }
    return true;
}

std::optional<QPointF> PlaybackEngine::look(const ScreenImage& picture, const ClickSight& sight, ScreenImage* screenSeen)
{
    // Around where it was, then in the window it was in (wherever that is now), then
    // anywhere.
    PictureSearch::Where where;
    if (m_windows && !sight.windowApp.isEmpty())
        if (const auto windows = m_windows->windows())
            for (const DesktopWindow& window : *windows)
                if (window.appName == sight.windowApp && !window.area.isEmpty() && (!where.within || window.front))
                    where.within = window.area;
    return PictureSearch::find(*m_capture, picture, sight.threshold, where, screenSeen);
}

bool PlaybackEngine::pictureAt(std::size_t step, const QByteArray& png, const QRectF& area, const QString& what,
                               const QString& where)
{
    ScreenImage& picture = m_pictures[step];
    if (!picture.isNull())
        return true;
    auto decoded = PngCodec::decode(png, area, ClickSight::maxSide);
    if (!decoded) {
        m_failure = QStringLiteral("Step %1 (%2): the picture it waits for cannot be read (%3); the playback "
                                   "stopped and let go of every key and button.")
                        .arg(step + 1)
                        .arg(what, decoded.error());
        m_failureKind = FailureKind::pictureUnreadable;
        m_failedStep = int(step + 1);
        m_failedWhere = where;
        return false;
    }
    picture = std::move(decoded).value();
    return true;
}

bool PlaybackEngine::waitStep(const ScreenWait& wait, std::size_t step, Listener& listener)
{
    const QString what = MacroAction::wait(0, wait).displayName();
    if (wait.kind == ScreenWait::Kind::image && !pictureAt(step, wait.png, wait.area, what, what))
        return false;
    ScreenWaitCheck check(wait, m_capture, m_windows, wait.kind == ScreenWait::Kind::image ? &m_pictures[step] : nullptr);
    const double deadline = m_clock.now() + wait.timeout;
    for (;;) {
        const bool so = check.look(m_clock.now());
        if (m_cancelled)
            return false;
        if (so)
            return true;
        if (check.wantsAnotherLookNow())
            continue;
        if (m_clock.now() >= deadline)
            break;
        if (!sleepUntil(std::min(deadline, m_clock.now() + screenPollInterval)))
            return false;
    }
    if (!wait.stopOnTimeout) {
        listener.note(QStringLiteral("Step %1 (%2) waited %3 s in vain; the playback went on.")
                          .arg(step + 1)
                          .arg(what)
                          .arg(wait.timeout));
        return true;
    }
    if (wait.kind == ScreenWait::Kind::image) {
        m_failedScreen = std::move(check.lastScreen());
        m_failedPicture = m_pictures[step];
    }
    m_failedWaitSeconds = wait.timeout;
    m_failureKind = FailureKind::waitRanOut;
    m_failedStep = int(step + 1);
    m_failedWhere = what;
    m_failure = QStringLiteral("Step %1 (%2) waited %3 s; the playback stopped and let go of every key and button.")
                    .arg(step + 1)
                    .arg(what)
                    .arg(wait.timeout);
    return false;
}

std::optional<QPointF> PlaybackEngine::waitForSight(const ClickSight& sight, std::size_t step, double seconds)
{
    const QString app = !sight.windowApp.isEmpty() ? sight.windowApp : m_lastApplication;
    const QString where = app.isEmpty() ? QStringLiteral("a click") : QStringLiteral("a click in %1").arg(app);
    if (!pictureAt(step, sight.png, sight.area, where, app))
        return std::nullopt;
    const ScreenImage& picture = m_pictures[step];
    const double deadline = m_clock.now() + seconds;
    std::optional<QPointF> previous;
    ScreenImage seen;
    for (;;) {
        const std::optional<QPointF> at = look(picture, sight, &seen);
        if (m_cancelled)
            return std::nullopt;
        // There and steady: the same place in two looks in a row.
        if (at && previous && std::abs(at->x() - previous->x()) <= 1 && std::abs(at->y() - previous->y()) <= 1)
            return *at - picture.area.topLeft();
        const bool lookAgainAtOnce = at && !previous;
        previous = at;
        if (lookAgainAtOnce)
            continue;
        if (m_clock.now() >= deadline) {
            m_failedScreen = std::move(seen);
            m_failedPicture = picture;
            m_failedWaitSeconds = seconds;
            m_failureKind = FailureKind::screenNotThere;
            m_failedStep = int(step + 1);
            m_failedWhere = app;
            m_failure = QStringLiteral("Step %1 (%2) waited %3 s for what was on the screen when it was recorded; "
                                       "the playback stopped and let go of every key and button.")
                            .arg(step + 1)
                            .arg(where)
                            .arg(seconds);
            return std::nullopt;
        }
        if (!sleepUntil(std::min(deadline, m_clock.now() + screenPollInterval)))
            return std::nullopt;
    }
}
