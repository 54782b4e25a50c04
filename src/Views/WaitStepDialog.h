#pragma once

#include "Models/ScreenWait.h"

#include <QDialog>
#include <optional>

class AppViewModel;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class ScreenPointPicker;

// A step that waits, as a form: what it waits for (a picture taken by dragging a
// rectangle on the screen, a colour at a point, a window, a screen that stops changing),
// how long at most, and what then happens. Used to make one from the Insert menu and to
// change one. A step that cannot run is refused in the form with the reason.
class WaitStepDialog : public QDialog
{
    Q_OBJECT
public:
    enum class Purpose { edit, insert };

    // `gap`: seconds after the previous action; `hasGap` false for a macro's first action.
    WaitStepDialog(AppViewModel& model, const ScreenWait& wait, double gap, bool hasGap, Purpose purpose,
                   QWidget* parent = nullptr);
    ~WaitStepDialog() override;

    // Stays open through picking on the screen, which hides the form meanwhile.
    int exec() override;

    ScreenWait wait() const;
    double gap() const;
    // Why the form cannot be saved, or empty.
    QString problem() const;

    // What picking on the screen gives, as the picker would (also what the tests call):
    // the picture of `area` for an image, the point and the colour there for a colour,
    // the area for a settling screen.
    void takeArea(const QRectF& area);
    void takePoint(const QPointF& point);

    // The fields, for the tests.
    QDoubleSpinBox* timeoutField() const { return m_timeout; }
    QComboBox* onTimeoutField() const { return m_onTimeout; }
    QPushButton* pickButton() const { return m_pick; }
    QComboBox* windowField() const { return m_window; }
    QDoubleSpinBox* thresholdField() const { return m_threshold; }
    QLineEdit* colorField() const { return m_color; }
    QSpinBox* toleranceField() const { return m_tolerance; }
    QLineEdit* titleField() const { return m_title; }
    QComboBox* matchField() const { return m_match; }
    QComboBox* eventField() const { return m_event; }
    QComboBox* areaChoiceField() const { return m_areaChoice; }
    QSpinBox* quietField() const { return m_quiet; }
    QPushButton* okButton() const { return m_ok; }
    QLabel* pictureLabel() const { return m_picture; }
    ScreenPointPicker* picker() const { return m_picker; }

private:
    void update();
    void pickOnScreen();
    QString text(const char* key) const;

    AppViewModel& m_model;
    ScreenWait m_wait;
    QLabel* m_heading = nullptr;
    QSpinBox* m_gap = nullptr;
    QDoubleSpinBox* m_timeout = nullptr;
    QComboBox* m_onTimeout = nullptr;
    QPushButton* m_pick = nullptr;
    QLabel* m_picture = nullptr;
    QLabel* m_where = nullptr;
    QComboBox* m_window = nullptr;
    QDoubleSpinBox* m_threshold = nullptr;
    QLineEdit* m_color = nullptr;
    QSpinBox* m_tolerance = nullptr;
    QComboBox* m_app = nullptr;
    QLineEdit* m_title = nullptr;
    QComboBox* m_match = nullptr;
    QComboBox* m_event = nullptr;
    QComboBox* m_areaChoice = nullptr;
    QSpinBox* m_quiet = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_ok = nullptr;
    ScreenPointPicker* m_picker = nullptr;
    // Why the last picture or colour could not be taken (the screen refused).
    QString m_captureProblem;
};
