#include "Services/RecorderService.h"

namespace {

struct KeyEvent {
    std::uint16_t keyCode;
    std::uint64_t flags;
    bool isDown;
};

std::optional<KeyEvent> keyEventOf(const MacroAction& action)
{
    if (const auto* down = std::get_if<MacroAction::KeyDown>(&action.payload))
        return KeyEvent{down->keyCode, down->flags, true};
    if (const auto* up = std::get_if<MacroAction::KeyUp>(&action.payload))
        return KeyEvent{up->keyCode, up->flags, false};
    return std::nullopt;
}

// Replaying the hotkey that started or stopped a recording would start or stop one
// again. At the start its key may still be held: its repeats (pressed with the
// hotkey's modifiers) and its release are dropped; a press without them is the user's.
// At the end the stopping press (and its repeats) has no release after it.
void dropHotkeyKeys(std::vector<MacroAction>& actions, const std::optional<RecorderService::Hotkey>& start,
                    const std::optional<RecorderService::Hotkey>& stop)
{
    std::vector<bool> dropped(actions.size(), false);
    bool anyDropped = false;
    auto isHotkeyPress = [](const KeyEvent& key, const RecorderService::Hotkey& hotkey) {
        return key.isDown && (key.flags & hotkey.flags) == hotkey.flags;
    };
    if (start) {
        for (std::size_t i = 0; i < actions.size(); ++i) {
            const auto key = keyEventOf(actions[i]);
            if (!key || key->keyCode != start->keyCode)
                continue;
            if (key->isDown && !isHotkeyPress(*key, *start))
                break;
            dropped[i] = anyDropped = true;
            if (!key->isDown)
                break;
        }
    }
    if (stop) {
        for (std::size_t i = actions.size(); i-- > 0;) {
            const auto key = keyEventOf(actions[i]);
            if (!key || key->keyCode != stop->keyCode || dropped[i])
                continue;
            if (!isHotkeyPress(*key, *stop))
                break;
            dropped[i] = anyDropped = true;
        }
    }
    if (!anyDropped)
        return;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < actions.size(); ++i)
        if (!dropped[i])
            actions[kept++] = std::move(actions[i]);
    actions.resize(kept);
}

} // namespace

RecorderService::RecorderService(InputTap& tap, Workspace& workspace, const Clock& clock,
                                 QObject* parent)
    : QObject(parent), m_monitor(tap), m_workspace(workspace), m_clock(clock)
{
    m_elapsedTimer.setInterval(elapsedRefreshMs);
    connect(&m_elapsedTimer, &QTimer::timeout, this, &RecorderService::refreshElapsedTime);
}

RecorderService::~RecorderService()
{
    // The tap thread must not reach a recorder that is gone.
    m_monitor.setOnEvent(nullptr);
    m_monitor.stop();
}

void RecorderService::setState(RecordingState state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged();
}

void RecorderService::setElapsedTime(double seconds)
{
    if (m_elapsedTime == seconds)
        return;
    m_elapsedTime = seconds;
    Q_EMIT elapsedTimeChanged();
}

void RecorderService::setScreenCapture(ScreenCapture* capture)
{
    // A screen that may ask the user is not read all through a recording.
    m_camera = capture && !capture->asksTheUser() ? std::make_unique<PressCamera>(*capture, m_clock) : nullptr;
}

void RecorderService::startRecording(std::optional<Hotkey> hotkey, RecordingOptions options)
{
    if (m_state != RecordingState::idle)
        return;
    m_startHotkey = hotkey;
    m_filter = RecordingFilter(options);
    m_actions.clear();
    {
        std::lock_guard lock(m_pendingMutex);
        m_pending.clear();
    }
    Q_EMIT currentActionsChanged();
    if (m_tapFailed) {
        m_tapFailed = false;
        Q_EMIT tapFailedChanged();
    }
    m_parser.reset();
    m_recordingStartTime = m_clock.now();
    setState(RecordingState::recording);
    m_cameraRunning = takesPictures() && m_filter.options().mouse;
    if (m_cameraRunning)
        m_camera->start(m_recordingStartTime);

    if (const auto front = m_workspace.frontmostApplication(); front && !front->id.isEmpty()) {
        m_lastFocusedId = front->id;
        const QString name = front->name.isEmpty() ? front->id : front->name;
        m_actions.push_back(MacroAction::windowFocus(0, front->id, name));
        Q_EMIT currentActionsChanged();
    }

    m_workspaceObserver = connect(&m_workspace, &Workspace::applicationActivated, this,
                                  &RecorderService::handleActivation);
    m_monitor.setOnTapFailed([this] { handleTapFailure(); });
    m_monitor.setOnEvent([this](const RawInputEvent& event) { handleEvent(event); });
    if (!m_monitor.isRunning())
        m_monitor.createAndStartTap();
    m_elapsedTimer.start();
}

