#include "Platform/X11/X11Platform.h"

#include "Platform/X11/X11Errors.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

X11Platform::X11Platform(FileDialogs& dialogs, QByteArray displayName)
    : m_dialogs(dialogs), m_tap(SystemClock::instance(), displayName),
      m_workspace(QStringLiteral("quillo"), displayName), m_probe(displayName), m_poster(displayName),
      m_hotkeys(displayName), m_keyboardLayout(displayName), m_screen(displayName)
{
}

PlatformServices X11Platform::services()
{
    return PlatformServices{m_tap,     m_workspace, m_probe, m_poster, m_hotkeys, m_dialogs,
                            SystemClock::instance(), m_sleeper, m_keyboardLayout, m_keychain, &m_screen};
}

bool X11Platform::canOpenDisplay(const QByteArray& displayName)
{
    X11Errors::install();
    Display* display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (display)
        XCloseDisplay(display);
    return display != nullptr;
}

bool X11Platform::windowManagerReportsActiveWindow(const QByteArray& displayName)
{
    X11Errors::install();
    Display* display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (!display)
        return false;
    const Atom supported = XInternAtom(display, "_NET_SUPPORTED", False);
    const Atom active = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(display, DefaultRootWindow(display), supported, 0, 4096, False, XA_ATOM, &type,
                           &format, &count, &remaining, &data) == Success &&
        data && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count && !found; ++i)
            found = atoms[i] == active;
    }
    if (data)
        XFree(data);
    XCloseDisplay(display);
    return found;
}
