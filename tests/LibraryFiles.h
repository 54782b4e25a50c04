#pragma once

// Library files for tests: macros with a name, a library written before the code under
// test reads it, and the log as lines.
#include "Codec/MacroJsonEncoder.h"
#include "Services/AtomicFile.h"
#include "Services/LogService.h"
#include "TestMacros.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

inline Macro named(const QString& name)
{
    Macro m = TestMacros::small();
    m.id = QUuid::createUuid();
    m.metadata.name = name;
    return m;
}

inline void writeLibrary(const QString& path, const std::vector<Macro>& macros)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    ASSERT_TRUE(AtomicFile::write(path, MacroJsonEncoder::encodeLibrary(macros).value()).hasValue());
}

// The file keeps whole seconds of the dates; everything else must match exactly.
inline bool sameButForDates(std::vector<Macro> a, std::vector<Macro> b)
{
    for (auto* list : {&a, &b})
        for (Macro& m : *list)
            m.metadata.createdAt = m.metadata.modifiedAt = QDateTime();
    return a == b;
}

// "INFO Deleted macro "A"": every line logged so far, with its level.
inline QStringList logMessages()
{
    QCoreApplication::sendPostedEvents();
    QStringList messages;
    for (const LogEntry& e : LogService::shared()->entries())
        messages << LogEntry::levelText(e.level) + QLatin1Char(' ') + e.message;
    return messages;
}
