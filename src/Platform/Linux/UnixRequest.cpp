#include "Platform/Linux/UnixRequest.h"

#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

std::optional<QByteArray> unixRequest(const QString& path, const QByteArray& request,
                                      const std::function<bool(const QByteArray& received)>& complete, int timeoutMs)
{
    const QByteArray native = path.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || std::size_t(native.size()) >= sizeof address.sun_path)
        return std::nullopt;
    std::memcpy(address.sun_path, native.constData(), std::size_t(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, request.constData(), std::size_t(request.size()), MSG_NOSIGNAL) == request.size()) {
        QByteArray received;
        for (;;) {
            if (complete && complete(received)) {
                reply = received;
                break;
            }
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, timeoutMs) <= 0)
                break;
            char chunk[16384];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n == 0) { // the other side closed: that is the whole reply
                reply = received;
                break;
            }
            if (n < 0)
                break;
            received.append(chunk, n);
        }
    }
    ::close(fd);
    return reply;
}
