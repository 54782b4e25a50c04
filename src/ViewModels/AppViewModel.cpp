#include "ViewModels/AppViewModel.h"

#include "Codec/IsoDate.h"
#include "Services/MacroMigrationService.h"
#include "Services/MacroPlacement.h"
#include "ViewModels/NameText.h"
#include "Services/Cloud/BackupRestoreService.h"
#include "Services/LogService.h"
#include "Services/Localization/Strings.h"
#include "ViewModels/ActionRetiming.h"
#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"
#include "Models/KeyChord.h"
#include "ViewModels/LayoutMapping.h"

#include <QDir>
#include <QFileInfo>
#include <QUrlQuery>
#include <QPointer>
#include <QTimer>
#include <charconv>

namespace {

const QString kLanguageKey = QStringLiteral("appLanguage");
const QString kAutoSyncKey = QStringLiteral("autoSyncEnabled");
const QString kRecordKeyboardKey = QStringLiteral("recording/keyboard");
const QString kRecordMouseKey = QStringLiteral("recording/mouse");
const QString kMoveIntervalKey = QStringLiteral("recording/moveIntervalMs");

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

// The shortest form that reads back as the same double, always with a fraction: 1.0, 0.25.
QString speedText(double speed)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, speed).ptr;
    QString text = QString::fromLatin1(buffer, end - buffer);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')) && !text.contains(QLatin1Char('n')))
        text += QStringLiteral(".0");
    return text;
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

AppViewModel::AppViewModel(const PlatformServices& platform, QSettings& settings, const QString& libraryPath,
                           QObject* parent)
    : QObject(parent), m_settings(settings), m_keyboardLayout(platform.keyboardLayout), m_workspace(platform.workspace),
      m_pendingBackups(settings)
{
    m_recorder = new RecorderService(platform.inputTap, platform.workspace, platform.clock, this);
    m_playback = new PlaybackService(platform.eventPoster, platform.clock, platform.sleeper, this);
    m_playback->setOwnApplicationId(m_workspace.ownApplicationId());
    m_permissions = new PermissionsService(platform.permissionProbe, this);
    m_permissions->checkPermissions();
    m_storage = libraryPath.isEmpty() ? new StorageService(this) : new StorageService(libraryPath, this);
    m_hotkeys = new HotkeyService(platform.hotkeyRegistrar, platform.clock, this);
    m_hotkeyChords = new HotkeyViewModel(*m_hotkeys, m_settings, platform.keyboardLayout,
                                         [this](const QString& key) { return t(key); }, this);
    m_hotkeyChords->macroName = [this](const QUuid& id) {
        const Macro* macro = macroWithId(id);
        return macro ? macro->metadata.name : QString();
    };
    connect(m_hotkeyChords, &HotkeyViewModel::changed, this, &AppViewModel::changed);
    m_exportImport = new ExportImportService(platform.fileDialogs, this);
    m_cloudAuth = new CloudAuthService(
        platform.secretStore, m_settings,
        [self = QPointer<AppViewModel>(this)](const QUrl& url) { return self && self->openUrl && self->openUrl(url); },
        this);
    m_backupSync = new BackupSyncService(m_cloudAuth->apiClient(), this);
    m_backupRestore = new BackupRestoreService(m_cloudAuth->apiClient(), this);

    if (const auto stored = AppLocales::fromRawValue(m_settings.value(kLanguageKey).toString()))
        m_appLanguage = *stored;

    for (auto signal : {&RecorderService::stateChanged, &RecorderService::currentActionsChanged,
                        &RecorderService::elapsedTimeChanged, &RecorderService::tapFailedChanged})
        connect(m_recorder, signal, this, &AppViewModel::changed);
    connect(m_playback, &PlaybackService::stateChanged, this, &AppViewModel::changed);
    connect(m_playback, &PlaybackService::progressChanged, this, &AppViewModel::changed);
    connect(m_permissions, &PermissionsService::hasAccessibilityPermissionChanged, this, &AppViewModel::changed);
    connect(m_permissions, &PermissionsService::hasInputMonitoringPermissionChanged, this, &AppViewModel::changed);
    connect(m_cloudAuth, &CloudAuthService::changed, this, &AppViewModel::changed);
    connect(m_backupSync, &BackupSyncService::changed, this, &AppViewModel::changed);
    // Recordings saved at the last quit or while the service could not be reached go up
    // once the stored sign-in is confirmed.
    connect(m_cloudAuth, &CloudAuthService::statusChanged, this, &AppViewModel::backUpWaitingRecordings);
    for (auto signal : {&AppViewModel::macrosChanged, &AppViewModel::selectedMacroIDChanged,
                        &AppViewModel::showRecordingSheetChanged, &AppViewModel::pendingRecordingNameChanged,
                        &AppViewModel::errorMessageChanged, &AppViewModel::pendingActionsChanged,
                        &AppViewModel::appLanguageChanged})
        connect(this, signal, this, &AppViewModel::changed);
    connect(m_recorder, &RecorderService::recordingCapped, this, &AppViewModel::recordingCapped);
    connect(m_recorder, &RecorderService::stateChanged, this, &AppViewModel::updateHotkeyLeniency);
    connect(m_playback, &PlaybackService::stateChanged, this, &AppViewModel::updateHotkeyLeniency);
    connect(m_playback, &PlaybackService::finished, this, &AppViewModel::updateHotkeyLeniency);
    connect(m_playback, &PlaybackService::waitingForChanged, this, &AppViewModel::changed);
    connect(m_playback, &PlaybackService::failed, this,
            [this](const QString& message, const QString& application, double seconds) {
        appLog(QStringLiteral("Playback stopped: ") + message, LogEntry::Level::error);
        setErrorMessage(application.isEmpty() ? message
                                              : t(QStringLiteral("playback.notInFront"))
                                                    .arg(NameText::oneLine(application), QString::number(seconds)));
    });

    loadLibrary();
    // This process may write the library from now on; another one must not.
    if (auto locked = m_storage->lockForWriting(); !locked) {
        appLog(locked.error().description(), LogEntry::Level::warn);
        setErrorMessage(locked.error().description());
    }
    registerHotkeys();
}

