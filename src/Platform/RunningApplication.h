#pragma once

#include <QMetaType>
#include <QString>

// An application as the workspace sees it: its identifier (may be empty when the
// system knows none) and its display name.
struct RunningApplication {
    QString id;
    QString name;

    bool operator==(const RunningApplication&) const = default;
};
Q_DECLARE_METATYPE(RunningApplication)
