#pragma once

#include <vector>

#include <QWidget>

class AppViewModel;
class AccountSettingsSection;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class SettingsViewModel;
class UpdatesSettingsSection;

// The settings: account, language, hotkeys, storage, updates and about, in one
// scrolling form of a fixed size.
class SettingsWindow : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsWindow(AppViewModel& model, QWidget* parent = nullptr);

    SettingsViewModel& viewModel() { return *m_viewModel; }
    AccountSettingsSection* account() const { return m_account; }
    UpdatesSettingsSection* updates() const { return m_updates; }
    QComboBox* languagePicker() const { return m_languages; }

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void retranslate();
    void refreshHotkeys();

    AppViewModel& m_model;
    SettingsViewModel* m_viewModel;
    AccountSettingsSection* m_account;
    QGroupBox* m_language;
    QLabel* m_languageTitle;
    QLabel* m_languageSubtitle;
    QComboBox* m_languages;
    QGroupBox* m_hotkeys;
    struct HotkeyRow {
        quint32 id;
        QLabel* title;
        class ChordButton* chord;
        QLabel* problem;
    };
    std::vector<HotkeyRow> m_hotkeyRows;
    QLabel* m_hotkeyNote;
    QGroupBox* m_storage;
    QLabel* m_storageLocation;
    QPushButton* m_reveal;
    UpdatesSettingsSection* m_updates;
    QGroupBox* m_about;
    QLabel* m_aboutRows;
};
