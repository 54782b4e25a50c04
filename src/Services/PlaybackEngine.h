#pragma once

#include "Models/Macro.h"
#include "Models/PlaybackOptions.h"
#include "Platform/Clock.h"
#include "Platform/EventPoster.h"
#include "Platform/ScreenCapture.h"
#include "Platform/Sleeper.h"
#include "Platform/WindowWatch.h"

#include <QPointF>
#include <array>
#include <atomic>
#include <map>
#include <optional>
#include <vector>

// The timing of a playback: posts each action of each loop at its due instant (the
// loop's start plus the action's offset divided by the speed), never early, and never
// accumulating the error of one wait into the next. Runs on the calling thread with the
// clock, sleeper and poster it is given, so tests drive it on virtual time.
//
// Keeps a ledger of the keys and buttons the macro pressed and has not released, and
// releases them (and any modifier the poster pressed) whenever the playback ends.
class PlaybackEngine
{
public:
    class Listener
    {
    public:
        virtual ~Listener() = default;
        // `startInstant`: the clock reading every due instant of this loop counts from.
        virtual void loopStarted(qint64 loop, qint64 totalLoops, double startInstant) = 0;
        virtual void progressed(double fraction) = 0;
        // Waiting for an application to come to the front (empty: no longer waiting).
        virtual void waitingFor(const QString& appName) { Q_UNUSED(appName); }
        // Something worth a line in the log (a wait that ran out and went on).
        virtual void note(const QString& text) { Q_UNUSED(text); }
    };

    PlaybackEngine(const Clock& clock, Sleeper& sleeper, EventPoster& poster);

    // Where the screen is read for presses that carry what it showed (none: they replay
    // blind).
    void setScreenCapture(ScreenCapture* capture) { m_capture = capture; }
    // Where the windows are read for steps that wait for one (none: such steps cannot run).
    void setWindowWatch(WindowWatch* windows) { m_windows = windows; }

    // Quillo's own application id: a switch to it (a recording made from its window
    // starts with one) neither brings its window forward nor is waited for, since it
    // steps aside while it plays.
    void setOwnApplicationId(const QString& id) { m_ownApplicationId = id; }

    // Steps that read the screen (and so are skipped in a blind replay).
    static bool readsScreen(const MacroAction& action);
    // The loop total for `options`: endless, or the count raised to at least 1.
    static qint64 totalLoops(const PlaybackOptions& options);
    // The event an action posts, or nothing (focus and delay actions post no event).
    static std::optional<SyntheticEvent> eventFor(const MacroAction& action);

    // Plays `macro` to the end or until cancel(); blocks. Waits `options.initialDelay`
    // first. Returns false when cancelled.
    bool run(const Macro& macro, const PlaybackOptions& options, Listener& listener);
    // From any thread: the playback stops before its next event. Once run() has
    // returned, nothing more is posted.
    void cancel();
    // Why the last run stopped on its own (an application that never came to the front).
    const std::optional<QString>& failure() const { return m_failure; }
    // The application it waited for, and how long (for saying it in the user's language).
    const QString& failedApplication() const { return m_failedApplication; }
    double failedWaitSeconds() const { return m_failedWaitSeconds; }
    // How often the frontmost application is asked while waiting for one.
    static constexpr double frontmostPollInterval = 0.02;
    // How often the screen is looked at while waiting for a picture, and how far around
    // its recorded place it is looked for first (then on the whole screen).
    static constexpr double screenPollInterval = 0.05;
    // Why the last run stopped on its own, for saying it in the user's language.
    enum class FailureKind {
        none,
        application,
        screenNotThere,
        screenUnreadable,
        pictureUnreadable,
        waitRanOut,      // a wait step's timeout (failedWhere: what it waited for)
        windowsUnknown,  // a wait for a window on a desktop that does not say
    };
    FailureKind failureKind() const { return m_failureKind; }
    // The step (from 1) and the application of a press whose picture did not come (or
    // what a wait step waited for).
    int failedStep() const { return m_failedStep; }
    const QString& failedWhere() const { return m_failedWhere; }
    // After a wait for the screen that ran out: the screen then, and the picture it
    // looked for (empty otherwise).
    const ScreenImage& failedScreen() const { return m_failedScreen; }
    const ScreenImage& failedPicture() const { return m_failedPicture; }

private:
    bool sleepUntil(double deadline);
    bool isOwnApplication(const MacroAction::WindowFocus& focus) const;
    // Waits until the application of `focus` is in front; false (with m_failure) when it
    // is not within `seconds`, or when cancelled.
    bool waitForFront(const MacroAction::WindowFocus& focus, double seconds, Listener& listener);
    // Before the press at `step`: waits until its picture is on the screen, the same in two
    // looks in a row; how far from its recorded place it is. Nothing (with m_failure)
    // when it is not there within `seconds`, or when cancelled.
    std::optional<QPointF> waitForSight(const ClickSight& sight, std::size_t step, double seconds);
    // One look: where the picture is now, or nothing.
    std::optional<QPointF> look(const ScreenImage& picture, const ClickSight& sight, ScreenImage* screenSeen);
    // A wait step: true when what it waits for came (or it ran out and goes on); false
    // (with m_failure unless cancelled) when the playback stops.
    bool waitStep(const ScreenWait& wait, std::size_t step, Listener& listener);
    // The picture of the press or step at `step`, decoded once; false (with m_failure) when
    // it cannot be read.
    bool pictureAt(std::size_t step, const QByteArray& png, const QRectF& area, const QString& what,
                   const QString& where);

    // Checked before anything is posted: a macro whose presses wait for the screen needs
    // a screen that can be read (otherwise m_failure says so).
    bool screenReadable(const Macro& macro, const PlaybackOptions& options);
    void post(const MacroAction& action, QPointF shift = {});
    void releaseHeld();

    const Clock& m_clock;
    Sleeper& m_sleeper;
    EventPoster& m_poster;
    std::atomic<bool> m_cancelled{false};
    std::optional<QString> m_failure;
    QString m_failedApplication;
    double m_failedWaitSeconds = 0;
    ScreenImage m_failedScreen;
    ScreenImage m_failedPicture;
    FailureKind m_failureKind = FailureKind::none;
    int m_failedStep = 0;
    QString m_failedWhere;
    ScreenCapture* m_capture = nullptr;
    WindowWatch* m_windows = nullptr;
    // The pictures of this run's presses, decoded once, by step.
    std::map<std::size_t, ScreenImage> m_pictures;
    // How far the pressed button's place moved from its recording, per button, until it is
    // released: its drags and its release go where the press went.
    std::array<QPointF, 3> m_buttonShift{};
    // The application last brought to the front (for saying where a press was).
    QString m_lastApplication;

    // What the macro holds down: keys by code, buttons by number, and where the pointer is.
    std::vector<std::uint16_t> m_heldKeys;
    std::array<bool, 3> m_heldButtons{};
    double m_pointerX = 0;
    double m_pointerY = 0;
    QString m_ownApplicationId;
};
