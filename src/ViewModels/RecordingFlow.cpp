#include "ViewModels/RecordingFlow.h"

#include "Library/MacroLibrary.h"
#include "Services/Cloud/BackupSyncService.h"
#include "Services/Cloud/CloudAuthService.h"
#include "Services/ExportImportService.h"
#include "Services/Localization/Strings.h"
#include "Services/LogService.h"
#include "Services/PermissionsService.h"
#include "Services/PlaybackService.h"
#include "Services/StorageService.h"
#include "ViewModels/NameText.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

namespace {

const QString kAutoSyncKey = QStringLiteral("autoSyncEnabled");
const QString kRecordKeyboardKey = QStringLiteral("recording/keyboard");
const QString kRecordMouseKey = QStringLiteral("recording/mouse");
const QString kMoveIntervalKey = QStringLiteral("recording/moveIntervalMs");
const QString kPicturesKey = QStringLiteral("recording/pictures");

// Spaces and tabs only: line breaks in a name are kept.
QString trimSpacesAndTabs(const QString& text)
{
    qsizetype begin = 0, end = text.size();
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// Where the pointer was for a pointer action; nothing for other actions.
std::optional<QPointF> pointerPosition(const MacroAction& action)
{
    return std::visit(
        [](const auto& a) -> std::optional<QPointF> {
            using T = std::decay_t<decltype(a)>;
            if constexpr (std::is_same_v<T, MacroAction::MouseDown> || std::is_same_v<T, MacroAction::MouseUp> ||
                          std::is_same_v<T, MacroAction::MouseDrag> || std::is_same_v<T, MacroAction::Scroll> ||
                          std::is_same_v<T, MacroAction::MouseMove>)
                return QPointF(a.x, a.y);
            else
                return std::nullopt;
        },
        action.payload);
}

} // namespace

RecordingFlow::RecordingFlow(const Services& services, QSettings& settings, std::function<AppLocale()> language,
                             QObject* parent)
    : QObject(parent), m_services(services), m_settings(settings), m_language(std::move(language)),
      m_pendingBackups(settings)
{
    connect(&m_services.recorder, &RecorderService::recordingCapped, this, &RecordingFlow::recordingCapped);
    connect(&m_services.library, &MacroLibrary::changed, this, &RecordingFlow::libraryChanged);
    // Recordings saved at the last quit or while the service could not be reached go up
    // once the stored sign-in is confirmed.
    connect(&m_services.cloudAuth, &CloudAuthService::statusChanged, this, &RecordingFlow::backUpWaitingRecordings);
}

QString RecordingFlow::t(const QString& key) const
{
    return Strings::lookup(m_language(), key);
}

void RecordingFlow::setPendingRecordingName(const QString& name)
{
    if (m_pendingRecordingName == name)
        return;
    m_pendingRecordingName = name;
    Q_EMIT pendingRecordingNameChanged();
}

void RecordingFlow::setShowRecordingSheet(bool shown)
{
    if (m_showRecordingSheet == shown)
        return;
    m_showRecordingSheet = shown;
    if (!shown && !m_recordingNotice.isEmpty()) {
        m_recordingNotice.clear();
        Q_EMIT recordingNoticeChanged();
    }
    Q_EMIT showRecordingSheetChanged();
}

void RecordingFlow::setPendingActions(std::vector<MacroAction> actions)
{
    m_pendingActions = std::move(actions);
    if (!m_pendingActions.empty())
        m_pendingRecordedWith = m_services.recorder.options(); // the recording they came from
    Q_EMIT pendingActionsChanged();
}

RecordingOptions RecordingFlow::recordingOptions() const
{
    RecordingOptions options;
    options.keyboard = m_settings.value(kRecordKeyboardKey, true).toBool();
    options.mouse = m_settings.value(kRecordMouseKey, true).toBool();
    options.moveIntervalMs = std::clamp(m_settings.value(kMoveIntervalKey, 0).toInt(), 0, RecordingOptions::maxMoveIntervalMs);
    if (!options.keyboard && !options.mouse) // a hand-edited file: record everything
        options.keyboard = options.mouse = true;
    return options;
}

void RecordingFlow::setRecordingOptions(const RecordingOptions& options)
{
    if (!options.keyboard && !options.mouse)
        return;
    m_settings.setValue(kRecordKeyboardKey, options.keyboard);
    m_settings.setValue(kRecordMouseKey, options.mouse);
    m_settings.setValue(kMoveIntervalKey, std::clamp(options.moveIntervalMs, 0, RecordingOptions::maxMoveIntervalMs));
    Q_EMIT settingsChanged();
}

QString RecordingFlow::recordingOptionsText(const RecordingOptions& options, bool translated) const
{
    auto text = [&](const char* key) {
        return Strings::lookup(translated ? m_language() : AppLocale::en, QString::fromLatin1(key));
    };
    QString what = options.keyboard && options.mouse ? text("recording.all")
                   : options.keyboard               ? text("recording.keyboard")
                                                    : text("recording.mouse");
    if (options.mouse && options.moveIntervalMs > 0)
        what += QStringLiteral(", ") + text("recording.thinned").arg(options.moveIntervalMs);
    return what;
}

bool RecordingFlow::takesPictures() const
{
    return m_settings.value(kPicturesKey, true).toBool();
}

void RecordingFlow::setTakesPictures(bool on)
{
    m_settings.setValue(kPicturesKey, on);
    Q_EMIT settingsChanged();
}

void RecordingFlow::startRecording(std::optional<RecorderService::Hotkey> hotkey, std::optional<RecordingOptions> chosen,
                                   std::optional<bool> pictures)
{
    if (m_services.playback.isBusy() || m_services.recorder.state() != RecordingState::idle)
        return;
    // A recording that could not be saved would be lost: say so before it starts.
    if (auto writable = m_services.storage.checkWritable(); !writable) {
        const QString text =
            QStringLiteral("Cannot start recording: the library cannot be saved \u2014 ") + writable.error().description();
        appLog(text, LogEntry::Level::error);
        Q_EMIT message(text);
        return;
    }
    const RecordingOptions options = chosen ? *chosen : recordingOptions();
    appLog(options.takesEverything() ? QStringLiteral("Recording started")
                                     : QStringLiteral("Recording started (%1)").arg(recordingOptionsText(options, false)),
           LogEntry::Level::info);
    m_recordingLayout = m_services.workspace.screenLayout(); // positions are read against it later
    m_services.recorder.setTakesPictures(pictures.value_or(takesPictures()));
    m_services.recorder.startRecording(hotkey, options);
    QTimer::singleShot(permissionCheckDelayMs, this, &RecordingFlow::checkRecordingPermission);
}

void RecordingFlow::checkRecordingPermission()
{
    if (!m_services.recorder.tapFailed())
        return;
    const QString text = QStringLiteral(
        "Could not start recording \u2014 the input of this session cannot be observed: %1. Run \"quillo doctor\" "
        "in a terminal to see what is missing.")
                             .arg(m_services.permissions.inputMonitoringProblem());
    appLog(text, LogEntry::Level::error);
    Q_EMIT message(text);
}

void RecordingFlow::stopRecordingFromControls(const std::vector<QRectF>& areas, double since)
{
    if (m_services.recorder.state() != RecordingState::recording)
        return;
    std::vector<MacroAction> actions = m_services.recorder.stopRecording();
    std::erase_if(actions, [&](const MacroAction& action) {
        const auto place = pointerPosition(action);
        return action.timestamp >= since && place &&
               std::any_of(areas.begin(), areas.end(), [&](const QRectF& r) { return r.contains(*place); });
    });
    promptToSave(std::move(actions));
}

void RecordingFlow::stopRecordingAndPrompt(std::optional<RecorderService::Hotkey> hotkey)
{
    if (m_services.recorder.state() != RecordingState::recording)
        return;
    promptToSave(m_services.recorder.stopRecording(hotkey));
}

void RecordingFlow::promptToSave(std::vector<MacroAction> actions)
{
    // A recording made while an earlier one still waited in the save sheet: the earlier
    // one is kept (under the name typed so far, or the default) before the sheet shows
    // the new one.
    if (m_showRecordingSheet && !m_pendingActions.empty() && !actions.empty()) {
        appLog(QStringLiteral("A new recording replaces the one waiting to be saved \u2014 saving that one first"),
               LogEntry::Level::warn);
        savePendingRecording();
        if (!m_services.library.macros().empty()) {
            m_recordingNotice = t(QStringLiteral("save.previousSaved"))
                                    .arg(NameText::oneLine(m_services.library.macros().front().metadata.name));
            Q_EMIT recordingNoticeChanged();
        }
    }
    const std::size_t count = actions.size();
    setPendingActions(std::move(actions));
    appLog(QStringLiteral("Recording stopped \u2014 %1 actions captured").arg(count), LogEntry::Level::info);
    if (count > 0) {
        setShowRecordingSheet(true);
    } else {
        setPendingActions({});
        setShowRecordingSheet(false);
    }
}

void RecordingFlow::recordingCapped(const std::vector<MacroAction>& actions)
{
    // The limit ended the recording; offer what it captured instead of losing it.
    appLog(QStringLiteral("Recording stopped \u2014 the limit of 10,000 actions was reached; %1 actions captured")
               .arg(actions.size()),
           LogEntry::Level::warn);
    setPendingActions(actions);
    setShowRecordingSheet(!actions.empty());
}

void RecordingFlow::savePendingRecording()
{
    RecorderService& recorder = m_services.recorder;
    const RecordingOptions recordedWith = m_pendingActions.empty() ? recorder.options() : m_pendingRecordedWith;
    std::vector<MacroAction> actions = m_pendingActions.empty() ? recorder.stopRecording() : m_pendingActions;
    if (actions.empty()) {
        setPendingActions({});
        setShowRecordingSheet(false);
        return;
    }
    QString name = trimSpacesAndTabs(m_pendingRecordingName);
    if (name.isEmpty())
        name = QStringLiteral("Macro %1").arg(m_services.library.macros().size() + 1);
    const std::size_t count = actions.size();
    Macro macro = Macro::fromRecording(name, std::move(actions), QDateTime::currentDateTimeUtc());
    macro.metadata.outputs = m_recordingLayout;
    macro.metadata.recording = recordedWith;
    macro.metadata.modifiedAt = QDateTime::currentDateTimeUtc();
    const Status<StorageError> saved = m_services.library.addRecording(std::move(macro));
    const Macro& added = m_services.library.macros().front();
    setPendingRecordingName(QString());
    setPendingActions({});
    setShowRecordingSheet(false);
    if (!saved) {
        // The library refused it (read-only, disk full): keep the recording in a file.
        QString text = QStringLiteral("Failed to save macros: ") + saved.error().description();
        appLog(text, LogEntry::Level::error);
        const QString kept = writeRecoveryFile(added);
        if (!kept.isEmpty()) {
            text += QStringLiteral("\nThe recording \"%1\" was kept in %2; import it from there.").arg(name, kept);
            appLog(QStringLiteral("Recording \"%1\" kept in %2").arg(name, kept), LogEntry::Level::warn);
        }
        Q_EMIT message(text);
        if (!kept.isEmpty() && autoSyncEnabled() && m_services.cloudAuth.hasToken())
            m_pendingBackups.add(added, signedInAccount()); // backed up once that file is imported again
        return;
    }
    appLog(QStringLiteral("Macro saved \u2014 \"%1\" (%2 actions)").arg(name).arg(count), LogEntry::Level::info);
    // Noted before any upload starts: a quit or a lost connection leaves it waiting.
    if (autoSyncEnabled() && m_services.cloudAuth.hasToken()) {
        m_pendingBackups.add(added, signedInAccount());
        backUpWaitingRecordings();
    }
}

void RecordingFlow::discardPendingRecording()
{
    m_services.recorder.stopRecording();
    setPendingActions({});
    setPendingRecordingName(QString());
    setShowRecordingSheet(false);
}

void RecordingFlow::saveUnfinishedRecording()
{
    if (m_services.recorder.state() == RecordingState::recording) {
        std::vector<MacroAction> actions = m_services.recorder.stopRecording();
        if (!actions.empty())
            setPendingActions(std::move(actions));
    }
    if (m_pendingActions.empty())
        return;
    appLog(QStringLiteral("Quitting with an unsaved recording of %1 actions \u2014 saving it").arg(m_pendingActions.size()),
           LogEntry::Level::warn);
    savePendingRecording();
}

QString RecordingFlow::writeRecoveryFile(const Macro& macro)
{
    QStringList folders{QFileInfo(m_services.storage.storageURL()).absolutePath()};
    if (!m_recoveryFolder.isEmpty())
        folders << m_recoveryFolder;
    folders << QDir::homePath();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (const QString& folder : std::as_const(folders)) {
        if (folder.isEmpty() || !QFileInfo(folder).isDir())
            continue;
        QString path = QDir(folder).filePath(QStringLiteral("Quillo recording %1.quillo").arg(stamp));
        for (int n = 2; QFileInfo::exists(path); ++n)
            path = QDir(folder).filePath(QStringLiteral("Quillo recording %1-%2.quillo").arg(stamp).arg(n));
        if (ExportImportService::exportMacroTo(macro, path))
            return QDir::toNativeSeparators(path);
    }
    return {};
}

bool RecordingFlow::autoSyncEnabled() const
{
    return m_settings.value(kAutoSyncKey, true).toBool();
}

void RecordingFlow::setAutoSyncEnabled(bool enabled)
{
    m_settings.setValue(kAutoSyncKey, enabled);
    Q_EMIT settingsChanged();
    if (enabled)
        backUpWaitingRecordings();
}

void RecordingFlow::backUpWaitingRecordings()
{
    if (m_backingUp || !autoSyncEnabled() || m_services.cloudAuth.status() != CloudAuthService::Status::signedIn)
        return;
    const QString account = signedInAccount();
    for (const PendingBackups::Entry& entry : m_pendingBackups.entries()) {
        const Macro* macro = m_services.library.macroWithId(entry.id);
        // Saved while another account was signed in: it waits for that one.
        if (!macro || (!entry.account.isEmpty() && entry.account != account))
            continue;
        // One at a time; the next starts when this one is stored.
        m_backingUp = true;
        m_services.backupSync.pushMacro(*macro, [self = QPointer<RecordingFlow>(this), id = entry.id](
                                                    Expected<CloudBackup, BackupError> stored) {
            if (!self)
                return;
            self->m_backingUp = false;
            if (!stored) {
                appLog(QStringLiteral("Auto-backup failed (kept for the next chance): ") +
                           stored.error().description(),
                       LogEntry::Level::warn);
                return;
            }
            self->m_pendingBackups.remove(id);
            self->backUpWaitingRecordings();
        });
        return;
    }
}

QString RecordingFlow::signedInAccount() const
{
    const auto& user = m_services.cloudAuth.user();
    return m_services.cloudAuth.status() == CloudAuthService::Status::signedIn && user ? user->uid : QString();
}

void RecordingFlow::libraryChanged(const LibraryUpdate& update)
{
    if (update.kind != LibraryUpdate::Kind::imported || !update.shown)
        return;
    const Macro* macro = m_services.library.macroWithId(*update.shown);
    if (macro && m_pendingBackups.adopt(*macro, m_services.library.macros())) {
        appLog(QStringLiteral("The imported macro \"%1\" is a recording that waited for its backup")
                   .arg(macro->metadata.name),
               LogEntry::Level::info);
        backUpWaitingRecordings();
    }
}
