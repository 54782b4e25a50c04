#include "AccessLog.h"

#include <cstdio>

AccessLog::AccessLog() : m_writer([this] { run(); }) {}

AccessLog::~AccessLog()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_writer.join();
}

QByteArray AccessLog::printable(const QByteArray& value, qsizetype maxBytes)
{
    QByteArray out;
    for (const char c : value.left(maxBytes)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte < 0x7f && byte != '%')
            out += c;
        else
            out += '%' + QByteArray::number(byte, 16).rightJustified(2, '0').toUpper();
    }
    if (value.size() > maxBytes)
        out += "...";
    return out;
}

void AccessLog::write(QByteArray line)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_lines.size() >= maxQueued) {
            ++m_dropped;
            return;
        }
        m_lines.push_back(std::move(line));
        // The writer comes by on its own every so often; only a long queue calls it early
        // (waking it for every line would cost each request a switch of threads).
        if (m_lines.size() < wakeAtLines)
            return;
    }
    m_wake.notify_one();
}

void AccessLog::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait_for(lock, writeEvery, [this] { return m_stopping || m_lines.size() >= wakeAtLines; });
        if (m_lines.empty() && m_dropped == 0 && !m_stopping)
            continue;
        std::deque<QByteArray> lines;
        lines.swap(m_lines);
        const std::size_t dropped = std::exchange(m_dropped, 0);
        const bool stopping = m_stopping;
        lock.unlock();
        QByteArray chunk;
        for (const QByteArray& line : lines)
            chunk += line + '\n';
        if (dropped > 0)
            chunk += QByteArray::number(qulonglong(dropped)) + " access log lines dropped (the log could not keep up)\n";
        std::fwrite(chunk.constData(), 1, std::size_t(chunk.size()), stderr);
        std::fflush(stderr);
        lock.lock();
        if (stopping && m_lines.empty())
            return;
    }
}
