#include "Services/EventMonitor/EventMonitorService.h"

#include "Services/LogService.h"

#include <cstdio>

EventMonitorService::EventMonitorService(InputTap& tap, QObject* parent)
    : QObject(parent), m_tap(tap)
{
}

EventMonitorService::~EventMonitorService()
{
    stop();
}

void EventMonitorService::setOnEvent(InputTap::EventHandler handler)
{
    auto next = handler ? std::make_shared<const InputTap::EventHandler>(std::move(handler))
                        : nullptr;
    std::lock_guard lock(m_handlerMutex);
    m_onEvent = std::move(next);
}

void EventMonitorService::setOnTapFailed(std::function<void()> handler)
{
    m_onTapFailed = std::move(handler);
}

void EventMonitorService::deliver(const RawInputEvent& event)
{
    std::shared_ptr<const InputTap::EventHandler> handler;
    {
        std::lock_guard lock(m_handlerMutex);
        handler = m_onEvent;
    }
    if (handler)
        (*handler)(event);
}

void EventMonitorService::createAndStartTap()
{
    if (m_running)
        return;
    QString reason;
    if (m_tap.start([this](const RawInputEvent& event) { deliver(event); }, &reason)) {
        m_running = true;
        return;
    }
    std::fputs("[EventMonitor] Failed to create event tap \u2014 check Accessibility permission\n",
               stdout);
    std::fflush(stdout);
    appLog(QStringLiteral("Input capture could not start: %1").arg(reason), LogEntry::Level::warn);
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_onTapFailed)
                m_onTapFailed();
        },
        Qt::QueuedConnection);
}

void EventMonitorService::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_tap.stop();
}
