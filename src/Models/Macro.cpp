#include "Models/Macro.h"

Macro Macro::fromRecording(const QString& name, std::vector<MacroAction> actions,
                           const QDateTime& now)
{
    Macro macro;
    macro.id = QUuid::createUuid();
    macro.actions = std::move(actions);
    macro.metadata.name = name;
    macro.metadata.createdAt = now;
    macro.metadata.modifiedAt = now;
    macro.metadata.actionCount = static_cast<qint64>(macro.actions.size());
    macro.metadata.durationSeconds = macro.totalDuration();
    return macro;
}
