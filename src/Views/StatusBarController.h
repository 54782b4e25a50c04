#pragma once

#include <QColor>
#include <QObject>
#include <QStringList>
#include <functional>

class AppViewModel;
class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;

// The tray item: a record icon that blinks red while recording and blue while
// playing, and a menu with the state and the main commands.
class StatusBarController : public QObject
{
    Q_OBJECT
public:
    enum class Icon { idle, recording, playing };

    StatusBarController(AppViewModel& model, std::function<void()> onShowMain, QObject* parent = nullptr);
    ~StatusBarController() override;

    void updateIcon(bool isRecording, bool isPlaying);
    Icon icon() const { return m_icon; }
    bool isBlinking() const;
    bool blinkOn() const { return m_blinkOn; }
    QMenu* menu() const { return m_menu; }

    struct Status {
        QString text;
        QColor colour;
    };
    // "Recording..." (red), "Playing..." (green) or "Idle · N macro(s)" (gray).
    Status status() const;
    // The titles of the menu's entries in order (the header and status first), without
    // the chords beside them.
    QStringList commandTitles() const;

    // A name as a menu shows it literally.
    static QString menuText(const QString& text);
    // "Start Recording" with a chord in the menu's shortcut column.
    static QString withChord(const QString& title, const QString& chord);

private:
    void refreshMenu();
    void buildMenu(bool recording, bool playing, bool hasSelection);
    void applyIcon();

    AppViewModel& m_model;
    std::function<void()> m_onShowMain;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_menu;
    int m_menuLayout = -1;
    QAction* m_statusAction = nullptr;
    QAction* m_startAction = nullptr;
    QAction* m_playAction = nullptr;
    QAction* m_stopRecordingAction = nullptr;
    QAction* m_stopPlaybackAction = nullptr;
    // When the menu was last opened during the recording (seconds into it).
    double m_menuOpenedAt = 0;
    static constexpr double menuClickAllowance = 1.0;
    QTimer* m_blink;
    Icon m_icon = Icon::idle;
    bool m_blinkOn = false;
};
