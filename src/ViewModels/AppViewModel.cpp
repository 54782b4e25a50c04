#include "ViewModels/AppViewModel.h"

#include "Services/Localization/Strings.h"
#include "Services/LogService.h"
#include "ViewModels/LayoutMapping.h"
#include "ViewModels/NameText.h"

#include <QPointer>
#include <QTimer>
#include <charconv>

namespace {

const QString kLanguageKey = QStringLiteral("appLanguage");

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

} // namespace

AppViewModel::AppViewModel(const PlatformServices& platform, QSettings& settings, const QString& libraryPath,
                           QObject* parent)
    : QObject(parent), m_settings(settings), m_keyboardLayout(platform.keyboardLayout), m_workspace(platform.workspace)
{
    m_recorder = new RecorderService(platform.inputTap, platform.workspace, platform.clock, this);
    m_recorder->setScreenCapture(platform.screenCapture);
    m_readsScreen = platform.screenCapture != nullptr;
    m_recordsPictures = m_readsScreen && !platform.screenCapture->asksTheUser();
    m_screenCapture = platform.screenCapture;
    m_playback = new PlaybackService(platform.eventPoster, platform.clock, platform.sleeper, this);
    m_playback->setOwnApplicationId(m_workspace.ownApplicationId());
    m_playback->setScreenCapture(platform.screenCapture);
    m_playback->setWorkspace(&platform.workspace);
    m_permissions = new PermissionsService(platform.permissionProbe, this);
    m_permissions->checkPermissions();
    m_storage = libraryPath.isEmpty() ? new StorageService(this) : new StorageService(libraryPath, this);
    m_hotkeys = new HotkeyService(platform.hotkeyRegistrar, platform.clock, this);
    m_hotkeyChords = new HotkeyViewModel(*m_hotkeys, m_settings, platform.keyboardLayout,
                                         [this](const QString& key) { return t(key); }, this);
    m_library = new MacroLibrary(*m_storage, this);
    m_library->setChords(m_hotkeyChords);
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
    connect(m_library, &MacroLibrary::changed, this, &AppViewModel::libraryChanged);
    connect(m_library, &MacroLibrary::failed, this, &AppViewModel::setErrorMessage);
    m_recordingFlow = new RecordingFlow({*m_recorder, *m_playback, *m_permissions, *m_storage, m_workspace, *m_library,
                                         *m_cloudAuth, *m_backupSync},
                                        m_settings, [this] { return m_appLanguage; }, this);
    connect(m_recordingFlow, &RecordingFlow::message, this, &AppViewModel::setErrorMessage);
    m_restoreFlow = new RestoreFlow(*m_cloudAuth, *m_library, this);
    connect(m_restoreFlow, &RestoreFlow::message, this, &AppViewModel::setErrorMessage);
    for (auto signal : {&RecordingFlow::showRecordingSheetChanged, &RecordingFlow::pendingRecordingNameChanged,
                        &RecordingFlow::pendingActionsChanged, &RecordingFlow::settingsChanged})
        connect(m_recordingFlow, signal, this, &AppViewModel::changed);

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
    for (auto signal : {&AppViewModel::macrosChanged, &AppViewModel::selectedMacroIDChanged,
                        &AppViewModel::errorMessageChanged, &AppViewModel::appLanguageChanged})
        connect(this, signal, this, &AppViewModel::changed);
    connect(m_recorder, &RecorderService::stateChanged, this, &AppViewModel::updateHotkeyLeniency);
    connect(m_playback, &PlaybackService::stateChanged, this, &AppViewModel::updateHotkeyLeniency);
    connect(m_playback, &PlaybackService::finished, this, &AppViewModel::updateHotkeyLeniency);
    connect(m_playback, &PlaybackService::waitingForChanged, this, &AppViewModel::changed);
    connect(m_playback, &PlaybackService::failed, this,
            [this](const QString& message, const QString& application, double seconds) {
        appLog(QStringLiteral("Playback stopped: ") + message, LogEntry::Level::error);
        setErrorMessage(playbackFailureText(message, application, seconds));
    });

    m_library->load();
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
    return m_selectedMacroID ? m_library->macroWithId(*m_selectedMacroID) : nullptr;
}

