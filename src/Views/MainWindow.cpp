#include "Views/MainWindow.h"

#include "Services/LogService.h"
#include "ViewModels/AppViewModel.h"
#include "Views/ContentView.h"
#include "Views/DebugPanelView.h"
#include "Views/Icons.h"
#include "Views/SaveMacroSheet.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QSettings>
#include <QWindow>
#include <QSystemTrayIcon>
#include "Views/LanguageDirection.h"

#include <QAction>
#include <QCoreApplication>
#include <QTimer>
#include <QToolBar>
#include <QMenuBar>

MainWindow::MainWindow(AppViewModel& model, QWidget* parent) : QMainWindow(parent), m_model(model)
{
    setWindowTitle(QStringLiteral("Quillo"));
    setWindowIcon(Icons::icon(QStringLiteral("quillo"), QColor(0xff, 0x3b, 0x30)));
    setObjectName(QStringLiteral("main"));
    LanguageDirection::follow(model);
    m_content = new ContentView(model);
    setCentralWidget(m_content);
    // Room for the recorder bar's options under the list of actions.
    setMinimumSize(620, 480);
    resize(760, 600);

    auto* toolbar = addToolBar(QStringLiteral("Main"));
    toolbar->setMovable(false);
    auto* settings = toolbar->addAction(Icons::icon(QStringLiteral("gear")), QStringLiteral("Settings"), this, [this] {
        if (m_model.openSettings)
            m_model.openSettings();
    });
    // The desktop's preferences key where it has one, else Ctrl+, (as Command-comma).
    const QKeySequence preferences(QKeySequence::Preferences);
    settings->setShortcut(preferences.isEmpty() ? QKeySequence(Qt::CTRL | Qt::Key_Comma) : preferences);
    settings->setToolTip(QStringLiteral("Settings (%1)").arg(settings->shortcut().toString(QKeySequence::NativeText)));
    auto* debug = toolbar->addAction(Icons::icon(QStringLiteral("terminal")), QStringLiteral("Debug Log"), this, [this] {
        DebugPanelView panel(this);
        panel.exec();
    });
    debug->setToolTip(QStringLiteral("Debug Log"));
    // exit(), not quit(): quit() asks the windows first, and this one only steps aside.
    auto* quit = new QAction(QStringLiteral("Quit"), this);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(quit, &QAction::triggered, this, [] { QCoreApplication::exit(0); });
    addAction(quit);

    buildEditMenu();

    connect(&m_model, &AppViewModel::errorMessageChanged, this, &MainWindow::showError, Qt::QueuedConnection);
    connect(&m_model.recordingFlow(), &RecordingFlow::showRecordingSheetChanged, this, &MainWindow::showSaveSheet, Qt::QueuedConnection);

    const QByteArray geometry = QSettings().value(QStringLiteral("Quillo.MainWindow")).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    if (m_model.errorMessage())
        QMetaObject::invokeMethod(this, &MainWindow::showError, Qt::QueuedConnection);
}

void MainWindow::buildEditMenu()
{
    m_editMenu = menuBar()->addMenu(QString());
    m_undo = m_editMenu->addAction(QString(), &m_model, &AppViewModel::undo);
    m_undo->setShortcut(QKeySequence::Undo);
    // Ctrl+Shift+Z everywhere, and the desktop's own redo key where it differs.
    m_redo = m_editMenu->addAction(QString(), &m_model, &AppViewModel::redo);
    QList<QKeySequence> redoKeys{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)};
    for (const QKeySequence& key : QKeySequence::keyBindings(QKeySequence::Redo))
        if (!redoKeys.contains(key))
            redoKeys.append(key);
    m_redo->setShortcuts(redoKeys);
    connect(&m_model, &AppViewModel::historyChanged, this, &MainWindow::updateEditMenu);
    connect(&m_model, &AppViewModel::appLanguageChanged, this, &MainWindow::updateEditMenu);
    updateEditMenu();
}

void MainWindow::updateEditMenu()
{
    const UndoHistory& history = m_model.library().history();
    m_editMenu->setTitle(m_model.t(QStringLiteral("edit.menu")));
    m_undo->setText(m_model.t(QStringLiteral("edit.undo")));
    m_redo->setText(m_model.t(QStringLiteral("edit.redo")));
    m_undo->setEnabled(history.canUndo());
    m_redo->setEnabled(history.canRedo());
    // What it would undo, as the log says it.
    m_undo->setToolTip(history.undoDescription());
    m_redo->setToolTip(history.redoDescription());
    m_undo->setStatusTip(history.undoDescription());
    m_redo->setStatusTip(history.redoDescription());
    m_editMenu->setToolTipsVisible(true);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing only puts the window aside; the application goes on in the tray.
    stepAside(true);
    event->ignore();
}

