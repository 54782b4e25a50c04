// The quillo program: the command line, and (soon) the desktop application.
#include "Cli/CommandLine.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quillo"));
    QCoreApplication::setApplicationName(QStringLiteral("Quillo"));
    return CommandLine::run(app.arguments().mid(1));
}
