#pragma once

#include <QByteArray>
#include <QString>

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

private:
    CloudDatabase& m_database;
};
