#pragma once

#include "Platform/RawInputEvent.h"

#include <cstdint>
#include <functional>
#include <map>

// Turns the kernel's input events (evdev type, code, value, per device, as the input
// helper captures them) into the neutral events the parser reads: keys in the macro
// numbering with the modifier flags held, the three mouse buttons, motion, and wheel
// clicks (high-resolution wheels counted in 120ths of a click). Relative motion moves an
// estimated pointer from a known start; where the desktop says where the pointer is,
// `pointerPosition` gives it and is asked at each click and wheel turn.
class EvdevTranslator
{
public:
    using Sink = std::function<void(const RawInputEvent&)>;
    static constexpr int hiResPerClick = 120;

    explicit EvdevTranslator(Sink sink) : m_sink(std::move(sink)) {}

    // The pointer's position when the estimate starts (a point the backend put it at).
    void setPointer(double x, double y);
    double pointerX() const { return m_x; }
    double pointerY() const { return m_y; }
    // Where the desktop reports the pointer, or false when it cannot.
    std::function<bool(double& x, double& y)> pointerPosition;

    // The desktop is asked during motion at most this often; in between, relative motion
    // moves the last answer.
    static constexpr double motionQueryInterval = 0.008;

    // One kernel event; `time` in seconds on the recording clock.
    void feed(std::uint16_t device, std::uint16_t type, std::uint16_t code, std::int32_t value, double time);

    std::uint64_t flags() const { return m_flags; }

private:
    struct Device
    {
        double dx = 0, dy = 0;
        std::int32_t wheelHiRes = 0, hwheelHiRes = 0; // remainders, 120ths
        std::int32_t wheelClicks = 0, hwheelClicks = 0; // from devices without high resolution
        bool sendsHiRes = false;
        bool moved = false;
        bool touched = false; // absolute motion (a touchpad): only the desktop knows where that leads
    };

    void key(std::uint16_t code, std::int32_t value, double time);
    void button(std::uint16_t code, std::int32_t value, double time);
    void report(Device& device, double time);
    void reportWheel(Device& device, double time);
    void emit(RawEventType type, double time, std::uint16_t keyCode = 0, std::int32_t axis1 = 0, std::int32_t axis2 = 0);
    void refreshPointer();

    Sink m_sink;
    std::map<std::uint16_t, Device> m_devices;
    std::uint64_t m_flags = 0;
    int m_buttons = 0; // bit 0 left, 1 right, 2 middle
    double m_x = 0, m_y = 0;
    double m_lastAsked = -1; // when the desktop was last asked during motion
};
