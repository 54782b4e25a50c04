#include "Views/MainWindow.h"

#include "ViewModels/AppViewModel.h"
#include "Views/ContentView.h"
#include "Views/DebugPanelView.h"
#include "Views/Icons.h"
#include "Views/SaveMacroSheet.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QSettings>
#include <QToolBar>

MainWindow::MainWindow(AppViewModel& model, QWidget* parent) : QMainWindow(parent), m_model(model)
{
    setWindowTitle(QStringLiteral("Quillo"));
    setWindowIcon(Icons::icon(QStringLiteral("quillo"), QColor(0xff, 0x3b, 0x30)));
    setObjectName(QStringLiteral("main"));
    m_content = new ContentView(model);
    setCentralWidget(m_content);
    setMinimumSize(620, 440);
    resize(720, 500);

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

    connect(&m_model, &AppViewModel::errorMessageChanged, this, &MainWindow::showError, Qt::QueuedConnection);
    connect(&m_model, &AppViewModel::showRecordingSheetChanged, this, &MainWindow::showSaveSheet, Qt::QueuedConnection);

    const QByteArray geometry = QSettings().value(QStringLiteral("Quillo.MainWindow")).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    if (m_model.errorMessage())
        QMetaObject::invokeMethod(this, &MainWindow::showError, Qt::QueuedConnection);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Closing only hides the window; the application goes on in the tray.
    hide();
    event->ignore();
}

void MainWindow::hideEvent(QHideEvent* event)
{
    QSettings().setValue(QStringLiteral("Quillo.MainWindow"), saveGeometry());
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
    if (!m_model.showRecordingSheet()) {
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
