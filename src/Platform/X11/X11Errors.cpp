#include "Platform/X11/X11Errors.h"

#include <X11/Xlib.h>

#include <map>
#include <mutex>

namespace X11Errors {

namespace {

std::mutex g_mutex;
// Displays with an open scope, and the first error code seen on each.
std::map<Display*, int> g_scopes;

int handleError(Display* display, XErrorEvent* error)
{
    std::lock_guard lock(g_mutex);
    auto it = g_scopes.find(display);
    if (it != g_scopes.end() && it->second == 0)
        it->second = error->error_code;
    return 0; // errors outside a scope (a window that went away) are ignored
}

} // namespace

void install()
{
    static std::once_flag once;
    std::call_once(once, [] { XSetErrorHandler(handleError); });
}

Scope::Scope(_XDisplay* display) : m_display(display)
{
    install();
    XSync(m_display, False); // earlier requests' errors are not this scope's
    std::lock_guard lock(g_mutex);
    g_scopes[m_display] = 0;
}

Scope::~Scope()
{
    XSync(m_display, False);
    std::lock_guard lock(g_mutex);
    g_scopes.erase(m_display);
}

int Scope::sync()
{
    XSync(m_display, False);
    std::lock_guard lock(g_mutex);
    return g_scopes[m_display];
}

} // namespace X11Errors
