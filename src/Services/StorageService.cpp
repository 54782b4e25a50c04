#include "Services/StorageService.h"

#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"
#include "Services/LogService.h"
#include "Services/MacroMigrationService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <fcntl.h>
#include <unistd.h>

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
    return StorageError{FileError{QStringLiteral("%1 %2: %3").arg(what, path, reason)}};
}

// Makes a rename inside `folder` survive a crash or power loss.
void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
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
    syncFolder(QFileInfo(m_path).absolutePath());
    m_unreadableOnDisk = false;
    appLog(QStringLiteral("The library file could not be read, so it was kept as %1 before saving")
               .arg(target),
           LogEntry::Level::warn);
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
    if (m_unreadableOnDisk) {
        if (auto moved = setAsideUnreadableFile(); !moved)
            return moved;
    }

    const QString folder = QFileInfo(m_path).absolutePath();
    QDir().mkpath(folder);
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(fileError(QStringLiteral("Could not write"), m_path, file.errorString()));
    const QByteArray& bytes = encoded.value();
    if (file.write(bytes) != bytes.size() || !file.flush() || ::fsync(file.handle()) != 0) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return failure(fileError(QStringLiteral("Could not write"), m_path, reason));
    }
    if (!file.commit())
        return failure(fileError(QStringLiteral("Could not write"), m_path, file.errorString()));
    syncFolder(folder);
    return ok;
}

Expected<std::vector<Macro>, StorageError> StorageService::loadAll()
{
    if (m_path.isEmpty() || !QFileInfo::exists(m_path)) {
        m_unreadableOnDisk = false;
        return std::vector<Macro>{};
    }
    m_unreadableOnDisk = true;

    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(fileError(QStringLiteral("Could not read"), m_path, file.errorString()));
    const qint64 size = file.size();
    QByteArray bytes = MacroJsonDecoder::paddedBuffer(size);
    bytes.resize(size);
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.read(bytes.data() + done, size - done);
        if (n < 0)
            return failure(fileError(QStringLiteral("Could not read"), m_path, file.errorString()));
        if (n == 0)
            break;
        done += n;
    }
    bytes.resize(done);

    auto decoded = MacroJsonDecoder::decodeLibrary(bytes);
    if (!decoded)
        return failure(StorageError{decoded.error()});
    auto migrated = MacroMigrationService::migrate(std::move(decoded).value());
    if (!migrated)
        return failure(StorageError{migrated.error()});
    m_unreadableOnDisk = false;
    return std::move(migrated).value();
}
