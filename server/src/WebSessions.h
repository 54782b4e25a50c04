#pragma once

#include "Account.h"

#include <optional>

class CloudDatabase;

// Who is signed in on the web: a random id in a cookie, stored only as its digest,
// with the session's CSRF token; a session unused for 30 days is gone.
class WebSessions
{
public:
    static constexpr int idleDays = 30;
    static inline const QByteArray cookieName = "quillo_session";

    struct Session {
        Account user;
        QString csrf;
    };

    explicit WebSessions(CloudDatabase& database) : m_database(database) {}

    // A new session; the cookie value to hand out (empty when it cannot be stored).
    QString create(const QString& userUid);
    // The session of a cookie value, unless unknown or idle too long; notes its use.
    std::optional<Session> find(const QByteArray& cookie);
    void destroy(const QByteArray& cookie);

private:
    CloudDatabase& m_database;
};
