#pragma once

#include <QRectF>
#include <QString>

// A window on the desktop as the workspace reports it: its application (identifier and
// name), its title, where it is (logical coordinates; empty when not known) and whether
// it is the one in front.
struct DesktopWindow {
    QString appId;
    QString appName;
    QString title;
    QRectF area;
    bool front = false;

    bool operator==(const DesktopWindow&) const = default;
};
