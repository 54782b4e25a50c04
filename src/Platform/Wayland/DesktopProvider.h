#pragma once

#include "Platform/Linux/OutputLayout.h"
#include "Platform/RunningApplication.h"

#include <QObject>
#include <optional>
#include <vector>

// What a Wayland desktop tells Quillo through its own interfaces: the frontmost
// application (and when it changes), activating one, the outputs' layout and, where it
// can, the pointer's position. One implementation per desktop; main thread, except
// `pointerPosition`, which the tap's thread may ask.
class DesktopProvider : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // "sway", "Hyprland", "KDE Plasma", "GNOME", or the session's name.
    virtual QString desktopName() const = 0;
    // Connects; false with what is missing (the doctor and the recorder bar say it).
    virtual bool start(QString* problem) = 0;
    virtual bool reportsFocus() const = 0;
    virtual bool reportsPointer() const = 0;
    // Where the desktop reports on its own after `start` (a script inside it pushes the
    // layout, the pointer and the window in front), whether its first report has come;
    // before it, outputs() and frontmostApplication() say nothing yet. Desktops that are
    // asked are always ready.
    virtual bool hasReported() const { return true; }

    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    virtual bool activate(const QString& id) = 0;
    virtual std::vector<Output> outputs() = 0;
    // Thread-safe; false where the desktop cannot say.
    virtual bool pointerPosition(double& x, double& y) = 0;
    // Puts the pointer at a known point (where positions are estimated from motion).
    virtual bool placePointer(double x, double y)
    {
        Q_UNUSED(x);
        Q_UNUSED(y);
        return false;
    }

Q_SIGNALS:
    void applicationActivated(const RunningApplication& application);
};
