#pragma once

#include <QString>

class CloudDatabase;

// Short one-time codes that finish a browser sign-in when the quillo:// link did not
// reach the application: the page after "Continue" shows one, the person types or
// pastes it into Quillo, and Quillo exchanges it for a device token of its own. A code
// works once, within ten minutes; only its SHA-256 is stored. Exchanging it retires
// the token that the page's link carried, so one sign-in leaves one device token.
class SignInCodes
{
public:
    static constexpr int lifetimeMinutes = 10;

    enum class Outcome { exchanged, notValid, failed };
    struct Exchange {
        Outcome outcome = Outcome::failed;
        QString token;     // when exchanged
        int status = 500;  // when failed: the database's fault as an HTTP status
    };

    explicit SignInCodes(CloudDatabase& database) : m_database(database) {}

    // A new code for the sign-in of `userUid` on `device` whose link carries
    // `linkToken`, shown as "ABCD-EFGH"; empty when it cannot be stored.
    QString issue(const QString& userUid, const QString& device, const QString& linkToken);
    Exchange exchange(const QString& typed);

private:
    CloudDatabase& m_database;
};