void AppViewModel::setSelectedMacroID(std::optional<QUuid> id)
{
    if (m_selectedMacroID == id)
        return;
    m_selectedMacroID = id;
    Q_EMIT selectedMacroIDChanged();
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


void AppViewModel::libraryChanged(const LibraryUpdate& update)
{
    if (update.historyChanged)
        Q_EMIT historyChanged();
    Q_EMIT macrosChanged();
    const std::vector<Macro>& macros = m_library->macros();
    if (update.kind == LibraryUpdate::Kind::loaded) {
        m_selectedMacroID = macros.empty() ? std::nullopt : std::optional<QUuid>(macros.front().id);
        Q_EMIT selectedMacroIDChanged();
        return;
    }
    if (update.shown)
        setSelectedMacroID(update.shown);
    else if (m_selectedMacroID && !m_library->macroWithId(*m_selectedMacroID))
        setSelectedMacroID(macros.empty() ? std::nullopt : std::optional<QUuid>(macros.front().id));
}

void AppViewModel::undo()
{
    if (m_playback->isBusy())
        return; // the macro being played stays as it is until it ends
    m_library->undo();
}

void AppViewModel::redo()
{
    if (m_playback->isBusy())
        return;
    m_library->redo();
}

void AppViewModel::importMacro()
{
    auto imported = m_exportImport->importMacro();
    if (!imported) {
        setErrorMessage(imported.error().description());
        return;
    }
    if (imported.value())
        m_library->addImportedMacro(std::move(*std::move(imported).value()));
}

void AppViewModel::exportMacro(const QUuid& id)
{
    const Macro* macro = macroWithId(id);
    if (!macro)
        return;
    if (auto exported = m_exportImport->exportMacro(*macro); !exported)
        setErrorMessage(exported.error().description());
}

void AppViewModel::syncAllMacrosToCloud(std::function<void(Expected<int, BackupError>)> done)
{
    if (m_cloudAuth->status() != CloudAuthService::Status::signedIn) {
        QTimer::singleShot(0, this, [done] { done(failure(BackupError{CloudError::notSignedIn()})); });
        return;
    }
    m_backupSync->pushAll(m_library->macros(), std::move(done));
}

QString AppViewModel::playbackFailureText(const QString& message, const QString& application, double seconds) const
{
    using Kind = PlaybackEngine::FailureKind;
    const PlaybackService::Failure& failure = m_playback->lastFailure();
    switch (failure.kind) {
    case Kind::application:
        return t(QStringLiteral("playback.notInFront")).arg(NameText::oneLine(application), QString::number(seconds));
    case Kind::screenNotThere: {
        QString text = failure.where.isEmpty()
                           ? t(QStringLiteral("playback.screenNotThereNoApp")).arg(failure.step).arg(failure.seconds)
                           : t(QStringLiteral("playback.screenNotThere"))
                                 .arg(QString::number(failure.step), NameText::oneLine(failure.where),
                                      QString::number(failure.seconds));
        if (!failure.screenPath.isEmpty())
            text += QLatin1Char(' ') + t(QStringLiteral("playback.screenSaved")).arg(failure.screenPath, failure.picturePath);
        return text;
    }
    case Kind::screenUnreadable:
        return t(QStringLiteral("playback.screenUnreadable"));
    case Kind::waitRanOut: {
        QString text = t(QStringLiteral("playback.waitRanOut"))
                           .arg(QString::number(failure.step), NameText::oneLine(failure.where),
                                QString::number(failure.seconds));
        if (!failure.screenPath.isEmpty())
            text += QLatin1Char(' ') + t(QStringLiteral("playback.screenSaved")).arg(failure.screenPath, failure.picturePath);
        return text;
    }
    case Kind::windowsUnknown:
        return t(QStringLiteral("playback.windowsUnknown")).arg(failure.step);
    case Kind::pictureUnreadable:
    case Kind::none:
        return message;
    }
    return message;
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
    m_hotkeyChords->registerAll(m_library->macros());
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
    for (const Macro& macro : m_library->macros())
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
            m_recordingFlow->stopRecordingAndPrompt(key);
        } else if (recording == RecordingState::idle && !playbackBusy) {
            appLog(name + QStringLiteral("start recording"), LogEntry::Level::debug);
            m_recordingFlow->startRecording(key);
        }
        return;
    case hotkeyStopRecording:
        if (recording == RecordingState::recording) {
            appLog(name + QStringLiteral("stop recording"), LogEntry::Level::debug);
            m_recordingFlow->stopRecordingAndPrompt(key);
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
