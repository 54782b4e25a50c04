#include "Cli/Commands/ImportCommand.h"

#include "Cli/CommandRunner.h"
#include "Cli/TerminalText.h"
#include "Library/MacroLibrary.h"
#include "Services/ExportImportService.h"
#include "Services/StorageService.h"

#include <QFile>
#include <QTemporaryFile>

using namespace CommandRunner;

int ImportCommand::run(const QStringList& args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("A macro file; - reads standard input."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption replaceOption(
        QStringLiteral("replace"),
        QStringLiteral("Replace the library's macro of the same name (keeping its place and id) instead of adding "
                       "another one."));
    parser.addOption(replaceOption);
    if (auto done = parse(parser, QStringLiteral("import"),
                          QStringLiteral("Add the macro in a file to the library, first in the list."), args))
        return *done;
    if (auto wrong = expectArguments(parser, QStringLiteral("import"), 1, QStringLiteral("one file")))
        return *wrong;
    const bool replace = parser.isSet(replaceOption);
    auto said = [](const QString& verb, const QString& name, qsizetype count, const QString& id) {
        out(QStringLiteral("%1 \"%2\" (%3) as %4").arg(verb, TerminalText::safe(name), plural(count, "action", "actions"), id));
    };
    // "-": the file comes on standard input (read whole first, at most 64 MB).
    QString path = parser.positionalArguments()[0];
    std::optional<QByteArray> piped;
    if (path == QLatin1String("-")) {
        constexpr qint64 maxBytes = 64 * 1024 * 1024;
        QFile input;
        if (!input.open(stdin, QIODevice::ReadOnly)) {
            err(QStringLiteral("standard input cannot be read"));
            return failed;
        }
        piped = input.read(maxBytes + 1);
        if (piped->size() > maxBytes) {
            err(QStringLiteral("standard input holds more than 64 MB, which no macro file does"));
            return failed;
        }
    }
    QTemporaryFile handedOver; // what the running application reads standard input's bytes from
    if (applicationIsRunning()) {
        if (piped) {
            if (!handedOver.open() || handedOver.write(*piped) != piped->size() || !handedOver.flush()) {
                err(QStringLiteral("standard input could not be handed to the running Quillo"));
                return failed;
            }
            path = handedOver.fileName();
        }
        QStringList request{QStringLiteral("import"), path};
        if (replace)
            request << QStringLiteral("replace");
        return runInApplication(request, [said](const QStringList& m) {
            if (m.value(0) == QLatin1String("imported"))
                said(QStringLiteral("Imported"), m.value(1), m.value(2).toLongLong(), m.value(3));
            else if (m.value(0) == QLatin1String("replaced"))
                said(QStringLiteral("Replaced"), m.value(1), m.value(2).toLongLong(), m.value(3));
        });
    }
    auto macro = piped ? ExportImportService::importMacroFromBytes(*piped) : ExportImportService::importMacroFrom(path);
    if (!macro) {
        err(macro.error().description());
        return failed;
    }
    StorageService storage;
    if (auto locked = storage.lockForWriting(); !locked) {
        err(locked.error().description());
        return failed;
    }
    // The library as the application edits it: read, changed, written.
    MacroLibrary library(storage);
    QString problem;
    std::optional<QUuid> placed;
    QObject::connect(&library, &MacroLibrary::failed, [&](const QString& message) { problem = message; });
    QObject::connect(&library, &MacroLibrary::changed, [&](const LibraryUpdate& update) {
        if (update.kind == LibraryUpdate::Kind::imported)
            placed = update.shown;
    });
    library.load();
    if (!problem.isEmpty()) {
        err(problem);
        return failed;
    }
    bool replaced = false;
    if (replace) {
        auto outcome = library.importReplacing(macro.value());
        if (!outcome) {
            err(TerminalText::safe(outcome.error()));
            return failed;
        }
        replaced = outcome.value();
    } else {
        library.addImportedMacro(macro.value());
    }
    if (!problem.isEmpty()) {
        err(problem);
        return failed;
    }
    const Macro* imported = placed ? library.macroWithId(*placed) : nullptr;
    if (!imported) {
        err(QStringLiteral("the imported macro is not in the library"));
        return failed;
    }
    said(replaced ? QStringLiteral("Replaced") : QStringLiteral("Imported"), imported->metadata.name,
         qsizetype(imported->actions.size()), idText(imported->id));
    return success;
}
