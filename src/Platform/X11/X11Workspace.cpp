#include "Platform/X11/X11Workspace.h"

#include "Platform/X11/X11Errors.h"

#include <QSocketNotifier>

#include <algorithm>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <X11/Xutil.h>

#include <unistd.h>

namespace {

// A 32-bit-format property's first item (a window or a number), or 0.
unsigned long cardinalProperty(Display* display, Window window, Atom property, Atom type)
{
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    unsigned long value = 0;
    if (XGetWindowProperty(display, window, property, 0, 1, False, type, &actualType, &format,
                           &count, &remaining, &data) == Success &&
        data && format == 32 && count == 1)
        value = *reinterpret_cast<unsigned long*>(data);
    if (data)
        XFree(data);
    return value;
}

} // namespace

X11Workspace::X11Workspace(QString ownId, QByteArray displayName, QObject* parent)
    : Workspace(parent), m_ownId(std::move(ownId))
{
    X11Errors::install();
    m_display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (!m_display)
        return;
    m_activeWindowAtom = XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False);
    m_pidAtom = XInternAtom(m_display, "_NET_WM_PID", False);
    XSelectInput(m_display, DefaultRootWindow(m_display), PropertyChangeMask);
    XFlush(m_display);
    m_notifier = new QSocketNotifier(ConnectionNumber(m_display), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11Workspace::readEvents);
}

X11Workspace::~X11Workspace()
{
    delete m_notifier;
    if (m_display)
        XCloseDisplay(m_display);
}

std::optional<RunningApplication> X11Workspace::applicationOf(unsigned long window)
{
    if (!window)
        return std::nullopt;
    X11Errors::Scope scope(m_display); // the window may be gone by now
    RunningApplication app;
    if (cardinalProperty(m_display, window, m_pidAtom, XA_CARDINAL) == unsigned(getpid())) {
        app.id = m_ownId;
        app.name = QStringLiteral("Quillo");
        return app;
    }
    XClassHint hint{nullptr, nullptr};
    if (XGetClassHint(m_display, window, &hint)) {
        app.id = QString::fromLocal8Bit(hint.res_class);
        XFree(hint.res_name);
        XFree(hint.res_class);
    }
    if (scope.sync() != 0)
        return std::nullopt;
    if (!app.id.isEmpty())
        app.name = m_entries.nameFor(app.id);
    if (app.name.isEmpty())
        app.name = app.id;
    return app;
}

bool X11Workspace::describe(unsigned long window, FrontWindow& front)
{
    X11Errors::Scope scope(m_display); // the window may be gone by now
    const Atom utf8 = XInternAtom(m_display, "UTF8_STRING", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    // At most 1,024 bytes of title: a window's name is the application's to choose.
    if (XGetWindowProperty(m_display, window, XInternAtom(m_display, "_NET_WM_NAME", False), 0, 256, False, utf8,
                           &type, &format, &count, &remaining, &data) == Success &&
        data && format == 8)
        front.title = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(count));
    if (data)
        XFree(data);
    if (front.title.isEmpty()) {
        char* name = nullptr;
        if (XFetchName(m_display, window, &name) && name) {
            front.title = QString::fromLocal8Bit(name).left(1024);
            XFree(name);
        }
    }
    XWindowAttributes attributes;
    int x = 0, y = 0;
    ::Window child = 0;
    if (XGetWindowAttributes(m_display, window, &attributes) &&
        XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), 0, 0, &x, &y, &child))
        front.area = QRectF(x, y, attributes.width, attributes.height);
    return scope.sync() == 0;
}

std::optional<Workspace::FrontWindow> X11Workspace::frontmostWindow()
{
    if (!m_display)
        return std::nullopt;
    const auto window = cardinalProperty(m_display, DefaultRootWindow(m_display), m_activeWindowAtom, XA_WINDOW);
    if (!window)
        return std::nullopt;
    FrontWindow front;
    const bool there = describe(window, front);
    readEventsLater();
    return there ? std::optional<FrontWindow>(front) : std::nullopt;
}

