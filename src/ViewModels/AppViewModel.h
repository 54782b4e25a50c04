#pragma once

#include "Models/Macro.h"
#include "Models/PlaybackOptions.h"
#include "Models/RecordingLimits.h"
#include "Platform/PlatformServices.h"
#include "Services/Cloud/BackupSyncService.h"
#include "Services/Cloud/CloudAuthService.h"
#include "Services/ExportImportService.h"
#include "Services/HotkeyService.h"
#include "Services/Localization/AppLocale.h"
#include "Library/MacroLibrary.h"
#include "Services/PermissionsService.h"
#include "Services/PlaybackService.h"
#include "Services/RecorderService.h"
#include "Services/StorageService.h"
#include "ViewModels/HotkeyViewModel.h"
#include "ViewModels/RecordingFlow.h"
#include "ViewModels/RestoreFlow.h"

#include <QObject>
#include <QRectF>
#include <QSettings>
#include <functional>
#include <optional>
#include <set>
#include <vector>

// The application's model: owns every service, the library and the flows that feed it, and
// coordinates them: which macro the window shows, the global hotkeys, playback requests,
// the language, messages for the person and the cloud. Views observe it and edit the
// library through library().
class AppViewModel : public QObject
{
    Q_OBJECT
public:
    static constexpr quint32 hotkeyToggleRecording = 1;
    static constexpr quint32 hotkeyStopRecording = 2;
    static constexpr quint32 hotkeyTogglePlayback = 3;
    static constexpr int permissionCheckDelayMs = RecordingFlow::permissionCheckDelayMs;

    // `libraryPath` empty: the user's library. `settings`: where the language is kept.
    AppViewModel(const PlatformServices& platform, QSettings& settings, const QString& libraryPath = {},
                 QObject* parent = nullptr);
    ~AppViewModel() override;

    // Published state.
    // The library's macros, in their order (as library().macros()).
    const std::vector<Macro>& macros() const { return m_library->macros(); }
    std::optional<QUuid> selectedMacroID() const { return m_selectedMacroID; }
    const Macro* selectedMacro() const;
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    AppLocale appLanguage() const { return m_appLanguage; }

    void setSelectedMacroID(std::optional<QUuid> id);
    void clearErrorMessage();
    // An alert for something the person tried that could not be done (a paste of no actions).
    void showMessage(const QString& message) { setErrorMessage(message); }
    // Stores the choice under "appLanguage", also when it did not change.
    void setAppLanguage(AppLocale language);
    // The monitors as they are now.
    std::vector<ScreenOutput> currentScreenLayout() { return m_workspace.screenLayout(); }
    // The applications with windows now (for a focus action to name).
    std::vector<RunningApplication> runningApplications() { return m_workspace.runningApplications(); }
    KeyboardLayout& keyboardLayout() { return m_keyboardLayout; }
    QString t(const QString& key) const;

    std::function<void()> openSettings;
    // What the session's desktop does not report while recording (under Wayland: the
    // pointer's position or the frontmost application), and the sentence that says so
    // in the app's language (empty when it reports both).
    RecordingLimits recordingLimits;
    QString recordingLimitsText() const;
    // False where the desktop gives no screen layout, so that positions cannot be
    // replayed (clicks land wherever the pointer is).
    bool replaysPositions = true;
    // Whether this desktop's screen can be read (clicks keep pictures, replays wait for them).
    bool readsScreen() const { return m_readsScreen; }
    // Whether recordings keep what the screen showed at each press (not where reading the
    // screen may ask the user: a recording reads it all the time).
    bool recordsPictures() const { return m_recordsPictures; }
    // Where the editor takes the pictures and colours of steps that wait for them (null
    // where the screen cannot be read).
    ScreenCapture* screenCapture() const { return m_screenCapture; }
    // Opens a web page in the person's browser (the cloud sign-in); false when nothing could.
    std::function<bool(const QUrl&)> openUrl;

