#include "Services/ExportImportService.h"

#include <QFileInfo>

#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"
#include "Services/AtomicFile.h"
#include "Services/MacroMigrationService.h"

QString ExportImportService::fileFilter()
{
    return QStringLiteral("Quillo macros (*.quillo *.json)");
}

ExportImportService::ExportImportService(FileDialogs& dialogs, QObject* parent)
    : QObject(parent), m_dialogs(dialogs)
{
}

Status<ExportImportError> ExportImportService::exportMacro(const Macro& macro)
{
    // Nothing is asked of the user when the macro cannot be written anyway.
    auto encoded = MacroJsonEncoder::encodeMacro(macro);
    if (!encoded)
        return failure(ExportImportError::encodingFailed());
    const auto path = m_dialogs.saveFile(QStringLiteral("Export Macro"),
                                         macro.metadata.name + QStringLiteral(".quillo"), fileFilter());
    if (!path || path->isEmpty())
        return ok;
    if (auto written = AtomicFile::write(*path, encoded.value()); !written)
        return failure(ExportImportError::fileSystem(written.error()));
    return ok;
}

Status<ExportImportError> ExportImportService::exportMacroTo(const Macro& macro, const QString& path)
{
    auto encoded = MacroJsonEncoder::encodeMacro(macro);
    if (!encoded)
        return failure(ExportImportError::encodingFailed());
    // A mistyped folder is not made silently.
    // Named as it was given ("./out", not the whole path).
    if (const QFileInfo file(path); !QFileInfo(file.absolutePath()).isDir())
        return failure(ExportImportError::fileSystem(
            FileError{QStringLiteral("Could not write %1: the folder %2 does not exist").arg(path, file.path())}));
    if (auto written = AtomicFile::write(path, encoded.value()); !written)
        return failure(ExportImportError::fileSystem(written.error()));
    return ok;
}

Expected<std::optional<Macro>, ExportImportError> ExportImportService::importMacro()
{
    const auto path = m_dialogs.openFile(QStringLiteral("Import Macro"), fileFilter());
    if (!path || path->isEmpty())
        return std::optional<Macro>();
    auto imported = importMacroFrom(*path);
    if (!imported)
        return failure(imported.error());
    return std::optional<Macro>(std::move(imported).value());
}

Expected<Macro, ExportImportError> ExportImportService::importMacroFrom(const QString& path)
{
    auto bytes = AtomicFile::read(path, MacroJsonDecoder::paddingBytes);
    if (!bytes)
        return failure(ExportImportError::fileSystem(bytes.error()));
    return importMacroFromBytes(bytes.value());
}

Expected<Macro, ExportImportError> ExportImportService::importMacroFromBytes(const QByteArray& bytes)
{
    auto decoded = MacroJsonDecoder::decodeMacro(bytes);
    if (!decoded)
        return failure(ExportImportError::decodingFailed(decoded.error().description()));
    auto checked = MacroMigrationService::migrate(std::move(decoded).value());
    if (!checked)
        return failure(ExportImportError::decodingFailed(checked.error().description()));
    Macro macro = std::move(checked).value();
    macro.id = QUuid::createUuid();
    macro.metadata.createdAt = QDateTime::currentDateTimeUtc();
    macro.metadata.modifiedAt = QDateTime::currentDateTimeUtc();
    return macro;
}
