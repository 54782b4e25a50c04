#pragma once

#include "Platform/FileDialogs.h"

class QWidget;

// The file dialogs of the desktop, modal over the main window.
class QtFileDialogs : public FileDialogs
{
public:
    void setParent(QWidget* parent) { m_parent = parent; }

    std::optional<QString> saveFile(const QString& title, const QString& suggestedName,
                                    const QString& filter) override;
    std::optional<QString> openFile(const QString& title, const QString& filter) override;

private:
    QWidget* m_parent = nullptr;
};
