#include "Platform/PlatformLog.h"

#include <atomic>
#include <cstdio>

namespace {
std::atomic<PlatformLog::Sink> g_sink{nullptr};
}

void PlatformLog::setSink(Sink sink)
{
    g_sink.store(sink);
}

void PlatformLog::write(const QString& message, LogEntry::Level level)
{
    if (const Sink sink = g_sink.load()) {
        sink(message, level);
        return;
    }
    const QString line = LogEntry::terminalLine(QStringLiteral("[%1] ").arg(LogEntry::levelText(level)) + message);
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
}
