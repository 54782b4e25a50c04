#pragma once

struct _XDisplay;

// Xlib's default error handler ends the process. Quillo installs one that never does
// and records errors per display, so that code can ask whether its requests failed:
//
//     X11Errors::Scope scope(display);
//     XGrabKey(...);
//     if (scope.sync()) ... // the X error code, 0 when none
namespace X11Errors {

// Installs the handler once (safe to call often, from any thread).
void install();

class Scope
{
public:
    explicit Scope(_XDisplay* display);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    // Waits for the server to handle every request sent so far; the first error code
    // seen on this display since the scope began, or 0.
    int sync();

private:
    _XDisplay* m_display;
};

} // namespace X11Errors
