#pragma once

#include "Models/Macro.h"
#include "Models/PlaybackOptions.h"
#include "Models/RecordingLimits.h"
#include "Platform/PlatformServices.h"
#include "Services/Cloud/BackupSyncService.h"
#include "Services/Cloud/CloudAuthService.h"
#include "Services/Cloud/PendingBackups.h"
#include "Services/ExportImportService.h"
#include "Services/HotkeyService.h"
#include "Services/Localization/AppLocale.h"
#include "Services/PermissionsService.h"
#include "Services/PlaybackService.h"
#include "Services/RecorderService.h"
#include "Services/StorageService.h"
#include "ViewModels/HotkeyViewModel.h"
#include "ViewModels/UndoHistory.h"

#include <QObject>
#include <QRectF>
#include <QSettings>
#include <functional>
#include <optional>
#include <set>
#include <vector>

// The application's one model: owns every service, holds the library in memory and
// writes it after each change, carries recordings through the save sheet, starts
// playbacks and routes the global hotkeys. Views observe it and call its operations.
class AppViewModel : public QObject
{
    Q_OBJECT
public:
    static constexpr quint32 hotkeyToggleRecording = 1;
    static constexpr quint32 hotkeyStopRecording = 2;
    static constexpr quint32 hotkeyTogglePlayback = 3;
    static constexpr int permissionCheckDelayMs = 500;

    // `libraryPath` empty: the user's library. `settings`: where the language is kept.
    AppViewModel(const PlatformServices& platform, QSettings& settings, const QString& libraryPath = {},
                 QObject* parent = nullptr);
    ~AppViewModel() override;

    // Published state.
    const std::vector<Macro>& macros() const { return m_macros; }
    std::optional<QUuid> selectedMacroID() const { return m_selectedMacroID; }
    const Macro* selectedMacro() const;
    bool showRecordingSheet() const { return m_showRecordingSheet; }
    const QString& pendingRecordingName() const { return m_pendingRecordingName; }
    // Said in the save sheet when a newer recording took the place of one waiting there,
    // which was saved under its name then (empty otherwise).
    const QString& recordingNotice() const { return m_recordingNotice; }
    const std::optional<QString>& errorMessage() const { return m_errorMessage; }
    const std::vector<MacroAction>& pendingActions() const { return m_pendingActions; }
    AppLocale appLanguage() const { return m_appLanguage; }

    void setSelectedMacroID(std::optional<QUuid> id);
    void setPendingRecordingName(const QString& name);
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
    // A key action as people read it, "Shift+H" (the key named by the current layout), or
    // a mouse action with modifiers, "Shift+Left Click"; empty for other actions.
    QString keyChordText(const MacroAction& action) const;

    std::function<void()> openSettings;
    // What the session's desktop does not report while recording (under Wayland: the
    // pointer's position or the frontmost application), and the sentence that says so
    // in the app's language (empty when it reports both).
    RecordingLimits recordingLimits;
    QString recordingLimitsText() const;
    // False where the desktop gives no screen layout, so that positions cannot be
    // replayed (clicks land wherever the pointer is).
    bool replaysPositions = true;
    // Opens a web page in the person's browser (the cloud sign-in); false when nothing could.
    std::function<bool(const QUrl&)> openUrl;

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
    const Macro* macroWithId(const QUuid& id) const;
    // "Restore in Quillo" (a quillo://restore?revision=ID link): that revision is fetched
    // with this device's token and put back in place of the macro it was backed up from
    // (first in the list when that one is gone), as one undoable step. `done` gets what
    // went wrong, or nothing; a failure is also shown in the window.
    void restoreRevision(const QString& revisionID, std::function<void(std::optional<QString>)> done = {});
    void handleRestoreLink(const QUrl& url);
    QSettings& settings() { return m_settings; }

