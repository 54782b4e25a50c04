#pragma once

#include "Models/Macro.h"
#include "Models/PlaybackState.h"
#include "ViewModels/PlaybackViewModel.h"

#include <QWidget>

class AppViewModel;
class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QToolButton;

// The playback panel under a macro's actions: play or stop, progress, the speed, and
// folded beside them the other options (repeat or loop forever, uniform spacing, the
// waits). A new panel starts from the defaults, folded as the last one was.
class PlaybackControlView : public QWidget
{
    Q_OBJECT
public:
    PlaybackControlView(AppViewModel& model, const Macro& macro, QWidget* parent = nullptr);

    QPushButton* playButton() const { return m_play; }
    QLabel* progressText() const { return m_progressText; }
    PlaybackViewModel& options() { return m_options; }

    QWidget* repeatStepper() const;
    // "Playing loop 2 of 5", "Playing loop 2 ∞", "Playing..." while stopping; else empty.
    static QString progressLabel(const PlaybackState& state);
    // "42%"
    static QString percentText(double progress);

private:
    void refresh();
    void retranslate();
    void playCurrentMacro();

    AppViewModel& m_model;
    QUuid m_macroId;
    PlaybackViewModel m_options;
    QPushButton* m_play;
    QLabel* m_progressText;
    QProgressBar* m_progress;
    QLabel* m_speedTitle;
    QSlider* m_speed;
    QLabel* m_speedLabel;
    QCheckBox* m_infinite;
    QLabel* m_repeatTitle;
    QSpinBox* m_repeat;
    QCheckBox* m_useDelay;
    QCheckBox* m_waitForApps;
    QLabel* m_waitTitle;
    QSpinBox* m_wait;
    bool m_hasPictures = false;
    QCheckBox* m_waitForScreen;
    QSpinBox* m_screenWait;
    QLabel* m_otherLayout;
    QLabel* m_noPositions = nullptr;
    QCheckBox* m_mapLayout;
    bool m_layoutDiffers = false;
    QString m_layouts;
    QDoubleSpinBox* m_delay;
    QLabel* m_hint;
    QLabel* m_percent;
    QLabel* m_delayTitle;
    // The options beyond speed, folded under m_more.
    QToolButton* m_more;
    QWidget* m_optionsPanel;
    static bool s_optionsShown;
};
