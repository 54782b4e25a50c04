#include "Backups.h"

#include "CloudDatabase.h"
#include "Codec/MacroJsonDecoder.h"
#include "Secrets.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <cmath>

namespace {

Backups::Reply error(int status, const QString& message)
{
    return {status, QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}).toJson(QJsonDocument::Compact)};
}

// A whole number that JSON carried exactly.
bool wholeNumber(const QJsonValue& value, qint64* out)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9007199254740992.0)
        return false;
    *out = qint64(d);
    return true;
}

// {"backup": {...}}, as an upload is answered.
Backups::Reply backupReply(const QString& backupId, const QString& sourceMacroId, const QString& name,
                           const QString& description, qint64 actionCount, double seconds, qint64 size,
                           const QString& digest, qint64 macroVersion, const QString& createdAt, const QString& updatedAt)
{
    QJsonObject backup{{QStringLiteral("id"), backupId},
                       {QStringLiteral("sourceMacroId"), sourceMacroId},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("actionCount"), double(actionCount)},
                       {QStringLiteral("durationSeconds"), seconds},
                       {QStringLiteral("size"), double(size)},
                       {QStringLiteral("sha256"), digest},
                       {QStringLiteral("macroVersion"), double(macroVersion)},
                       {QStringLiteral("createdAt"), createdAt},
                       {QStringLiteral("updatedAt"), updatedAt}};
    if (!description.isEmpty())
        backup.insert(QStringLiteral("description"), description);
    return {200, QJsonDocument(QJsonObject{{QStringLiteral("backup"), backup}}).toJson(QJsonDocument::Compact)};
}

} // namespace

