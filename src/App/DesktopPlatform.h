#pragma once

#include "Models/RecordingLimits.h"
#include "Platform/Linux/SessionKind.h"
#include "Platform/PlatformServices.h"
#include "Platform/StatusIndicator.h"

#include <QPoint>
#include <memory>
#include <optional>

class WaylandPlatform;
class X11Platform;

// The platform of this session, X11 or Wayland (SessionKind decides), for the
// application and the command line alike.
class DesktopPlatform
{
public:
    explicit DesktopPlatform(FileDialogs& dialogs, SessionKind::Kind kind = SessionKind::detect());
    ~DesktopPlatform();

    SessionKind::Kind kind() const { return m_kind; }
    PlatformServices services();
    EventPoster& eventPoster();
    Sleeper& sleeper();
    // Why replaying cannot work here, or empty.
    QString replayProblem();
    // Why recording cannot work here, or empty.
    QString recordProblem();
    // What the desktop does not report under Wayland (focus, pointer), or empty.
    QString desktopLimits() const;
    // The same for the window, to be said in the user's language.
    RecordingLimits recordingLimits() const;
    // The monitors of this session now, without building a whole platform.
    static std::vector<ScreenOutput> currentScreenLayout(SessionKind::Kind kind = SessionKind::detect());
    // Whether pointer positions can be replayed: under Wayland only where the desktop
    // says how its screens are laid out.
    bool replaysPositions() const;
    static bool replaysPositions(SessionKind::Kind kind, const std::vector<ScreenOutput>& layout)
    {
        return kind != SessionKind::Kind::wayland || !layout.empty();
    }
    // The desktop's own status item where it has one (GNOME's top bar), else null.
    StatusIndicator* statusIndicator();
    // Where the window manager put a window's frame (X11 only).
    std::optional<QPoint> frameTopLeft(quint64 windowId) const;

private:
    SessionKind::Kind m_kind;
    std::unique_ptr<X11Platform> m_x11;
    std::unique_ptr<WaylandPlatform> m_wayland;
};
