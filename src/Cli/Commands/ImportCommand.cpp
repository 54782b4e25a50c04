#include "Cli/Commands/ImportCommand.h"

#include "Cli/CommandRunner.h"
#include "Cli/TerminalText.h"
#include "Services/ExportImportService.h"
#include "Services/StorageService.h"

using namespace CommandRunner;

int ImportCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A macro file."), QStringLiteral("FILE"));
    if (auto done = parse(parser, QStringLiteral("import"),
                          QStringLiteral("Add the macro in a file to the library, first in the list."), args))
        return *done;
    if (auto wrong = expectArguments(parser, QStringLiteral("import"), 1, QStringLiteral("one file")))
        return *wrong;
    if (applicationIsRunning()) {
        return runInApplication({QStringLiteral("import"), parser.positionalArguments()[0]}, [](const QStringList& m) {
            if (m.value(0) == QLatin1String("imported"))
                out(QStringLiteral("Imported \"%1\" (%2) as %3")
                        .arg(TerminalText::safe(m.value(1)), plural(m.value(2).toLongLong(), "action", "actions"),
                             m.value(3)));
        });
    }
    auto macro = ExportImportService::importMacroFrom(parser.positionalArguments()[0]);
    if (!macro) {
        err(macro.error().description());
        return failed;
    }
    StorageService storage;
    if (auto locked = storage.lockForWriting(); !locked) {
        err(locked.error().description());
        return failed;
    }
    auto library = storage.loadAll();
    if (!library) {
        err(QStringLiteral("Failed to load macros: ") + library.error().description());
        return failed;
    }
    std::vector<Macro> macros = std::move(library).value();
    const Macro imported = macro.value();
    macros.insert(macros.begin(), std::move(macro).value());
    if (auto saved = storage.saveAll(macros); !saved) {
        err(QStringLiteral("Failed to save macros: ") + saved.error().description());
        return failed;
    }
    out(QStringLiteral("Imported \"%1\" (%2) as %3")
            .arg(nameText(imported))
            .arg(plural(qsizetype(imported.actions.size()), "action", "actions"))
            .arg(idText(imported.id)));
    return success;
}