Backups::Reply Backups::upload(const QString& userUid, const QByteArray& body)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return error(400, QStringLiteral("the body is not a JSON object"));
    const QJsonObject payload = document.object();

    auto text = [&](const char* key, QString* out, bool optional = false) -> std::optional<Reply> {
        const QJsonValue value = payload.value(QLatin1String(key));
        if (optional && (value.isUndefined() || value.isNull()))
            return std::nullopt;
        if (!value.isString())
            return error(400, QStringLiteral("\"%1\" must be text").arg(QLatin1String(key)));
        *out = value.toString();
        return std::nullopt;
    };
    auto integer = [&](const char* key, qint64* out) -> std::optional<Reply> {
        if (!wholeNumber(payload.value(QLatin1String(key)), out))
            return error(400, QStringLiteral("\"%1\" must be a whole number").arg(QLatin1String(key)));
        return std::nullopt;
    };
    QString sourceMacroId, name, description, sha256, data;
    qint64 actionCount = 0, size = 0, macroVersion = 0;
    for (auto problem : {text("sourceMacroId", &sourceMacroId), text("name", &name),
                         text("description", &description, true), text("sha256", &sha256), text("data", &data),
                         integer("actionCount", &actionCount), integer("size", &size),
                         integer("macroVersion", &macroVersion)})
        if (problem)
            return *problem;
    const QJsonValue duration = payload.value(QLatin1String("durationSeconds"));
    if (!duration.isDouble() || !std::isfinite(duration.toDouble()))
        return error(400, QStringLiteral("\"durationSeconds\" must be a number"));
    if (sourceMacroId.isEmpty() || sourceMacroId.size() > 100)
        return error(400, QStringLiteral("\"sourceMacroId\" must be 1 to 100 characters"));
    if (name.size() > maxNameCharacters)
        return error(400, QStringLiteral("\"name\" is longer than %1 characters").arg(maxNameCharacters));
    if (description.size() > maxDescriptionCharacters)
        return error(400, QStringLiteral("\"description\" is longer than %1 characters").arg(maxDescriptionCharacters));
    if (actionCount < 0)
        return error(400, QStringLiteral("\"actionCount\" must not be negative"));
    if (duration.toDouble() < 0)
        return error(400, QStringLiteral("\"durationSeconds\" must not be negative"));

    const auto decoded = QByteArray::fromBase64Encoding(data.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || data.size() % 4 != 0 || data.contains(QLatin1Char('-')) || data.contains(QLatin1Char('_')))
        return error(400, QStringLiteral("\"data\" is not standard Base64"));
    const QByteArray bytes = *decoded;
    if (bytes.size() != size)
        return error(400, QStringLiteral("\"size\" is %1 but \"data\" holds %2 bytes").arg(size).arg(bytes.size()));
    const QString digest = Secrets::sha256Hex(bytes);
    if (sha256 != digest)
        return error(400, QStringLiteral("\"sha256\" does not match the SHA-256 of \"data\""));
    const auto macro = MacroJsonDecoder::decodeMacro(bytes);
    if (!macro)
        return error(400, QStringLiteral("\"data\" is not a macro: ") + macro.error().description());
    if (macro.value().version != 1)
        return error(400, QStringLiteral("\"data\" is a macro of format version %1; this service keeps version 1")
                              .arg(macro.value().version));
    if (macroVersion != macro.value().version)
        return error(400, QStringLiteral("\"macroVersion\" is %1 but the macro says %2")
                              .arg(macroVersion)
                              .arg(macro.value().version));
    // What the dashboard shows comes from the macro itself, not from what was claimed.
    actionCount = qint64(macro.value().actions.size());
    const double seconds = macro.value().totalDuration();

    QSqlDatabase db = m_database.connection();
    const QString now = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    if (!db.transaction())
        return error(m_database.statusFor(db.lastError()), QStringLiteral("the database is not available"));
    auto failed = [&](const QSqlQuery& query) {
        db.rollback();
        return error(m_database.statusFor(query.lastError()),
                     QStringLiteral("the backup could not be stored: ") + query.lastError().text());
    };
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO blobs (sha256, size, data) VALUES (?, ?, ?) ON CONFLICT (sha256) DO NOTHING"));
    query.addBindValue(digest);
    query.addBindValue(size);
    query.addBindValue(bytes);
    if (!query.exec())
        return failed(query);
    query.prepare(QStringLiteral("SELECT id, created_at FROM backups WHERE user_id = ? AND source_macro_id = ?"));
    query.addBindValue(userUid);
    query.addBindValue(sourceMacroId);
    if (!query.exec())
        return failed(query);
    QString backupId, createdAt;
    if (query.next()) {
        backupId = query.value(0).toString();
        createdAt = query.value(1).toString();
        // The same bytes as the newest revision: nothing new to keep ("Sync all" twice
        // keeps one revision); the answer is the backup as it stands. Times are whole
        // seconds: only when every revision of the newest second has these bytes is it
        // sure that they are the newest.
        query.prepare(QStringLiteral("SELECT COUNT(*), SUM(CASE WHEN sha256 = ? THEN 1 ELSE 0 END) FROM revisions "
                                     "WHERE backup_id = ? AND created_at = (SELECT MAX(created_at) FROM revisions "
                                     "WHERE backup_id = ?)"));
        query.addBindValue(digest);
        query.addBindValue(backupId);
        query.addBindValue(backupId);
        if (!query.exec())
            return failed(query);
        if (query.next() && query.value(0).toLongLong() > 0 && query.value(1).toLongLong() == query.value(0).toLongLong()) {
            query.prepare(QStringLiteral("SELECT updated_at FROM backups WHERE id = ?"));
            query.addBindValue(backupId);
            if (!query.exec() || !query.next())
                return failed(query);
            const QString updatedAt = query.value(0).toString();
            if (!db.commit())
                return error(m_database.statusFor(db.lastError()),
                             QStringLiteral("the backup could not be stored: ") + db.lastError().text());
            return backupReply(backupId, sourceMacroId, name, description, actionCount, seconds, size, digest,
                               macroVersion, createdAt, updatedAt);
        }
        query.prepare(QStringLiteral("UPDATE backups SET updated_at = ? WHERE id = ?"));
        query.addBindValue(now);
        query.addBindValue(backupId);
    } else {
        backupId = QUuid::createUuid().toString(QUuid::WithoutBraces);
        createdAt = now;
        query.prepare(QStringLiteral("INSERT INTO backups (id, user_id, source_macro_id, created_at, updated_at) "
                                     "VALUES (?, ?, ?, ?, ?)"));
        for (const QString& v : {backupId, userUid, sourceMacroId, now, now})
            query.addBindValue(v);
    }
    if (!query.exec())
        return failed(query);
    query.prepare(QStringLiteral("INSERT INTO revisions (id, backup_id, name, description, action_count, "
                                 "duration_seconds, size, sha256, macro_version, created_at) "
                                 "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    query.addBindValue(QUuid::createUuid().toString(QUuid::WithoutBraces));
    query.addBindValue(backupId);
    query.addBindValue(name);
    query.addBindValue(description.isEmpty() ? QVariant() : QVariant(description));
    query.addBindValue(actionCount);
    query.addBindValue(seconds);
    query.addBindValue(size);
    query.addBindValue(digest);
    query.addBindValue(macroVersion);
    query.addBindValue(now);
    if (!query.exec())
        return failed(query);
    if (!db.commit())
        return error(m_database.statusFor(db.lastError()), QStringLiteral("the backup could not be stored: ") + db.lastError().text());

    return backupReply(backupId, sourceMacroId, name, description, actionCount, seconds, size, digest, macroVersion,
                       createdAt, now);
}

Backups::Reply Backups::list(const QString& userUid)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral(
        "SELECT b.id, b.source_macro_id, b.updated_at, "
        "(SELECT r.name FROM revisions r WHERE r.backup_id = b.id ORDER BY r.created_at DESC, r.id LIMIT 1), "
        "(SELECT COUNT(*) FROM revisions r WHERE r.backup_id = b.id), "
        "(SELECT r.size FROM revisions r WHERE r.backup_id = b.id ORDER BY r.created_at DESC, r.id LIMIT 1) "
        "FROM backups b WHERE b.user_id = ? ORDER BY b.updated_at DESC, b.id LIMIT ?"));
    query.addBindValue(userUid);
    query.addBindValue(maxListed);
    if (!query.exec())
        return error(m_database.statusFor(query.lastError()), QStringLiteral("the backups could not be read"));
    QJsonArray backups;
    while (query.next())
        backups.append(QJsonObject{{QStringLiteral("id"), query.value(0).toString()},
                                   {QStringLiteral("sourceMacroId"), query.value(1).toString()},
                                   {QStringLiteral("latestAt"), query.value(2).toString()},
                                   {QStringLiteral("name"), query.value(3).toString()},
                                   {QStringLiteral("revisions"), query.value(4).toInt()},
                                   {QStringLiteral("size"), double(query.value(5).toLongLong())}});
    return {200, QJsonDocument(QJsonObject{{QStringLiteral("backups"), backups}}).toJson(QJsonDocument::Compact)};
}

