#pragma once

#include "Models/MacroAction.h"
#include "Models/RecordingState.h"
#include "Platform/Clock.h"
#include "Platform/InputTap.h"
#include "Platform/Workspace.h"
#include "Services/EventMonitor/EventMonitorService.h"
#include "Services/EventMonitor/EventParser.h"
#include "Services/RecordingFilter.h"
#include "Services/Screen/PressCamera.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// Runs one recording at a time: every input event from the tap goes through the
// parser, every switch of the frontmost application becomes a focus action, and the
// actions are collected in time order, at most 10,000 of them.
class RecorderService : public QObject
{
    Q_OBJECT
public:
    static constexpr std::size_t maxActions = 10'000;
    static constexpr int elapsedRefreshMs = 100;

    RecorderService(InputTap& tap, Workspace& workspace, const Clock& clock,
                    QObject* parent = nullptr);
    ~RecorderService() override;

    RecordingState state() const { return m_state; }
    // The actions of the current recording, or of the last one until the next start.
    const std::vector<MacroAction>& currentActions() const { return m_actions; }
    double elapsedTime() const { return m_elapsedTime; }
    // Seconds into the current recording now, on the clock its actions are stamped with.
    double recordingTime() const { return m_clock.now() - m_recordingStartTime; }
    bool tapFailed() const { return m_tapFailed; }

    // A global hotkey as its key events show it: the key and the flags held with it.
    struct Hotkey {
        std::uint16_t keyCode = 0;
        std::uint64_t flags = 0;
    };

    // Where the screen is read for the pictures of presses (none: presses carry none).
    void setScreenCapture(ScreenCapture* capture);
    // Whether the next recordings keep what the screen showed around each press.
    void setTakesPictures(bool on) { m_takesPictures = on; }
    bool takesPictures() const { return m_takesPictures && m_camera; }

    // Does nothing unless idle. `hotkey`: the one that started the recording; its
    // release (and any repeat of it) is not part of the recording. `options`: what it
    // takes in.
    void startRecording(std::optional<Hotkey> hotkey = std::nullopt, RecordingOptions options = {});
    const RecordingOptions& options() const { return m_filter.options(); }
    // Ends the recording and returns its actions; empty and nothing else unless recording.
    // `hotkey`: the one that stopped it; its press is left out.
    std::vector<MacroAction> stopRecording(std::optional<Hotkey> hotkey = std::nullopt);

    // What the elapsed-time timer does on each tick.
    void refreshElapsedTime();
    bool isElapsedTimerActive() const { return m_elapsedTimer.isActive(); }

Q_SIGNALS:
    void stateChanged();
    void currentActionsChanged();
    void elapsedTimeChanged();
    void tapFailedChanged();
    // The 10,000-action limit ended the recording; these are its actions, for saving.
    void recordingCapped(const std::vector<MacroAction>& actions);

private:
    void handleEvent(const RawInputEvent& event); // tap thread
    void takePendingActions();
    void insertInTimeOrder(MacroAction action);
    void handleActivation(const RunningApplication& application);
    // The application of the last focus action so far, or empty.
    QString lastApplicationName() const;
    void handleTapFailure();
    void setState(RecordingState state);
    void setElapsedTime(double seconds);

    EventMonitorService m_monitor;
    Workspace& m_workspace;
    const Clock& m_clock;
    EventParser m_parser;
    RecordingFilter m_filter;
    double m_recordingStartTime = 0;
    QTimer m_elapsedTimer;
    QMetaObject::Connection m_workspaceObserver;
    std::optional<QString> m_lastFocusedId;
    std::optional<Hotkey> m_startHotkey;

    RecordingState m_state = RecordingState::idle;
    std::vector<MacroAction> m_actions;
    double m_elapsedTime = 0;
    bool m_tapFailed = false;

    // Actions parsed on the tap thread, waiting for the main thread.
    std::mutex m_pendingMutex;
    std::vector<MacroAction> m_pending;
    bool m_takeScheduled = false;

    std::unique_ptr<PressCamera> m_camera;
    bool m_takesPictures = true;
    std::atomic<bool> m_cameraRunning{false};
};
