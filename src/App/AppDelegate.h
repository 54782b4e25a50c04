#pragma once

#include "App/DesktopPlatform.h"
#include "Views/QtFileDialogs.h"

#include <QObject>
#include <QPointer>
#include <QSettings>
#include <memory>

#include "Views/MainWindow.h"
#include "Views/Settings/SettingsWindow.h"

class AppViewModel;
class StatusBarController;

// Starts the application: the model, the main window, the tray item; keeps the window
// out of the way while recording or playing and brings it back afterwards.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    explicit AppDelegate(QObject* parent = nullptr);
    ~AppDelegate() override;

    void launch();
    void showMainWindow();
    void openSettings();
    // A URL given to the program (the browser runs `quillo quillo://auth?...`): with the
    // window in front, quillo://restore restores a backup, any other quillo:// link goes
    // to the cloud sign-in; other schemes are ignored.
    void handleIncomingURL(const QString& text);
    // The arguments of a launch: each one that is a URL is handled, in order.
    void handleLaunchArguments(const QStringList& arguments);
    // Whether a program argument is a URL (it starts with a scheme and a colon).
    static bool isURLArgument(const QString& argument);

    AppViewModel* model() const { return m_model.get(); }
    MainWindow* mainWindow() const { return m_mainWindow; }

private:
    void stateChanged();

    QtFileDialogs m_dialogs;
    std::unique_ptr<DesktopPlatform> m_platform;
    QSettings m_settings;
    std::unique_ptr<AppViewModel> m_model;
    QPointer<MainWindow> m_mainWindow;
    QPointer<SettingsWindow> m_settingsWindow;
    StatusBarController* m_statusBar = nullptr;
};
