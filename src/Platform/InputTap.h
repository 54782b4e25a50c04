#pragma once

#include "Platform/RawInputEvent.h"

#include <QString>
#include <functional>

// The system-wide stream of keyboard and mouse events. Events are delivered on the
// tap's own thread, in the order they happened.
class InputTap
{
public:
    using EventHandler = std::function<void(const RawInputEvent&)>;

    virtual ~InputTap() = default;

    // Starts observing; `handler` is called on the tap thread for every event. Returns
    // false with a reason in `error` when the system refuses; nothing runs then.
    virtual bool start(EventHandler handler, QString* error) = 0;
    // Stops observing. Every event that happened before the call has been delivered
    // when it returns, and none is delivered afterwards. Does nothing when not running.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};
