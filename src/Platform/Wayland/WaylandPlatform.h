#pragma once

#include "Platform/FileDialogs.h"
#include "Platform/PlatformServices.h"
#include "Platform/SystemSleeper.h"
#include "Platform/Wayland/DesktopProvider.h"
#include "Platform/Wayland/WaylandEventPoster.h"
#include "Platform/Wayland/WaylandInputTap.h"
#include "Platform/Wayland/WaylandPermissionProbe.h"
#include "Platform/Wayland/WaylandWorkspace.h"
#include "Platform/X11/X11HotkeyRegistrar.h"
#include "Platform/X11/X11KeyboardLayout.h"
#include "Services/Cloud/KeychainStore.h"

#include <memory>

// Every platform service of a Wayland session: input through quillo-inputd, the
// desktop's provider for focus, pointer and layout. Hotkeys and key names go through
// XWayland where it runs.
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

    // The provider for this session's desktop (not yet started).
    static std::unique_ptr<DesktopProvider> providerForSession();

private:
    FileDialogs& m_dialogs;
    std::unique_ptr<DesktopProvider> m_provider;
    QString m_desktopProblem;
    WaylandInputTap m_tap;
    std::unique_ptr<WaylandWorkspace> m_workspace;
    WaylandPermissionProbe m_probe;
    WaylandEventPoster m_poster;
    X11HotkeyRegistrar m_hotkeys;
    SystemSleeper m_sleeper;
    X11KeyboardLayout m_keyboardLayout;
    KeychainStore m_keychain;
};
