#pragma once

#include "InputdProtocol.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Frames and unframes InputdProtocol messages.
namespace InputdCodec {

// The whole frame of `message`. A text longer than fits is cut at a character boundary.
std::vector<std::uint8_t> encode(const InputdProtocol::Message& message);

// Collects bytes from a stream and hands out whole messages. After a malformed or
// oversized frame it stays failed: the connection must end.
class Decoder
{
public:
    void feed(const std::uint8_t* data, std::size_t size);
    // The next whole message, or nothing when more bytes are needed or the stream failed.
    std::optional<InputdProtocol::Message> next();
    bool failed() const { return !m_error.empty(); }
    const std::string& error() const { return m_error; }
    std::size_t buffered() const { return m_buffer.size() - m_offset; }

private:
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_offset = 0;
    std::string m_error;
};

// One payload (without its length) as a message; the problem in `error` otherwise.
std::optional<InputdProtocol::Message> decodePayload(const std::uint8_t* data, std::size_t size, std::string& error);

} // namespace InputdCodec
