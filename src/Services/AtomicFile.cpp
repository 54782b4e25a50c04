#include "Services/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace AtomicFile {

namespace {
FileError error(const QString& what, const QString& path, const QString& reason)
{
    return FileError{QStringLiteral("%1 %2: %3").arg(what, path, reason)};
}
} // namespace

void syncFolder(const QString& folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

Status<FileError> write(const QString& path, const QByteArray& bytes)
{
    const QString folder = QFileInfo(path).absolutePath();
    QDir().mkpath(folder);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(error(QStringLiteral("Could not write"), path, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return failure(error(QStringLiteral("Could not write"), path, reason));
    }
    if (::fsync(file.handle()) != 0) {
        // Where a full disk shows up when the writes were only cached.
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        file.cancelWriting();
        return failure(error(QStringLiteral("Could not write"), path, reason));
    }
    if (!file.commit())
        return failure(error(QStringLiteral("Could not write"), path, file.errorString()));
    syncFolder(folder);
    return ok;
}

Expected<QByteArray, FileError> read(const QString& path, qsizetype padding)
{
    // A FIFO or a device would block the read or never end.
    if (const QFileInfo info(path); info.exists() && !info.isFile())
        return failure(error(QStringLiteral("Could not read"), path,
                             info.isDir() ? QStringLiteral("it is a folder") : QStringLiteral("not a regular file")));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(error(QStringLiteral("Could not read"), path, file.errorString()));
    const qint64 size = file.size();
    QByteArray bytes;
    bytes.reserve(size + padding);
    bytes.resize(size);
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.read(bytes.data() + done, size - done);
        if (n < 0)
            return failure(error(QStringLiteral("Could not read"), path, file.errorString()));
        if (n == 0)
            break;
        done += n;
    }
    bytes.resize(done);
    return bytes;
}

} // namespace AtomicFile
