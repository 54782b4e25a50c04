#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

// The player's side of quillo-guardian: starts it for a playback, tells it each press
// and release, and says "done" when the playback ends properly. If the player dies
// first, the guardian sees its socket close and releases whatever is still held.
class X11Guardian
{
public:
    explicit X11Guardian(QByteArray displayName = {}) : m_displayName(std::move(displayName)) {}
    ~X11Guardian();
    X11Guardian(const X11Guardian&) = delete;
    X11Guardian& operator=(const X11Guardian&) = delete;

    // QUILLO_GUARDIAN, else beside this program, else where the package installs it.
    static QString program();

    // Starts a guardian unless one runs; false when none could start (playback goes on).
    bool start();
    bool isRunning() const { return m_fd >= 0; }
    void key(unsigned keycode, bool down) { tell('k', keycode, down); }
    void button(unsigned button, bool down) { tell('b', button, down); }
    // The playback ended properly.
    void done();

private:
    void tell(char kind, unsigned code, bool down);

    QByteArray m_displayName;
    int m_fd = -1;
    pid_t m_pid = -1;
    bool m_warned = false;
};
