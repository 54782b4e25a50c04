#include "Cli/SignalWatcher.h"

#include <QSocketNotifier>

#include <csignal>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {
sigset_t terminationSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);  // the terminal closed, the session ended
    sigaddset(&set, SIGQUIT);
    return set;
}
} // namespace

void SignalWatcher::blockTerminationSignals()
{
    const sigset_t set = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent)
{
    blockTerminationSignals(); // in case main did not
    const sigset_t set = terminationSignals();
    m_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        signalfd_siginfo info;
        while (::read(m_fd, &info, sizeof info) == ssize_t(sizeof info))
            m_signal = int(info.ssi_signo);
        Q_EMIT interrupted();
    });
}

SignalWatcher::~SignalWatcher()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}
