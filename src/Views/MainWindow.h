#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <optional>

#include "Views/SaveMacroSheet.h"

class AppViewModel;
class ContentView;


// The main window: the content view, the settings and debug-log buttons, the error
// alert and the save sheet of a finished recording.
class QMenu;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(AppViewModel& model, QWidget* parent = nullptr);
    ~MainWindow() override;

    ContentView* content() const { return m_content; }
    SaveMacroSheet* saveSheet() const { return m_saveSheet; }
    // Out of the way: hidden, or minimised where there is no tray to bring it back from
    // (`explain`: the first time, say so).
    void stepAside(bool explain = false);
    // The desktop shows Quillo's own indicator (no tray): a hidden window can be reached
    // from there, so it hides instead of going to the taskbar.
    void setIndicatorShown(bool shown) { m_indicatorShown = shown; }
    // Shown and raised where it was before it was hidden.
    void showInPlace();
    // Where the window's frame really is on the screen, when the platform can tell.
    std::function<std::optional<QPoint>(WId)> locateFrame;

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void showError();
    void buildEditMenu();
    void updateEditMenu();
    void checkSteppedAside();
    static constexpr int minimiseCheckMs = 400;
    static constexpr int maxMinimiseChecks = 3;
    void showSaveSheet();

    AppViewModel& m_model;
    ContentView* m_content;
    QMenu* m_editMenu = nullptr;
    QAction* m_undo = nullptr;
    QAction* m_redo = nullptr;
    QPointer<SaveMacroSheet> m_saveSheet;
    bool m_showingError = false;
    bool m_indicatorShown = false;
    bool m_toldAboutMissingTray = false;
    QByteArray m_hiddenGeometry;
    std::optional<QPoint> m_hiddenFramePosition;
    QStringList m_pendingErrors; // errors waiting for their alert, oldest first
    // Stepping aside for a recording or playback (not closed by the user): checked until
    // the window manager has minimised the window.
    bool m_asideForWork = false;
    int m_minimiseChecks = 0;
};
