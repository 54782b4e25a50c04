#include "App/AppDelegate.h"

#include "App/LinkHandlerRegistration.h"
#include "Services/LogService.h"
#include "ViewModels/AppViewModel.h"
#include "Views/MainWindow.h"
#include "Views/Settings/SettingsWindow.h"
#include "Views/StatusBarController.h"

#include <QApplication>
#include <QDesktopServices>
#include <QRegularExpression>
#include <QUrl>

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {}

AppDelegate::~AppDelegate()
{
    // However the application ends (Quit, the session's SIGTERM, a closed terminal),
    // a recording in progress is kept.
    if (m_model)
        m_model->recordingFlow().saveUnfinishedRecording();
    delete m_settingsWindow;
    delete m_mainWindow;
    m_model.reset(); // stops a playback (releasing held keys) before the platform goes
}

void AppDelegate::launch()
{
    m_platform = std::make_unique<DesktopPlatform>(m_dialogs);
    appLog(QStringLiteral("Input backend: ") + SessionKind::name(m_platform->kind()), LogEntry::Level::info);
    m_model = std::make_unique<AppViewModel>(m_platform->services(), m_settings);
    m_model->openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    m_model->recordingLimits = m_platform->recordingLimits();
    m_model->replaysPositions = m_platform->replaysPositions();
    m_model->openSettings = [self = QPointer<AppDelegate>(this)] {
        if (self)
            QMetaObject::invokeMethod(self, &AppDelegate::openSettings, Qt::QueuedConnection);
    };
    showMainWindow();
    m_statusBar = new StatusBarController(*m_model, [self = QPointer<AppDelegate>(this)] {
        if (self)
            QMetaObject::invokeMethod(self, &AppDelegate::showMainWindow, Qt::QueuedConnection);
    }, m_platform->statusIndicator(), this);
    m_mainWindow->setIndicatorShown(m_statusBar->usesIndicator());

    connect(&m_model->recorder(), &RecorderService::stateChanged, this, &AppDelegate::stateChanged, Qt::QueuedConnection);
    connect(&m_model->playback(), &PlaybackService::stateChanged, this, &AppDelegate::stateChanged, Qt::QueuedConnection);
    connect(&m_model->recordingFlow(), &RecordingFlow::showRecordingSheetChanged, this, &AppDelegate::stateChanged,
            Qt::QueuedConnection);
    stateChanged();

    m_model->permissions().checkPermissions();
    if (!m_model->permissions().hasAccessibilityPermission() || !m_model->permissions().hasInputMonitoringPermission())
        m_model->permissions().startPolling(PermissionsService::defaultPollInterval);
    appLog(QStringLiteral("Quillo launched"), LogEntry::Level::info);
    // A Quillo run from a build: quillo:// links (the cloud sign-in) come back to it.
    auto* links = new LinkHandlerRegistration(QCoreApplication::applicationFilePath(), this);
    connect(links, &LinkHandlerRegistration::finished, links, &QObject::deleteLater);
    links->start();
}

void AppDelegate::showMainWindow()
{
    if (!m_mainWindow) {
        m_mainWindow = new MainWindow(*m_model);
        m_mainWindow->locateFrame = [this](WId id) { return m_platform->frameTopLeft(quint64(id)); };
        m_dialogs.setParent(m_mainWindow);
    }
    m_mainWindow->showInPlace();
}

void AppDelegate::openSettings()
{
    if (!m_settingsWindow)
        m_settingsWindow = new SettingsWindow(*m_model);
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}

bool AppDelegate::isURLArgument(const QString& argument)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    return scheme.match(argument).hasMatch();
}

void AppDelegate::handleLaunchArguments(const QStringList& arguments)
{
    for (const QString& argument : arguments)
        if (isURLArgument(argument))
            handleIncomingURL(argument);
}

void AppDelegate::handleIncomingURL(const QString& text)
{
    const QUrl url(text, QUrl::TolerantMode);
    // The scheme as written: QUrl would lower-case "QUILLO:".
    if (!text.startsWith(QLatin1String("quillo:"))) {
        appLog(QStringLiteral("Ignoring URL with unknown scheme: ") + CloudAuthService::redacted(url),
               LogEntry::Level::warn);
        return;
    }
    appLog(QStringLiteral("Received deep link: ") + CloudAuthService::redacted(url), LogEntry::Level::info);
    // The window comes forward, unless a recording or playback keeps it out of the way.
    if (m_model->recorder().state() == RecordingState::idle && !m_model->playback().isBusy()) {
        showMainWindow();
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
    }
    // quillo://restore?revision=ID from the dashboard; every other link is the sign-in's.
    if (url.host() == QLatin1String("restore"))
        m_model->restoreFlow().handleRestoreLink(url);
    else
        m_model->cloudAuth().handleCallbackURL(url);
}

void AppDelegate::stateChanged()
{
    const bool recording = m_model->recorder().state() == RecordingState::recording;
    const bool playing = m_model->playback().state().isBusy();
    if (m_statusBar)
        m_statusBar->updateIcon(recording, playing);
    if (!m_mainWindow)
        return;
    if (recording || playing) {
        // It must not receive the recorded or replayed input, whatever sheet is open;
        // the sheet comes back with the window.
        m_mainWindow->stepAside();
        return;
    }
    if (m_model->recordingFlow().showRecordingSheet()) {
        showMainWindow(); // the save sheet comes to the front with its window
        return;
    }
    // Hidden (a tray to come back from) or minimised (no tray): back in front either way.
    if ((!m_mainWindow->isVisible() || m_mainWindow->isMinimized()) &&
        m_model->recorder().state() == RecordingState::idle)
        showMainWindow();
}
