#pragma once

#include <QByteArray>
#include <cstring>

// sway's IPC framing: "i3-ipc", a 32-bit payload length and a 32-bit message type (both
// in the machine's byte order), then the JSON payload.
namespace SwayIpc {

inline constexpr quint32 runCommand = 0;
inline constexpr quint32 subscribe = 2;
inline constexpr quint32 getOutputs = 3;
inline constexpr quint32 getTree = 4;
inline constexpr quint32 getConfig = 9;
inline constexpr quint32 windowEvent = 0x80000003;
inline constexpr quint32 bindingEvent = 0x80000005;

inline QByteArray frame(quint32 type, const QByteArray& payload)
{
    QByteArray bytes = QByteArrayLiteral("i3-ipc");
    const quint32 length = quint32(payload.size());
    bytes.append(reinterpret_cast<const char*>(&length), 4);
    bytes.append(reinterpret_cast<const char*>(&type), 4);
    return bytes + payload;
}

// A whole message at the front of `buffer`: its type and payload, removed from it.
inline bool takeMessage(QByteArray& buffer, quint32& type, QByteArray& payload)
{
    if (buffer.size() < 14 || !buffer.startsWith("i3-ipc"))
        return false;
    quint32 length = 0;
    std::memcpy(&length, buffer.constData() + 6, 4);
    std::memcpy(&type, buffer.constData() + 10, 4);
    if (buffer.size() < 14 + qsizetype(length))
        return false;
    payload = buffer.mid(14, length);
    buffer.remove(0, 14 + length);
    return true;
}

} // namespace SwayIpc
