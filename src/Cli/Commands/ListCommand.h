#pragma once

#include <QStringList>

// `quillo list`: the macros in the library.
class ListCommand
{
public:
    static int run(const QStringList& args);
};
