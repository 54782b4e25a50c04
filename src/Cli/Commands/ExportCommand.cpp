#include "Cli/Commands/ExportCommand.h"

#include "Cli/CommandRunner.h"
#include "Cli/TerminalText.h"
#include "Codec/MacroJsonEncoder.h"
#include "Services/ExportImportService.h"

#include <QFile>

using namespace CommandRunner;

int ExportCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("macro"), QStringLiteral("A macro's name or id."),
                                 QStringLiteral("NAME|ID"));
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("Where to write it."), QStringLiteral("FILE"));
    if (auto done = parse(parser, QStringLiteral("export"), QStringLiteral("Write a macro to a file of its own."),
                          args))
        return *done;
    if (auto wrong = expectArguments(parser, QStringLiteral("export"), 2, QStringLiteral("a macro and a file")))
        return *wrong;
    QString error;
    const auto macro = findMacro(parser.positionalArguments()[0], false, error);
    if (!macro) {
        err(error);
        return failed;
    }
    const QString path = parser.positionalArguments()[1];
    if (path == QLatin1String("-")) {
        auto encoded = MacroJsonEncoder::encodeMacro(*macro);
        if (!encoded) {
            err(QStringLiteral("Failed to encode macro data."));
            return failed;
        }
        QFile standardOutput;
        if (!standardOutput.open(stdout, QIODevice::WriteOnly) || standardOutput.write(encoded.value()) < 0 ||
            !standardOutput.flush()) {
            err(QStringLiteral("could not write to standard output: %1").arg(standardOutput.errorString()));
            return failed;
        }
        return success;
    }
    if (auto written = ExportImportService::exportMacroTo(*macro, path); !written) {
        err(written.error().description());
        return failed;
    }
    out(QStringLiteral("Exported \"%1\" to %2").arg(nameText(*macro), TerminalText::safe(path)));
    return success;
}
