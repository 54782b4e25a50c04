#include "Views/StatusBarController.h"

#include "ViewModels/NameText.h"

#include "Platform/StatusIndicator.h"
#include "Services/LogService.h"
#include "ViewModels/AppViewModel.h"
#include "Views/Icons.h"

#include <QApplication>
#include <QMenu>
#include <QPalette>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

QIcon trayIcon(StatusBarController::Icon kind, bool tinted)
{
    // Idle, the icon takes the panel's text colour, so it shows on dark and light panels.
    const QColor colour = !tinted ? QGuiApplication::palette().color(QPalette::WindowText)
                          : kind == StatusBarController::Icon::recording ? QColor(0xff, 0x3b, 0x30)
                                                                        : QColor(0x0a, 0x84, 0xff);
    return Icons::icon(kind == StatusBarController::Icon::playing ? QStringLiteral("play") : QStringLiteral("record"),
                       colour);
}

} // namespace

StatusBarController::StatusBarController(AppViewModel& model, std::function<void()> onShowMain,
                                         StatusIndicator* indicator, QObject* parent)
    : QObject(parent), m_model(model), m_onShowMain(std::move(onShowMain))
{
    m_menu = new QMenu;
    m_menu->setMinimumWidth(220);
    connect(m_menu, &QMenu::aboutToShow, this, [this] {
        // The click on the tray icon that opened it came a moment before.
        if (m_model.recorder().state() == RecordingState::recording)
            m_menuOpenedAt = m_model.recorder().recordingTime() - menuClickAllowance;
    });
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
    } else if (indicator && indicator->isAvailable()) {
        m_indicator = indicator;
        appLog(QStringLiteral("This desktop has no system tray: Quillo's indicator is in the top bar"),
               LogEntry::Level::info);
        connect(m_indicator, &StatusIndicator::menuOpened, this, [this] {
            if (m_model.recorder().state() == RecordingState::recording)
                m_menuOpenedAt = m_model.recorder().recordingTime() - menuClickAllowance;
        });
        connect(m_indicator, &StatusIndicator::activated, this, [this](const QString& id, const std::vector<QRectF>& areas) {
            // Found first: what the entry does may rebuild the menu.
            QAction* chosen = nullptr;
            for (QAction* action : m_menu->actions())
                if (!id.isEmpty() && action->objectName() == id && action->isEnabled())
                    chosen = action;
            m_indicatorAreas = areas;
            if (chosen)
                chosen->trigger();
            m_indicatorAreas.clear();
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

void StatusBarController::showIndicator()
{
    if (!m_indicator)
        return;
    std::vector<StatusIndicator::Entry> entries;
    for (QAction* action : m_menu->actions()) {
        if (action->isSeparator()) {
            entries.push_back({{}, {}, false, true});
            continue;
        }
        // The chord column reads as a gap in the shell's menu; "&&" is a plain "&" there.
        QString label = action->text().replace(QLatin1Char('\t'), QStringLiteral("    ")).replace(QStringLiteral("&&"), QStringLiteral("&"));
        entries.push_back({action->isEnabled() ? action->objectName() : QString(), label, action->isEnabled(), false});
    }
    const QString state = m_icon == Icon::recording ? QStringLiteral("recording")
                          : m_icon == Icon::playing ? QStringLiteral("playing")
                                                    : QStringLiteral("idle");
    // Sent only when something changed: a menu rebuilt under the pointer loses the click.
    if (state == m_indicatorState && entries == m_indicatorEntries)
        return;
    m_indicatorState = state;
    m_indicatorEntries = entries;
    m_indicator->show(state, entries);
}

void StatusBarController::stopRecordingFromMenu(const std::vector<QRectF>& areas)
{
    m_model.recordingFlow().stopRecordingFromControls(areas, m_menuOpenedAt);
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
            titles << action->text().section(QLatin1Char('\t'), 0, 0);
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
    showIndicator();
}

QString StatusBarController::withChord(const QString& title, const QString& chord)
{
    return chord.isEmpty() ? title : title + QLatin1Char('\t') + menuText(chord);
}

QString StatusBarController::menuText(const QString& text)
{
    // Menus read "&" as a mnemonic and a tab as the start of a shortcut column.
    // Control characters show escaped, as in the window's list.
    QString plain = NameText::oneLine(text);
    plain.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return plain;
}

void StatusBarController::refreshMenu()
{
    const bool recorderIdle = m_model.recorder().state() == RecordingState::idle;
    const bool recording = m_model.recorder().state() == RecordingState::recording;
    const bool playing = m_model.playback().state().isBusy();
    const Macro* selected = m_model.selectedMacro();
    const Status now = status();

    // Rebuilt only when the set of entries changes: a rebuild under an open menu
    // swallows the click (and while recording the time ticks ten times a second).
    const int layout = (recording ? 1 : 0) | (playing ? 2 : 0) | (selected ? 4 : 0);
    if (layout != m_menuLayout || !m_statusAction)
        buildMenu(recording, playing, selected != nullptr);
    m_menuLayout = layout;

    m_statusAction->setText(menuText(now.text));
    m_statusAction->setIcon(Icons::icon(QStringLiteral("record"), now.colour));
    m_startAction->setEnabled(recorderIdle && !playing);
    // The chords in force stand in the menu's shortcut column.
    const HotkeyViewModel& chords = m_model.hotkeyChords();
    m_startAction->setText(withChord(QStringLiteral("Start Recording"), chords.text(HotkeyViewModel::toggleRecording)));
    if (m_stopRecordingAction)
        m_stopRecordingAction->setText(withChord(QStringLiteral("Stop Recording"), chords.text(HotkeyViewModel::toggleRecording)));
    if (m_stopPlaybackAction)
        m_stopPlaybackAction->setText(withChord(QStringLiteral("Stop Playback"), chords.text(HotkeyViewModel::togglePlayback)));
    if (m_playAction && selected) {
        m_playAction->setText(withChord(QStringLiteral("Play: ") + menuText(selected->metadata.name),
                                        chords.text(HotkeyViewModel::togglePlayback)));
        m_playAction->setEnabled(!playing && recorderIdle);
    }
    showIndicator();
}

void StatusBarController::buildMenu(bool recording, bool playing, bool hasSelection)
{
    m_menu->clear();
    auto* header = m_menu->addAction(Icons::icon(QStringLiteral("record"), QColor(0xff, 0x3b, 0x30)),
                                     QStringLiteral("Quillo"));
    header->setEnabled(false);
    m_statusAction = m_menu->addAction(QString());
    m_statusAction->setEnabled(false);
    m_statusAction->setObjectName(QStringLiteral("status"));
    m_menu->addSeparator();
    m_startAction = m_menu->addAction(Icons::icon(QStringLiteral("record")), QStringLiteral("Start Recording"), this,
                                      [this] { m_model.recordingFlow().startRecording(); });
    m_startAction->setObjectName(QStringLiteral("startRecording"));
    m_stopRecordingAction = nullptr;
    m_stopPlaybackAction = nullptr;
    if (recording) {
        m_stopRecordingAction = m_menu->addAction(Icons::icon(QStringLiteral("stop")), QStringLiteral("Stop Recording"), this, [this] {
            // The clicks that opened this menu and chose this entry are not the user's
            // macro: replayed, they would open the menu again.
            std::vector<QRectF> areas = m_indicatorAreas;
            if (!m_indicator) {
                areas.push_back(QRectF(m_menu->geometry()));
                if (m_tray)
                    areas.push_back(QRectF(m_tray->geometry()));
            }
            stopRecordingFromMenu(areas);
        });
        m_stopRecordingAction->setObjectName(QStringLiteral("stopRecording"));
    }
    m_playAction = nullptr;
    if (hasSelection) {
        m_menu->addSeparator();
        // Plays the macro selected when clicked, as the library holds it then.
        m_playAction = m_menu->addAction(Icons::icon(QStringLiteral("play")), QString(), this, [this] {
            if (const Macro* macro = m_model.selectedMacro())
                m_model.startPlayback(*macro, PlaybackOptions{});
        });
        m_playAction->setObjectName(QStringLiteral("play"));
        if (playing) {
            m_stopPlaybackAction = m_menu->addAction(Icons::icon(QStringLiteral("stop")), QStringLiteral("Stop Playback"),
                                                     this, [this] { m_model.stopPlayback(); });
            m_stopPlaybackAction->setObjectName(QStringLiteral("stopPlayback"));
        }
    }
    m_menu->addSeparator();
    m_menu->addAction(Icons::icon(QStringLiteral("window")), QStringLiteral("Open Quillo"), this, [this] {
        m_menu->close();
        if (m_onShowMain)
            m_onShowMain();
    })->setObjectName(QStringLiteral("open"));
    // exit(), not quit(): quit() asks the windows first, and the main window only hides.
    m_menu->addAction(QStringLiteral("Quit"), this, [] { QCoreApplication::exit(0); })->setObjectName(QStringLiteral("quit"));
}
