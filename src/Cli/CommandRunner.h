#pragma once

#include "Models/Macro.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// What every `quillo` command shares: output, option parsing, the library, and handing
// work to the running application.
namespace CommandRunner {

enum ExitCode { success = 0, failed = 1, usage = 2 };

// A line on standard output.
void out(const QString& text);
// "quillo: text" on standard error.
void err(const QString& text);
// A line that rewrites itself (progress, live counts); only on a terminal.
void status(const QString& text);
// Ends a status line (on a terminal).
void endStatusLine();

// Parses `args` (the subcommand's own); on --help prints it and returns success, on a
// mistake prints it and returns usage; nothing when the command should go on.
std::optional<int> parse(QCommandLineParser& parser, const QString& command, const QString& description,
                         const QStringList& args);
// Wrong use unless exactly `count` arguments follow the options.
std::optional<int> expectArguments(const QCommandLineParser& parser, const QString& command, qsizetype count,
                                   const QString& what);
// A number option within [low, high]; the option's name and `what` go into the message.
std::optional<double> numberOption(const QCommandLineParser& parser, const QCommandLineOption& option, double low,
                                   double high, bool lowIncluded, const QString& what);

// "1 action", "3 actions".
QString plural(qsizetype count, const char* one, const char* many);
QString durationText(double seconds);
// A macro's name made safe for a terminal.
QString nameText(const Macro& macro);
QString idText(const QUuid& id);

// The library, or nothing (the reason printed).
std::optional<std::vector<Macro>> loadLibrary();
// Contains a slash or ends in ".quillo".
bool looksLikePath(const QString& argument);
// A macro of the library by id or exact name, or, when `allowFile` and the argument is
// a path, one from a file; the error otherwise.
std::optional<Macro> findMacro(const QString& nameIdOrFile, bool allowFile, QString& error);

// A running desktop application on this display (it holds the hotkeys and the library).
bool applicationIsRunning();
// Hands a command to the running application, which does the work; each reply goes to
// `show`, errors to standard error. Ctrl-C asks it to stop. The command's exit code.
int runInApplication(const QStringList& request, const std::function<void(const QStringList&)>& show);

} // namespace CommandRunner
