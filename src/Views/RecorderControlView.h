#pragma once

#include <QWidget>

class AppViewModel;
class QLabel;
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
    // "01:05.3" for 65.37 s.
    static QString elapsedText(double seconds);

private:
    void refresh();

    AppViewModel& m_model;
    QLabel* m_dot;
    QLabel* m_status;
    QLabel* m_limits;
    QLabel* m_elapsed;
    QLabel* m_count;
    QLabel* m_hints;
    QPushButton* m_button;
    QTimer* m_pulse;
    bool m_pulseOn = false;
};
