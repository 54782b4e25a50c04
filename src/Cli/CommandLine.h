#pragma once

#include "Models/Macro.h"

#include <QStringList>
#include <optional>

// The `quillo` command line: list, record, play, export, import and doctor. Exit codes:
// 0 done, 1 failed, 2 the command was used wrongly.
class CommandLine
{
public:
    enum ExitCode { success = 0, failed = 1, usage = 2 };
    static constexpr int maxRecordSeconds = 86400;
    static constexpr int maxSpacingSeconds = 86400;

    // `arguments` without the program name.
    static int run(const QStringList& arguments);
    static QString help();

private:
    static int list(const QStringList& args);
    static int record(const QStringList& args);
    static int play(const QStringList& args);
    static int exportMacro(const QStringList& args);
    static int importMacro(const QStringList& args);
    static int doctor(const QStringList& args);

    // A macro of the library by id or exact name, or, when `allowFile` and the argument
    // is a path, one from a file; the error otherwise.
    static std::optional<Macro> findMacro(const QString& nameIdOrFile, bool allowFile, QString& error);
    // Contains a slash or ends in ".quillo".
    static bool looksLikePath(const QString& argument);
};
