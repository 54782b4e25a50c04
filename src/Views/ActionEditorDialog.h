#pragma once

#include "Models/MacroAction.h"

#include <QDialog>

class AppViewModel;
class ChordButton;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class ScreenPointPicker;

// One action's fields as a form: the time after the previous action, and what its kind
// has (a key and the modifiers held with it, a position with "Pick on Screen", a
// button, wheel clicks, an application, a pause). Used to edit an action and to make
// a new one (a key, a click, a switch to an application). Values that cannot be
// replayed are refused in the form with the reason.
class ActionEditorDialog : public QDialog
{
    Q_OBJECT
public:
    enum class Purpose { edit, insert };

    // `gap`: seconds after the previous action; `hasGap` false for a macro's first action.
    ActionEditorDialog(AppViewModel& model, const MacroAction& action, double gap, bool hasGap, Purpose purpose,
                       QWidget* parent = nullptr);
    ~ActionEditorDialog() override;

    // Stays open through "Pick on Screen", which hides the form while the point is picked.
    int exec() override;

    // The action as the form has it (its timestamp is not the form's business).
    MacroAction action() const;
    double gap() const;
    // Why the form cannot be saved, or empty.
    QString problem() const;

    // The fields, for the tests.
    QSpinBox* gapField() const { return m_gap; }
    QDoubleSpinBox* xField() const { return m_x; }
    QDoubleSpinBox* yField() const { return m_y; }
    QComboBox* buttonField() const { return m_button; }
    ChordButton* keyField() const { return m_key; }
    QCheckBox* modifierField(std::uint64_t flag) const;
    QSpinBox* wheelXField() const { return m_wheelX; }
    QSpinBox* wheelYField() const { return m_wheelY; }
    QComboBox* applicationField() const { return m_application; }
    QDoubleSpinBox* durationField() const { return m_duration; }
    // A pictured press's likeness (null for other actions).
    QDoubleSpinBox* likenessField() const { return m_likeness; }
    QPushButton* pickButton() const { return m_pick; }
    QPushButton* okButton() const { return m_ok; }
    QLabel* problemLabel() const { return m_problem; }
    ScreenPointPicker* picker() const { return m_picker; }
    // The key as the capture would set it.
    void setKey(std::uint16_t keyCode);

private:
    void update();
    void pickOnScreen();
    std::uint64_t modifiers() const;
    void showModifiers(std::uint64_t flags);

    AppViewModel& m_model;
    MacroAction m_action;
    std::uint16_t m_keyCode = 0;
    bool m_keySet = false;
    QLabel* m_title;
    QSpinBox* m_gap;
    QDoubleSpinBox* m_x = nullptr;
    QDoubleSpinBox* m_y = nullptr;
    QPushButton* m_pick = nullptr;
    QComboBox* m_button = nullptr;
    ChordButton* m_key = nullptr;
    std::vector<std::pair<std::uint64_t, QCheckBox*>> m_modifiers;
    QSpinBox* m_wheelX = nullptr;
    QSpinBox* m_wheelY = nullptr;
    QComboBox* m_application = nullptr;
    QDoubleSpinBox* m_duration = nullptr;
    QDoubleSpinBox* m_likeness = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_ok = nullptr;
    ScreenPointPicker* m_picker = nullptr;
};
