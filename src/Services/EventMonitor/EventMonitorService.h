#pragma once

#include "Platform/InputTap.h"

#include <QObject>
#include <functional>
#include <memory>
#include <mutex>

// Runs the system-wide input tap for the recorder: starts it on its own thread, passes
// every event to `onEvent` there, and reports a tap that cannot start through
// `onTapFailed` on the main thread (and one line on standard output).
class EventMonitorService : public QObject
{
    Q_OBJECT
public:
    explicit EventMonitorService(InputTap& tap, QObject* parent = nullptr);
    ~EventMonitorService() override;

    // Safe to change while the tap runs: the tap thread sees the old or the new handler.
    void setOnEvent(InputTap::EventHandler handler);
    void setOnTapFailed(std::function<void()> handler);

    void createAndStartTap();
    // Every event observed before the call has reached `onEvent` when it returns.
    void stop();
    bool isRunning() const { return m_running; }

private:
    void deliver(const RawInputEvent& event);

    InputTap& m_tap;
    std::mutex m_handlerMutex;
    std::shared_ptr<const InputTap::EventHandler> m_onEvent;
    std::function<void()> m_onTapFailed;
    bool m_running = false;
};
