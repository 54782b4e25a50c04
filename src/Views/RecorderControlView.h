#pragma once

#include <QWidget>

class AppViewModel;
class QCheckBox;
class QComboBox;
class QLabel;
class QSpinBox;
class QPushButton;
class QTimer;

// The recorder bar at the bottom of the window: a dot that pulses while recording,
// the state, the elapsed time and count, and the start/stop button.
class RecorderControlView : public QWidget
{
    Q_OBJECT
public:
    explicit RecorderControlView(AppViewModel& model, QWidget* parent = nullptr);

    QPushButton* recordButton() const { return m_button; }
    QLabel* statusText() const { return m_status; }
    QLabel* hints() const { return m_hints; }
    QLabel* countText() const { return m_count; }
    // What the next recording takes in: keyboard and mouse, keyboard only, mouse only;
    // and whether mouse moves are thinned out, to one per how many milliseconds.
    QComboBox* takesField() const { return m_takes; }
    QCheckBox* thinField() const { return m_thin; }
    QCheckBox* picturesField() const { return m_pictures; }
    QSpinBox* thinIntervalField() const { return m_thinInterval; }
    // "01:05.3" for 65.37 s.
    static QString elapsedText(double seconds);

private:
    void refresh();
    void storeOptions();

    AppViewModel& m_model;
    QLabel* m_dot;
    QLabel* m_status;
    QLabel* m_limits;
    QLabel* m_elapsed;
    QLabel* m_count;
    QLabel* m_hints;
    QWidget* m_options;
    QComboBox* m_takes;
    QCheckBox* m_thin;
    QCheckBox* m_pictures;
    QSpinBox* m_thinInterval;
    QPushButton* m_button;
    QTimer* m_pulse;
    bool m_pulseOn = false;
};