void RecorderService::handleEvent(const RawInputEvent& event)
{
    if (m_cameraRunning && event.type != RawEventType::keyDown && event.type != RawEventType::keyUp &&
        event.type != RawEventType::flagsChanged)
        m_camera->pointerAt(event.x, event.y);
    std::optional<MacroAction> action = m_parser.parse(event, m_recordingStartTime);
    if (!action)
        return;
    // An event stamped a hair before the start still belongs to this recording.
    if (action->timestamp < 0)
        action->timestamp = 0;
    bool schedule = false;
    {
        std::lock_guard lock(m_pendingMutex);
        m_pending.push_back(std::move(*action));
        schedule = !m_takeScheduled;
        m_takeScheduled = true;
    }
    // One hand-over per batch: the main thread takes everything pending at once.
    if (schedule)
        QMetaObject::invokeMethod(this, &RecorderService::takePendingActions, Qt::QueuedConnection);
}

void RecorderService::insertInTimeOrder(MacroAction action)
{
    // Input events reach the main thread in batches, after focus actions that the
    // workspace reported at once; each action goes in by its own time.
    auto position = m_actions.end();
    while (position != m_actions.begin() && std::prev(position)->timestamp > action.timestamp)
        --position;
    m_actions.insert(position, std::move(action));
}

void RecorderService::takePendingActions()
{
    std::vector<MacroAction> batch;
    {
        std::lock_guard lock(m_pendingMutex);
        batch.swap(m_pending);
        m_takeScheduled = false;
    }
    if (batch.empty())
        return;
    bool capReached = false;
    for (MacroAction& arrived : batch) {
        for (MacroAction& action : m_filter.pass(std::move(arrived))) {
            // A press gets what the screen showed just before it (here, off the tap thread).
            if (auto* down = std::get_if<MacroAction::MouseDown>(&action.payload); down && m_cameraRunning)
                down->sight = m_camera->sightFor(action.timestamp, down->x, down->y, lastApplicationName(),
                                                 m_workspace.frontmostWindow());
            if (m_actions.size() < maxActions) {
                insertInTimeOrder(std::move(action));
            } else if (m_state == RecordingState::recording) {
                capReached = true;
                break;
            }
        }
        if (capReached)
            break;
    }
    Q_EMIT currentActionsChanged();
    if (capReached) {
        const std::vector<MacroAction> actions = stopRecording();
        Q_EMIT recordingCapped(actions);
    }
}

QString RecorderService::lastApplicationName() const
{
    for (auto action = m_actions.rbegin(); action != m_actions.rend(); ++action)
        if (const auto* focus = std::get_if<MacroAction::WindowFocus>(&action->payload))
            return focus->appName();
    return {};
}

void RecorderService::handleActivation(const RunningApplication& application)
{
    if (application.id.isEmpty() || m_state != RecordingState::recording)
        return;
    if (m_lastFocusedId == application.id || application.id == m_workspace.ownApplicationId())
        return;
    m_lastFocusedId = application.id;
    if (m_actions.size() >= maxActions)
        return; // at the limit an application switch is dropped; input ends the recording
    const QString name = application.name.isEmpty() ? application.id : application.name;
    insertInTimeOrder(MacroAction::windowFocus(std::max(0.0, m_clock.now() - m_recordingStartTime),
                                               application.id, name));
    Q_EMIT currentActionsChanged();
}

void RecorderService::handleTapFailure()
{
    if (!m_tapFailed) {
        m_tapFailed = true;
        Q_EMIT tapFailedChanged();
    }
    stopRecording();
}

std::vector<MacroAction> RecorderService::stopRecording(std::optional<Hotkey> hotkey)
{
    if (m_state != RecordingState::recording)
        return {};
    setState(RecordingState::stopping);
    m_monitor.stop();
    m_monitor.setOnEvent(nullptr);
    // The tap delivered everything observed before the stop; take it now so that the
    // result holds it.
    takePendingActions();
    if (m_cameraRunning) {
        m_camera->stop();
        m_cameraRunning = false;
    }
    disconnect(m_workspaceObserver);
    m_elapsedTimer.stop();
    dropHotkeyKeys(m_actions, m_startHotkey, hotkey);
    m_startHotkey.reset();
    Q_EMIT currentActionsChanged();
    std::vector<MacroAction> result = m_actions;
    setState(RecordingState::idle);
    setElapsedTime(0);
    m_lastFocusedId.reset();
    return result;
}

void RecorderService::refreshElapsedTime()
{
    if (m_state == RecordingState::recording)
        setElapsedTime(m_clock.now() - m_recordingStartTime);
}
