#pragma once

#include <QByteArray>
#include <QString>
#include <algorithm>
#include <optional>

class CloudDatabase;

// Decides from a request's first line and headers alone whether its body may be read:
// only a signed-in device's upload may be large; everything else takes a small form at
// most. A refused request is answered at once and its body never read into memory.
class BodyGate
{
public:
    struct Refusal {
        int status = 0;
        QString message;
    };

    // Bodies of anything but an upload: the largest form the pages take.
    static constexpr qint64 maxOtherBodyBytes = 64 * 1024;

    BodyGate(CloudDatabase& database, qint64 maxUploadBytes) : m_database(database), m_maxUploadBytes(maxUploadBytes) {}

    // Bodies up to this size are read and dropped after a refusal, so that a client that
    // sends its body without waiting still reads the answer (closing a connection with
    // unread bytes resets it, and the client loses the answer).
    qint64 drainLimit() const { return std::max(m_maxUploadBytes, maxOtherBodyBytes) + (qint64(1) << 20); }

    // `contentLength` is empty for a chunked body; nothing to check without a body.
    std::optional<Refusal> check(const QByteArray& method, const QByteArray& path, const QByteArray& authorization,
                                 std::optional<quint64> contentLength) const;

private:
    CloudDatabase& m_database;
    qint64 m_maxUploadBytes;
};
