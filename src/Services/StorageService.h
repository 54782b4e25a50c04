#pragma once

#include "Models/Expected.h"
#include "Models/Macro.h"
#include "Services/StorageError.h"

#include <QObject>
#include <vector>

// The macro library on disk: one JSON array in $XDG_DATA_HOME/Quillo/macros.json,
// always the complete library. Saves are atomic and durable; a load that fails
// leaves the file as it was, and the next save first moves that file aside so
// that the macros in it are never overwritten.
class StorageService : public QObject
{
    Q_OBJECT
public:
    // Uses the user's data folder and creates its "Quillo" folder if needed.
    explicit StorageService(QObject* parent = nullptr);
    // Uses the given file instead (tests, tools).
    explicit StorageService(const QString& filePath, QObject* parent = nullptr);

    // The library file's full path; empty when the user has no data folder at all.
    const QString& storageURL() const { return m_path; }

    // Replaces the file with `macros`, indented, keys sorted. On failure the file keeps
    // its previous content.
    Status<StorageError> saveAll(const std::vector<Macro>& macros);
    // The library from the file (empty when there is no file), version-checked.
    Expected<std::vector<Macro>, StorageError> loadAll();

    // The path an unreadable library is moved to: macros.json.unreadable-YYYYMMDD-HHMMSS,
    // with -2, -3, ... added when that name is taken.
    static QString setAsidePath(const QString& filePath, const QDateTime& now);

private:
    Status<StorageError> setAsideUnreadableFile();

    QString m_path;
    // A load failed on a file that is still there: keep it before writing over it.
    bool m_unreadableOnDisk = false;
};
