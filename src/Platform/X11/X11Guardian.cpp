#include "Platform/X11/X11Guardian.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

X11Guardian::~X11Guardian()
{
    done();
}

QString X11Guardian::program()
{
    const QString configured = qEnvironmentVariable("QUILLO_GUARDIAN");
    if (!configured.isEmpty())
        return configured;
    if (QCoreApplication::instance()) {
        const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/quillo-guardian");
        if (QFileInfo(beside).isExecutable())
            return beside;
    }
    return QStringLiteral("/usr/libexec/quillo/quillo-guardian");
}

bool X11Guardian::start()
{
    if (m_fd >= 0)
        return true;
    const QByteArray path = program().toLocal8Bit();
    // A socket rather than a pipe: a guardian that died early must not take the player
    // with it (writes use MSG_NOSIGNAL, so there is no SIGPIPE).
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    const QByteArray display = m_displayName.isEmpty() ? qgetenv("DISPLAY") : m_displayName;
    char* argv[] = {const_cast<char*>(path.constData()), const_cast<char*>(display.constData()), nullptr};
    const int rc = posix_spawn(&m_pid, path.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[0]);
    if (rc != 0) {
        ::close(fds[1]);
        m_pid = -1;
        if (!m_warned)
            std::fprintf(stderr, "quillo: no guardian for this playback (%s: %s)\n", path.constData(), strerror(rc));
        m_warned = true;
        return false;
    }
    m_fd = fds[1];
    return true;
}

void X11Guardian::tell(char kind, unsigned code, bool down)
{
    if (m_fd < 0)
        return;
    char line[32];
    const int n = std::snprintf(line, sizeof line, "%c %u %d\n", kind, code, down ? 1 : 0);
    ssize_t written;
    while ((written = ::send(m_fd, line, std::size_t(n), MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    if (written < 0) { // the guardian is gone: go on without one
        ::close(m_fd);
        m_fd = -1;
    }
}

void X11Guardian::done()
{
    if (m_fd < 0)
        return;
    while (::send(m_fd, "done\n", 5, MSG_NOSIGNAL) < 0 && errno == EINTR) {
    }
    ::close(m_fd);
    m_fd = -1;
    // It ends at once; reap it so no zombie stays behind.
    for (int i = 0; i < 200 && m_pid > 0; ++i) {
        if (waitpid(m_pid, nullptr, WNOHANG) != 0)
            break;
        usleep(1000);
    }
    m_pid = -1;
}
