#pragma once

#include <QDialog>

class AppViewModel;
class QLabel;
class QLineEdit;

// Names and saves a finished recording, or discards it.
class SaveMacroSheet : public QDialog
{
    Q_OBJECT
public:
    explicit SaveMacroSheet(AppViewModel& model, QWidget* parent = nullptr);

    QLineEdit* nameField() const { return m_name; }
    QLabel* notice() const { return m_notice; }

    // Escape or the close button do not throw a recording away: only "Discard" does.
    void reject() override {}

private:
    AppViewModel& m_model;
    QLineEdit* m_name;
    QLabel* m_notice;
};
