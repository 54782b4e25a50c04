#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

class CloudDatabase;

// Uploaded macros. Each upload becomes a new revision of the backup of one macro (by
// account and the macro's id); the bytes of a macro are stored once, by their digest,
// however often they are uploaded.
class Backups
{
public:
    // What a request gets: an HTTP status and its JSON body.
    struct Reply {
        int status = 200;
        QByteArray body;
    };

    explicit Backups(CloudDatabase& database) : m_database(database) {}

    // Checks an upload body (its shape, the Base64, the size and digest of the bytes,
    // that they read as one macro of format version 1) and stores it; the reply is
    // {"backup": …} or a 400 with the first problem found.
    Reply upload(const QString& userUid, const QByteArray& body);

    // The account's backups, one per macro, newest first.
    struct Summary {
        QString backupId;
        QString name;       // of the newest revision
        int revisions = 0;
        QString latestAt;
        qint64 size = 0;    // of the newest revision
    };
    struct Revision {
        QString id;
        QString name;
        QString createdAt;
        qint64 size = 0;
        qint64 actionCount = 0;
    };
    std::vector<Summary> summaries(const QString& userUid, int offset, int limit);
    int count(const QString& userUid);
    std::vector<Revision> revisions(const QString& userUid, const QString& backupId, int limit);

    // For the application, by device token:
    // {"backups": [{"id", "sourceMacroId", "name", "revisions", "latestAt", "size"}]}, newest first.
    static constexpr int maxListed = 1000;
    Reply list(const QString& userUid);
    // {"revisions": [{"id", "name", "createdAt", "size", "actionCount"}]} of the backup of
    // one macro, newest first (none when it has no backup).
    Reply revisionsOfMacro(const QString& userUid, const QString& sourceMacroId);
    // {"revision": {"id", "sourceMacroId", "name", "createdAt", "size", "sha256"}, "data": Base64};
    // a 404 when it is not the account's.
    Reply revision(const QString& userUid, const QString& revisionId);
    static constexpr int maxNameCharacters = 256;
    static constexpr int maxDescriptionCharacters = 4096;

    // A revision's macro file and the name to give it; nothing when it is not the account's.
    std::optional<std::pair<QString, QByteArray>> file(const QString& userUid, const QString& revisionId);
    // The same without the bytes, which chunk() reads a piece at a time.
    struct FileInfo {
        QString name;
        QString sha256;
        qint64 size = 0;
    };
    std::optional<FileInfo> fileInfo(const QString& userUid, const QString& revisionId);
    // `length` bytes (fewer at the end) of the stored bytes with this digest from `offset`;
    // nothing when they cannot be read.
    std::optional<QByteArray> chunk(const QString& sha256, qint64 offset, qint64 length);
    // Deletes one revision of the account's (the backup with its last one; bytes no
    // revision uses any more); false when there is no such revision.
    bool deleteRevision(const QString& userUid, const QString& revisionId);

private:
    CloudDatabase& m_database;
};
