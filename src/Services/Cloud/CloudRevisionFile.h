#pragma once

#include "Services/Cloud/CloudRevision.h"

#include <QByteArray>

// A fetched revision: the macro it was backed up from and the file's bytes, checked
// against the size and SHA-256 the service keeps for them.
struct CloudRevisionFile
{
    CloudRevision revision;
    QString sourceMacroId;
    QByteArray bytes;
};
