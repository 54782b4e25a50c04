#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

// One request on a Unix socket connection of its own, for desktop IPC that is asked from
// more than one thread (sway's and Hyprland's sockets): sends `request`, then reads
// until `complete` says the reply is whole, or until the other side closes.
// Nothing when the socket cannot be reached or `timeoutMs` pass without data.
std::optional<QByteArray> unixRequest(const QString& path, const QByteArray& request,
                                      const std::function<bool(const QByteArray& received)>& complete,
                                      int timeoutMs);
