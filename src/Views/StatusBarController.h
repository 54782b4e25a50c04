#pragma once

#include <QColor>
#include <QObject>
#include <QRectF>
#include <QStringList>
#include <functional>
#include <vector>

#include "Platform/StatusIndicator.h"

class AppViewModel;
class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;

// The tray item: a record icon that blinks red while recording and blue while
// playing, and a menu with the state and the main commands. Where the desktop has no tray
// but an indicator of its own (GNOME's top bar), the same menu shows there.
class StatusBarController : public QObject
{
    Q_OBJECT
public:
    enum class Icon { idle, recording, playing };

    // `indicator`: the desktop's own, used when there is no tray (may be null).
    StatusBarController(AppViewModel& model, std::function<void()> onShowMain, StatusIndicator* indicator = nullptr,
                        QObject* parent = nullptr);
    ~StatusBarController() override;

    void updateIcon(bool isRecording, bool isPlaying);
    Icon icon() const { return m_icon; }
    bool isBlinking() const;
    bool blinkOn() const { return m_blinkOn; }
    QMenu* menu() const { return m_menu; }
    // Whether the desktop's own indicator stands in for a tray.
    bool usesIndicator() const { return m_indicator != nullptr; }

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
    // The menu as the desktop's indicator shows it.
    void showIndicator();
    // What stopping the recording from this menu leaves out: clicks in `areas`.
    void stopRecordingFromMenu(const std::vector<QRectF>& areas);

    AppViewModel& m_model;
    std::function<void()> m_onShowMain;
    QSystemTrayIcon* m_tray = nullptr;
    StatusIndicator* m_indicator = nullptr; // in use: no tray here
    std::vector<QRectF> m_indicatorAreas;  // where it was when an entry was chosen
    QString m_indicatorState;               // what it shows now
    std::vector<StatusIndicator::Entry> m_indicatorEntries;
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
