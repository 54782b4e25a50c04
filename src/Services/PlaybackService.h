#pragma once

#include "Models/Macro.h"
#include "Models/PlaybackOptions.h"
#include "Models/PlaybackState.h"
#include "Platform/Clock.h"
#include "Platform/EventPoster.h"
#include "Platform/ScreenCapture.h"
#include "Platform/Sleeper.h"
#include "Services/PlaybackEngine.h"
#include "Services/Screen/WorkspaceWindowWatch.h"

#include <QObject>
#include <memory>

// Replays one macro at a time on a playback thread of its own, so that a busy main
// thread never delays an event. `state` and `progress` are published on the main thread.
class PlaybackService : public QObject
{
    Q_OBJECT
public:
    PlaybackService(EventPoster& poster, const Clock& clock, Sleeper& sleeper,
                    QObject* parent = nullptr);
    ~PlaybackService() override;

    const PlaybackState& state() const { return m_state; }
    double progress() const { return m_progress; }
    // When the current loop began, in seconds on the playback clock; 0 when idle.
    double loopStartInstant() const { return m_loopStartInstant; }
    // The application a playback waits to see in front ("Waiting for NAME…"), or empty.
    const QString& waitingFor() const { return m_waitingFor; }
    // A playback runs or waits for its initial delay.
    bool isBusy() const { return m_session != nullptr || m_state.isBusy(); }
    // Whether the last playback was ended by stop() (a hotkey, a button, the menu) rather
    // than playing out.
    bool wasStopped() const { return m_stopped; }

    // Starts a playback unless one runs (or waits) already or isPlayable() says no.
    // Returns at once.
    void play(const Macro& macro, const PlaybackOptions& options);
    // Where presses that carry a picture look for it (see PlaybackEngine); none: they
    // cannot wait for the screen.
    void setScreenCapture(ScreenCapture* capture) { m_capture = capture; }
    // Where steps that wait for a window read the desktop's windows (watched only while a
    // playback with such steps runs); none: those steps cannot run.
    void setWorkspace(Workspace* workspace);
    // Where the screen is saved when a wait for it runs out (beside what was looked for):
    // by default "Quillo/screens" in the user's cache folder.
    void setScreenFolder(const QString& folder) { m_screenFolder = folder; }
    static QString defaultScreenFolder();
    // How the last playback that stopped on its own failed (what `failed` said, in parts).
    struct Failure {
        PlaybackEngine::FailureKind kind = PlaybackEngine::FailureKind::none;
        int step = 0;
        QString where;      // the application of the press, or empty
        double seconds = 0; // how long it waited
        QString screenPath; // the screen at that moment and what was looked for, when saved
        QString picturePath;
    };
    const Failure& lastFailure() const { return m_lastFailure; }
    // Quillo's own application id: switches to it are not replayed (see PlaybackEngine).
    void setOwnApplicationId(const QString& id) { m_ownApplicationId = id; }
    // The macro has actions, the speed is a finite number above 0, and the delays are
    // finite and not negative.
    static bool isPlayable(const Macro& macro, const PlaybackOptions& options);
    // Ends the playback: when it returns, keys and buttons the macro held are released
    // and nothing more is posted; `state` is idle and `progress` 0.
    void stop();

Q_SIGNALS:
    void stateChanged();
    void progressChanged();
    // A playback that play() started has ended: played out, stopped or cancelled.
    void finished();
    void waitingForChanged();
    // A playback stopped on its own: `message` says why (just before `finished`): the
    // application it waited for `seconds` did not come to the front, or (`application`
    // empty) what was on the screen at recording did not appear; then the message names
    // the files that show the screen at that moment and what was looked for.
    void failed(const QString& message, const QString& application, double seconds);

private:
    class Session;

    void publish(quint64 sessionId);
    void sessionEnded(quint64 sessionId);
    void endSession();
    void setState(const PlaybackState& state);
    void setProgress(double progress);
    void setWaitingFor(const QString& appName);
    // Writes the two pictures of a wait that ran out (their paths into m_lastFailure); the
    // sentence that names them.
    QString saveScreens(const ScreenImage& screen, const ScreenImage& picture);

    EventPoster& m_poster;
    const Clock& m_clock;
    Sleeper& m_sleeper;
    std::unique_ptr<Session> m_session;
    quint64 m_lastSessionId = 0;
    PlaybackState m_state;
    double m_progress = 0;
    double m_loopStartInstant = 0;
    QString m_waitingFor;
    bool m_stopped = false;
    QString m_ownApplicationId;
    ScreenCapture* m_capture = nullptr;
    std::unique_ptr<WorkspaceWindowWatch> m_windowWatch;
    bool m_readingScreen = false;
    QString m_screenFolder = defaultScreenFolder();
    Failure m_lastFailure;
};
