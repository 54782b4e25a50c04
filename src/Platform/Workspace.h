#pragma once

#include "Models/DesktopWindow.h"
#include "Models/ScreenOutput.h"
#include "Platform/RunningApplication.h"

#include <QObject>
#include <QRectF>
#include <QString>
#include <optional>
#include <vector>

// The desktop's applications: which one is in front and when another one comes to
// the front. Lives on the main thread and signals there.
class Workspace : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The frontmost application, or nothing when no application is in front.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    // The identifier under which this application's own windows appear.
    virtual QString ownApplicationId() const = 0;
    // The monitors as they are now (empty when the desktop does not say).
    virtual std::vector<ScreenOutput> screenLayout() { return {}; }
    // The applications with windows now, each once, this one left out (empty when the
    // desktop does not say).
    virtual std::vector<RunningApplication> runningApplications() { return {}; }
    // The frontmost window's title and where it is (logical coordinates), or nothing when
    // the desktop does not say.
    struct FrontWindow {
        QString title;
        QRectF area;
    };
    virtual std::optional<FrontWindow> frontmostWindow() { return std::nullopt; }
    // The windows now, this application's left out; nothing when the desktop says neither
    // which applications have windows nor which one is in front. Where the desktop names
    // no window one by one, each application with windows stands for one window, and only
    // the front one has a title.
    virtual std::optional<std::vector<DesktopWindow>> windows();

Q_SIGNALS:
    // Another application became frontmost.
    void applicationActivated(const RunningApplication& application);
};
