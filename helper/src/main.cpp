// quillo-inputd: reads the keyboards and pointers for Quillo while it records, and types
// and clicks for it through virtual devices while it replays, on any Wayland compositor.
// Runs as a system service with access to /dev/input and /dev/uinput.
#include "InputdServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/signalfd.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    // SIGTERM and SIGINT end the loop properly, so that held keys are released.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quillo-inputd"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLO_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quillo's input helper: captures keyboards and pointers while Quillo records and replays "
                       "through virtual devices. Only root and members of the group \"quillo\" with an active local "
                       "session may connect."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("socket"), QStringLiteral("Where to listen (default %1).")
                                                    .arg(QString::fromLatin1(InputdProtocol::defaultSocketPath)),
                      QStringLiteral("PATH"), QString::fromLatin1(InputdProtocol::defaultSocketPath)});
    parser.addOption({QStringLiteral("input"), QStringLiteral("The folder of input devices (default /dev/input)."),
                      QStringLiteral("FOLDER"), QStringLiteral("/dev/input")});
    parser.process(app);

    const QString path = parser.value(QStringLiteral("socket"));
    QDir().mkpath(QFileInfo(path).absolutePath());
    InputdServer server(PeerPolicy(PeerPolicy::systemLookups()), parser.value(QStringLiteral("input")));
    server.prepareDevices();
    QString error;
    if (!server.listen(path, error)) {
        std::fprintf(stderr, "quillo-inputd: cannot listen at %s: %s\n", path.toLocal8Bit().constData(),
                     error.toLocal8Bit().constData());
        return 1;
    }
    const int fd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::exit(0); });
    std::fprintf(stderr, "quillo-inputd: listening at %s (protocol %d)\n", path.toLocal8Bit().constData(),
                 int(InputdProtocol::version));
    const int code = QCoreApplication::exec();
    std::fprintf(stderr, "quillo-inputd: stopping\n");
    return code;
}
