#pragma once

#include "Platform/Clock.h"
#include "Platform/InputTap.h"
#include "Platform/Wayland/InputdClient.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class EvdevTranslator;

// Recording under Wayland: the input helper captures the kernel's events; they are
// translated on the tap's own thread and stamped with the kernel's times, put on the
// recording clock. Where the desktop reports the pointer, clicks and wheel turns take
// its position; elsewhere the position follows relative motion from a known start.
class WaylandInputTap : public InputTap
{
public:
    // Where the pointer is now (the desktop's answer), or false.
    using PointerQuery = std::function<bool(double& x, double& y)>;

    WaylandInputTap(const Clock& clock, QString socketPath = {});
    ~WaylandInputTap() override;

    void setPointerQuery(PointerQuery query) { m_pointerQuery = std::move(query); }
    // Where the estimate starts when the desktop cannot say where the pointer is.
    void setStartPosition(double x, double y);
    // Asked as each recording starts: puts the pointer at a known point and says where
    // (nothing: the last start position stands).
    std::function<std::optional<std::pair<double, double>>()> placePointerAtStart;

    bool start(EventHandler handler, QString* error) override;
    void stop() override;
    bool isRunning() const override { return m_running; }

private:
    // Waits (bounded) for the helper to say it reads the devices; false with the reason.
    bool awaitCaptureStarted(QString& reason);
    void run(EventHandler handler);

    const Clock& m_clock;
    QString m_socketPath;
    InputdClient m_client;
    PointerQuery m_pointerQuery;
    double m_startX = 0, m_startY = 0;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    // The recording clock and CLOCK_MONOTONIC read together at the start.
    double m_clockAtStart = 0;
    double m_monotonicAtStart = 0;
};
