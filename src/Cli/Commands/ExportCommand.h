#pragma once

#include <QStringList>

// `quillo export`: writes a macro to a file of its own.
class ExportCommand
{
public:
    static int run(const QStringList& args);
};