void MainWindow::showInPlace()
{
    m_asideForWork = false;
    // Shown again where it was hidden: some window managers place a re-mapped window
    // at the top-left corner.
    if (!isVisible() && !m_hiddenGeometry.isEmpty())
        restoreGeometry(m_hiddenGeometry);
    // Asked for explicitly, so that the window manager keeps it there instead of
    // placing the window anew when it is mapped again.
    if (!isVisible() && m_hiddenFramePosition && windowHandle())
        windowHandle()->setFramePosition(*m_hiddenFramePosition);
    showNormal();
    raise();
    activateWindow();
    if (m_saveSheet && !m_saveSheet->isVisible() && m_model.recordingFlow().showRecordingSheet())
        m_saveSheet->open();
    // Above the window it belongs to, also where no window manager keeps it there.
    if (m_saveSheet && m_saveSheet->isVisible())
        m_saveSheet->raise();
}

void MainWindow::stepAside(bool explain)
{
    // Asked before the window goes: the window manager may have placed it somewhere
    // the toolkit never heard of.
    if (isVisible() && locateFrame)
        m_hiddenFramePosition = locateFrame(winId());
    // A sheet is a window of its own: it steps aside too, and comes back with this one.
    if (m_saveSheet)
        m_saveSheet->hide();
    if (QSystemTrayIcon::isSystemTrayAvailable() || m_indicatorShown) {
        hide();
        return;
    }
    // Without a tray a hidden window could not be reached again: minimise it, and say
    // once how to bring it back and how to quit.
    if (explain && !m_toldAboutMissingTray) {
        m_toldAboutMissingTray = true;
        QMessageBox::information(this, QStringLiteral("Quillo"),
                                 m_model.t(QStringLiteral("notray.text")));
    }
    showMinimized();
    if (explain)
        return;
    // For a recording or playback the window must be out of the way: a window manager
    // that lost (or ignores) the request is asked again, and then the window hides (it
    // comes back when the work ends).
    m_asideForWork = true;
    m_minimiseChecks = 0;
    checkSteppedAside();
}

void MainWindow::checkSteppedAside()
{
    QTimer::singleShot(minimiseCheckMs, this, [this] {
        // The toolkit takes the request for the deed (the window reads as minimised at
        // once, window manager or not): only a window off the screen has stepped aside.
        const bool onScreen = isVisible() && windowHandle() && windowHandle()->isExposed();
        if (!m_asideForWork || !onScreen)
            return;
        if (++m_minimiseChecks < maxMinimiseChecks) {
            setWindowState(windowState() & ~Qt::WindowMinimized); // so that the request goes out again
            showMinimized();
            checkSteppedAside();
            return;
        }
        appLog(QStringLiteral("The window manager did not minimise the window; it is hidden until the work ends"),
               LogEntry::Level::warn);
        hide();
    });
}

void MainWindow::hideEvent(QHideEvent* event)
{
    m_hiddenGeometry = saveGeometry();
    QSettings().setValue(QStringLiteral("Quillo.MainWindow"), m_hiddenGeometry);
    QMainWindow::hideEvent(event);
}

MainWindow::~MainWindow()
{
    if (isVisible())
        QSettings().setValue(QStringLiteral("Quillo.MainWindow"), saveGeometry());
}

void MainWindow::showError()
{
    // Each error gets its own alert: one that arrives while another is open waits.
    if (m_model.errorMessage()) {
        m_pendingErrors << *m_model.errorMessage();
        m_model.clearErrorMessage();
    }
    if (m_showingError)
        return;
    m_showingError = true;
    while (!m_pendingErrors.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Error"), m_pendingErrors.takeFirst(), QMessageBox::Ok,
                        this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
    m_showingError = false;
}

void MainWindow::showSaveSheet()
{
    if (!m_model.recordingFlow().showRecordingSheet()) {
        if (m_saveSheet)
            m_saveSheet->close();
        return;
    }
    if (m_saveSheet)
        return;
    m_saveSheet = new SaveMacroSheet(m_model, this);
    m_saveSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_saveSheet->open();
}
