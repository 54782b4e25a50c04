#pragma once

#include <QByteArray>
#include <QString>

// Passwords, tokens and digests. Only hashes of secrets are ever stored: a token is
// kept as its SHA-256, a password as an Argon2id hash.
namespace Secrets {

// Must run once before the others (safe to call again).
bool initialize();
// 32 random bytes in base64url without padding.
QString newToken();
// Argon2id with the interactive limits, in the self-describing text form; empty when
// the system refused the memory it needs.
QString hashPassword(const QByteArray& password);
bool verifyPassword(const QString& hash, const QByteArray& password);
// Lower-case hexadecimal SHA-256.
QString sha256Hex(const QByteArray& bytes);
// HMAC-SHA-256 of `message` under `key`.
QByteArray hmacSha256(const QByteArray& key, const QByteArray& message);
// Whether two byte strings are equal, in a time that does not tell where they differ.
bool sameBytes(const QByteArray& a, const QByteArray& b);

} // namespace Secrets
