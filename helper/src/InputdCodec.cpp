#include "InputdCodec.h"

#include <cstring>

namespace InputdCodec {

namespace {

using namespace InputdProtocol;

class Writer
{
public:
    void u8(std::uint8_t v) { m_bytes.push_back(v); }
    void u16(std::uint16_t v) { little(v, 2); }
    void u32(std::uint32_t v) { little(v, 4); }
    void i32(std::int32_t v) { little(std::uint32_t(v), 4); }
    void i64(std::int64_t v) { little(std::uint64_t(v), 8); }
    void text(const std::string& s)
    {
        // Leave room for the rest of the frame; never split a UTF-8 sequence.
        std::size_t n = std::min<std::size_t>(s.size(), maxPayload - 16);
        while (n > 0 && n < s.size() && (std::uint8_t(s[n]) & 0xC0) == 0x80)
            --n;
        u16(std::uint16_t(n));
        m_bytes.insert(m_bytes.end(), s.begin(), s.begin() + std::ptrdiff_t(n));
    }
    std::vector<std::uint8_t> framed() const
    {
        std::vector<std::uint8_t> frame;
        frame.reserve(4 + m_bytes.size());
        const auto size = std::uint32_t(m_bytes.size());
        for (int i = 0; i < 4; ++i)
            frame.push_back(std::uint8_t(size >> (8 * i)));
        frame.insert(frame.end(), m_bytes.begin(), m_bytes.end());
        return frame;
    }

private:
    void little(std::uint64_t v, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            m_bytes.push_back(std::uint8_t(v >> (8 * i)));
    }
    std::vector<std::uint8_t> m_bytes;
};

class Reader
{
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    bool u8(std::uint8_t& v) { return little(v); }
    bool u16(std::uint16_t& v) { return little(v); }
    bool u32(std::uint32_t& v) { return little(v); }
    bool i32(std::int32_t& v)
    {
        std::uint32_t u = 0;
        if (!little(u))
            return false;
        v = std::int32_t(u);
        return true;
    }
    bool i64(std::int64_t& v)
    {
        std::uint64_t u = 0;
        if (!little(u))
            return false;
        v = std::int64_t(u);
        return true;
    }
    bool text(std::string& s)
    {
        std::uint16_t n = 0;
        if (!u16(n) || m_size - m_at < n)
            return false;
        s.assign(reinterpret_cast<const char*>(m_data + m_at), n);
        m_at += n;
        return true;
    }
    bool atEnd() const { return m_at == m_size; }

private:
    template <typename T> bool little(T& v)
    {
        if (m_size - m_at < sizeof(T))
            return false;
        v = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            v = T(v | (T(m_data[m_at + i]) << (8 * i)));
        m_at += sizeof(T);
        return true;
    }
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

} // namespace

std::vector<std::uint8_t> encode(const Message& message)
{
    Writer w;
    std::visit(
        [&w](const auto& m) {
            using T = std::decay_t<decltype(m)>;
            if constexpr (std::is_same_v<T, Hello>) {
                w.u8(std::uint8_t(Type::hello));
                w.u16(m.version);
            } else if constexpr (std::is_same_v<T, Welcome>) {
                w.u8(std::uint8_t(Type::welcome));
                w.u16(m.version);
            } else if constexpr (std::is_same_v<T, Refused>) {
                w.u8(std::uint8_t(Type::refused));
                w.u16(m.version);
                w.text(m.reason);
            } else if constexpr (std::is_same_v<T, StartCapture>) {
                w.u8(std::uint8_t(Type::startCapture));
            } else if constexpr (std::is_same_v<T, StopCapture>) {
                w.u8(std::uint8_t(Type::stopCapture));
            } else if constexpr (std::is_same_v<T, CaptureStarted>) {
                w.u8(std::uint8_t(Type::captureStarted));
            } else if constexpr (std::is_same_v<T, CaptureStopped>) {
                w.u8(std::uint8_t(Type::captureStopped));
            } else if constexpr (std::is_same_v<T, InputEvent>) {
                w.u8(std::uint8_t(Type::inputEvent));
                w.u16(m.device);
                w.u16(m.type);
                w.u16(m.code);
                w.i32(m.value);
                w.i64(m.seconds);
                w.i32(m.microseconds);
            } else if constexpr (std::is_same_v<T, Post>) {
                w.u8(std::uint8_t(Type::post));
                w.u16(m.type);
                w.u16(m.code);
                w.i32(m.value);
            } else if constexpr (std::is_same_v<T, ReleaseAll>) {
                w.u8(std::uint8_t(Type::releaseAll));
            } else if constexpr (std::is_same_v<T, Error>) {
                w.u8(std::uint8_t(Type::error));
                w.text(m.text);
            } else if constexpr (std::is_same_v<T, WatchHotkeys>) {
                w.u8(std::uint8_t(Type::watchHotkeys));
                const std::size_t n = std::min(m.chords.size(), WatchHotkeys::maxChords);
                w.u16(std::uint16_t(n));
                for (std::size_t i = 0; i < n; ++i) {
                    w.u32(m.chords[i].id);
                    w.u16(m.chords[i].code);
                    w.u8(m.chords[i].modifiers);
                }
            } else if constexpr (std::is_same_v<T, HotkeyMatched>) {
                w.u8(std::uint8_t(Type::hotkeyMatched));
                w.u32(m.id);
            }
        },
        message);
    return w.framed();
}

std::optional<Message> decodePayload(const std::uint8_t* data, std::size_t size, std::string& error)
{
    Reader r(data, size);
    std::uint8_t type = 0;
    if (!r.u8(type)) {
        error = "an empty message";
        return std::nullopt;
    }
    std::optional<Message> message;
    bool ok = true;
    switch (Type(type)) {
    case Type::hello: {
        Hello m;
        ok = r.u16(m.version);
        message = m;
        break;
    }
    case Type::welcome: {
        Welcome m;
        ok = r.u16(m.version);
        message = m;
        break;
    }
    case Type::refused: {
        Refused m;
        ok = r.u16(m.version) && r.text(m.reason);
        message = m;
        break;
    }
    case Type::startCapture: message = StartCapture{}; break;
    case Type::stopCapture: message = StopCapture{}; break;
    case Type::captureStarted: message = CaptureStarted{}; break;
    case Type::captureStopped: message = CaptureStopped{}; break;
    case Type::inputEvent: {
        InputEvent m;
        ok = r.u16(m.device) && r.u16(m.type) && r.u16(m.code) && r.i32(m.value) && r.i64(m.seconds) &&
             r.i32(m.microseconds);
        message = m;
        break;
    }
    case Type::post: {
        Post m;
        ok = r.u16(m.type) && r.u16(m.code) && r.i32(m.value);
        message = m;
        break;
    }
    case Type::releaseAll: message = ReleaseAll{}; break;
    case Type::error: {
        Error m;
        ok = r.text(m.text);
        message = m;
        break;
    }
    case Type::watchHotkeys: {
        WatchHotkeys m;
        std::uint16_t n = 0;
        ok = r.u16(n);
        if (ok && n > WatchHotkeys::maxChords) {
            error = "a watch of " + std::to_string(n) + " chords (at most " + std::to_string(WatchHotkeys::maxChords) + ")";
            return std::nullopt;
        }
        for (std::uint16_t i = 0; ok && i < n; ++i) {
            WatchedChord c;
            ok = r.u32(c.id) && r.u16(c.code) && r.u8(c.modifiers);
            m.chords.push_back(c);
        }
        message = m;
        break;
    }
    case Type::hotkeyMatched: {
        HotkeyMatched m;
        ok = r.u32(m.id);
        message = m;
        break;
    }
    default:
        error = "an unknown message type " + std::to_string(type);
        return std::nullopt;
    }
    if (!ok) {
        error = "a message of type " + std::to_string(type) + " ends too early";
        return std::nullopt;
    }
    if (!r.atEnd()) {
        error = "a message of type " + std::to_string(type) + " has bytes left over";
        return std::nullopt;
    }
    return message;
}

void Decoder::feed(const std::uint8_t* data, std::size_t size)
{
    if (failed())
        return;
    if (m_offset > 0 && m_offset == m_buffer.size()) {
        m_buffer.clear();
        m_offset = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + size);
}

std::optional<Message> Decoder::next()
{
    if (failed() || buffered() < 4)
        return std::nullopt;
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i)
        length |= std::uint32_t(m_buffer[m_offset + std::size_t(i)]) << (8 * i);
    if (length == 0 || length > InputdProtocol::maxPayload) {
        m_error = "a message of " + std::to_string(length) + " bytes (at most " +
                  std::to_string(InputdProtocol::maxPayload) + ")";
        return std::nullopt;
    }
    if (buffered() < 4 + length)
        return std::nullopt;
    std::string error;
    auto message = decodePayload(m_buffer.data() + m_offset + 4, length, error);
    m_offset += 4 + length;
    if (!message) {
        m_error = error;
        return std::nullopt;
    }
    // Keep the buffer small on long connections.
    if (m_offset > 64 * 1024) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(m_offset));
        m_offset = 0;
    }
    return message;
}

} // namespace InputdCodec
