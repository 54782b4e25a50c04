#pragma once

#include "Models/Expected.h"
#include "Models/Macro.h"
#include "Platform/FileDialogs.h"
#include "Services/ExportImportError.h"

#include <QObject>
#include <optional>

// Single macros to and from files of their own (one macro object, indented, keys
// sorted). An imported macro gets a new identity and fresh dates, and must be of the
// format version the library holds, so that it can never make the library unreadable.
class ExportImportService : public QObject
{
    Q_OBJECT
public:
    // Both file types, so that exported ".quillo" files can always be chosen for import.
    static QString fileFilter();

    explicit ExportImportService(FileDialogs& dialogs, QObject* parent = nullptr);

    // Asks where to write; ok without writing when the user cancels.
    Status<ExportImportError> exportMacro(const Macro& macro);
    // Asks for a file; nothing when the user cancels.
    Expected<std::optional<Macro>, ExportImportError> importMacro();

    // The same without dialogs.
    static Status<ExportImportError> exportMacroTo(const Macro& macro, const QString& path);
    static Expected<Macro, ExportImportError> importMacroFrom(const QString& path);
    // The same for a file's bytes (standard input).
    static Expected<Macro, ExportImportError> importMacroFromBytes(const QByteArray& bytes);

private:
    FileDialogs& m_dialogs;
};
