#pragma once

#include <QDateTime>
#include <QString>

// One stored revision of a macro's backup, as Quillo Cloud lists it.
struct CloudRevision
{
    QString id;
    QString name;
    QDateTime createdAt;
    qint64 size = 0;
    qint64 actionCount = 0;

    bool operator==(const CloudRevision&) const = default;
};
