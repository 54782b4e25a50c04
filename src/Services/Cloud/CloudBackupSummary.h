#pragma once

#include <QDateTime>
#include <QString>

// The backup of one macro as Quillo Cloud lists an account's backups: the macro it
// was made from, the name of its newest revision and how many it has.
struct CloudBackupSummary
{
    QString id;
    QString sourceMacroId;
    QString name;
    int revisions = 0;
    QDateTime latestAt;
    qint64 size = 0;

    bool operator==(const CloudBackupSummary&) const = default;
};
