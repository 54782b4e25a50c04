#include "Services/Screen/PressCamera.h"

#include "Codec/PngCodec.h"

#include <QThread>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// `area` (logical) cut out of `image`, or nothing when the image does not hold all of it.
std::optional<ScreenImage> cut(const ScreenImage& image, const QRectF& area)
{
    if (image.isNull() || !image.area.contains(area))
        return std::nullopt;
    const double scale = image.scale();
    const int left = int(std::lround((area.x() - image.area.x()) * scale));
    const int top = int(std::lround((area.y() - image.area.y()) * scale));
    const int width = std::min(int(std::lround(area.width() * scale)), image.width - left);
    const int height = std::min(int(std::lround(area.height() * scale)), image.height - top);
    if (width <= 0 || height <= 0)
        return std::nullopt;
    ScreenImage part{QRectF(area.topLeft(), QSizeF(width / scale, height / scale)), width, height, {}};
    part.pixels.resize(std::size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        std::copy_n(&image.pixels[(std::size_t(top + y) * image.width + left) * 4], std::size_t(width) * 4,
                    &part.pixels[std::size_t(y) * width * 4]);
    return part;
}

// Nearly one colour: nothing a replay could place it by.
bool isPlain(const ScreenImage& image)
{
    for (int c = 0; c < 3; ++c) {
        double sum = 0, squares = 0;
        const double n = double(image.width) * image.height;
        for (std::size_t i = std::size_t(c); i < image.pixels.size(); i += 4) {
            sum += image.pixels[i];
            squares += double(image.pixels[i]) * image.pixels[i];
        }
        const double mean = sum / n;
        if (squares / n - mean * mean > 16.0) // a standard deviation of 4
            return false;
    }
    return true;
}

} // namespace

PressCamera::PressCamera(ScreenCapture& capture, const Clock& clock) : m_capture(capture), m_clock(clock) {}

PressCamera::~PressCamera()
{
    stop();
}

void PressCamera::start(double recordingStart)
{
    stop();
    m_capture.setReading(true);
    std::lock_guard lock(m_mutex);
    m_start = recordingStart;
    m_frames.clear();
    m_running = true;
    m_thread.reset(QThread::create([this] { run(); }));
    m_thread->setObjectName(QStringLiteral("com.quillo.pressCamera"));
    m_thread->start();
}

void PressCamera::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_running = false;
    }
    m_wake.notify_all();
    if (m_thread) {
        m_thread->wait();
        m_thread.reset();
        m_capture.setReading(false);
    }
}

void PressCamera::pointerAt(double x, double y)
{
    std::lock_guard lock(m_mutex);
    m_pointer = QPointF(x, y);
}

void PressCamera::run()
{
    std::unique_lock lock(m_mutex);
    double interval = frameInterval;
    while (m_running) {
        if (m_pointer) {
            const QPointF at = *m_pointer;
            lock.unlock();
            const double half = frameSide / 2;
            const auto began = std::chrono::steady_clock::now();
            auto image = m_capture.capture(QRectF(at.x() - half, at.y() - half, frameSide, frameSide));
            const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            // A screen that is slow to read (a program per picture) is read less often, so
            // that the camera never takes more than a third of a core.
            interval = std::max(frameInterval, 2 * took);
            const double time = m_clock.now() - m_start;
            lock.lock();
            if (image.hasValue()) {
                m_frames.push_back({time, std::move(image).value()});
                while (m_frames.size() > framesKept)
                    m_frames.pop_front();
            }
        }
        m_wake.wait_for(lock, std::chrono::duration<double>(interval), [this] { return !m_running; });
    }
}

SightRef PressCamera::sightFor(double time, double x, double y, const QString& windowApp,
                               const std::optional<Workspace::FrontWindow>& window)
{
    // The frames from before the press, newest first; then the screen as it is now.
    std::vector<ScreenImage> candidates;
    {
        std::lock_guard lock(m_mutex);
        for (auto frame = m_frames.rbegin(); frame != m_frames.rend(); ++frame)
            if (frame->time <= time)
                candidates.push_back(frame->image);
    }
    const double half = frameSide / 2;
    if (auto now = m_capture.capture(QRectF(x - half, y - half, frameSide, frameSide)); now.hasValue())
        candidates.push_back(std::move(now).value());
    for (const ScreenImage& frame : candidates) {
        // 48 logical pixels around the press, 96 or 144 where that is plain.
        std::optional<ScreenImage> picture;
        for (double side = pictureSide; side <= frameSide - 16; side += pictureSide) {
            auto part = cut(frame, QRectF(x - side / 2, y - side / 2, side, side));
            if (!part)
                break;
            picture = std::move(part);
            if (!isPlain(*picture))
                break;
        }
        if (!picture)
            continue;
        auto png = PngCodec::encode(*picture);
        if (!png.hasValue())
            return {};
        // The window is kept only where it is the one pressed in.
        const bool inWindow = window && window->area.contains(QPointF(x, y));
        return SightRef(ClickSight{std::move(png).value(), picture->area, windowApp,
                                   inWindow ? window->title : QString(), inWindow ? window->area : QRectF()});
    }
    return {};
}