std::optional<std::vector<DesktopWindow>> X11Workspace::windows()
{
    if (!m_display)
        return std::nullopt;
    const auto active = cardinalProperty(m_display, DefaultRootWindow(m_display), m_activeWindowAtom, XA_WINDOW);
    std::vector<DesktopWindow> list;
    for (const unsigned long window : clientWindows()) {
        const auto app = applicationOf(window);
        FrontWindow shown;
        if (!app || app->id == m_ownId || !describe(window, shown))
            continue;
        list.push_back(DesktopWindow{app->id, app->name, shown.title, shown.area, window == active});
    }
    readEventsLater();
    return list;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication()
{
    if (!m_display)
        return std::nullopt;
    const auto window =
        cardinalProperty(m_display, DefaultRootWindow(m_display), m_activeWindowAtom, XA_WINDOW);
    auto app = applicationOf(window);
    readEventsLater();
    return app;
}

void X11Workspace::readEventsLater()
{
    // Round trips may have pulled events into Xlib's queue, where the socket notifier
    // cannot see them.
    if (m_readScheduled || XEventsQueued(m_display, QueuedAlready) == 0)
        return;
    m_readScheduled = true;
    QMetaObject::invokeMethod(this, &X11Workspace::readEvents, Qt::QueuedConnection);
}

void X11Workspace::readEvents()
{
    m_readScheduled = false;
    bool activeChanged = false;
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type == PropertyNotify && event.xproperty.atom == m_activeWindowAtom)
            activeChanged = true;
    }
    if (!activeChanged)
        return;
    const auto window =
        cardinalProperty(m_display, DefaultRootWindow(m_display), m_activeWindowAtom, XA_WINDOW);
    const auto app = applicationOf(window);
    readEventsLater();
    if (app)
        Q_EMIT applicationActivated(*app);
}

std::optional<QPoint> X11Workspace::frameTopLeft(quint64 windowId) const
{
    if (!m_display || !windowId)
        return std::nullopt;
    X11Errors::Scope scope(m_display);
    const Window window = Window(windowId);
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(m_display, window, DefaultRootWindow(m_display), 0, 0, &x, &y, &child) ||
        scope.sync() != 0)
        return std::nullopt;
    // The decorations around it: left, right, top, bottom.
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(m_display, window, XInternAtom(m_display, "_NET_FRAME_EXTENTS", False), 0, 4, False,
                           XA_CARDINAL, &type, &format, &count, &remaining, &data) == Success &&
        data && format == 32 && count == 4) {
        const long* extents = reinterpret_cast<const long*>(data);
        x -= int(extents[0]);
        y -= int(extents[2]);
    }
    if (data)
        XFree(data);
    return QPoint(x, y);
}

std::vector<ScreenOutput> X11Workspace::screenLayout()
{
    std::vector<ScreenOutput> layout;
    if (!m_display)
        return layout;
    X11Errors::Scope scope(m_display);
    const Window root = DefaultRootWindow(m_display);
    int event = 0, error = 0;
    if (XRRQueryExtension(m_display, &event, &error)) {
        if (XRRScreenResources* resources = XRRGetScreenResourcesCurrent(m_display, root)) {
            for (int i = 0; i < resources->noutput; ++i) {
                XRROutputInfo* output = XRRGetOutputInfo(m_display, resources, resources->outputs[i]);
                if (output && output->connection == RR_Connected && output->crtc) {
                    if (XRRCrtcInfo* crtc = XRRGetCrtcInfo(m_display, resources, output->crtc)) {
                        if (crtc->width > 0 && crtc->height > 0)
                            layout.push_back({QString::fromLocal8Bit(output->name, output->nameLen), double(crtc->x),
                                              double(crtc->y), double(crtc->width), double(crtc->height), 1});
                        XRRFreeCrtcInfo(crtc);
                    }
                }
                if (output)
                    XRRFreeOutputInfo(output);
            }
            XRRFreeScreenResources(resources);
        }
    }
    if (layout.empty()) { // no RandR: the whole screen
        const int screen = DefaultScreen(m_display);
        layout.push_back({QStringLiteral("screen"), 0, 0, double(DisplayWidth(m_display, screen)),
                          double(DisplayHeight(m_display, screen)), 1});
    }
    return layout;
}

std::vector<unsigned long> X11Workspace::clientWindows()
{
    std::vector<unsigned long> windows;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom clientList = XInternAtom(m_display, "_NET_CLIENT_LIST", False);
    if (XGetWindowProperty(m_display, DefaultRootWindow(m_display), clientList, 0, 4096, False, XA_WINDOW, &type,
                           &format, &count, &after, &data) != Success || !data)
        return windows;
    if (format == 32)
        windows.assign(reinterpret_cast<unsigned long*>(data), reinterpret_cast<unsigned long*>(data) + count);
    XFree(data);
    return windows;
}

std::vector<RunningApplication> X11Workspace::runningApplications()
{
    std::vector<RunningApplication> apps;
    if (!m_display)
        return apps;
    for (const unsigned long window : clientWindows()) {
        const auto app = applicationOf(window);
        if (!app || app->id.isEmpty() || app->id == m_ownId)
            continue;
        if (std::none_of(apps.begin(), apps.end(), [&](const RunningApplication& a) { return a.id == app->id; }))
            apps.push_back(*app);
    }
    readEventsLater();
    return apps;
}
