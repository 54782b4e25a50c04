#include "CloudDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>

#include <cstdio>

namespace {

// Statements of each migration, in order; "{blob}" is the binary column type.
const std::vector<std::vector<const char*>>& migrations()
{
    static const std::vector<std::vector<const char*>> all = {
        {
            "CREATE TABLE users (id TEXT PRIMARY KEY, email TEXT NOT NULL UNIQUE, display_name TEXT, "
            "photo_url TEXT, password_hash TEXT NOT NULL, created_at TEXT NOT NULL)",
            "CREATE TABLE device_tokens (token_hash TEXT PRIMARY KEY, user_id TEXT NOT NULL REFERENCES users(id), "
            "device TEXT NOT NULL, created_at TEXT NOT NULL, last_used_at TEXT, revoked_at TEXT)",
            "CREATE INDEX device_tokens_user ON device_tokens (user_id)",
            "CREATE TABLE web_sessions (session_hash TEXT PRIMARY KEY, user_id TEXT NOT NULL REFERENCES users(id), "
            "csrf TEXT NOT NULL, created_at TEXT NOT NULL, last_seen_at TEXT NOT NULL)",
            "CREATE TABLE blobs (sha256 TEXT PRIMARY KEY, size BIGINT NOT NULL, data {blob} NOT NULL)",
            "CREATE TABLE backups (id TEXT PRIMARY KEY, user_id TEXT NOT NULL REFERENCES users(id), "
            "source_macro_id TEXT NOT NULL, created_at TEXT NOT NULL, updated_at TEXT NOT NULL, "
            "UNIQUE (user_id, source_macro_id))",
            "CREATE TABLE revisions (id TEXT PRIMARY KEY, backup_id TEXT NOT NULL REFERENCES backups(id), "
            "name TEXT NOT NULL, description TEXT, action_count BIGINT NOT NULL, duration_seconds DOUBLE PRECISION "
            "NOT NULL, size BIGINT NOT NULL, sha256 TEXT NOT NULL REFERENCES blobs(sha256), macro_version BIGINT "
            "NOT NULL, created_at TEXT NOT NULL)",
            "CREATE INDEX revisions_backup ON revisions (backup_id, created_at)",
            "CREATE TABLE sign_in_failures (id TEXT PRIMARY KEY, subject TEXT NOT NULL, at TEXT NOT NULL)",
            "CREATE INDEX sign_in_failures_subject ON sign_in_failures (subject, at)",
        },
        {
            // Secrets every instance shares (the key that signs device cookies), and the
            // row /healthz writes to see that the database takes writes.
            "CREATE TABLE service_secrets (name TEXT PRIMARY KEY, value TEXT NOT NULL)",
            "CREATE TABLE health (id INTEGER PRIMARY KEY, at TEXT NOT NULL)",
        },
        {
            // One-time codes that finish a browser sign-in by hand (their SHA-256 only).
            "CREATE TABLE sign_in_codes (code_hash TEXT PRIMARY KEY, user_id TEXT NOT NULL REFERENCES users(id), "
            "device TEXT NOT NULL, link_token_hash TEXT NOT NULL, expires_at TEXT NOT NULL, used_at TEXT)",
        },
    };
    return all;
}

QString lastError(const QSqlQuery& query)
{
    return query.lastError().text();
}

} // namespace

CloudDatabase::CloudDatabase(Kind kind, QString prefix) : m_kind(kind), m_prefix(std::move(prefix)) {}

CloudDatabase::~CloudDatabase()
{
    m_prepared.clear(); // before their connections go
    for (const QString& name : QSqlDatabase::connectionNames())
        if (name.startsWith(m_prefix))
            QSqlDatabase::removeDatabase(name);
}

std::unique_ptr<CloudDatabase> CloudDatabase::open(const QString& location, QString* error)
{
    const bool postgres = location.startsWith(QLatin1String("postgresql:")) || location.startsWith(QLatin1String("postgres:"));
    const QString prefix = QStringLiteral("quillo-cloud-%1-").arg(QUuid::createUuid().toString(QUuid::Id128));
    std::unique_ptr<CloudDatabase> database(new CloudDatabase(postgres ? Kind::postgresql : Kind::sqlite, prefix));
    QSqlDatabase db = QSqlDatabase::addDatabase(postgres ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"),
                                                prefix + QStringLiteral("template"));
    if (!db.isValid()) {
        *error = QStringLiteral("the %1 driver of Qt Sql is not installed").arg(postgres ? "PostgreSQL" : "SQLite");
        return nullptr;
    }
    if (postgres) {
        const QUrl url(location);
        db.setHostName(url.host());
        if (url.port() > 0)
            db.setPort(url.port());
        db.setUserName(url.userName());
        db.setPassword(url.password());
        db.setDatabaseName(url.path().mid(1));
        const QUrlQuery query(url);
        if (query.hasQueryItem(QStringLiteral("host")))
            db.setHostName(query.queryItemValue(QStringLiteral("host")));
    } else {
        // Password hashes and backups: for this user's eyes only.
        const QString folder = QFileInfo(location).absolutePath();
        if (!QFileInfo::exists(folder)) {
            QDir().mkpath(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        db.setDatabaseName(location);
    }
    database->m_location = location;
    QSqlDatabase first = database->connection();
    if (!postgres && first.isOpen())
        database->tightenFiles();
    if (!first.isOpen()) {
        const QString readOnly = database->notWritableReason();
        *error = QStringLiteral("cannot open the database %1: %2")
                     .arg(postgres ? QUrl(location).toDisplayString(QUrl::RemovePassword) : location,
                          readOnly.isEmpty() ? first.lastError().text() : readOnly);
        return nullptr;
    }
    return database;
}

bool CloudDatabase::configure(QSqlDatabase& db, QString* error)
{
    if (m_kind != Kind::sqlite)
        return true;
    // Writers wait for each other instead of failing; readers never wait for writers.
    for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA busy_timeout=10000", "PRAGMA foreign_keys=ON",
                               "PRAGMA synchronous=NORMAL"}) {
        QSqlQuery query(db);
        if (!query.exec(QString::fromLatin1(pragma))) {
            *error = lastError(query);
            return false;
        }
    }
    return true;
}