    // Cloud backup. "autoSyncEnabled": back up each newly saved recording (default on).
    bool autoSyncEnabled() const;
    void setAutoSyncEnabled(bool enabled);
    // Backs up the saved recordings that wait for it (saved at quit, while signed out
    // of the service for a moment, or brought back from a file of their own), when
    // automatic backup is on and the sign-in is confirmed; each leaves the list once
    // stored. Quiet on failure: they wait for the next chance.
    void backUpWaitingRecordings();
    // Uploads the whole library; `done` gets the number of macros uploaded. Signed out,
    // it fails at once with "Sign in to Quillo Cloud first." and sends nothing.
    void syncAllMacrosToCloud(std::function<void(Expected<int, BackupError>)> done);

    // The library.
    void renameMacro(const QUuid& id, const QString& newName);
    void deleteMacro(const QUuid& id);
    void deleteMacros(const std::set<int>& positions);
    void deleteActions(const QUuid& macroID, const std::set<int>& positions);
    void moveActions(const QUuid& macroID, const std::set<int>& positions, int destination);
    void insertDelay(const QUuid& macroID, int afterIndex, double duration);
    // `actions` after `afterIndex` (-1: at the front), the first `firstGap` seconds after
    // the action before; `what` names them in the log ("Inserted 12 typed keys into").
    void insertActions(const QUuid& macroID, int afterIndex, const std::vector<MacroAction>& actions, double firstGap,
                       const QString& what);
    // The action at `position` as edited, `gap` seconds after the one before.
    void replaceAction(const QUuid& macroID, int position, const MacroAction& action, double gap);
    void setActionGaps(const QUuid& macroID, const std::set<int>& positions, double gap);
    void scaleActionGaps(const QUuid& macroID, const std::set<int>& positions, double factor);
    // Copies of the actions at `positions` right after the last of them, in their rhythm.
    void duplicateActions(const QUuid& macroID, const std::set<int>& positions);
    // The actions at `positions` as a macro file's JSON (what the clipboard carries).
    QByteArray actionsAsJson(const QUuid& macroID, const std::set<int>& positions) const;
    // The actions of macro JSON (copied from Quillo, or a macro file's text) after
    // `afterIndex`; empty, or why nothing was pasted.
    QString pasteActions(const QUuid& macroID, int afterIndex, const QByteArray& json);
    void importMacro();
    // Undo and redo of the library's changes made in this run (deleting and renaming
    // macros, action edits, imports, restores). Each change is logged at info level.
    void undo();
    void redo();
    const UndoHistory& history() const { return m_history; }
    void exportMacro(const QUuid& id);
    // Adds a macro read elsewhere (the command line's import) as an import does.
    void addImportedMacro(Macro macro);
    // `quillo import --replace`: the macro in place of the library's macro of the same
    // name (its id, place and creation date kept), or first when none has it; undoable.
    // Whether one was replaced, or why nothing changed (several have the name).
    Expected<bool, QString> importReplacing(Macro macro);
    // A macro put back where the macro of its id is (a restored backup), or first when
    // that one is gone; undoable, logged with `description`.
    void putMacroInPlace(Macro macro, const QString& description);
    void persistMacros();
    // Where a recording that cannot be saved into the library is written instead when
    // its own folder refuses it too (the command line: the current folder).
    void setRecoveryFolder(const QString& folder) { m_recoveryFolder = folder; }
    // Quitting: a recording in progress, or one waiting in the save sheet, is saved
    // under its name or the default one, with a warn line.
    void saveUnfinishedRecording();

