#pragma once

#include <QStringList>

// `quillo import`: adds the macro in a file to the library (through the running application when there is one).
class ImportCommand
{
public:
    static int run(const QStringList& args);
};
