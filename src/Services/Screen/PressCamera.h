#pragma once

#include "Models/SightRef.h"
#include "Platform/Clock.h"
#include "Platform/ScreenCapture.h"
#include "Platform/Workspace.h"

#include <QPointF>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <memory>

class QThread;

// While a recording runs, keeps the last pictures of the screen around the pointer on a
// thread of its own, so that a press gets what the screen showed just before it: the
// press itself is only seen once the application may have drawn its reaction (a button
// drawn pressed), which a replay would then never find.
class PressCamera
{
public:
    // How often, how large (logical pixels around the pointer), and how many are kept.
    static constexpr double frameInterval = 0.04;
    static constexpr double frameSide = 160;
    static constexpr std::size_t framesKept = 12;
    // A press's picture: this many logical pixels across, larger where the area is plain.
    static constexpr double pictureSide = 48;

    PressCamera(ScreenCapture& capture, const Clock& clock);
    ~PressCamera();
    PressCamera(const PressCamera&) = delete;
    PressCamera& operator=(const PressCamera&) = delete;

    // Starts taking pictures; times are seconds since `recordingStart` on the clock.
    void start(double recordingStart);
    void stop();
    // Any thread (the tap's): where the pointer is now.
    void pointerAt(double x, double y);
    // The picture of a press at `time` at (x, y), from the last frame taken before it
    // that shows the place (else the screen now), with the application and the window it
    // was in (when the desktop says); none when the screen cannot be read.
    SightRef sightFor(double time, double x, double y, const QString& windowApp,
                      const std::optional<Workspace::FrontWindow>& window = std::nullopt);

private:
    struct Frame {
        double time = 0;
        ScreenImage image;
    };
    void run();

    ScreenCapture& m_capture;
    const Clock& m_clock;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    // A QThread (not a bare thread): screens read through a helper program need the
    // socket notifiers a QThread provides.
    std::unique_ptr<QThread> m_thread;
    bool m_running = false;
    double m_start = 0;
    std::optional<QPointF> m_pointer;
    std::deque<Frame> m_frames;
};
