#include "Platform/X11/X11InputTap.h"

#include "Platform/X11/X11Errors.h"
#include "Platform/X11/X11EventTranslator.h"
#include "Platform/X11/X11ServerTime.h"
#include "Platform/PlatformLog.h"

#include <QThread>

#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>

#include <poll.h>

struct X11InputTap::Callbacks {
    static void onData(XPointer closure, XRecordInterceptData* data)
    {
        auto* tap = reinterpret_cast<X11InputTap*>(closure);
        switch (data->category) {
        case XRecordStartOfData: {
            std::lock_guard lock(tap->m_mutex);
            tap->m_dataStarted = true;
            tap->m_changed.notify_all();
            break;
        }
        case XRecordEndOfData: {
            std::lock_guard lock(tap->m_mutex);
            tap->m_dataEnded = true;
            tap->m_changed.notify_all();
            break;
        }
        case XRecordFromServer:
            if (data->data && data->data_len * 4 >= sizeof(xEvent))
                tap->deliver(*reinterpret_cast<const xEvent*>(data->data));
            break;
        default:
            break;
        }
        XRecordFreeData(data);
    }
};

X11InputTap::X11InputTap(const Clock& clock, QByteArray displayName)
    : m_clock(clock), m_displayName(std::move(displayName))
{
}

X11InputTap::~X11InputTap()
{
    stop();
}

double X11InputTap::clockTime(unsigned long serverTime) const
{
    // Server time is 32-bit milliseconds and wraps; differences stay right across a wrap.
    const auto delta = std::int32_t(std::uint32_t(serverTime) - std::uint32_t(m_serverTimeAtStart));
    return m_clockAtStart + double(delta) / 1000.0;
}

void X11InputTap::deliver(const _xEvent& ev)
{
    const int type = ev.u.u.type & 0x7F;
    const int detail = ev.u.u.detail;
    // Which buttons are down, from the presses and releases themselves: the state of a
    // recorded motion event can lack them (while a window manager holds a grab, say).
    static constexpr unsigned buttonMasks[] = {0, Button1Mask, Button2Mask, Button3Mask};
    if ((type == ButtonPress || type == ButtonRelease) && detail >= 1 && detail <= 3) {
        if (type == ButtonPress)
            m_heldButtonMask |= buttonMasks[detail];
        else
            m_heldButtonMask &= ~buttonMasks[detail];
    }
    if ((type == ButtonPress || type == ButtonRelease) && X11EventTranslator::isUnrecordedButton(detail)) {
        if (type == ButtonPress)
            ++m_skippedButtonPresses;
        return;
    }
    const unsigned state = type == MotionNotify ? (ev.u.keyButtonPointer.state & ~(Button1Mask | Button2Mask | Button3Mask)) | m_heldButtonMask
                                                : ev.u.keyButtonPointer.state;
    RawInputEvent event = X11EventTranslator::translate(type, detail, state, ev.u.keyButtonPointer.rootX,
                                                        ev.u.keyButtonPointer.rootY);
    if (event.type == RawEventType::none)
        return;
    event.time = clockTime(ev.u.keyButtonPointer.time);
    m_handler(event);
}

void X11InputTap::closeConnections()
{
    if (m_control && m_context)
        XRecordFreeContext(m_control, m_context);
    m_context = 0;
    if (m_data)
        XCloseDisplay(m_data);
    if (m_control)
        XCloseDisplay(m_control);
    m_data = m_control = nullptr;
}

unsigned X11InputTap::initialButtonMask() const
{
    Window root, child;
    int rx, ry, wx, wy;
    unsigned mask = 0;
    XQueryPointer(m_control, DefaultRootWindow(m_control), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return mask & (Button1Mask | Button2Mask | Button3Mask);
}

bool X11InputTap::start(EventHandler handler, QString* error)
{
    if (m_running)
        return true;
    auto fail = [&](const QString& reason) {
        closeConnections();
        if (error)
            *error = reason;
        return false;
    };
    X11Errors::install();
    const char* name = m_displayName.isEmpty() ? nullptr : m_displayName.constData();
    m_control = XOpenDisplay(name);
    m_data = m_control ? XOpenDisplay(name) : nullptr;
    if (!m_control || !m_data)
        return fail(QStringLiteral("cannot open the X display %1")
                        .arg(QString::fromLocal8Bit(XDisplayName(name))));
    int major = 0, minor = 0;
    if (!XRecordQueryVersion(m_control, &major, &minor))
        return fail(QStringLiteral("the X server has no RECORD extension"));

    XRecordRange* range = XRecordAllocRange();
    if (!range)
        return fail(QStringLiteral("out of memory"));
    range->device_events.first = KeyPress;
    range->device_events.last = MotionNotify;
    XRecordClientSpec clients = XRecordAllClients;
    m_context = XRecordCreateContext(m_control, 0, &clients, 1, &range, 1);
    XFree(range);
    XSync(m_control, False);
    if (!m_context)
        return fail(QStringLiteral("the X server refused a record context"));

    const auto pair = X11ServerTime::now(m_control, m_clock);
    if (!pair)
        return fail(QStringLiteral("cannot read the X server's time"));
    m_serverTimeAtStart = pair->serverTime;
    m_clockAtStart = pair->clockTime;

    m_handler = std::move(handler);
    m_skippedButtonPresses = 0;
    m_heldButtonMask = initialButtonMask();
    {
        std::lock_guard lock(m_mutex);
        m_dataStarted = m_dataEnded = false;
    }
    m_thread.reset(QThread::create([this] { runThread(); }));
    m_thread->setObjectName(QString::fromLatin1(threadName));
    m_thread->start(QThread::TimeCriticalPriority);

    // Return only once the server records, so that nothing after start() is missed
    // and a stop() can never reach the server before the enabling did.
    std::unique_lock lock(m_mutex);
    const bool started = m_changed.wait_for(lock, std::chrono::seconds(5), [this] {
        return m_dataStarted || m_dataEnded;
    });
    if (!started || !m_dataStarted) {
        lock.unlock();
        XRecordDisableContext(m_control, m_context);
        XSync(m_control, False);
        m_thread->wait();
        m_thread.reset();
        m_handler = nullptr;
        return fail(QStringLiteral("the X server did not start recording"));
    }
    m_running = true;
    return true;
}

void X11InputTap::runThread()
{
    if (!XRecordEnableContextAsync(m_data, m_context, &Callbacks::onData,
                                   reinterpret_cast<XPointer>(this))) {
        std::lock_guard lock(m_mutex);
        m_dataEnded = true;
        m_changed.notify_all();
        return;
    }
    pollfd fd{ConnectionNumber(m_data), POLLIN, 0};
    for (;;) {
        XRecordProcessReplies(m_data);
        {
            std::lock_guard lock(m_mutex);
            if (m_dataEnded)
                return;
        }
        poll(&fd, 1, 100);
    }
}

void X11InputTap::stop()
{
    if (!m_running)
        return;
    m_running = false;
    // The server sends everything it still holds for the context, then the end of data;
    // the thread delivers all of it before it ends.
    XRecordDisableContext(m_control, m_context);
    XSync(m_control, False);
    m_thread->wait();
    m_thread.reset();
    m_handler = nullptr;
    closeConnections();
    if (m_skippedButtonPresses > 0)
        PlatformLog::write(QStringLiteral("Skipped %1 press(es) of mouse buttons 8 and up (back, forward): they are not "
                              "recorded")
                   .arg(m_skippedButtonPresses),
               LogEntry::Level::debug);
}
