#pragma once

#include <QString>
#include <optional>

// The two modal file dialogs of macro files. Nothing when the user cancels.
class FileDialogs
{
public:
    virtual ~FileDialogs() = default;

    // A location to write to, suggesting `suggestedName`; folders may be created.
    virtual std::optional<QString> saveFile(const QString& title, const QString& suggestedName,
                                            const QString& filter) = 0;
    // One existing file.
    virtual std::optional<QString> openFile(const QString& title, const QString& filter) = 0;
};