void CloudDatabase::tightenFiles()
{
    for (const QString& suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        QFile file(m_location + suffix);
        if (!file.exists())
            continue;
        const auto loose = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther |
                           QFile::ExeGroup | QFile::ExeOther;
        if (file.permissions() & loose) {
            if (file.setPermissions(QFile::ReadOwner | QFile::WriteOwner))
                std::fprintf(stderr, "quillo-cloud: %s could be read by other users; it is now readable by its owner only\n",
                             QFile::encodeName(file.fileName()).constData());
        }
    }
}

int CloudDatabase::statusFor(const QSqlError& error) const
{
    const QString code = error.nativeErrorCode();
    if (m_kind == Kind::sqlite) {
        if (code == QLatin1String("13")) // SQLITE_FULL
            return 507;
        if (code == QLatin1String("8") || code == QLatin1String("5") || code == QLatin1String("10")) // READONLY, BUSY, IOERR
            return 503;
        return 500;
    }
    if (code == QLatin1String("53100")) // disk_full
        return 507;
    if (code == QLatin1String("25006") || code.startsWith(QLatin1String("08")) || code == QLatin1String("57P03"))
        return 503; // read-only transaction, no connection, cannot connect now
    return 500;
}

QString CloudDatabase::notWritableReason() const
{
    if (m_kind != Kind::sqlite)
        return {};
    const QFileInfo file(m_location);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isWritable())
        return QStringLiteral("the folder %1 is not writable").arg(folder.absoluteFilePath());
    if (file.exists() && !file.isWritable())
        return QStringLiteral("the file %1 is not writable").arg(file.absoluteFilePath());
    return {};
}

QSqlDatabase CloudDatabase::connection()
{
    const QString name = m_prefix + QString::number(quintptr(QThread::currentThreadId()));
    if (QSqlDatabase::contains(name))
        return QSqlDatabase::database(name, false);
    static QMutex cloning; // cloneDatabase reads the template from any thread
    QSqlDatabase db;
    {
        QMutexLocker lock(&cloning);
        db = QSqlDatabase::cloneDatabase(m_prefix + QStringLiteral("template"), name);
    }
    QString ignored;
    if (db.open())
        configure(db, &ignored);
    return db;
}

QSqlQuery& CloudDatabase::prepared(const QString& sql)
{
    // A thread finds the statements it made again without a lock: every request asks.
    thread_local QHash<quint64, QHash<QString, QSqlQuery*>> made;
    QHash<QString, QSqlQuery*>& mine = made[m_id];
    if (QSqlQuery* query = mine.value(sql))
        return *query;
    QSqlDatabase db = connection();
    const auto key = std::make_pair(db.connectionName(), sql);
    QMutexLocker lock(&m_preparedMutex);
    auto& slot = m_prepared[key];
    if (!slot) {
        slot = std::make_unique<QSqlQuery>(db);
        slot->prepare(sql);
    }
    mine.insert(sql, slot.get());
    return *slot;
}

int CloudDatabase::storedVersion()
{
    QSqlDatabase db = connection();
    if (!db.tables().contains(QStringLiteral("schema_version")))
        return 0;
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT version FROM schema_version")) || !query.next())
        return 0;
    return query.value(0).toInt();
}

bool CloudDatabase::migrate(QString* error)
{
    QSqlDatabase db = connection();
    QSqlQuery query(db);
    if (!db.tables().contains(QStringLiteral("schema_version")) &&
        !query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"))) {
        const QString readOnly = notWritableReason();
        *error = readOnly.isEmpty() ? QStringLiteral("cannot create the schema table: ") + lastError(query)
                                    : QStringLiteral("cannot set up the database: ") + readOnly;
        return false;
    }
    int version = storedVersion();
    if (version > schemaVersion) {
        *error = QStringLiteral("the database has schema version %1, newer than this quillo-cloud knows (%2); "
                                "run a newer quillo-cloud")
                     .arg(version)
                     .arg(schemaVersion);
        return false;
    }
    for (; version < schemaVersion; ++version) {
        if (!db.transaction()) {
            *error = db.lastError().text();
            return false;
        }
        bool done = true;
        for (const char* statement : migrations()[std::size_t(version)]) {
            QString sql = QString::fromLatin1(statement);
            sql.replace(QLatin1String("{blob}"), blobType());
            if (!query.exec(sql)) {
                *error = QStringLiteral("migration %1 failed: %2").arg(version + 1).arg(lastError(query));
                done = false;
                break;
            }
        }
        if (done) {
            done = query.exec(QStringLiteral("DELETE FROM schema_version")) &&
                   query.exec(QStringLiteral("INSERT INTO schema_version (version) VALUES (%1)").arg(version + 1));
            if (!done)
                *error = lastError(query);
        }
        if (!done || !db.commit()) {
            db.rollback();
            if (done)
                *error = db.lastError().text();
            return false;
        }
    }
    return true;
}
