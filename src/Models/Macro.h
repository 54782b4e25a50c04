#pragma once

#include "Models/MacroAction.h"
#include "Models/MacroMetadata.h"

#include <QUuid>
#include <vector>

struct Macro
{
    // The only format version this build reads and writes.
    static constexpr qint64 currentVersion = 1;

    QUuid id;
    MacroMetadata metadata;
    std::vector<MacroAction> actions;
    qint64 version = currentVersion;

    // The timestamp of the last action (not the largest one), or 0 without actions.
    double totalDuration() const { return actions.empty() ? 0.0 : actions.back().timestamp; }

    bool operator==(const Macro&) const = default;

    // A new macro from a finished recording, made at `now`.
    static Macro fromRecording(const QString& name, std::vector<MacroAction> actions,
                               const QDateTime& now);
};
