#pragma once

#include <QGroupBox>

class AppViewModel;
class SettingsViewModel;
class QLabel;
class QProgressBar;
class QPushButton;

// The updates section: the running version, or what the last check found, and the
// button that checks (or downloads the newer version).
class UpdatesSettingsSection : public QGroupBox
{
    Q_OBJECT
public:
    UpdatesSettingsSection(AppViewModel& model, SettingsViewModel& settings, QWidget* parent = nullptr);

    void refresh();

    QLabel* statusText() const { return m_status; }
    QPushButton* actionButton() const { return m_action; }
    QProgressBar* spinner() const { return m_spinner; }

private:
    AppViewModel& m_model;
    SettingsViewModel& m_settings;
    QLabel* m_title;
    QLabel* m_status;
    QPushButton* m_action;
    QProgressBar* m_spinner;
};
