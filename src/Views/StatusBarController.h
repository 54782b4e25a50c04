#pragma once

#include <QObject>
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

private:
    void refreshMenu();
    void applyIcon();

    AppViewModel& m_model;
    std::function<void()> m_onShowMain;
    QSystemTrayIcon* m_tray = nullptr;
    QMenu* m_menu;
    QAction* m_state;
    QAction* m_record;
    QAction* m_play;
    QTimer* m_blink;
    Icon m_icon = Icon::idle;
    bool m_blinkOn = false;
};
