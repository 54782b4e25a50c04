#pragma once

#include <QString>

class CloudDatabase;

// Failed sign-ins, counted in the database so that every instance of the service sees
// the same numbers: 10 failures in 15 minutes for one account or one client address,
// and further attempts are refused until the oldest of them is 15 minutes old.
class SignInLimiter
{
public:
    static constexpr int maxFailures = 10;
    static constexpr int windowMinutes = 15;

    explicit SignInLimiter(CloudDatabase& database) : m_database(database) {}

    bool isLimited(const QString& email, const QString& address);
    void recordFailure(const QString& email, const QString& address);

private:
    int recentFailures(const QString& subject);

    CloudDatabase& m_database;
};
