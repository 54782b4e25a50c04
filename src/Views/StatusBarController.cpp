#include "Views/StatusBarController.h"

#include "Services/LogService.h"
#include "ViewModels/AppViewModel.h"
#include "Views/Icons.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

QIcon trayIcon(StatusBarController::Icon kind, bool tinted)
{
    const QColor colour = !tinted ? QColor(0x60, 0x60, 0x60)
                          : kind == StatusBarController::Icon::recording ? QColor(0xff, 0x3b, 0x30)
                                                                        : QColor(0x0a, 0x84, 0xff);
    return Icons::icon(kind == StatusBarController::Icon::playing ? QStringLiteral("play") : QStringLiteral("record"),
                       colour);
}

} // namespace

StatusBarController::StatusBarController(AppViewModel& model, std::function<void()> onShowMain, QObject* parent)
    : QObject(parent), m_model(model), m_onShowMain(std::move(onShowMain))
{
    m_menu = new QMenu;
    m_state = m_menu->addAction(QString());
    m_state->setEnabled(false);
    m_menu->addSeparator();
    m_record = m_menu->addAction(QString(), this, [this] {
        if (m_model.recorder().state() == RecordingState::recording)
            m_model.stopRecordingAndPrompt();
        else
            m_model.startRecording();
    });
    m_play = m_menu->addAction(QString(), this, [this] {
        if (m_model.playback().isBusy())
            m_model.stopPlayback();
        else if (const Macro* macro = m_model.selectedMacro())
            m_model.startPlayback(*macro, PlaybackOptions{});
    });
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Show Main Window"), this, [this] {
        if (m_onShowMain)
            m_onShowMain();
    });
    m_menu->addAction(QStringLiteral("Quit Quillo"), qApp, &QApplication::quit);

    m_blink = new QTimer(this);
    m_blink->setInterval(500);
    connect(m_blink, &QTimer::timeout, this, [this] {
        m_blinkOn = !m_blinkOn;
        applyIcon();
    });
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(this);
        m_tray->setToolTip(QStringLiteral("Quillo"));
        m_tray->setContextMenu(m_menu);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger)
                m_menu->popup(QCursor::pos());
        });
        m_tray->show();
    } else {
        appLog(QStringLiteral("This desktop has no system tray; start quillo again to bring the window back"),
               LogEntry::Level::warn);
    }
    connect(&m_model, &AppViewModel::changed, this, &StatusBarController::refreshMenu);
    applyIcon();
    refreshMenu();
}

StatusBarController::~StatusBarController()
{
    delete m_menu;
}

bool StatusBarController::isBlinking() const
{
    return m_blink->isActive();
}

void StatusBarController::applyIcon()
{
    if (m_tray)
        m_tray->setIcon(trayIcon(m_icon, m_icon != Icon::idle && m_blinkOn));
}

void StatusBarController::updateIcon(bool isRecording, bool isPlaying)
{
    m_blink->stop();
    m_icon = isRecording ? Icon::recording : isPlaying ? Icon::playing : Icon::idle;
    // Every update starts from the tinted phase.
    m_blinkOn = m_icon != Icon::idle;
    if (m_blinkOn)
        m_blink->start();
    applyIcon();
}

void StatusBarController::refreshMenu()
{
    const bool recording = m_model.recorder().state() == RecordingState::recording;
    const bool playing = m_model.playback().isBusy();
    m_state->setText(recording ? QStringLiteral("Recording\u2026") : playing ? QStringLiteral("Playing\u2026")
                                                                              : QStringLiteral("Ready"));
    m_record->setText(recording ? QStringLiteral("Stop Recording") : QStringLiteral("Start Recording"));
    m_record->setEnabled(recording || !playing);
    m_play->setText(playing ? QStringLiteral("Stop Playback") : QStringLiteral("Play Selected Macro"));
    m_play->setEnabled(playing || (!recording && m_model.selectedMacro() != nullptr));
}
