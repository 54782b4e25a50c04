#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

// One stored backup as Quillo Cloud returns it after an upload.
struct CloudBackup
{
    QString id;
    QString sourceMacroId;
    QString name;
    std::optional<QString> description;
    qint64 actionCount = 0;
    double durationSeconds = 0;
    qint64 size = 0;
    QString sha256;
    qint64 macroVersion = 0;
    QDateTime createdAt;
    QDateTime updatedAt;

    bool operator==(const CloudBackup&) const = default;
};
