#pragma once

#include "Platform/FileDialogs.h"

// The file dialogs of a program without windows: never anything chosen.
class NoFileDialogs : public FileDialogs
{
public:
    std::optional<QString> saveFile(const QString&, const QString&, const QString&) override { return {}; }
    std::optional<QString> openFile(const QString&, const QString&) override { return {}; }
};
