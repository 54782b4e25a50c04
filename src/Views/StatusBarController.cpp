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
    m_menu->setMinimumWidth(220);
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
            if (reason != QSystemTrayIcon::Trigger)
                return;
            if (m_menu->isVisible())
                m_menu->close();
            else
                m_menu->popup(QCursor::pos());
        });
    } else {
        appLog(QStringLiteral("This desktop has no system tray; start quillo again to bring the window back"),
               LogEntry::Level::warn);
    }
    connect(&m_model, &AppViewModel::changed, this, &StatusBarController::refreshMenu);
    applyIcon();
    refreshMenu();
    if (m_tray)
        m_tray->show();
}

StatusBarController::Status StatusBarController::status() const
{
    if (m_model.recorder().state() == RecordingState::recording)
        return {QStringLiteral("Recording..."), QColor(0xff, 0x3b, 0x30)};
    if (m_model.playback().state().isBusy())
        return {QStringLiteral("Playing..."), QColor(0x30, 0xd1, 0x58)};
    return {QStringLiteral("Idle \u00b7 %1 macro(s)").arg(m_model.macros().size()), QColor(0x8e, 0x8e, 0x93)};
}

QStringList StatusBarController::commandTitles() const
{
    QStringList titles;
    for (QAction* action : m_menu->actions())
        if (!action->isSeparator() && !action->text().isEmpty())
            titles << action->text();
    return titles;
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
    const bool recorderIdle = m_model.recorder().state() == RecordingState::idle;
    const bool recording = m_model.recorder().state() == RecordingState::recording;
    const bool playing = m_model.playback().state().isBusy();
    const Status now = status();

    m_menu->clear();
    auto* header = m_menu->addAction(Icons::icon(QStringLiteral("record"), QColor(0xff, 0x3b, 0x30)),
                                     QStringLiteral("Quillo"));
    header->setEnabled(false);
    auto* state = m_menu->addAction(Icons::icon(QStringLiteral("record"), now.colour), now.text);
    state->setEnabled(false);
    state->setObjectName(QStringLiteral("status"));
    m_menu->addSeparator();
    m_menu->addAction(Icons::icon(QStringLiteral("record")), QStringLiteral("Start Recording"), this,
                      [this] { m_model.startRecording(); })
        ->setEnabled(recorderIdle && !playing);
    if (recording)
        m_menu->addAction(Icons::icon(QStringLiteral("stop")), QStringLiteral("Stop Recording"), this,
                          [this] { m_model.stopRecordingAndPrompt(); });
    if (const Macro* macro = m_model.selectedMacro()) {
        m_menu->addSeparator();
        const QUuid id = macro->id;
        m_menu->addAction(Icons::icon(QStringLiteral("play")), QStringLiteral("Play: ") + macro->metadata.name, this,
                          [this, id] {
                              for (const Macro& m : m_model.macros())
                                  if (m.id == id)
                                      m_model.startPlayback(m, PlaybackOptions{});
                          })
            ->setEnabled(!playing && recorderIdle);
        if (playing)
            m_menu->addAction(Icons::icon(QStringLiteral("stop")), QStringLiteral("Stop Playback"), this,
                              [this] { m_model.stopPlayback(); });
    }
    m_menu->addSeparator();
    m_menu->addAction(Icons::icon(QStringLiteral("window")), QStringLiteral("Open Quillo"), this, [this] {
        m_menu->close();
        if (m_onShowMain)
            m_onShowMain();
    });
    // exit(), not quit(): quit() asks the windows first, and the main window only hides.
    m_menu->addAction(QStringLiteral("Quit"), this, [] { QCoreApplication::exit(0); });
}
