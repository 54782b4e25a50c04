// quillo-guardian: started with each X11 playback, it learns from the player (one line
// per press or release on standard input) what the playback holds down. When the player
// goes away without saying "done" (killed, crashed: its end of the socket closes), it
// lets go of every key and button
// still held, so nothing stays stuck on the display. No Qt: only Xlib and XTest.
//
//   k KEYCODE 1|0    a key pressed or released
//   b BUTTON 1|0     a mouse button pressed or released
//   done             the playback ended properly; nothing to do
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <cstdio>
#include <cstring>
#include <set>

int main(int argc, char** argv)
{
    const char* display = argc > 1 ? argv[1] : nullptr;
    Display* x = XOpenDisplay(display && *display ? display : nullptr);
    if (!x) {
        std::fprintf(stderr, "quillo-guardian: cannot open the X display\n");
        return 1;
    }
    std::set<unsigned> keys, buttons;
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::strncmp(line, "done", 4) == 0) {
            XCloseDisplay(x);
            return 0;
        }
        char kind = 0;
        unsigned code = 0;
        int down = 0;
        if (std::sscanf(line, "%c %u %d", &kind, &code, &down) != 3)
            continue;
        std::set<unsigned>& held = kind == 'k' ? keys : buttons;
        if (down)
            held.insert(code);
        else
            held.erase(code);
    }
    // The player is gone without a word: let go of what it held.
    for (const unsigned button : buttons)
        XTestFakeButtonEvent(x, button, False, CurrentTime);
    for (const unsigned key : keys)
        XTestFakeKeyEvent(x, key, False, CurrentTime);
    XSync(x, False);
    if (!keys.empty() || !buttons.empty())
        std::fprintf(stderr, "quillo-guardian: the playback ended without a word; released %zu key(s) and %zu button(s)\n",
                     keys.size(), buttons.size());
    XCloseDisplay(x);
    return 0;
}