AppViewModel::~AppViewModel()
{
    // Stop a playback first: it releases whatever the macro holds down.
    m_playback->stop();
    m_recorder->stopRecording();
}

const Macro* AppViewModel::selectedMacro() const
{
    if (!m_selectedMacroID)
        return nullptr;
    for (const Macro& m : m_macros)
        if (m.id == *m_selectedMacroID)
            return &m;
    return nullptr;
}

Macro* AppViewModel::macroWithId(const QUuid& id)
{
    for (Macro& m : m_macros)
        if (m.id == id)
            return &m;
    return nullptr;
}

const Macro* AppViewModel::macroWithId(const QUuid& id) const
{
    for (const Macro& m : m_macros)
        if (m.id == id)
            return &m;
    return nullptr;
}

void AppViewModel::setSelectedMacroID(std::optional<QUuid> id)
{
    if (m_selectedMacroID == id)
        return;
    m_selectedMacroID = id;
    Q_EMIT selectedMacroIDChanged();
}

void AppViewModel::setPendingRecordingName(const QString& name)
{
    if (m_pendingRecordingName == name)
        return;
    m_pendingRecordingName = name;
    Q_EMIT pendingRecordingNameChanged();
}

void AppViewModel::setErrorMessage(const QString& message)
{
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

void AppViewModel::clearErrorMessage()
{
    if (!m_errorMessage)
        return;
    m_errorMessage.reset();
    Q_EMIT errorMessageChanged();
}

void AppViewModel::setShowRecordingSheet(bool shown)
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

void AppViewModel::setPendingActions(std::vector<MacroAction> actions)
{
    m_pendingActions = std::move(actions);
    if (!m_pendingActions.empty())
        m_pendingRecordedWith = m_recorder->options(); // the recording they came from
    Q_EMIT pendingActionsChanged();
}

void AppViewModel::setAppLanguage(AppLocale language)
{
    m_settings.setValue(kLanguageKey, AppLocales::rawValue(language));
    m_settings.sync();
    if (m_appLanguage == language)
        return;
    m_appLanguage = language;
    Q_EMIT appLanguageChanged();
}

QString AppViewModel::t(const QString& key) const
{
    return Strings::lookup(m_appLanguage, key);
}

QString AppViewModel::recordingLimitsText() const
{
    if (recordingLimits.focusUnknown)
        return t(QStringLiteral("recorder.limits.noFocus")).arg(recordingLimits.desktop);
    if (recordingLimits.pointerEstimated)
        return t(QStringLiteral("recorder.limits.noPointer")).arg(recordingLimits.desktop);
    return {};
}

QString AppViewModel::keyChordText(const MacroAction& action) const
{
    const auto chord = [&](std::uint16_t keyCode, std::uint64_t flags) {
        QString name = m_keyboardLayout.keyName(keyCode);
        if (name.isEmpty())
            name = QString::number(keyCode);
        return KeyChord::text(flags, name);
    };
    if (const auto* down = std::get_if<MacroAction::KeyDown>(&action.payload))
        return chord(down->keyCode, down->flags);
    if (const auto* up = std::get_if<MacroAction::KeyUp>(&action.payload))
        return chord(up->keyCode, up->flags);
    // A click, drag or wheel turn with modifiers: "Shift+Left Click", "Ctrl+Scroll".
    const std::uint64_t flags = action.mouseFlags();
    if (flags == 0)
        return {};
    const auto button = [](MouseButton b) {
        return b == MouseButton::left ? QStringLiteral("Left") : b == MouseButton::right ? QStringLiteral("Right")
                                                                                        : QStringLiteral("Middle");
    };
    QString what;
    if (const auto* down = std::get_if<MacroAction::MouseDown>(&action.payload))
        what = button(down->button) + QStringLiteral(" Click");
    else if (const auto* up = std::get_if<MacroAction::MouseUp>(&action.payload))
        what = button(up->button) + QStringLiteral(" Click");
    else if (const auto* drag = std::get_if<MacroAction::MouseDrag>(&action.payload))
        what = button(drag->button) + QStringLiteral(" Drag");
    else
        what = QStringLiteral("Scroll");
    return KeyChord::text(flags, what);
}

void AppViewModel::loadLibrary()
{
    auto loaded = m_storage->loadAll();
    if (!loaded) {
        const QString message = QStringLiteral("Failed to load macros: ") + loaded.error().description();
        appLog(message, LogEntry::Level::error);
        setErrorMessage(message);
        return;
    }
    m_macros = std::move(loaded).value();
    m_selectedMacroID = m_macros.empty() ? std::nullopt : std::optional<QUuid>(m_macros.front().id);
    Q_EMIT macrosChanged();
    Q_EMIT selectedMacroIDChanged();
    appLog(QStringLiteral("Loaded %1 macro(s) from storage").arg(m_macros.size()), LogEntry::Level::info);
}

Status<StorageError> AppViewModel::saveLibrary()
{
    return m_storage->saveAll(m_macros);
}

void AppViewModel::persistMacros()
{
    if (auto saved = saveLibrary(); !saved) {
        const QString message = QStringLiteral("Failed to save macros: ") + saved.error().description();
        appLog(message, LogEntry::Level::error);
        setErrorMessage(message);
    }
}

void AppViewModel::changeLibrary(const QString& description, const std::vector<QUuid>& ids,
                                 const std::function<void()>& mutate)
{
    auto capture = [this](const QUuid& id) -> std::pair<std::optional<Macro>, int> {
        for (int i = 0; i < int(m_macros.size()); ++i)
            if (m_macros[std::size_t(i)].id == id)
                return {m_macros[std::size_t(i)], i};
        return {std::nullopt, -1};
    };
    auto chordOf = [this](const QUuid& id) -> std::optional<HotkeyChord> {
        const auto hotkey = m_hotkeyChords->idForMacro(id);
        return hotkey ? m_hotkeyChords->chord(*hotkey) : std::nullopt;
    };
    LibraryChange change;
    change.description = description;
    for (const QUuid& id : ids) {
        auto [macro, index] = capture(id);
        change.entries.push_back({id, std::move(macro), index, std::nullopt, -1, chordOf(id), std::nullopt});
    }
    mutate();
    for (LibraryChange::Entry& entry : change.entries) {
        std::tie(entry.after, entry.afterIndex) = capture(entry.id);
        entry.afterChord = chordOf(entry.id);
    }
    appLog(description, LogEntry::Level::info);
    m_history.record(std::move(change));
    Q_EMIT historyChanged();
    Q_EMIT macrosChanged();
    persistMacros();
}

void AppViewModel::applyChange(const LibraryChange& change, bool forward)
{
    for (const LibraryChange::Entry& entry : change.entries)
        std::erase_if(m_macros, [&](const Macro& m) { return m.id == entry.id; });
    // Back in their places, the lowest place first so that each lands where it was.
    std::vector<const LibraryChange::Entry*> placed;
    for (const LibraryChange::Entry& entry : change.entries)
        if (forward ? entry.after.has_value() : entry.before.has_value())
            placed.push_back(&entry);
    std::sort(placed.begin(), placed.end(), [forward](const auto* a, const auto* b) {
        return (forward ? a->afterIndex : a->beforeIndex) < (forward ? b->afterIndex : b->beforeIndex);
    });
    for (const LibraryChange::Entry* entry : placed) {
        const int index = std::clamp(forward ? entry->afterIndex : entry->beforeIndex, 0, int(m_macros.size()));
        m_macros.insert(m_macros.begin() + index, forward ? *entry->after : *entry->before);
    }
    // A macro that comes back gets its hotkey back; one that goes lets go of its own.
    for (const LibraryChange::Entry& entry : change.entries) {
        const std::optional<HotkeyChord>& chord = forward ? entry.afterChord : entry.beforeChord;
        const Macro* macro = macroWithId(entry.id);
        if (!macro) {
            m_hotkeyChords->forgetMacro(entry.id);
            continue;
        }
        const auto hotkey = m_hotkeyChords->idForMacro(entry.id);
        if ((hotkey ? m_hotkeyChords->chord(*hotkey) : std::nullopt) == chord)
            continue;
        if (const QString refused = m_hotkeyChords->setMacroChord(*macro, chord); !refused.isEmpty())
            appLog(QStringLiteral("The hotkey of \"%1\" could not be set again: %2").arg(macro->metadata.name, refused),
                   LogEntry::Level::warn);
    }
    Q_EMIT historyChanged();
    Q_EMIT macrosChanged();
    if (m_selectedMacroID && !macroWithId(*m_selectedMacroID))
        setSelectedMacroID(m_macros.empty() ? std::nullopt : std::optional<QUuid>(m_macros.front().id));
    if (!placed.empty())
        setSelectedMacroID(placed.front()->id);
    persistMacros();
}

void AppViewModel::undo()
{
    if (m_playback->isBusy())
        return; // the macro being played stays as it is until it ends
    if (auto change = m_history.takeUndo()) {
        appLog(QStringLiteral("Undo: ") + change->description, LogEntry::Level::info);
        applyChange(*change, false);
    }
}

void AppViewModel::redo()
{
    if (m_playback->isBusy())
        return;
    if (auto change = m_history.takeRedo()) {
        appLog(QStringLiteral("Redo: ") + change->description, LogEntry::Level::info);
        applyChange(*change, true);
    }
}

void AppViewModel::renameMacro(const QUuid& id, const QString& newName)
{
    Macro* macro = macroWithId(id);
    if (!macro || macro->metadata.name == newName)
        return;
    changeLibrary(QStringLiteral("Renamed macro \"%1\" to \"%2\"").arg(macro->metadata.name, newName), {id}, [&] {
        macro->metadata.name = newName;
        macro->metadata.modifiedAt = QDateTime::currentDateTimeUtc();
    });
}

void AppViewModel::deleteMacro(const QUuid& id)
{
    for (int i = 0; i < int(m_macros.size()); ++i)
        if (m_macros[std::size_t(i)].id == id)
            deleteMacros({i});
}

void AppViewModel::deleteMacros(const std::set<int>& positions)
{
    std::vector<QUuid> ids;
    QStringList names;
    for (const int i : positions)
        if (i >= 0 && i < int(m_macros.size())) {
            ids.push_back(m_macros[std::size_t(i)].id);
            names.append(QStringLiteral("\"%1\"").arg(m_macros[std::size_t(i)].metadata.name));
        }
    if (ids.empty())
        return;
    const QString description = ids.size() == 1 ? QStringLiteral("Deleted macro ") + names.first()
                                                 : QStringLiteral("Deleted %1 macros: %2").arg(ids.size()).arg(names.join(QStringLiteral(", ")));
    changeLibrary(description, ids, [&] {
        for (const QUuid& id : ids) {
            m_hotkeyChords->forgetMacro(id);
            std::erase_if(m_macros, [&](const Macro& m) { return m.id == id; });
        }
    });
    if (m_selectedMacroID && !macroWithId(*m_selectedMacroID))
        setSelectedMacroID(m_macros.empty() ? std::nullopt : std::optional<QUuid>(m_macros.front().id));
}

template <typename Edit>
void AppViewModel::editActions(const QUuid& macroID, const QString& what, Edit edit)
{
    Macro* macro = macroWithId(macroID);
    if (!macro)
        return;
    // `what` names the change; the macro's name completes it ("Deleted 2 action(s) of "Login"").
    changeLibrary(QStringLiteral("%1 \"%2\"").arg(what, macro->metadata.name), {macroID}, [&] {
        edit(macro->actions);
        macro->metadata.actionCount = qint64(macro->actions.size());
        macro->metadata.durationSeconds = macro->totalDuration();
        macro->metadata.modifiedAt = QDateTime::currentDateTimeUtc();
    });
}

void AppViewModel::deleteActions(const QUuid& macroID, const std::set<int>& positions)
{
    editActions(macroID, QStringLiteral("Deleted %1 action(s) of").arg(positions.size()),
                [&](auto& actions) { ActionRetiming::deleteActions(actions, positions); });
}

void AppViewModel::moveActions(const QUuid& macroID, const std::set<int>& positions, int destination)
{
    editActions(macroID, QStringLiteral("Moved %1 action(s) of").arg(positions.size()),
                [&](auto& actions) { ActionRetiming::moveActions(actions, positions, destination); });
}

void AppViewModel::insertDelay(const QUuid& macroID, int afterIndex, double duration)
{
    editActions(macroID, QStringLiteral("Inserted a %1 s delay into").arg(duration),
                [&](auto& actions) { ActionRetiming::insertDelay(actions, afterIndex, duration); });
}

void AppViewModel::insertActions(const QUuid& macroID, int afterIndex, const std::vector<MacroAction>& actions,
                                 double firstGap, const QString& what)
{
    if (actions.empty())
        return;
    editActions(macroID, what, [&](auto& list) { ActionRetiming::insertActions(list, afterIndex, actions, firstGap); });
}

void AppViewModel::replaceAction(const QUuid& macroID, int position, const MacroAction& action, double gap)
{
    editActions(macroID, QStringLiteral("Edited action %1 of").arg(position + 1),
                [&](auto& list) { ActionRetiming::replaceAction(list, position, action, gap); });
}

void AppViewModel::setActionGaps(const QUuid& macroID, const std::set<int>& positions, double gap)
{
    editActions(macroID, QStringLiteral("Set %1 gap(s) to %2 ms in").arg(positions.size()).arg(qRound64(gap * 1000)),
                [&](auto& list) { ActionRetiming::setGaps(list, positions, gap); });
}

void AppViewModel::scaleActionGaps(const QUuid& macroID, const std::set<int>& positions, double factor)
{
    editActions(macroID, QStringLiteral("Scaled %1 gap(s) by %2 in").arg(positions.size()).arg(factor),
                [&](auto& list) { ActionRetiming::scaleGaps(list, positions, factor); });
}

void AppViewModel::duplicateActions(const QUuid& macroID, const std::set<int>& positions)
{
    const Macro* macro = macroWithId(macroID);
    if (!macro || positions.empty())
        return;
    std::vector<MacroAction> copies;
    for (const int i : positions)
        if (i >= 0 && i < int(macro->actions.size()))
            copies.push_back(macro->actions[std::size_t(i)]);
    if (copies.empty())
        return;
    const std::vector<double> gaps = ActionRetiming::gaps(macro->actions);
    const int first = *positions.begin();
    insertActions(macroID, *positions.rbegin(), copies, first > 0 ? gaps[std::size_t(first)] : 0.0,
                  QStringLiteral("Duplicated %1 action(s) in").arg(copies.size()));
}

QByteArray AppViewModel::actionsAsJson(const QUuid& macroID, const std::set<int>& positions) const
{
    const Macro* macro = macroWithId(macroID);
    if (!macro)
        return {};
    Macro copied;
    copied.id = QUuid::createUuid();
    copied.metadata.name = QStringLiteral("Actions from %1").arg(macro->metadata.name);
    copied.metadata.createdAt = copied.metadata.modifiedAt = QDateTime::currentDateTimeUtc();
    std::vector<MacroAction> picked;
    for (const int i : positions)
        if (i >= 0 && i < int(macro->actions.size()))
            picked.push_back(macro->actions[std::size_t(i)]);
    if (picked.empty())
        return {};
    // Each keeps its gap to the one before it in the macro; the first starts at its own
    // gap, which a paste gives it again.
    const std::vector<double> gaps = ActionRetiming::gaps(macro->actions);
    std::vector<double> pickedGaps;
    for (const int i : positions)
        if (i >= 0 && i < int(macro->actions.size()))
            pickedGaps.push_back(gaps[std::size_t(i)]);
    ActionRetiming::walk(picked, pickedGaps, pickedGaps.front());
    copied.actions = std::move(picked);
    copied.metadata.actionCount = qint64(copied.actions.size());
    copied.metadata.durationSeconds = copied.totalDuration();
    auto json = MacroJsonEncoder::encodeMacro(copied);
    return json ? json.value() : QByteArray();
}

QString AppViewModel::pasteActions(const QUuid& macroID, int afterIndex, const QByteArray& json)
{
    if (json.size() > 64 * 1024 * 1024)
        return QStringLiteral("The clipboard holds more than a macro can be.");
    auto decoded = MacroJsonDecoder::decodeMacro(json);
    if (!decoded)
        return QStringLiteral("The clipboard holds no Quillo actions: ") + decoded.error().description();
    // Actions copied from another version of Quillo are read as an import reads them.
    auto migrated = MacroMigrationService::migrate(std::move(decoded).value());
    if (!migrated)
        return QStringLiteral("The clipboard holds no Quillo actions: ") + migrated.error().description();
    if (migrated.value().actions.empty())
        return QStringLiteral("The clipboard holds a macro without actions.");
    const std::vector<MacroAction>& actions = migrated.value().actions;
    // In their own rhythm, the first as long after the action before as it starts.
    const double start = actions.front().timestamp;
    insertActions(macroID, afterIndex, actions, std::isfinite(start) ? std::clamp(start, 0.0, 3600.0) : 0.0,
                  QStringLiteral("Pasted %1 action(s) into").arg(actions.size()));
    return {};
}

void AppViewModel::addImportedMacro(Macro macro)
{
    const QUuid id = macro.id;
    changeLibrary(QStringLiteral("Imported macro \"%1\"").arg(macro.metadata.name), {id},
                  [&] { m_macros.insert(m_macros.begin(), std::move(macro)); });
    setSelectedMacroID(id);
    adoptWaitingRecording(id);
}

Expected<bool, QString> AppViewModel::importReplacing(Macro macro)
{
    // Tried on a copy first: a refusal changes nothing and records no step.
    std::vector<Macro> trial = m_macros;
    auto placed = MacroPlacement::replaceByName(trial, macro);
    if (!placed)
        return failure(placed.error());
    if (!placed.value()) { // none has that name: an import as any other
        addImportedMacro(std::move(macro));
        return false;
    }
    const Macro& replaced = m_macros[*placed.value()];
    const QUuid id = replaced.id;
    changeLibrary(QStringLiteral("Replaced macro \"%1\" with the imported file").arg(replaced.metadata.name), {id},
                  [&] { (void)MacroPlacement::replaceByName(m_macros, std::move(macro)); });
    setSelectedMacroID(id);
    adoptWaitingRecording(id);
    return true;
}

void AppViewModel::putMacroInPlace(Macro macro, const QString& description)
{
    const QUuid id = macro.id;
    changeLibrary(description, {id}, [&] { MacroPlacement::putInPlace(m_macros, std::move(macro)); });
    setSelectedMacroID(id);
}

void AppViewModel::importMacro()
{
    auto imported = m_exportImport->importMacro();
    if (!imported) {
        setErrorMessage(imported.error().description());
        return;
    }
    if (imported.value())
        addImportedMacro(std::move(*std::move(imported).value()));
}

void AppViewModel::exportMacro(const QUuid& id)
{
    const Macro* macro = macroWithId(id);
    if (!macro)
        return;
    if (auto exported = m_exportImport->exportMacro(*macro); !exported)
        setErrorMessage(exported.error().description());
}

void AppViewModel::startRecording(std::optional<RecorderService::Hotkey> hotkey, std::optional<RecordingOptions> chosen)
{
    if (m_playback->isBusy() || m_recorder->state() != RecordingState::idle)
        return;
    // A recording that could not be saved would be lost: say so before it starts.
    if (auto writable = m_storage->checkWritable(); !writable) {
        const QString message =
            QStringLiteral("Cannot start recording: the library cannot be saved \u2014 ") + writable.error().description();
        appLog(message, LogEntry::Level::error);
        setErrorMessage(message);
        return;
    }
    const RecordingOptions options = chosen ? *chosen : recordingOptions();
    appLog(options.takesEverything() ? QStringLiteral("Recording started")
                                     : QStringLiteral("Recording started (%1)").arg(recordingOptionsText(options, false)),
           LogEntry::Level::info);
    m_recordingLayout = m_workspace.screenLayout(); // positions are read against it later
    m_recorder->startRecording(hotkey, options);
    QTimer::singleShot(permissionCheckDelayMs, this, &AppViewModel::checkRecordingPermission);
}

RecordingOptions AppViewModel::recordingOptions() const
{
    RecordingOptions options;
    options.keyboard = m_settings.value(kRecordKeyboardKey, true).toBool();
    options.mouse = m_settings.value(kRecordMouseKey, true).toBool();
    options.moveIntervalMs = std::clamp(m_settings.value(kMoveIntervalKey, 0).toInt(), 0, RecordingOptions::maxMoveIntervalMs);
    if (!options.keyboard && !options.mouse) // a hand-edited file: record everything
        options.keyboard = options.mouse = true;
    return options;
}

void AppViewModel::setRecordingOptions(const RecordingOptions& options)
{
    if (!options.keyboard && !options.mouse)
        return;
    m_settings.setValue(kRecordKeyboardKey, options.keyboard);
    m_settings.setValue(kRecordMouseKey, options.mouse);
    m_settings.setValue(kMoveIntervalKey, std::clamp(options.moveIntervalMs, 0, RecordingOptions::maxMoveIntervalMs));
    Q_EMIT changed();
}

QString AppViewModel::recordingOptionsText(const RecordingOptions& options, bool translated) const
{
    auto text = [&](const char* key) {
        return Strings::lookup(translated ? m_appLanguage : AppLocale::en, QString::fromLatin1(key));
    };
    QString what = options.keyboard && options.mouse ? text("recording.all")
                   : options.keyboard               ? text("recording.keyboard")
                                                    : text("recording.mouse");
    if (options.mouse && options.moveIntervalMs > 0)
        what += QStringLiteral(", ") + text("recording.thinned").arg(options.moveIntervalMs);
    return what;
}

void AppViewModel::checkRecordingPermission()
{
    if (!m_recorder->tapFailed())
        return;
    const QString message = QStringLiteral(
        "Could not start recording \u2014 the input of this session cannot be observed: %1. Run \"quillo doctor\" "
        "in a terminal to see what is missing.")
                                .arg(m_permissions->inputMonitoringProblem());
    appLog(message, LogEntry::Level::error);
    setErrorMessage(message);
}

void AppViewModel::stopRecordingFromControls(const std::vector<QRectF>& areas, double since)
{
    if (m_recorder->state() != RecordingState::recording)
        return;
    std::vector<MacroAction> actions = m_recorder->stopRecording();
    std::erase_if(actions, [&](const MacroAction& action) {
        const auto place = pointerPosition(action);
        return action.timestamp >= since && place &&
               std::any_of(areas.begin(), areas.end(), [&](const QRectF& r) { return r.contains(*place); });
    });
    promptToSave(std::move(actions));
}

void AppViewModel::stopRecordingAndPrompt(std::optional<RecorderService::Hotkey> hotkey)
{
    if (m_recorder->state() != RecordingState::recording)
        return;
    promptToSave(m_recorder->stopRecording(hotkey));
}

void AppViewModel::promptToSave(std::vector<MacroAction> actions)
{
    // A recording made while an earlier one still waited in the save sheet: the earlier
    // one is kept (under the name typed so far, or the default) before the sheet shows
    // the new one.
    if (m_showRecordingSheet && !m_pendingActions.empty() && !actions.empty()) {
        appLog(QStringLiteral("A new recording replaces the one waiting to be saved \u2014 saving that one first"),
               LogEntry::Level::warn);
        savePendingRecording();
        if (!m_macros.empty()) {
            m_recordingNotice = t(QStringLiteral("save.previousSaved")).arg(NameText::oneLine(m_macros.front().metadata.name));
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

void AppViewModel::recordingCapped(const std::vector<MacroAction>& actions)
{
    // The limit ended the recording; offer what it captured instead of losing it.
    appLog(QStringLiteral("Recording stopped \u2014 the limit of 10,000 actions was reached; %1 actions captured")
               .arg(actions.size()),
           LogEntry::Level::warn);
    setPendingActions(actions);
    setShowRecordingSheet(!actions.empty());
}

void AppViewModel::savePendingRecording()
{
    const RecordingOptions recordedWith = m_pendingActions.empty() ? m_recorder->options() : m_pendingRecordedWith;
    std::vector<MacroAction> actions = m_pendingActions.empty() ? m_recorder->stopRecording() : m_pendingActions;
    if (actions.empty()) {
        setPendingActions({});
        setShowRecordingSheet(false);
        return;
    }
    QString name = trimSpacesAndTabs(m_pendingRecordingName);
    if (name.isEmpty())
        name = QStringLiteral("Macro %1").arg(m_macros.size() + 1);
    const std::size_t count = actions.size();
    Macro macro = Macro::fromRecording(name, std::move(actions), QDateTime::currentDateTimeUtc());
    macro.metadata.outputs = m_recordingLayout;
    macro.metadata.recording = recordedWith;
    macro.metadata.modifiedAt = QDateTime::currentDateTimeUtc();
    const QUuid id = macro.id;
    m_macros.insert(m_macros.begin(), std::move(macro));
    Q_EMIT macrosChanged();
    setSelectedMacroID(id);
    setPendingRecordingName(QString());
    setPendingActions({});
    setShowRecordingSheet(false);
    if (auto saved = saveLibrary(); !saved) {
        // The library refused it (read-only, disk full): keep the recording in a file.
        QString message = QStringLiteral("Failed to save macros: ") + saved.error().description();
        appLog(message, LogEntry::Level::error);
        const QString kept = writeRecoveryFile(m_macros.front());
        if (!kept.isEmpty()) {
            message += QStringLiteral("\nThe recording \"%1\" was kept in %2; import it from there.").arg(name, kept);
            appLog(QStringLiteral("Recording \"%1\" kept in %2").arg(name, kept), LogEntry::Level::warn);
        }
        setErrorMessage(message);
        if (!kept.isEmpty() && autoSyncEnabled() && m_cloudAuth->hasToken())
            m_pendingBackups.add(m_macros.front(), signedInAccount()); // backed up once that file is imported again
        return;
    }
    appLog(QStringLiteral("Macro saved \u2014 \"%1\" (%2 actions)").arg(name).arg(count), LogEntry::Level::info);
    // Noted before any upload starts: a quit or a lost connection leaves it waiting.
    if (autoSyncEnabled() && m_cloudAuth->hasToken()) {
        m_pendingBackups.add(m_macros.front(), signedInAccount());
        backUpWaitingRecordings();
    }
}

void AppViewModel::backUpWaitingRecordings()
{
    if (m_backingUp || !autoSyncEnabled() || m_cloudAuth->status() != CloudAuthService::Status::signedIn)
        return;
    const QString account = signedInAccount();
    for (const PendingBackups::Entry& entry : m_pendingBackups.entries()) {
        const Macro* macro = macroWithId(entry.id);
        // Saved while another account was signed in: it waits for that one.
        if (!macro || (!entry.account.isEmpty() && entry.account != account))
            continue;
        // One at a time; the next starts when this one is stored.
        m_backingUp = true;
        m_backupSync->pushMacro(*macro, [self = QPointer<AppViewModel>(this), id = entry.id](
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

QString AppViewModel::signedInAccount() const
{
    const auto& user = m_cloudAuth->user();
    return m_cloudAuth->status() == CloudAuthService::Status::signedIn && user ? user->uid : QString();
}

void AppViewModel::adoptWaitingRecording(const QUuid& id)
{
    const Macro* macro = macroWithId(id);
    if (macro && m_pendingBackups.adopt(*macro, m_macros)) {
        appLog(QStringLiteral("The imported macro \"%1\" is a recording that waited for its backup")
                   .arg(macro->metadata.name),
               LogEntry::Level::info);
        backUpWaitingRecordings();
    }
}

void AppViewModel::handleRestoreLink(const QUrl& url)
{
    const QString revision = QUrlQuery(url).queryItemValue(QStringLiteral("revision"), QUrl::FullyDecoded);
    if (!BackupRestoreService::isRevisionID(revision)) {
        appLog(QStringLiteral("Ignoring a restore link that names no revision"), LogEntry::Level::warn);
        setErrorMessage(QStringLiteral("The link does not name a backup to restore."));
        return;
    }
    restoreRevision(revision);
}

void AppViewModel::restoreRevision(const QString& revisionID, std::function<void(std::optional<QString>)> done)
{
    auto fail = [this, done](const QString& why) {
        const QString message = QStringLiteral("Could not restore the backup: ") + why;
        appLog(message, LogEntry::Level::error);
        setErrorMessage(message);
        if (done)
            done(message);
    };
    if (m_cloudAuth->status() != CloudAuthService::Status::signedIn) {
        if (!m_cloudAuth->hasToken())
            return fail(QStringLiteral("sign in to Quillo Cloud in the settings first (with the account the backup "
                                       "belongs to)."));
        // Launched by the link itself: the stored session is confirmed first.
        m_cloudAuth->refreshSession([self = QPointer<AppViewModel>(this), revisionID, done, fail](Status<CloudError> confirmed) {
            if (!self)
                return;
            if (!confirmed)
                return fail(confirmed.error().description());
            if (self->m_cloudAuth->status() != CloudAuthService::Status::signedIn)
                return fail(QStringLiteral("the stored sign-in to Quillo Cloud was not confirmed."));
            self->restoreRevision(revisionID, done);
        });
        return;
    }
    appLog(QStringLiteral("Restoring a backup from Quillo Cloud"), LogEntry::Level::info);
    m_backupRestore->fetch(revisionID, [self = QPointer<AppViewModel>(this), fail, done](
                                           Expected<BackupRestoreService::Restored, BackupError> fetched) {
        if (!self)
            return;
        if (!fetched)
            return fail(fetched.error().description());
        Macro macro = std::move(fetched.value().macro);
        const bool inPlace = self->macroWithId(macro.id) != nullptr;
        const QString when = IsoDate::readable(fetched.value().revision.createdAt);
        self->putMacroInPlace(std::move(macro),
                              QStringLiteral("Restored \"%1\" from its backup of %2%3")
                                  .arg(fetched.value().revision.name, when,
                                       inPlace ? QString() : QStringLiteral(" (added again: the macro was gone)")));
        if (done)
            done(std::nullopt);
    });
}

bool AppViewModel::autoSyncEnabled() const
{
    return m_settings.value(kAutoSyncKey, true).toBool();
}

void AppViewModel::setAutoSyncEnabled(bool enabled)
{
    m_settings.setValue(kAutoSyncKey, enabled);
    Q_EMIT changed();
    if (enabled)
        backUpWaitingRecordings();
}

void AppViewModel::syncAllMacrosToCloud(std::function<void(Expected<int, BackupError>)> done)
{
    if (m_cloudAuth->status() != CloudAuthService::Status::signedIn) {
        QTimer::singleShot(0, this, [done] { done(failure(BackupError{CloudError::notSignedIn()})); });
        return;
    }
    m_backupSync->pushAll(m_macros, std::move(done));
}

QString AppViewModel::writeRecoveryFile(const Macro& macro)
{
    QStringList folders{QFileInfo(m_storage->storageURL()).absolutePath()};
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

void AppViewModel::saveUnfinishedRecording()
{
    if (m_recorder->state() == RecordingState::recording) {
        std::vector<MacroAction> actions = m_recorder->stopRecording();
        if (!actions.empty())
            setPendingActions(std::move(actions));
    }
    if (m_pendingActions.empty())
        return;
    appLog(QStringLiteral("Quitting with an unsaved recording of %1 actions \u2014 saving it").arg(m_pendingActions.size()),
           LogEntry::Level::warn);
    savePendingRecording();
}

void AppViewModel::discardPendingRecording()
{
    m_recorder->stopRecording();
    setPendingActions({});
    setPendingRecordingName(QString());
    setShowRecordingSheet(false);
}

void AppViewModel::startPlayback(const Macro& macro, const PlaybackOptions& options)
{
    // Nothing to play (no actions, options out of range) is not reported as started.
    if (m_recorder->state() != RecordingState::idle || m_playback->isBusy() ||
        !PlaybackService::isPlayable(macro, options))
        return;
    appLog(QStringLiteral("Playback started \u2014 \"%1\" (speed %2x)")
               .arg(macro.metadata.name, speedText(options.speedMultiplier)),
           LogEntry::Level::info);
    if (options.mapToCurrentLayout) {
        const std::vector<ScreenOutput> current = currentScreenLayout();
        if (LayoutMapping::differs(macro.metadata.outputs, current)) {
            appLog(QStringLiteral("Positions mapped from %1 to %2")
                       .arg(LayoutMapping::describe(macro.metadata.outputs), LayoutMapping::describe(current)),
                   LogEntry::Level::info);
            m_playback->play(LayoutMapping::mapped(macro, current), options);
            updateHotkeyLeniency();
            return;
        }
    }
    m_playback->play(macro, options);
    updateHotkeyLeniency();
}

void AppViewModel::stopPlayback()
{
    appLog(QStringLiteral("Playback stopped"), LogEntry::Level::info);
    m_playback->stop();
}

void AppViewModel::registerHotkeys()
{
    m_hotkeyChords->registerAll(m_macros);
    m_hotkeys->setOnHotKey([this](quint32 id) {
        QMetaObject::invokeMethod(this, [this, id] { handleHotKey(id); }, Qt::QueuedConnection);
    });
}

void AppViewModel::updateHotkeyLeniency()
{
    // While a recording or a playback runs, the keys that stop it work whatever other
    // modifiers are down (a macro holding Shift, a user holding Ctrl).
    const bool recording = m_recorder->state() != RecordingState::idle;
    const bool playing = m_playback->isBusy();
    m_hotkeys->setLenient(hotkeyToggleRecording, recording);
    m_hotkeys->setLenient(hotkeyStopRecording, recording);
    m_hotkeys->setLenient(hotkeyTogglePlayback, playing);
    for (const Macro& macro : m_macros)
        if (const auto id = m_hotkeyChords->idForMacro(macro.id))
            m_hotkeys->setLenient(*id, playing);
}

void AppViewModel::handleHotKey(quint32 id)
{
    const RecordingState recording = m_recorder->state();
    const bool playbackBusy = m_playback->isBusy();
    const std::optional<HotkeyChord> chord = m_hotkeys->chord(id);
    if (!chord)
        return;
    const RecorderService::Hotkey key{std::uint16_t(chord->keyCode), chord->eventFlags()};
    const QString name = QStringLiteral("Hotkey ") + chord->portableText() + QStringLiteral(" \u2014 ");
    if (const auto macroId = m_hotkeyChords->macroForId(id)) {
        if (playbackBusy) {
            appLog(name + QStringLiteral("stop playback"), LogEntry::Level::debug);
            stopPlayback();
        } else if (const Macro* macro = macroWithId(*macroId); macro && recording == RecordingState::idle) {
            appLog(name + QStringLiteral("start playback (%1)").arg(macro->metadata.name), LogEntry::Level::debug);
            startPlayback(*macro, PlaybackOptions{});
        }
        return;
    }
    switch (id) {
    case hotkeyToggleRecording:
        if (recording == RecordingState::recording) {
            appLog(name + QStringLiteral("stop recording"), LogEntry::Level::debug);
            stopRecordingAndPrompt(key);
        } else if (recording == RecordingState::idle && !playbackBusy) {
            appLog(name + QStringLiteral("start recording"), LogEntry::Level::debug);
            startRecording(key);
        }
        return;
    case hotkeyStopRecording:
        if (recording == RecordingState::recording) {
            appLog(name + QStringLiteral("stop recording"), LogEntry::Level::debug);
            stopRecordingAndPrompt(key);
        }
        return;
    case hotkeyTogglePlayback:
        if (playbackBusy) {
            appLog(name + QStringLiteral("stop playback"), LogEntry::Level::debug);
            stopPlayback();
        } else if (const Macro* macro = selectedMacro(); macro && recording == RecordingState::idle) {
            appLog(name + QStringLiteral("start playback (%1)").arg(macro->metadata.name), LogEntry::Level::debug);
            startPlayback(*macro, PlaybackOptions{});
        }
        return;
    default:
        return;
    }
}