Backups::Reply Backups::revisionsOfMacro(const QString& userUid, const QString& sourceMacroId)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT r.id, r.name, r.created_at, r.size, r.action_count FROM revisions r "
                                 "JOIN backups b ON b.id = r.backup_id WHERE b.user_id = ? AND b.source_macro_id = ? "
                                 "ORDER BY r.created_at DESC, r.id LIMIT ?"));
    query.addBindValue(userUid);
    query.addBindValue(sourceMacroId);
    query.addBindValue(maxListed);
    if (!query.exec())
        return error(m_database.statusFor(query.lastError()), QStringLiteral("the revisions could not be read"));
    QJsonArray revisions;
    while (query.next())
        revisions.append(QJsonObject{{QStringLiteral("id"), query.value(0).toString()},
                                     {QStringLiteral("name"), query.value(1).toString()},
                                     {QStringLiteral("createdAt"), query.value(2).toString()},
                                     {QStringLiteral("size"), double(query.value(3).toLongLong())},
                                     {QStringLiteral("actionCount"), double(query.value(4).toLongLong())}});
    return {200, QJsonDocument(QJsonObject{{QStringLiteral("revisions"), revisions}}).toJson(QJsonDocument::Compact)};
}

Backups::Reply Backups::revision(const QString& userUid, const QString& revisionId)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT r.id, b.source_macro_id, r.name, r.created_at, r.size, r.sha256, d.data "
                                 "FROM revisions r JOIN backups b ON b.id = r.backup_id "
                                 "JOIN blobs d ON d.sha256 = r.sha256 WHERE b.user_id = ? AND r.id = ?"));
    query.addBindValue(userUid);
    query.addBindValue(revisionId);
    if (!query.exec())
        return error(m_database.statusFor(query.lastError()), QStringLiteral("the revision could not be read"));
    if (!query.next())
        return error(404, QStringLiteral("This account has no such revision"));
    const QJsonObject revision{{QStringLiteral("id"), query.value(0).toString()},
                               {QStringLiteral("sourceMacroId"), query.value(1).toString()},
                               {QStringLiteral("name"), query.value(2).toString()},
                               {QStringLiteral("createdAt"), query.value(3).toString()},
                               {QStringLiteral("size"), double(query.value(4).toLongLong())},
                               {QStringLiteral("sha256"), query.value(5).toString()}};
    const QByteArray data = query.value(6).toByteArray().toBase64();
    return {200, QJsonDocument(QJsonObject{{QStringLiteral("revision"), revision},
                                           {QStringLiteral("data"), QString::fromLatin1(data)}})
                     .toJson(QJsonDocument::Compact)};
}

