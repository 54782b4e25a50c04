#pragma once

#include "Models/MacroAction.h"

#include <QDialog>
#include <vector>

class AppViewModel;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

// "Type Text…": a text and the time between its keys; the keys come from the current
// keyboard layout, and a character it cannot type is named before anything is inserted.
class TypeTextDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TypeTextDialog(AppViewModel& model, QWidget* parent = nullptr);

    // The key actions of the text (from 0), once the dialog is accepted.
    const std::vector<MacroAction>& actions() const { return m_actions; }
    int intervalMs() const;

    QPlainTextEdit* textField() const { return m_text; }
    QSpinBox* intervalField() const { return m_interval; }
    QLabel* problemLabel() const { return m_problem; }
    QPushButton* insertButton() const { return m_insert; }

private:
    void update();

    AppViewModel& m_model;
    QPlainTextEdit* m_text;
    QSpinBox* m_interval;
    QLabel* m_problem;
    QPushButton* m_insert;
    std::vector<MacroAction> m_actions;
};
