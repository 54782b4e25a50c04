#pragma once

#include "Models/LogEntry.h"

#include <QString>

// Where the backends say what a person should read in the log (a button press that
// cannot be recorded, a desktop without hotkeys). The application's log installs
// itself as the sink when it is created; until then, and in programs without it,
// the lines go to standard error. Any thread may write.
namespace PlatformLog {

using Sink = void (*)(const QString& message, LogEntry::Level level);

void setSink(Sink sink);
void write(const QString& message, LogEntry::Level level = LogEntry::Level::info);

} // namespace PlatformLog
