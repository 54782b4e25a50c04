#pragma once

#include "Models/Expected.h"
#include "Models/Macro.h"
#include "Services/StorageError.h"

#include <QLockFile>
#include <QObject>
#include <memory>
#include <optional>
#include <vector>

// The macro library on disk: one JSON array in $XDG_DATA_HOME/Quillo/macros.json,
// always the complete library. Saves are atomic and durable; a load that fails
// leaves the file as it was, and the next save first moves that file aside so
// that the macros in it are never overwritten.
//
// Two processes writing the library would lose each other's changes, so a process
// that may write holds the lock file "macros.json.lock" beside it for as long as it
// lives (see lockForWriting); a second one is told that the library is in use.
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

    // Takes the write lock (saveAll does this itself when needed). Fails when another
    // process holds it, or when the file changed since this service last read or
    // wrote it (saving then would drop the other process's changes).
    Status<StorageError> lockForWriting();
    bool holdsWriteLock() const;
    // Whether a save could happen now: the write lock is held (or taken) and a file can
    // be made in the library's folder. Says why not.
    Status<StorageError> checkWritable();

    // The path an unreadable library is moved to: macros.json.unreadable-YYYYMMDD-HHMMSS,
    // with -2, -3, ... added when that name is taken.
    static QString setAsidePath(const QString& filePath, const QDateTime& now);

private:
    Status<StorageError> setAsideUnreadableFile();
    QString fileStamp() const;

    QString m_path;
    // A load failed on a file that is still there: keep it before writing over it.
    bool m_unreadableOnDisk = false;
    std::unique_ptr<QLockFile> m_lock;
    // Size and modification time of the file as this service last saw it.
    std::optional<QString> m_knownStamp;
};
