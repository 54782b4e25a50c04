#pragma once

#include <QByteArray>
#include <QStringList>
#include <optional>

class QLocalSocket;

// The messages between a `quillo` command and the running application on the
// single-instance socket: each one a list of strings. A plain launch sends its
// arguments; a command sends {"--command", folder, name, ...} and reads replies until
// {"exit", code}.
namespace InstanceMessages {

inline const QString commandMarker = QStringLiteral("--command");

void send(QLocalSocket& socket, const QStringList& message);
// The next whole message that has arrived, or nothing (yet).
std::optional<QStringList> receive(QLocalSocket& socket);

} // namespace InstanceMessages
