#pragma once

#include <QStringList>

// The `quillo` command line: finds the command and runs it (each command has a class
// of its own under Commands/, sharing CommandRunner). Exit codes: 0 done, 1 failed,
// 2 the command was used wrongly.
class CommandLine
{
public:
    // `arguments` without the program name.
    static int run(const QStringList& arguments);
    static QString help();
};
