#include "Services/Cloud/BackupSyncService.h"

#include "Codec/CanonicalUuid.h"
#include "Codec/JsonWriter.h"
#include "Codec/MacroJsonEncoder.h"
#include "Services/Cloud/CloudAPIClient.h"
#include "Services/Cloud/CloudResponses.h"
#include "Services/LogService.h"

#include <QCryptographicHash>
#include <QPointer>
#include <memory>

BackupSyncService::BackupSyncService(CloudAPIClient& apiClient, QObject* parent)
    : QObject(parent), m_apiClient(apiClient)
{
}

void BackupSyncService::setInFlight(int count)
{
    m_inFlight = count;
    Q_EMIT changed();
}

Expected<QByteArray, EncodingError> BackupSyncService::payload(const Macro& macro)
{
    auto encoded = MacroJsonEncoder::encodeMacro(macro, JsonWriter::Layout::compact);
    if (!encoded)
        return failure(encoded.error());
    const QByteArray& bytes = encoded.value();
    JsonWriter writer(JsonWriter::Layout::compact, bytes.size() * 4 / 3 + 512);
    writer.beginObject();
    writer.key("actionCount");
    writer.integer(macro.metadata.actionCount);
    writer.key("data");
    writer.string(std::string_view(bytes.toBase64().constData()));
    writer.key("durationSeconds");
    if (!writer.number(macro.metadata.durationSeconds))
        return failure(EncodingError{QStringLiteral("The macro's duration is not a finite number.")});
    writer.key("macroVersion");
    writer.integer(macro.version);
    writer.key("name");
    writer.string(macro.metadata.name);
    writer.key("sha256");
    writer.string(std::string_view(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().constData()));
    writer.key("size");
    writer.integer(bytes.size());
    writer.key("sourceMacroId");
    char id[36];
    CanonicalUuid::write(macro.id, id);
    writer.string(std::string_view(id, 36));
    writer.endObject();
    return writer.take();
}

void BackupSyncService::pushMacro(const Macro& macro, std::function<void(Expected<CloudBackup, BackupError>)> done)
{
    setInFlight(m_inFlight + 1);
    auto body = payload(macro);
    if (!body) {
        setInFlight(m_inFlight - 1);
        if (done)
            done(failure(BackupError{body.error()}));
        return;
    }
    QPointer<BackupSyncService> self(this);
    const QString name = macro.metadata.name;
    m_apiClient.post<CloudBackup>(
        QStringLiteral("/api/backups"), body.value(), &CloudResponses::createResponse,
        [self, name, done](Expected<CloudBackup, CloudError> stored) {
            if (!self)
                return;
            if (stored) {
                self->m_lastSyncedAt = QDateTime::currentDateTimeUtc();
                self->m_lastError.reset();
                appLog(QStringLiteral("Backup pushed: ") + name, LogEntry::Level::info);
            } else {
                self->m_lastError = stored.error().description();
            }
            self->setInFlight(self->m_inFlight - 1);
            if (!done)
                return;
            if (stored)
                done(std::move(stored).value());
            else
                done(failure(BackupError{stored.error()}));
        });
}

void BackupSyncService::pushAll(std::vector<Macro> macros, std::function<void(Expected<int, BackupError>)> done)
{
    struct Run
    {
        std::vector<Macro> macros;
        std::size_t next = 0;
        std::function<void(Expected<int, BackupError>)> done;
        std::function<void()> step;
    };
    auto run = std::make_shared<Run>(Run{std::move(macros), 0, std::move(done), {}});
    QPointer<BackupSyncService> self(this);
    run->step = [self, weak = std::weak_ptr<Run>(run)] {
        auto run = weak.lock();
        if (!run || !self)
            return;
        if (run->next == run->macros.size()) {
            if (run->done)
                run->done(int(run->macros.size()));
            run->step = nullptr; // ends the cycle that keeps the run alive
            return;
        }
        const Macro& macro = run->macros[run->next++];
        self->pushMacro(macro, [run](Expected<CloudBackup, BackupError> stored) {
            if (!stored) {
                if (run->done)
                    run->done(failure(stored.error()));
                run->step = nullptr;
                return;
            }
            run->step();
        });
    };
    run->step();
}
