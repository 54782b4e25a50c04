// The quillo program: with a command, the command line; without one, the application.
#include "App/AppDelegate.h"
#include "App/RemoteCommand.h"
#include "App/SingleInstance.h"
#include "Cli/CommandLine.h"
#include "Cli/SignalWatcher.h"

#include "Platform/Linux/SessionKind.h"
#include "Platform/X11/X11Platform.h"
#include "Services/LogService.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    // `quillo quillo://auth?...` (the browser handing back a sign-in) is a launch, not a command.
    if (argc > 1 && !AppDelegate::isURLArgument(QString::fromLocal8Bit(argv[1]))) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("Quillo"));
        QCoreApplication::setApplicationName(QStringLiteral("Quillo"));
        QCoreApplication::setApplicationVersion(QStringLiteral(QUILLO_VERSION));
        LogService::shared(); // takes the backends' lines from the start
        return CommandLine::run(app.arguments().mid(1));
    }
    if (const QString problem = SessionKind::forcedProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "quillo: %s\n", qPrintable(problem));
        return 2;
    }
    SignalWatcher::blockTerminationSignals(); // before any thread starts
    // Qt would abort without a display; say what is missing instead.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    // (A Wayland session without XWayland is left to Qt's own Wayland support.)
    if ((platform.isEmpty() || platform.startsWith("xcb")) && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        !X11Platform::canOpenDisplay()) {
        std::fputs("Quillo needs a graphical session (no X display found)\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillo"));
    QApplication::setApplicationName(QStringLiteral("Quillo"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLO_VERSION));
    LogService::shared(); // takes the backends' lines from the start
    QApplication::setDesktopFileName(QStringLiteral("quillo"));
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (!instance.claim(app.arguments().mid(1)))
        return 0; // the running Quillo shows its window
    AppDelegate delegate;
    delegate.launch();
    // Ended by the session (SIGTERM) or Ctrl-C: quit properly, so that a running playback
    // releases every key and button it holds.
    SignalWatcher signals;
    QObject::connect(&signals, &SignalWatcher::interrupted, &app, [] { QCoreApplication::exit(0); });
    delegate.handleLaunchArguments(app.arguments().mid(1));
    QObject::connect(&instance, &SingleInstance::activated, &delegate, [&delegate](const QStringList& arguments) {
        delegate.showMainWindow();
        delegate.handleLaunchArguments(arguments);
    });
    QObject::connect(&instance, &SingleInstance::commandRequested, &delegate,
                     [&delegate](QLocalSocket* socket, const QStringList& request) {
                         RemoteCommand::start(*delegate.model(), socket, request);
                     });
    instance.acceptRequests();
    return app.exec();
}
