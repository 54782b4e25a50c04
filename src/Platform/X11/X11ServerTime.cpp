#include "Platform/X11/X11ServerTime.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <poll.h>

namespace X11ServerTime {

std::optional<Pair> now(_XDisplay* display, const Clock& clock)
{
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XSelectInput(display, window, PropertyChangeMask);
    const Atom atom = XInternAtom(display, "_QUILLO_SERVER_TIME", False);
    XChangeProperty(display, window, atom, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XFlush(display);
    std::optional<Pair> result;
    XEvent event;
    for (int waited = 0; waited < 5000 && !result;) {
        if (XCheckTypedWindowEvent(display, window, PropertyNotify, &event)) {
            result = Pair{event.xproperty.time, clock.now()};
            break;
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 10);
        waited += 10;
    }
    XDestroyWindow(display, window);
    XFlush(display);
    return result;
}

} // namespace X11ServerTime
