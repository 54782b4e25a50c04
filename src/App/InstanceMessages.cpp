#include "App/InstanceMessages.h"

#include <QDataStream>
#include <QLocalSocket>

namespace InstanceMessages {

void send(QLocalSocket& socket, const QStringList& message)
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out << message;
    socket.write(payload);
    socket.flush();
}

std::optional<QStringList> receive(QLocalSocket& socket)
{
    // A message may arrive in pieces: read it whole or leave it for later.
    QDataStream in(&socket);
    in.startTransaction();
    QStringList message;
    in >> message;
    if (!in.commitTransaction())
        return std::nullopt;
    return message;
}

} // namespace InstanceMessages
