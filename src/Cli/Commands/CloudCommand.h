#pragma once

#include <QStringList>

// `quillo cloud status|sign-in|sign-out|sync [NAME...]|check-update`: Quillo Cloud from
// the command line, with the application's services and keyring (through the running
// application when there is one).
class CloudCommand
{
public:
    static int run(const QStringList& args);
};
