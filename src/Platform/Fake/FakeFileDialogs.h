#pragma once

#include "Platform/FileDialogs.h"

#include <QStringList>

// Dialogs that answer what the test says and remember what they were asked.
class FakeFileDialogs : public FileDialogs
{
public:
    std::optional<QString> saveFile(const QString& title, const QString& suggestedName,
                                    const QString& filter) override
    {
        asked << title + QLatin1Char('|') + suggestedName + QLatin1Char('|') + filter;
        return saveAnswer;
    }
    std::optional<QString> openFile(const QString& title, const QString& filter) override
    {
        asked << title + QLatin1Char('|') + filter;
        return openAnswer;
    }

    std::optional<QString> saveAnswer;
    std::optional<QString> openAnswer;
    QStringList asked;
};
