#pragma once

#include "Platform/Clock.h"
#include "Platform/InputTap.h"

#include <QByteArray>
#include <condition_variable>
#include <memory>
#include <mutex>

struct _XDisplay;
struct _xEvent;
class QThread;

// The input tap over the X RECORD extension: a record context over every client's
// device events, enabled on its own connection on the thread "com.quillo.eventTap".
// Events carry the X server's time, converted onto the recording clock.
class X11InputTap : public InputTap
{
public:
    // `displayName` empty means $DISPLAY.
    explicit X11InputTap(const Clock& clock, QByteArray displayName = {});
    ~X11InputTap() override;

    bool start(EventHandler handler, QString* error) override;
    void stop() override;
    bool isRunning() const override { return m_running; }

    // The server time of an event (ms) on the recording clock.
    double clockTime(unsigned long serverTime) const;

    static constexpr const char* threadName = "com.quillo.eventTap";

private:
    struct Callbacks;
    void runThread();
    void deliver(const _xEvent& event); // tap thread
    void closeConnections();
    unsigned initialButtonMask() const;

    const Clock& m_clock;
    QByteArray m_displayName;
    _XDisplay* m_control = nullptr;
    _XDisplay* m_data = nullptr;
    unsigned long m_context = 0;
    std::unique_ptr<QThread> m_thread;
    EventHandler m_handler;
    bool m_running = false;

    // Server time and clock reading taken together when the tap starts.
    unsigned long m_serverTimeAtStart = 0;
    double m_clockAtStart = 0;
    // The mask of buttons 1-3 held, followed from the recorded presses and releases,
    // and how many presses of buttons 8 and up were left out; tap thread only.
    unsigned m_heldButtonMask = 0;
    int m_skippedButtonPresses = 0;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_dataStarted = false;
    bool m_dataEnded = false;
};
