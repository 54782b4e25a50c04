#pragma once

#include "Platform/FileDialogs.h"
#include "Platform/PlatformServices.h"
#include "Platform/SystemClock.h"
#include "Platform/SystemSleeper.h"
#include "Platform/X11/X11EventPoster.h"
#include "Platform/X11/X11HotkeyRegistrar.h"
#include "Platform/X11/X11InputTap.h"
#include "Platform/X11/X11KeyboardLayout.h"
#include "Platform/X11/X11PermissionProbe.h"
#include "Platform/X11/X11ScreenCapture.h"
#include "Platform/X11/X11Workspace.h"
#include "Platform/Linux/KeychainStore.h"

#include <QByteArray>
#include <QStringList>

// Every platform service of an X11 desktop, made once and owned together.
class X11Platform
{
public:
    // `dialogs`: the application's file dialogs (the window supplies them).
    explicit X11Platform(FileDialogs& dialogs, QByteArray displayName = {});

    PlatformServices services();

    X11InputTap& inputTap() { return m_tap; }
    X11Workspace& workspace() { return m_workspace; }
    X11PermissionProbe& permissionProbe() { return m_probe; }
    X11EventPoster& eventPoster() { return m_poster; }
    X11HotkeyRegistrar& hotkeyRegistrar() { return m_hotkeys; }
    SystemSleeper& sleeper() { return m_sleeper; }

    // Whether the window manager announces the active window (_NET_ACTIVE_WINDOW).
    static bool windowManagerReportsActiveWindow(const QByteArray& displayName = {});
    // Whether the X display ($DISPLAY when empty) can be opened.
    static bool canOpenDisplay(const QByteArray& displayName = {});

private:
    FileDialogs& m_dialogs;
    X11InputTap m_tap;
    X11Workspace m_workspace;
    X11PermissionProbe m_probe;
    X11EventPoster m_poster;
    X11HotkeyRegistrar m_hotkeys;
    SystemSleeper m_sleeper;
    X11KeyboardLayout m_keyboardLayout;
    KeychainStore m_keychain;
    X11ScreenCapture m_screen;
};
