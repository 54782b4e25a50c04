#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// Display names of applications from their desktop entries: the entry whose
// StartupWMClass is the window class, else the one whose file name is the class.
class DesktopEntryIndex
{
public:
    // `folders` are "applications" folders; empty means those of the XDG data dirs.
    explicit DesktopEntryIndex(QStringList folders = {});

    // The entry's Name for `windowClass`, or empty when no entry matches.
    QString nameFor(const QString& windowClass);

private:
    void load();

    QStringList m_folders;
    bool m_loaded = false;
    QHash<QString, QString> m_byWmClass;
    QHash<QString, QString> m_byFileName; // lower-case file name without ".desktop"
};
