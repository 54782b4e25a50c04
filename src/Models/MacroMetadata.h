#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

struct MacroMetadata
{
    QString name;
    QDateTime createdAt;
    QDateTime modifiedAt;
    qint64 actionCount = 0;
    double durationSeconds = 0;
    QStringList tags;

    bool operator==(const MacroMetadata&) const = default;
};
