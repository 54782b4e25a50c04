#pragma once

#include "Models/MacroAction.h"
#include "Models/RecordingOptions.h"
#include "Models/ScreenOutput.h"
#include "Services/Cloud/PendingBackups.h"
#include "Services/Localization/AppLocale.h"
#include "Services/RecorderService.h"

#include <QObject>
#include <QRectF>
#include <QSettings>
#include <functional>
#include <optional>
#include <vector>

class BackupSyncService;
class CloudAuthService;
class MacroLibrary;
class PermissionsService;
class PlaybackService;
class StorageService;
class Workspace;
struct LibraryUpdate;

// A recording from start to the library: starting and stopping it, the save sheet's
// state (the actions waiting there, the name typed, the notice that an earlier recording
// was saved for it), the file a recording is kept in when the library refuses it, and
// the saved recordings waiting for their backup. Finished macros go to the library.
class RecordingFlow : public QObject
{
    Q_OBJECT
public:
    static constexpr int permissionCheckDelayMs = 500;

    struct Services {
        RecorderService& recorder;
        PlaybackService& playback;
        PermissionsService& permissions;
        StorageService& storage;
        Workspace& workspace;
        MacroLibrary& library;
        CloudAuthService& cloudAuth;
        BackupSyncService& backupSync;
    };
    // `language`: the application's language now, for the texts it shows.
    RecordingFlow(const Services& services, QSettings& settings, std::function<AppLocale()> language,
                  QObject* parent = nullptr);

    // The save sheet.
    bool showRecordingSheet() const { return m_showRecordingSheet; }
    const QString& pendingRecordingName() const { return m_pendingRecordingName; }
    void setPendingRecordingName(const QString& name);
    // Said in the save sheet when a newer recording took the place of one waiting there,
    // which was saved under its name then (empty otherwise).
    const QString& recordingNotice() const { return m_recordingNotice; }
    const std::vector<MacroAction>& pendingActions() const { return m_pendingActions; }

    // What recordings take in ("recording/…" in the settings); a recording keeps the
    // options it started with.
    RecordingOptions recordingOptions() const;
    void setRecordingOptions(const RecordingOptions& options);
    // "keyboard only, moves thinned to one per 100 ms", in the app's language or English (logs).
    QString recordingOptionsText(const RecordingOptions& options, bool translated = true) const;

    // Whether presses keep what the screen showed around them ("recording/pictures",
    // default on; only where the screen can be read).
    bool takesPictures() const;
    void setTakesPictures(bool on);

    // `hotkey`: the one that asked for it, whose own key events stay out of the recording.
    // `options`, `pictures`: for this recording only (the command line's); otherwise the
    // settings'. Nothing happens while a playback or another recording runs.
    void startRecording(std::optional<RecorderService::Hotkey> hotkey = std::nullopt,
                        std::optional<RecordingOptions> options = std::nullopt, std::optional<bool> pictures = std::nullopt);
    void stopRecordingAndPrompt(std::optional<RecorderService::Hotkey> hotkey = std::nullopt);
    // Stopped from Quillo's own controls on the screen (the tray icon and its menu, in
    // screen coordinates, used since `since` seconds into the recording): the clicks
    // on them stay out of the recording, or replaying would click them again.
    void stopRecordingFromControls(const std::vector<QRectF>& areas, double since);
    void savePendingRecording();
    void discardPendingRecording();
    // Where a recording that cannot be saved into the library is written instead when
    // its own folder refuses it too (the command line: the current folder).
    void setRecoveryFolder(const QString& folder) { m_recoveryFolder = folder; }
    // Quitting: a recording in progress, or one waiting in the save sheet, is saved
    // under its name or the default one, with a warn line.
    void saveUnfinishedRecording();
    // What runs 0.5 s after a recording starts: reports a refused input tap.
    void checkRecordingPermission();

    // "autoSyncEnabled": back up each newly saved recording (default on).
    bool autoSyncEnabled() const;
    void setAutoSyncEnabled(bool enabled);
    // Backs up the saved recordings that wait for it (saved at quit, while signed out
    // of the service for a moment, or brought back from a file of their own), when
    // automatic backup is on and the sign-in is confirmed; each leaves the list once
    // stored. Quiet on failure: they wait for the next chance.
    void backUpWaitingRecordings();

Q_SIGNALS:
    void showRecordingSheetChanged();
    void pendingRecordingNameChanged();
    void recordingNoticeChanged();
    void pendingActionsChanged();
    // The recording options or the backup setting changed.
    void settingsChanged();
    // Something the person should read (already logged).
    void message(const QString& text);

private:
    QString t(const QString& key) const;
    void setShowRecordingSheet(bool shown);
    void setPendingActions(std::vector<MacroAction> actions);
    void recordingCapped(const std::vector<MacroAction>& actions);
    // A stopped recording's actions: to the save sheet, or nothing when there are none.
    void promptToSave(std::vector<MacroAction> actions);
    // Writes `macro` to a file of its own beside the library (or in the recovery folder,
    // or the home folder); the path, or empty when no folder took it.
    QString writeRecoveryFile(const Macro& macro);
    // An import that brings back a recording waiting for its backup (by its actions).
    void libraryChanged(const LibraryUpdate& update);
    // The uid of the confirmed sign-in, or empty.
    QString signedInAccount() const;

    Services m_services;
    QSettings& m_settings;
    std::function<AppLocale()> m_language;
    std::vector<ScreenOutput> m_recordingLayout;
    RecordingOptions m_pendingRecordedWith;
    bool m_showRecordingSheet = false;
    QString m_pendingRecordingName;
    QString m_recordingNotice;
    std::vector<MacroAction> m_pendingActions;
    QString m_recoveryFolder;
    PendingBackups m_pendingBackups;
    bool m_backingUp = false;
};