    // The library, and the recording on its way to it.
    MacroLibrary& library() { return *m_library; }
    const MacroLibrary& library() const { return *m_library; }
    RecordingFlow& recordingFlow() { return *m_recordingFlow; }
    // Backups brought back from Quillo Cloud into the library.
    RestoreFlow& restoreFlow() { return *m_restoreFlow; }

    // The services.
    RecorderService& recorder() { return *m_recorder; }
    PlaybackService& playback() { return *m_playback; }
    PermissionsService& permissions() { return *m_permissions; }
    StorageService& storage() { return *m_storage; }
    HotkeyService& hotkeys() { return *m_hotkeys; }
    // The hotkeys' chords as people see and change them.
    HotkeyViewModel& hotkeyChords() { return *m_hotkeyChords; }
    ExportImportService& exportImport() { return *m_exportImport; }
    CloudAuthService& cloudAuth() { return *m_cloudAuth; }
    BackupSyncService& backupSync() { return *m_backupSync; }
    // The library's macro with this id, or nothing.
    const Macro* macroWithId(const QUuid& id) const { return m_library->macroWithId(id); }
    QSettings& settings() { return m_settings; }

    // Uploads the whole library; `done` gets the number of macros uploaded. Signed out,
    // it fails at once with "Sign in to Quillo Cloud first." and sends nothing.
    void syncAllMacrosToCloud(std::function<void(Expected<int, BackupError>)> done);

    // Lets the person pick a macro file and adds it to the library.
    void importMacro();
    // Writes the macro to a file the person picks.
    void exportMacro(const QUuid& id);
    // Undo and redo of the library's changes, except while a playback runs (the macro
    // being played stays as it is until it ends).
    void undo();
    void redo();

    // Playback and the hotkeys.
    void startPlayback(const Macro& macro, const PlaybackOptions& options);
    // Logs "Playback stopped" and stops the engine (the controls, the menu, hotkey 3).
    void stopPlayback();
    // A press of hotkey `id`: 1 starts or stops a recording, 2 stops it, 3 plays the
    // selected macro or stops the playback; a macro's own chord plays that macro or stops
    // the playback.
    void handleHotKey(quint32 id);

Q_SIGNALS:
    // The library changed (relayed from library().changed once the selection follows it,
    // so that views never see a selected macro that is not in the list yet).
    void macrosChanged();
    void selectedMacroIDChanged();
    void errorMessageChanged();
    void appLanguageChanged();
    void historyChanged();
    // Any published state of the model or of one of its services changed.
    void changed();

private:
    void registerHotkeys();
    void updateHotkeyLeniency();
    void setErrorMessage(const QString& message);
    // A playback's failure as the window says it, in the app's language.
    QString playbackFailureText(const QString& message, const QString& application, double seconds) const;
    // The selection follows the library: to the macro a change brings forward, or to the
    // first when the selected one is gone.
    void libraryChanged(const LibraryUpdate& update);

    QSettings& m_settings;
    KeyboardLayout& m_keyboardLayout;
    Workspace& m_workspace;
    RecorderService* m_recorder;
    PlaybackService* m_playback;
    PermissionsService* m_permissions;
    StorageService* m_storage;
    HotkeyService* m_hotkeys;
    HotkeyViewModel* m_hotkeyChords;
    ExportImportService* m_exportImport;
    CloudAuthService* m_cloudAuth;
    BackupSyncService* m_backupSync;
    MacroLibrary* m_library;
    RecordingFlow* m_recordingFlow;
    RestoreFlow* m_restoreFlow;

    std::optional<QUuid> m_selectedMacroID;
    std::optional<QString> m_errorMessage;
    AppLocale m_appLanguage = AppLocale::system;
    bool m_readsScreen = false;
    bool m_recordsPictures = false;
    ScreenCapture* m_screenCapture = nullptr;
};
