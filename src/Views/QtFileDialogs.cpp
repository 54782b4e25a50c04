#include "Views/QtFileDialogs.h"

#include <QDir>
#include <QFileDialog>

std::optional<QString> QtFileDialogs::saveFile(const QString& title, const QString& suggestedName,
                                               const QString& filter)
{
    const QString path =
        QFileDialog::getSaveFileName(m_parent, title, QDir::home().filePath(suggestedName), filter);
    return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
}

std::optional<QString> QtFileDialogs::openFile(const QString& title, const QString& filter)
{
    const QString path = QFileDialog::getOpenFileName(m_parent, title, QDir::homePath(), filter);
    return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
}
