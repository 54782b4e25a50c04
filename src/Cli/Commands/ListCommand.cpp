#include "Cli/Commands/ListCommand.h"

#include "Cli/CommandRunner.h"
#include "Cli/TerminalText.h"

using namespace CommandRunner;

int ListCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    if (auto done = parse(parser, QStringLiteral("list"), QStringLiteral("The macros in the library."), args))
        return *done;
    if (auto wrong = expectArguments(parser, QStringLiteral("list"), 0, {}))
        return *wrong;
    const auto library = loadLibrary();
    if (!library)
        return failed;
    if (library->empty()) {
        out(QStringLiteral("The library is empty."));
        return success;
    }
    using TerminalText::padded;
    int nameWidth = 4;
    for (const Macro& m : *library)
        nameWidth = std::max(nameWidth, TerminalText::displayWidth(nameText(m)));
    out(QStringLiteral("%1  %2  %3  %4")
            .arg(padded(QStringLiteral("NAME"), nameWidth))
            .arg(QStringLiteral("ACTIONS"), 7)
            .arg(QStringLiteral("DURATION"), 10)
            .arg(QStringLiteral("ID")));
    for (const Macro& m : *library)
        out(QStringLiteral("%1  %2  %3  %4")
                .arg(padded(nameText(m), nameWidth))
                .arg(m.actions.size(), 7)
                .arg(durationText(m.totalDuration()), 10)
                .arg(idText(m.id)));
    return success;
}
