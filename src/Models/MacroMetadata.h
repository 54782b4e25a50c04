#pragma once

#include "Models/RecordingOptions.h"
#include "Models/ScreenOutput.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
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
    // How it was recorded ("recording", written only for recordings that say).
    std::optional<RecordingOptions> recording;

    bool operator==(const MacroMetadata&) const = default;
};
