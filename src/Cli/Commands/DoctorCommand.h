#pragma once

#include <QStringList>

// `quillo doctor`: checks what recording and replaying need, one line each.
class DoctorCommand
{
public:
    static int run(const QStringList& args);
};
