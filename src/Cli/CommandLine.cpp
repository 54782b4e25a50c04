#include "Cli/CommandLine.h"

#include "Cli/CommandRunner.h"
#include "Cli/Commands/CloudCommand.h"
#include "Cli/Commands/DoctorCommand.h"
#include "Cli/Commands/ExportCommand.h"
#include "Cli/Commands/ImportCommand.h"
#include "Cli/Commands/ListCommand.h"
#include "Cli/Commands/PlayCommand.h"
#include "Cli/Commands/RecordCommand.h"
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
        "Usage: quillo [command] [options]\n"
        "\n"
        "Without a command the application starts.\n"
        "\n"
        "Commands:\n"
        "  list                      The macros in the library.\n"
        "  record [--name NAME] [--duration SECONDS]\n"
        "                            Record until a stop hotkey, Ctrl-C or the duration;\n"
        "                            then save into the library.\n"
        "  play NAME|ID|FILE [--speed X] [--loops N | --forever] [--spacing SECONDS]\n"
        "       [--wait-for-apps SECONDS] [--map-outputs]\n"
        "                            Replay a macro; Ctrl-C stops it.\n"
        "  export NAME|ID FILE       Write a macro to a file of its own.\n"
        "  import FILE               Add the macro in FILE to the library.\n"
        "  doctor                    Check what recording and replaying need.\n"
        "  cloud status|sign-in|sign-out|sync [NAME...]|check-update\n"
        "                            Quillo Cloud: the account, backups and updates.\n"
        "\n"
        "Each command has --help. Exit codes: 0 done, 1 failed, 2 wrong use.\n"
        "The library is %1")
        .arg(StorageService().storageURL());
}

int CommandLine::run(const QStringList& arguments)
{
    if (arguments.isEmpty() || arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h") ||
        arguments[0] == QLatin1String("help")) {
        out(help());
        return success;
    }
    for (const Command& command : commands)
        if (arguments[0] == QLatin1String(command.name))
            return command.run(arguments.mid(1));
    err(QStringLiteral("unknown command \"%1\" (see quillo --help)").arg(arguments[0]));
    return usage;
}
