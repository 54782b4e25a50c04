#include "Platform/Wayland/WaylandInputTap.h"

#include "Platform/Linux/EvdevTranslator.h"

#include <QElapsedTimer>

#include <pthread.h>
#include <time.h>

namespace {

constexpr qint64 kStartTimeoutMs = 5000;

double monotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

WaylandInputTap::WaylandInputTap(const Clock& clock, QString socketPath)
    : m_clock(clock), m_socketPath(socketPath.isEmpty() ? InputdClient::socketPath() : std::move(socketPath))
{
}

WaylandInputTap::~WaylandInputTap()
{
    stop();
}

void WaylandInputTap::setStartPosition(double x, double y)
{
    m_startX = x;
    m_startY = y;
}

bool WaylandInputTap::start(EventHandler handler, QString* error)
{
    if (m_running)
        return true;
    QString reason;
    if (!m_client.connect(m_socketPath, reason) || !m_client.send(InputdProtocol::StartCapture{}) ||
        !awaitCaptureStarted(reason)) {
        if (error)
            *error = reason.isEmpty() ? QStringLiteral("the input helper did not take the request") : reason;
        m_client.close();
        return false;
    }
    if (placePointerAtStart)
        if (const auto point = placePointerAtStart())
            setStartPosition(point->first, point->second);
    m_monotonicAtStart = monotonicNow();
    m_clockAtStart = m_clock.now();
    m_running = true;
    m_thread = std::thread([this, handler = std::move(handler)] { run(handler); });
    return true;
}

bool WaylandInputTap::awaitCaptureStarted(QString& reason)
{
    // Recording is said to run only once the helper reads the devices: whatever is typed
    // after that is in the recording, however busy the machine is.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kStartTimeoutMs) {
        const auto message = m_client.receive(int(kStartTimeoutMs - waited.elapsed()));
        if (!message)
            break;
        if (std::holds_alternative<InputdProtocol::CaptureStarted>(*message))
            return true;
        if (const auto* failure = std::get_if<InputdProtocol::Error>(&*message)) {
            reason = QStringLiteral("the input helper could not start reading the devices: %1")
                         .arg(QString::fromStdString(failure->text));
            return false;
        }
    }
    reason = m_client.failed()
                 ? QStringLiteral("the input helper closed the connection before it read the devices")
                 : QStringLiteral("the input helper did not start reading the devices within %1 s").arg(kStartTimeoutMs / 1000);
    return false;
}

void WaylandInputTap::run(EventHandler handler)
{
    pthread_setname_np(pthread_self(), "com.quillo.eventTap");
    EvdevTranslator translator(handler);
    translator.setPointer(m_startX, m_startY);
    translator.pointerPosition = m_pointerQuery;
    for (;;) {
        const auto message = m_client.receive(-1);
        if (!message)
            break; // the helper went away
        if (std::holds_alternative<InputdProtocol::CaptureStopped>(*message))
            break;
        if (const auto* event = std::get_if<InputdProtocol::InputEvent>(&*message)) {
            const double kernelTime = double(event->seconds) + double(event->microseconds) / 1e6;
            translator.feed(event->device, event->type, event->code, event->value,
                            m_clockAtStart + (kernelTime - m_monotonicAtStart));
        }
    }
}

void WaylandInputTap::stop()
{
    if (!m_running)
        return;
    // The helper answers once every event before the stop has gone out.
    m_client.send(InputdProtocol::StopCapture{});
    if (m_thread.joinable())
        m_thread.join();
    m_client.close();
    m_running = false;
}
