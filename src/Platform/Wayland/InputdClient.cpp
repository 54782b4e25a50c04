#include "Platform/Wayland/InputdClient.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

InputdClient::~InputdClient()
{
    close();
}

QString InputdClient::socketPath()
{
    const QString configured = qEnvironmentVariable("QUILLO_INPUTD_SOCKET");
    return configured.isEmpty() ? QString::fromLatin1(InputdProtocol::defaultSocketPath) : configured;
}

void InputdClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_decoder = InputdCodec::Decoder();
}

bool InputdClient::connect(const QString& path, QString& error)
{
    close();
    m_failed = false;
    m_failure = Failure::other;
    const QByteArray native = path.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::size_t(native.size()) >= sizeof address.sun_path) {
        error = QStringLiteral("the helper's socket path is too long: %1").arg(path);
        return false;
    }
    std::memcpy(address.sun_path, native.constData(), std::size_t(native.size()));
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int code = errno;
        close();
        m_failure = code == ENOENT || code == ECONNREFUSED ? Failure::notRunning
                    : code == EACCES                       ? Failure::noAccess
                                                           : Failure::other;
        error = code == ENOENT || code == ECONNREFUSED
                    ? QStringLiteral("the input helper quillo-inputd is not running (no socket at %1; "
                                     "sudo systemctl enable --now quillo-inputd)").arg(path)
                    : code == EACCES ? QStringLiteral("the input helper's socket %1 may not be opened by this user "
                                                      "(join the group quillo: sudo gpasswd -a $USER quillo, then "
                                                      "sign out and in again)").arg(path)
                                     : QStringLiteral("cannot reach the input helper at %1: %2")
                                           .arg(path, QString::fromLocal8Bit(std::strerror(code)));
        return false;
    }
    send(InputdProtocol::Hello{});
    const auto reply = receive(5000); // a helper that just started welcomes once its devices are in place
    if (const auto* welcome = reply ? std::get_if<InputdProtocol::Welcome>(&*reply) : nullptr) {
        if (welcome->version == InputdProtocol::version) {
            m_failure = Failure::none;
            return true;
        }
        error = QStringLiteral("the input helper speaks protocol %1 and this Quillo speaks %2: install the helper of "
                               "the same Quillo version")
                    .arg(welcome->version)
                    .arg(InputdProtocol::version);
    } else if (const auto* refused = reply ? std::get_if<InputdProtocol::Refused>(&*reply) : nullptr) {
        error = refused->version != InputdProtocol::version
                    ? QStringLiteral("the input helper speaks protocol %1 and this Quillo speaks %2: install the "
                                     "helper of the same Quillo version")
                          .arg(refused->version)
                          .arg(InputdProtocol::version)
                    : QStringLiteral("the input helper refused: %1").arg(QString::fromStdString(refused->reason));
    } else if (reply) {
        error = QStringLiteral("the input helper answered something unexpected");
    } else {
        error = QStringLiteral("the input helper did not answer");
    }
    close();
    return false;
}

bool InputdClient::send(const InputdProtocol::Message& message)
{
    if (m_fd < 0)
        return false;
    const auto frame = InputdCodec::encode(message);
    std::size_t written = 0;
    while (written < frame.size()) {
        const ssize_t n = ::send(m_fd, frame.data() + written, frame.size() - written, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_failed = true;
            return false;
        }
        written += std::size_t(n);
    }
    return true;
}

std::optional<InputdProtocol::Message> InputdClient::receive(int timeoutMs)
{
    for (;;) {
        if (auto message = m_decoder.next())
            return message;
        if (m_decoder.failed() || m_fd < 0) {
            m_failed = true;
            return std::nullopt;
        }
        pollfd p{m_fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;
        std::uint8_t buffer[4096];
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_failed = true;
            return std::nullopt;
        }
        m_decoder.feed(buffer, std::size_t(n));
    }
}
