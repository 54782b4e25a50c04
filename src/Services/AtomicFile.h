#pragma once

#include "Models/Expected.h"
#include "Services/FileError.h"

#include <QByteArray>
#include <QString>

// Whole-file reads and atomic, durable whole-file writes: the bytes go to a temporary
// file in the same folder, are flushed to disk, and replace the old file in one rename,
// so that a reader or a crash sees either the old file or the new one.
namespace AtomicFile {

Status<FileError> write(const QString& path, const QByteArray& bytes);
// The file's bytes, with `padding` spare bytes of capacity after them (for parsers
// that read past the end).
Expected<QByteArray, FileError> read(const QString& path, qsizetype padding = 0);
// The system's reason for a file failure in Quillo's words ("folder", never "directory").
QString plainReason(const QString& reason);
// Makes a rename inside `folder` survive a crash.
void syncFolder(const QString& folder);

} // namespace AtomicFile
