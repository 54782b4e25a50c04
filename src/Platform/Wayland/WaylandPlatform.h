#pragma once

#include "Platform/FileDialogs.h"
#include "Platform/PlatformServices.h"
#include "Platform/StatusIndicator.h"
#include "Platform/SystemSleeper.h"
#include "Platform/Wayland/DesktopProvider.h"
#include "Platform/Wayland/WaylandEventPoster.h"
#include "Platform/Wayland/WaylandInputTap.h"
#include "Platform/Wayland/WaylandPermissionProbe.h"
#include "Platform/Wayland/WaylandWorkspace.h"
#include "Platform/X11/X11HotkeyRegistrar.h"
#include "Platform/X11/X11KeyboardLayout.h"
#include "Platform/Linux/KeychainStore.h"

#include <memory>

// Every platform service of a Wayland session: input through quillo-inputd, the
// desktop's provider for focus, pointer and layout, hotkeys through the desktop itself
// (GNOME Shell, KDE's global shortcuts, sway's and Hyprland's bindings) or else the
// helper. Key names go through XWayland where it runs.
class WaylandPlatform
{
public:
    explicit WaylandPlatform(FileDialogs& dialogs);
    ~WaylandPlatform();

    PlatformServices services();

    DesktopProvider& provider() { return *m_provider; }
    WaylandEventPoster& eventPoster() { return m_poster; }
    WaylandPermissionProbe& permissionProbe() { return m_probe; }
    SystemSleeper& sleeper() { return m_sleeper; }
    // What the desktop's provider lacks (empty when it tells focus and pointer).
    const QString& desktopProblem() const { return m_desktopProblem; }
    // Whether the desktop answered at start (it then says what is in front).
    bool desktopAnswers() const { return m_desktopAnswers; }

    // The provider for this session's desktop (not yet started).
    static std::unique_ptr<DesktopProvider> providerForSession();
    // The hotkeys of `provider`'s desktop (started), else the helper's watch; `note` says
    // why the desktop's own could not be used.
    static std::unique_ptr<HotkeyRegistrar> hotkeysFor(DesktopProvider& provider, KeyboardLayout& layout, QString* note);
    HotkeyRegistrar& hotkeyRegistrar() { return *m_hotkeys; }
    // GNOME's top-bar indicator (through Quillo's extension), else null.
    StatusIndicator* statusIndicator() { return m_indicator.get(); }
    // How this desktop's screen is read, or null where Quillo cannot read it yet.
    ScreenCapture* screenCapture() { return m_screen.get(); }
    // The screen of `provider`'s desktop, where Quillo can read it (sway with grim).
    static std::unique_ptr<ScreenCapture> screenFor(DesktopProvider& provider);

private:
    FileDialogs& m_dialogs;
    std::unique_ptr<DesktopProvider> m_provider;
    QString m_desktopProblem;
    bool m_desktopAnswers = false;
    WaylandInputTap m_tap;
    std::unique_ptr<WaylandWorkspace> m_workspace;
    WaylandPermissionProbe m_probe;
    WaylandEventPoster m_poster;
    SystemSleeper m_sleeper;
    X11KeyboardLayout m_keyboardLayout;
    std::unique_ptr<HotkeyRegistrar> m_hotkeys;
    std::unique_ptr<StatusIndicator> m_indicator;
    KeychainStore m_keychain;
    // Where the screen can be read (sway and other wlroots compositors, through grim).
    std::unique_ptr<ScreenCapture> m_screen;
};
