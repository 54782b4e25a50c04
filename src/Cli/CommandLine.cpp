#include "Cli/CommandLine.h"

#include "Cli/CommandRunner.h"
#include "Cli/Commands/CloudCommand.h"
#include "Cli/Commands/DoctorCommand.h"
#include "Cli/Commands/ExportCommand.h"
#include "Cli/Commands/ImportCommand.h"
#include "Cli/Commands/ListCommand.h"
#include "Cli/Commands/PlayCommand.h"
#include "Cli/Commands/RecordCommand.h"
#include "Platform/Linux/SessionKind.h"
#include "Services/LogService.h"
#include "Services/StorageService.h"

#include <array>

using namespace CommandRunner;

namespace {

struct Command
{
    const char* name;
    int (*run)(const QStringList& args);
};

constexpr std::array<Command, 7> commands = {{
    {"list", &ListCommand::run},
    {"record", &RecordCommand::run},
    {"play", &PlayCommand::run},
    {"export", &ExportCommand::run},
    {"import", &ImportCommand::run},
    {"doctor", &DoctorCommand::run},
    {"cloud", &CloudCommand::run},
}};

} // namespace

QString CommandLine::help()
{
    return QStringLiteral(
        "Quillo records keyboard and mouse input into macros and replays them.\n"
        "\n"
        "Usage: quillo [command] [options] [--verbose]\n"
        "       quillo --version\n"
        "\n"
        "Without a command the application starts. Standard output carries a command's\n"
        "result; warnings go to standard error, every log line with --verbose.\n"
        "\n"
        "Commands:\n"
        "  list                      The macros in the library.\n"
        "  record [--name NAME] [--duration SECONDS] [--keyboard-only | --mouse-only]\n"
        "         [--thin-moves MS]\n"
        "                            Record until a stop hotkey, Ctrl-C or the duration;\n"
        "                            then save into the library.\n"
        "  play NAME|ID|FILE [--speed X] [--loops N | --forever] [--spacing SECONDS]\n"
        "       [--wait-for-apps SECONDS] [--map-outputs]\n"
        "                            Replay a macro; Ctrl-C stops it.\n"
        "  export NAME|ID FILE       Write a macro to a file of its own.\n"
        "  import [--replace] FILE|-  Add the macro in FILE (- reads standard input) to the\n"
        "                            library, or replace the macro of the same name.\n"
        "  doctor                    Check what recording and replaying need.\n"
        "  cloud status|sign-in|sign-out|sync [NAME...]|revisions NAME|restore NAME\n"
        "        |check-update\n"
        "                            Quillo Cloud: the account, backups and updates.\n"
        "\n"
        "Each command has --help. Exit codes: 0 done, 1 failed, 2 wrong use, 130 stopped\n"
        "by Ctrl-C.\n"
        "The library is %1")
        .arg(StorageService().storageURL());
}

int CommandLine::run(const QStringList& given)
{
    // --verbose (anywhere) lets every log line through to standard error; otherwise only
    // warnings and errors go there, and standard output holds the command's result alone.
    QStringList arguments = given;
    const bool verbose = arguments.removeAll(QStringLiteral("--verbose")) + arguments.removeAll(QStringLiteral("-v")) > 0;
    LogService::shared()->setTerminalLevel(verbose ? LogEntry::Level::debug : LogEntry::Level::warn);
    if (arguments.isEmpty() || arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h") ||
        arguments[0] == QLatin1String("help")) {
        out(help());
        return success;
    }
    if (arguments[0] == QLatin1String("--version") || arguments[0] == QLatin1String("-V")) {
        out(QStringLiteral("quillo %1").arg(QStringLiteral(QUILLO_VERSION)));
        return success;
    }
    if (const QString problem = SessionKind::forcedProblem(); !problem.isEmpty()) {
        err(problem);
        return usage;
    }
    for (const Command& command : commands)
        if (arguments[0] == QLatin1String(command.name))
            return command.run(arguments.mid(1));
    err(QStringLiteral("unknown command \"%1\" (see quillo --help)").arg(arguments[0]));
    return usage;
}
