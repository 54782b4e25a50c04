#pragma once

#include "Models/ScreenOutput.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

struct MacroMetadata
{
    QString name;
    QDateTime createdAt;
    QDateTime modifiedAt;
    qint64 actionCount = 0;
    double durationSeconds = 0;
    QStringList tags;
    // The monitors when the recording started ("outputs", written only when known).
    std::vector<ScreenOutput> outputs;

    bool operator==(const MacroMetadata&) const = default;
};
