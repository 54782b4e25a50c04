#include "Platform/Linux/DesktopEntryIndex.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

DesktopEntryIndex::DesktopEntryIndex(QStringList folders) : m_folders(std::move(folders)) {}

void DesktopEntryIndex::load()
{
    m_loaded = true;
    QStringList folders = m_folders;
    if (folders.isEmpty())
        folders = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                            QStringLiteral("applications"),
                                            QStandardPaths::LocateDirectory);
    // Earlier folders take precedence (the user's own entries come first).
    for (const QString& folder : folders) {
        QDirIterator it(folder, {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
                continue;
            QString name, wmClass;
            bool inMainGroup = false;
            while (!file.atEnd()) {
                const QString line = QString::fromUtf8(file.readLine()).trimmed();
                if (line.startsWith(QLatin1Char('['))) {
                    if (inMainGroup)
                        break;
                    inMainGroup = line == QLatin1String("[Desktop Entry]");
                } else if (inMainGroup && line.startsWith(QLatin1String("Name="))) {
                    name = line.mid(5);
                } else if (inMainGroup && line.startsWith(QLatin1String("StartupWMClass="))) {
                    wmClass = line.mid(15);
                }
            }
            if (name.isEmpty())
                continue;
            if (!wmClass.isEmpty() && !m_byWmClass.contains(wmClass))
                m_byWmClass.insert(wmClass, name);
            const QString fileName = QFileInfo(path).completeBaseName().toLower();
            if (!m_byFileName.contains(fileName))
                m_byFileName.insert(fileName, name);
        }
    }
}

QString DesktopEntryIndex::nameFor(const QString& windowClass)
{
    if (!m_loaded)
        load();
    if (const auto it = m_byWmClass.constFind(windowClass); it != m_byWmClass.constEnd())
        return *it;
    return m_byFileName.value(windowClass.toLower());
}
