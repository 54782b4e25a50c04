#pragma once

#include "Platform/InputTap.h"

#include <mutex>

// A tap driven by the test: `deliver` hands over an event on the calling thread, as the real
// tap would on its own. `refuse` makes the next start fail.
class FakeInputTap : public InputTap
{
public:
    bool start(EventHandler handler, QString* error) override;
    void stop() override;
    bool isRunning() const override;

    // Delivers `event` if running; returns whether it was delivered.
    bool deliver(const RawInputEvent& event);
    void refuse(const QString& reason) { m_refusal = reason; }
    int startCount() const { return m_starts; }

private:
    mutable std::mutex m_mutex;
    EventHandler m_handler;
    bool m_running = false;
    QString m_refusal;
    int m_starts = 0;
};