std::vector<Backups::Summary> Backups::summaries(const QString& userUid, int offset, int limit)
{
    std::vector<Summary> result;
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral(
        "SELECT b.id, (SELECT r.name FROM revisions r WHERE r.backup_id = b.id ORDER BY r.created_at DESC, r.id LIMIT 1), "
        "(SELECT COUNT(*) FROM revisions r WHERE r.backup_id = b.id), b.updated_at, "
        "(SELECT r.size FROM revisions r WHERE r.backup_id = b.id ORDER BY r.created_at DESC, r.id LIMIT 1) "
        "FROM backups b WHERE b.user_id = ? ORDER BY b.updated_at DESC, b.id LIMIT ? OFFSET ?"));
    query.addBindValue(userUid);
    query.addBindValue(limit);
    query.addBindValue(offset);
    if (query.exec())
        while (query.next())
            result.push_back({query.value(0).toString(), query.value(1).toString(), query.value(2).toInt(),
                              query.value(3).toString(), query.value(4).toLongLong()});
    return result;
}

int Backups::count(const QString& userUid)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM backups WHERE user_id = ?"));
    query.addBindValue(userUid);
    return query.exec() && query.next() ? query.value(0).toInt() : 0;
}

std::vector<Backups::Revision> Backups::revisions(const QString& userUid, const QString& backupId, int limit)
{
    std::vector<Revision> result;
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT r.id, r.name, r.created_at, r.size, r.action_count FROM revisions r "
                                 "JOIN backups b ON b.id = r.backup_id WHERE b.user_id = ? AND b.id = ? "
                                 "ORDER BY r.created_at DESC, r.id LIMIT ?"));
    query.addBindValue(userUid);
    query.addBindValue(backupId);
    query.addBindValue(limit);
    if (query.exec())
        while (query.next())
            result.push_back({query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                              query.value(3).toLongLong(), query.value(4).toLongLong()});
    return result;
}

std::optional<std::pair<QString, QByteArray>> Backups::file(const QString& userUid, const QString& revisionId)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT r.name, d.data FROM revisions r JOIN backups b ON b.id = r.backup_id "
                                 "JOIN blobs d ON d.sha256 = r.sha256 WHERE b.user_id = ? AND r.id = ?"));
    query.addBindValue(userUid);
    query.addBindValue(revisionId);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return std::make_pair(query.value(0).toString(), query.value(1).toByteArray());
}

std::optional<Backups::FileInfo> Backups::fileInfo(const QString& userUid, const QString& revisionId)
{
    QSqlQuery query(m_database.connection());
    query.prepare(QStringLiteral("SELECT r.name, r.sha256, r.size FROM revisions r JOIN backups b ON b.id = r.backup_id "
                                 "WHERE b.user_id = ? AND r.id = ?"));
    query.addBindValue(userUid);
    query.addBindValue(revisionId);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return FileInfo{query.value(0).toString(), query.value(1).toString(), query.value(2).toLongLong()};
}

std::optional<QByteArray> Backups::chunk(const QString& sha256, qint64 offset, qint64 length)
{
    QSqlQuery query(m_database.connection());
    query.prepare(m_database.kind() == CloudDatabase::Kind::sqlite
                      ? QStringLiteral("SELECT substr(data, ?, ?) FROM blobs WHERE sha256 = ?")
                      : QStringLiteral("SELECT substring(data from ? for ?) FROM blobs WHERE sha256 = ?"));
    query.addBindValue(offset + 1);
    query.addBindValue(length);
    query.addBindValue(sha256);
    if (!query.exec() || !query.next())
        return std::nullopt;
    return query.value(0).toByteArray();
}

bool Backups::deleteRevision(const QString& userUid, const QString& revisionId)
{
    QSqlDatabase db = m_database.connection();
    if (!db.transaction())
        return false;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT r.backup_id, r.sha256 FROM revisions r JOIN backups b ON b.id = r.backup_id "
                                 "WHERE b.user_id = ? AND r.id = ?"));
    query.addBindValue(userUid);
    query.addBindValue(revisionId);
    if (!query.exec() || !query.next()) {
        db.rollback();
        return false;
    }
    const QString backupId = query.value(0).toString();
    const QString digest = query.value(1).toString();
    bool done = true;
    auto run = [&](const QString& sql, const QStringList& values) {
        QSqlQuery q(db);
        q.prepare(sql);
        for (const QString& v : values)
            q.addBindValue(v);
        done = done && q.exec();
    };
    run(QStringLiteral("DELETE FROM revisions WHERE id = ?"), {revisionId});
    run(QStringLiteral("DELETE FROM backups WHERE id = ? AND NOT EXISTS (SELECT 1 FROM revisions WHERE backup_id = ?)"),
        {backupId, backupId});
    run(QStringLiteral("DELETE FROM blobs WHERE sha256 = ? AND NOT EXISTS (SELECT 1 FROM revisions WHERE sha256 = ?)"),
        {digest, digest});
    if (!done || !db.commit()) {
        db.rollback();
        return false;
    }
    return true;
}
