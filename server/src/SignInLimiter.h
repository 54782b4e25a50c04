#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class CloudDatabase;

// Failed sign-ins and sign-ups, counted in the database so that every instance of the
// service sees the same numbers. A stranger gets 10 failures in 15 minutes per account
// and per client address; a browser with a valid device cookie of the account gets 10
// of its own and is never held back by anyone else's. Sign-ups: 10 an hour per address;
// sign-in codes that were not valid: 10 in 15 minutes per address.
// When the counts cannot be read or written, it says so and the caller refuses (fail
// closed): a limit that cannot be kept is no reason to let guesses through.
class SignInLimiter
{
public:
    static constexpr int maxFailures = 10;
    static constexpr int windowMinutes = 15;
    static constexpr int maxSignUps = 10;
    static constexpr int signUpWindowMinutes = 60;

    explicit SignInLimiter(CloudDatabase& database) : m_database(database) {}

    // `device`: the nonce of a valid device cookie of this account. Nothing when the
    // counts cannot be read.
    std::optional<bool> isLimited(const QString& email, const QString& address, const std::optional<QString>& device);
    // False when the failure could not be stored.
    bool recordFailure(const QString& email, const QString& address, const std::optional<QString>& device);
    std::optional<bool> signUpsLimited(const QString& address);
    bool recordSignUp(const QString& address);
    // Sign-in codes that were not valid: 10 in 15 minutes per address.
    std::optional<bool> codeGuessesLimited(const QString& address);
    bool recordCodeGuess(const QString& address);

private:
    std::optional<int> recent(const QString& subject, int minutes);
    bool record(const QStringList& subjects);

    CloudDatabase& m_database;
};
