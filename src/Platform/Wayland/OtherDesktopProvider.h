#pragma once

#include "Platform/Wayland/DesktopProvider.h"

// A Wayland desktop Quillo has no interface to: no focus, no pointer, no layout (so
// positions cannot be replayed: the helper's absolute pointer needs the layout).
class OtherDesktopProvider : public DesktopProvider
{
    Q_OBJECT
public:
    using DesktopProvider::DesktopProvider;

    QString desktopName() const override
    {
        const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
        return desktop.isEmpty() ? QStringLiteral("this Wayland desktop") : desktop;
    }
    bool start(QString* problem) override
    {
        if (problem)
            *problem = QStringLiteral("%1 tells Quillo neither which application is in front nor how its screens "
                                      "are laid out: application switches are not recorded, and positions are not "
                                      "replayed (clicks and wheel turns land wherever the pointer is)")
                           .arg(desktopName());
        return false;
    }
    bool reportsFocus() const override { return false; }
    bool reportsPointer() const override { return false; }
    std::optional<RunningApplication> frontmostApplication() override { return std::nullopt; }
    bool activate(const QString&) override { return false; }
    std::vector<Output> outputs() override { return {}; }
    bool pointerPosition(double&, double&) override { return false; }
};
