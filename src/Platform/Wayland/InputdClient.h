#pragma once

#include "InputdCodec.h"

#include <QString>
#include <optional>

// One connection to quillo-inputd, used from one thread at a time (the tap's or the
// player's): blocking, with time-outs. A helper that speaks another protocol version,
// or refuses this user, ends the connection with a message that says why.
class InputdClient
{
public:
    InputdClient() = default;
    ~InputdClient();
    InputdClient(const InputdClient&) = delete;
    InputdClient& operator=(const InputdClient&) = delete;

    // The socket: QUILLO_INPUTD_SOCKET, else the helper's default.
    static QString socketPath();

    // Why the last connect failed, for the window's words.
    enum class Failure { none, notRunning, noAccess, other };

    // Connects and says hello; false with the reason in `error`.
    bool connect(const QString& path, QString& error);
    Failure failure() const { return m_failure; }
    bool isConnected() const { return m_fd >= 0; }
    void close();

    bool send(const InputdProtocol::Message& message);
    // The next message, waiting at most `timeoutMs` (-1: as long as it takes); nothing on
    // time-out, end of connection or a malformed message (`failed()` then says which).
    std::optional<InputdProtocol::Message> receive(int timeoutMs);
    bool failed() const { return m_failed; }
    // The descriptor to wait on together with others.
    int descriptor() const { return m_fd; }

private:
    int m_fd = -1;
    bool m_failed = false;
    Failure m_failure = Failure::none;
    InputdCodec::Decoder m_decoder;
};
