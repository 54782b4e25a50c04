#pragma once

#include "Platform/Clock.h"
#include "Platform/EventPoster.h"
#include "Platform/FileDialogs.h"
#include "Platform/HotkeyRegistrar.h"
#include "Platform/InputTap.h"
#include "Platform/KeyboardLayout.h"
#include "Platform/PermissionProbe.h"
#include "Platform/ScreenCapture.h"
#include "Platform/SecretStore.h"
#include "Platform/Sleeper.h"
#include "Platform/Workspace.h"

// Everything the application needs from the system, handed to the application model.
struct PlatformServices {
    InputTap& inputTap;
    Workspace& workspace;
    PermissionProbe& permissionProbe;
    EventPoster& eventPoster;
    HotkeyRegistrar& hotkeyRegistrar;
    FileDialogs& fileDialogs;
    const Clock& clock;
    Sleeper& sleeper;
    KeyboardLayout& keyboardLayout;
    SecretStore& secretStore;
    // Where the screen is read; none on desktops whose screen Quillo cannot read yet.
    ScreenCapture* screenCapture = nullptr;
};
