#include "Services/StorageService.h"

#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"
#include "Services/AtomicFile.h"
#include "Services/LogService.h"
#include "Services/MacroMigrationService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

QString defaultLibraryPath()
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return {};
    return dataHome + QStringLiteral("/Quillo/macros.json");
}

StorageError fileError(const QString& what, const QString& path, const QString& reason)
{
    return StorageError{FileError{QStringLiteral("%1 %2: %3").arg(what, path, AtomicFile::plainReason(reason))}};
}

} // namespace

StorageService::StorageService(QObject* parent) : StorageService(defaultLibraryPath(), parent) {}

StorageService::StorageService(const QString& filePath, QObject* parent)
    : QObject(parent), m_path(filePath)
{
    // A folder that cannot be made shows up as a failed save later.
    if (!m_path.isEmpty())
        QDir().mkpath(QFileInfo(m_path).absolutePath());
}

QString StorageService::setAsidePath(const QString& filePath, const QDateTime& now)
{
    const QString base =
        filePath + QStringLiteral(".unreadable-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = base;
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = base + QStringLiteral("-%1").arg(n);
    return candidate;
}

Status<StorageError> StorageService::setAsideUnreadableFile()
{
    if (!QFileInfo::exists(m_path)) {
        m_unreadableOnDisk = false;
        return ok;
    }
    const QString target = setAsidePath(m_path, QDateTime::currentDateTime());
    QFile file(m_path);
    if (!file.rename(target))
        return failure(fileError(QStringLiteral("Could not move the unreadable library"), m_path,
                                 file.errorString()));
    AtomicFile::syncFolder(QFileInfo(m_path).absolutePath());
    m_unreadableOnDisk = false;
    appLog(QStringLiteral("The library file could not be read, so it was kept as %1 before saving")
               .arg(target),
           LogEntry::Level::warn);
    return ok;
}

QString StorageService::fileStamp() const
{
    const QFileInfo info(m_path);
    if (!info.exists())
        return QStringLiteral("absent");
    return QStringLiteral("%1/%2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}

bool StorageService::holdsWriteLock() const
{
    return m_lock && m_lock->isLocked();
}

Status<StorageError> StorageService::lockForWriting()
{
    if (holdsWriteLock())
        return ok;
    if (m_path.isEmpty())
        return failure(StorageError{FileError{
            QStringLiteral("There is no folder for user data (set HOME or XDG_DATA_HOME).")}});
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    auto lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    lock->setStaleLockTime(0); // only a lock whose process is gone is stale
    if (!lock->tryLock(0)) {
        if (lock->error() != QLockFile::LockFailedError) {
            // Not another process: the folder itself refuses files.
            const QString folder = QFileInfo(m_path).absolutePath();
            QTemporaryFile probe(folder + QStringLiteral("/.write-check-XXXXXX"));
            const QString reason = probe.open() ? QStringLiteral("the lock file cannot be made") : probe.errorString();
            return failure(fileError(QStringLiteral("Cannot write in"), folder, reason));
        }
        qint64 pid = 0;
        QString host, app;
        lock->getLockInfo(&pid, &host, &app);
        return failure(StorageError{FileError{
            QStringLiteral("The library is in use by another Quillo process (pid %1). Close it, or "
                           "wait until it has finished, and try again.")
                .arg(pid)}});
    }
    if (m_knownStamp && *m_knownStamp != fileStamp())
        return failure(StorageError{FileError{
            QStringLiteral("The library was changed by another Quillo process after it was loaded here. "
                           "Restart Quillo to load those changes; nothing was saved.")}});
    m_lock = std::move(lock);
    return ok;
}

Status<StorageError> StorageService::checkWritable()
{
    if (auto locked = lockForWriting(); !locked)
        return locked;
    const QString folder = QFileInfo(m_path).absolutePath();
    QTemporaryFile probe(folder + QStringLiteral("/.write-check-XXXXXX"));
    if (!probe.open())
        return failure(fileError(QStringLiteral("Cannot write in"), folder, probe.errorString()));
    return ok;
}

Status<StorageError> StorageService::saveAll(const std::vector<Macro>& macros)
{
    auto encoded = MacroJsonEncoder::encodeLibrary(macros, MacroJsonEncoder::Layout::indented);
    if (!encoded)
        return failure(StorageError{encoded.error()});
    if (m_path.isEmpty())
        return failure(StorageError{FileError{
            QStringLiteral("There is no folder for user data (set HOME or XDG_DATA_HOME).")}});
    if (auto locked = lockForWriting(); !locked)
        return locked;
    if (m_unreadableOnDisk) {
        if (auto moved = setAsideUnreadableFile(); !moved)
            return moved;
    }

    if (auto written = AtomicFile::write(m_path, encoded.value()); !written)
        return failure(StorageError{written.error()});
    m_knownStamp = fileStamp();
    return ok;
}

Expected<std::vector<Macro>, StorageError> StorageService::loadAll()
{
    if (m_path.isEmpty() || !QFileInfo::exists(m_path)) {
        m_unreadableOnDisk = false;
        m_knownStamp = fileStamp();
        return std::vector<Macro>{};
    }
    m_knownStamp = fileStamp();
    m_unreadableOnDisk = true;

    auto bytes = AtomicFile::read(m_path, MacroJsonDecoder::paddingBytes);
    if (!bytes)
        return failure(StorageError{bytes.error()});

    auto decoded = MacroJsonDecoder::decodeLibrary(bytes.value());
    if (!decoded)
        return failure(StorageError{decoded.error()});
    auto migrated = MacroMigrationService::migrate(std::move(decoded).value());
    if (!migrated)
        return failure(StorageError{migrated.error()});
    m_unreadableOnDisk = false;
    return std::move(migrated).value();
}
