#pragma once

// Drives the test display like a person would: real X windows of chosen classes, made
// active through the window manager, and keys, buttons and motion injected with XTEST.
#include "TestWait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <optional>
#include <string>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

class X11TestDesktop
{
public:
    // `name`: another display than $DISPLAY.
    explicit X11TestDesktop(const char* name = nullptr) : m_display(XOpenDisplay(name)) { releaseEverything(); }

    // Starts from a display where nothing is held: a test that failed half-way (or an
    // application killed in the middle of a playback) must not leave a key down for
    // the tests after it.
    void releaseEverything()
    {
        if (!m_display)
            return;
        char keys[32];
        XQueryKeymap(m_display, keys);
        for (int keycode = 8; keycode < 256; ++keycode)
            if (keys[keycode / 8] & (1 << (keycode % 8)))
                XTestFakeKeyEvent(m_display, unsigned(keycode), False, CurrentTime);
        Window root, child;
        int rx, ry, wx, wy;
        unsigned mask = 0;
        XQueryPointer(m_display, DefaultRootWindow(m_display), &root, &child, &rx, &ry, &wx, &wy, &mask);
        for (unsigned button = 1; button <= 5; ++button)
            if (mask & (Button1Mask << (button - 1)))
                XTestFakeButtonEvent(m_display, button, False, CurrentTime);
        XSync(m_display, False);
    }
    ~X11TestDesktop()
    {
        if (m_display) {
            for (Window w : m_windows)
                XDestroyWindow(m_display, w);
            XCloseDisplay(m_display);
        }
    }
    X11TestDesktop(const X11TestDesktop&) = delete;
    X11TestDesktop& operator=(const X11TestDesktop&) = delete;

    Display* display() const { return m_display; }

    // A mapped top-level window of class `wmClass`; `ownPid` marks it as this process's.
    Window createWindow(const char* wmClass, bool ownPid = false)
    {
        const Window w = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 50, 50, 600, 400, 0, 0,
                                             WhitePixel(m_display, DefaultScreen(m_display)));
        XClassHint hint{const_cast<char*>("quillo-test"), const_cast<char*>(wmClass)};
        XSetClassHint(m_display, w, &hint);
        // Keep the asked-for place (a panel or tray would make the window manager move it).
        XSizeHints size{};
        size.flags = USPosition | PPosition;
        size.x = 50;
        size.y = 50;
        XSetWMNormalHints(m_display, w, &size);
        if (ownPid) {
            const long pid = getpid();
            XChangeProperty(m_display, w, XInternAtom(m_display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
        }
        XMapWindow(m_display, w);
        XSync(m_display, False);
        m_windows.push_back(w);
        waitFor([&] {
            XWindowAttributes attributes;
            return XGetWindowAttributes(m_display, w, &attributes) && attributes.map_state == IsViewable;
        });
        // The window manager gives a new window the focus; let that settle first, so
        // that it cannot move the focus away from a window activated next.
        waitFor([&] { return activeWindow() == w; }, 1000);
        return w;
    }

    // Asks the window manager to activate `w` and waits until it is the active window.
    bool activate(Window w)
    {
        const Atom active = XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False);
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = active;
        e.xclient.format = 32;
        e.xclient.data.l[0] = 2; // from a pager: always honoured
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, DefaultRootWindow(m_display), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &e);
        XSync(m_display, False);
        return waitFor([&] { return activeWindow() == w; });
    }

    Window activeWindow()
    {
        Atom type;
        int format;
        unsigned long count, remaining;
        unsigned char* data = nullptr;
        Window result = 0;
        if (XGetWindowProperty(m_display, DefaultRootWindow(m_display),
                               XInternAtom(m_display, "_NET_ACTIVE_WINDOW", False), 0, 1, False, XA_WINDOW,
                               &type, &format, &count, &remaining, &data) == Success &&
            data && count == 1)
            result = *reinterpret_cast<Window*>(data);
        if (data)
            XFree(data);
        return result;
    }

    void key(unsigned keycode, bool press) { XTestFakeKeyEvent(m_display, keycode, press, CurrentTime); }
    void tap(unsigned keycode)
    {
        key(keycode, true);
        key(keycode, false);
    }
    // Super+Alt and a key, the default hotkeys' modifiers, pressed and let go in order.
    void superAltChord(unsigned keycode)
    {
        constexpr unsigned superL = 133, altL = 64;
        key(superL, true);
        key(altL, true);
        tap(keycode);
        key(altL, false);
        key(superL, false);
        sync();
    }
    void button(unsigned button, bool press) { XTestFakeButtonEvent(m_display, button, press, CurrentTime); }
    void click(unsigned b)
    {
        button(b, true);
        button(b, false);
    }
    void moveTo(int x, int y) { XTestFakeMotionEvent(m_display, -1, x, y, CurrentTime); }
    // The next event of `type` that `w` receives (after asking for `mask` events with
    // watch()), or nothing within `ms`.
    void watch(Window w, long mask)
    {
        XSelectInput(m_display, w, mask);
        XSync(m_display, False);
    }
    std::optional<XEvent> nextEvent(Window w, int type, int ms = 3000)
    {
        std::optional<XEvent> found;
        waitFor([&] {
            XEvent e;
            while (!found && XCheckTypedWindowEvent(m_display, w, type, &e))
                found = e;
            return found.has_value();
        }, ms);
        return found;
    }
    // The text a key press types in the current keymap.
    static std::string typed(XKeyEvent key)
    {
        char text[16] = {};
        KeySym sym = 0;
        const int n = XLookupString(&key, text, sizeof text - 1, &sym, nullptr);
        return std::string(text, std::size_t(std::max(n, 0)));
    }

    // Waits until the server has handled (and so recorded) everything injected so far.
    void sync() { XSync(m_display, False); }

    // Runs the Qt event loop until `condition` holds or `ms` pass.
    static bool waitFor(const std::function<bool()>& condition, int ms = 5000) { return waitUntil(condition, ms); }

private:
    Display* m_display;
    std::vector<Window> m_windows;
};
