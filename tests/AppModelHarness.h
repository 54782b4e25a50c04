#pragma once

// An application model on the fake platform and virtual time, with its library and
// settings in a temporary folder.
#include "LibraryFiles.h"
#include "Platform/Fake/FakeClock.h"
#include "Platform/Fake/FakeEventPoster.h"
#include "Platform/Fake/FakeFileDialogs.h"
#include "Platform/Fake/FakeHotkeyRegistrar.h"
#include "Platform/Fake/FakeInputTap.h"
#include "Platform/Fake/FakeKeyboardLayout.h"
#include "Platform/Fake/FakePermissionProbe.h"
#include "Platform/Fake/FakeScreenCapture.h"
#include "Platform/Fake/FakeSecretStore.h"
#include "Platform/Fake/FakeSleeper.h"
#include "Platform/Fake/FakeWorkspace.h"
#include "Services/LogService.h"
#include "ViewModels/AppViewModel.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <memory>

struct AppModelHarness {
    AppModelHarness() : settings(dir.path() + QStringLiteral("/settings.ini"), QSettings::IniFormat)
    {
        LogService::shared()->setEntries({});
        permissions.accessibility = permissions.inputMonitoring = true;
        workspace.setFrontmost(RunningApplication{QStringLiteral("org.example.Editor"), QStringLiteral("Editor")});
    }

    QString libraryPath() const { return dir.path() + QStringLiteral("/Quillo/macros.json"); }

    // `readsScreen`: the platform has a screen to read (`screen`).
    AppViewModel& start(bool readsScreen = false)
    {
        model = std::make_unique<AppViewModel>(
            PlatformServices{tap, workspace, permissions, poster, hotkeys, dialogs, clock, sleeper, keyboard, secrets,
                             readsScreen ? &screen : nullptr},
            settings, libraryPath());
        QCoreApplication::sendPostedEvents();
        return *model;
    }

    // Records `count` key presses (down and up) and stops through the model.
    void record(AppViewModel& m, int count)
    {
        m.recordingFlow().startRecording();
        const double start = clock.now();
        for (int i = 0; i < count; ++i) {
            RawInputEvent e;
            e.type = i % 2 ? RawEventType::keyUp : RawEventType::keyDown;
            e.time = start + 0.1 * (i + 1);
            tap.deliver(e);
        }
        QCoreApplication::sendPostedEvents();
        m.recordingFlow().stopRecordingAndPrompt();
    }

    QStringList logMessages() const { return ::logMessages(); }

    QTemporaryDir dir;
    QSettings settings;
    FakeClock clock;
    FakeSleeper sleeper{clock};
    FakeInputTap tap;
    FakeWorkspace workspace;
    FakePermissionProbe permissions;
    FakeEventPoster poster{clock};
    FakeHotkeyRegistrar hotkeys;
    FakeFileDialogs dialogs;
    FakeKeyboardLayout keyboard;
    FakeSecretStore secrets;
    FakeScreenCapture screen;
    std::unique_ptr<AppViewModel> model;
};
