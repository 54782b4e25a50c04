#pragma once

#include <QObject>

class QSocketNotifier;

// Turns Ctrl-C (SIGINT), SIGTERM, SIGHUP and SIGQUIT into a signal on the main thread.
// The signals are blocked in every thread (blockTerminationSignals, first thing in main)
// and read from a signalfd instead, so that they never interrupt a system call elsewhere (an
// interrupted X connection would end the process on the spot).
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

    // Call before any thread starts: threads inherit the blocked set.
    static void blockTerminationSignals();

    // The last signal received (SIGINT for Ctrl-C), or 0; a command that it ended exits
    // with 128 plus it, as shells expect.
    int signalNumber() const { return m_signal; }

Q_SIGNALS:
    void interrupted();

private:
    int m_fd = -1;
    int m_signal = 0;
    QSocketNotifier* m_notifier = nullptr;
};