    // Recording and playback.
    // What recordings take in ("recording/…" in the settings); a recording keeps the
    // options it started with.
    RecordingOptions recordingOptions() const;
    void setRecordingOptions(const RecordingOptions& options);
    // "keyboard only, moves thinned to one per 100 ms", in the app's language or English (logs).
    QString recordingOptionsText(const RecordingOptions& options, bool translated = true) const;
    // `hotkey`: the one that asked for it, whose own key events stay out of the recording.
    // `options`: for this recording only (the command line's); otherwise the settings'.
    void startRecording(std::optional<RecorderService::Hotkey> hotkey = std::nullopt,
                        std::optional<RecordingOptions> options = std::nullopt);
    void stopRecordingAndPrompt(std::optional<RecorderService::Hotkey> hotkey = std::nullopt);
    // Stopped from Quillo's own controls on the screen (the tray icon and its menu, in
    // screen coordinates, used since `since` seconds into the recording): the clicks
    // on them stay out of the recording, or replaying would click them again.
    void stopRecordingFromControls(const std::vector<QRectF>& areas, double since);
    void savePendingRecording();
    void discardPendingRecording();
    void startPlayback(const Macro& macro, const PlaybackOptions& options);
    // Logs "Playback stopped" and stops the engine (the controls, the menu, hotkey 3).
    void stopPlayback();
    // A press of hotkey `id`: 1 starts or stops a recording, 2 stops it, 3 plays the
    // selected macro or stops the playback; a macro's own chord plays that macro or stops
    // the playback.
    void handleHotKey(quint32 id);
    // What runs 0.5 s after a recording starts: reports a refused input tap.
    void checkRecordingPermission();

Q_SIGNALS:
    void macrosChanged();
    void selectedMacroIDChanged();
    void showRecordingSheetChanged();
    void pendingRecordingNameChanged();
    void recordingNoticeChanged();
    void errorMessageChanged();
    void pendingActionsChanged();
    void appLanguageChanged();
    void historyChanged();
    // Any published state of the model or of one of its services changed.
    void changed();

private:
    void loadLibrary();
    void registerHotkeys();
    void updateHotkeyLeniency();
    void setErrorMessage(const QString& message);
    Status<StorageError> saveLibrary();
    // Writes `macro` to a file of its own beside the library (or in the recovery folder,
    // or the home folder); the path, or empty when no folder took it.
    QString writeRecoveryFile(const Macro& macro);
    void setShowRecordingSheet(bool shown);
    void setPendingActions(std::vector<MacroAction> actions);
    void recordingCapped(const std::vector<MacroAction>& actions);
    // A stopped recording's actions: to the save sheet, or nothing when there are none.
    void promptToSave(std::vector<MacroAction> actions);
    Macro* macroWithId(const QUuid& id);
    // An import that brings back a recording waiting for its backup (by its actions).
    void adoptWaitingRecording(const QUuid& id);
    // The uid of the confirmed sign-in, or empty.
    QString signedInAccount() const;
    template <typename Edit>
    void editActions(const QUuid& macroID, const QString& what, Edit edit);
    // Makes a change to the library that can be undone: `mutate` changes the macros with
    // `ids` (or adds them); their states before and after are kept, the change is logged
    // as `description`, published and written.
    void changeLibrary(const QString& description, const std::vector<QUuid>& ids, const std::function<void()>& mutate);
    // Puts the macros of `change` back as they were (`forward` false) or as they became.
    void applyChange(const LibraryChange& change, bool forward);

    QSettings& m_settings;
    KeyboardLayout& m_keyboardLayout;
    Workspace& m_workspace;
    std::vector<ScreenOutput> m_recordingLayout;
    RecordingOptions m_pendingRecordedWith;
    RecorderService* m_recorder;
    PlaybackService* m_playback;
    PermissionsService* m_permissions;
    StorageService* m_storage;
    HotkeyService* m_hotkeys;
    HotkeyViewModel* m_hotkeyChords;
    ExportImportService* m_exportImport;
    CloudAuthService* m_cloudAuth;
    BackupSyncService* m_backupSync;
    class BackupRestoreService* m_backupRestore;

    std::vector<Macro> m_macros;
    std::optional<QUuid> m_selectedMacroID;
    bool m_showRecordingSheet = false;
    QString m_pendingRecordingName;
    QString m_recordingNotice;
    std::optional<QString> m_errorMessage;
    std::vector<MacroAction> m_pendingActions;
    AppLocale m_appLanguage = AppLocale::system;
    QString m_recoveryFolder;
    PendingBackups m_pendingBackups;
    bool m_backingUp = false;
    UndoHistory m_history;
};
