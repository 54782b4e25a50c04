#pragma once

#include <QString>

// What the session's desktop does not report while recording (under Wayland): which
// application is in front, or where the pointer is. Nothing is missing by default.
struct RecordingLimits
{
    QString desktop;              // the desktop's name, "GNOME Shell", "sway"
    bool focusUnknown = false;    // switches between applications are not recorded
    bool pointerEstimated = false; // positions follow the mouse's motion

    bool any() const { return focusUnknown || pointerEstimated; }
};
