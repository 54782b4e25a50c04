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
    return FileError{QStringLiteral("%1 %2: %3").arg(what, path, plainReason(reason))};
}
} // namespace

QString plainReason(const QString& reason)
{
    // The C library's and Qt's texts for the failures a person meets with files.
    static const std::pair<const char*, const char*> words[] = {
        {"No such file or directory", "there is no such file or folder"},
        {"Filename refers to a directory", "it is a folder"},
        {"Is a directory", "it is a folder"},
        {"Not a directory", "a part of the path is a file, not a folder"},
        {"Directory not empty", "the folder is not empty"},
    };
    for (const auto& [system, ours] : words)
        if (reason.compare(QLatin1String(system), Qt::CaseInsensitive) == 0)
            return QLatin1String(ours);
    return reason;
}

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
    if (QFileInfo(path).isDir())
        return failure(error(QStringLiteral("Could not write"), path, QStringLiteral("it is a folder")));
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
