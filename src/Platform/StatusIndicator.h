#pragma once

#include <QObject>
#include <QRectF>
#include <QString>
#include <vector>

// Quillo's status item where the desktop has no tray but can show one of its own (GNOME's
// top bar, through Quillo's extension): an icon for the state and the tray's menu.
class StatusIndicator : public QObject
{
    Q_OBJECT
public:
    struct Entry {
        QString id; // empty for a line that is only read (the state)
        QString label;
        bool enabled = true;
        bool separator = false;
        bool operator==(const Entry&) const = default;
    };

    using QObject::QObject;

    // Whether the desktop can show it here.
    virtual bool isAvailable() = 0;
    // Shows (or updates) it: `state` is "idle", "recording" or "playing".
    virtual void show(const QString& state, const std::vector<Entry>& menu) = 0;
    virtual void hide() = 0;

Q_SIGNALS:
    // An entry was chosen; `areas`: where the indicator and its menu were on the screen
    // then (clicks there are not the user's macro).
    void activated(const QString& id, const std::vector<QRectF>& areas);
    // Its menu opened.
    void menuOpened();
};
