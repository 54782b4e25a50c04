#pragma once

#include <QByteArray>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

// The access log: request threads hand their lines over and one writer puts them on
// standard error at least every 100 ms, so that no request waits for another's write. Lines beyond a bound
// are counted and dropped rather than held without end.
class AccessLog
{
public:
    static constexpr std::size_t maxQueued = 10000;
    static constexpr std::size_t wakeAtLines = 256;
    static constexpr std::chrono::milliseconds writeEvery{100};

    AccessLog();
    ~AccessLog(); // writes what is queued

    void write(QByteArray line);
    // A value as it may appear in a log line: bytes outside printable ASCII (control
    // characters, tabs, non-UTF-8, anything a terminal could act on) as %XX.
    static QByteArray printable(const QByteArray& value, qsizetype maxBytes = 512);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<QByteArray> m_lines;
    std::size_t m_dropped = 0;
    bool m_stopping = false;
    std::thread m_writer;
};
