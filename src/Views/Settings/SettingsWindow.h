#pragma once

#include <QWidget>

class AppViewModel;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;

// "Quillo Settings": language, hotkeys, storage and about.
class SettingsWindow : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsWindow(AppViewModel& model, QWidget* parent = nullptr);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void retranslate();
    void fitHeight();

    AppViewModel& m_model;
    QGroupBox* m_language;
    QLabel* m_languageTitle;
    QLabel* m_languageSubtitle;
    QButtonGroup* m_languages;
    QGroupBox* m_hotkeys;
    QLabel* m_hotkeyRows;
    QLabel* m_hotkeyNote;
    QGroupBox* m_storage;
    QLabel* m_storageLocation;
    QPushButton* m_reveal;
    QGroupBox* m_about;
    QLabel* m_aboutRows;
};
