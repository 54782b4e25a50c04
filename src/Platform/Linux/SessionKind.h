#pragma once

#include <QString>

// Which backend a session needs: X11, or Wayland (through the input helper).
// QUILLO_PLATFORM=x11|wayland decides when set; otherwise XDG_SESSION_TYPE=wayland or a
// WAYLAND_DISPLAY means Wayland.
namespace SessionKind {

enum class Kind { x11, wayland };

Kind detect();
// Why QUILLO_PLATFORM cannot be used (a value other than x11 or wayland), or empty.
QString forcedProblem();
QString name(Kind kind);
// Which Wayland desktop runs: "sway", "Hyprland", "KDE", "GNOME", or "" for another.
QString waylandDesktop();

} // namespace SessionKind
