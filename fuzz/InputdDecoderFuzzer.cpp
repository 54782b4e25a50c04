// Feeds arbitrary bytes, in arbitrary pieces, to the input helper's message decoder.
// Whatever it accepts must encode back to the very frame it came from; once it fails it
// must say why and hand out nothing more.
#include "InputdCodec.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    InputdCodec::Decoder decoder;
    std::size_t at = 0;
    std::size_t consumed = 0;
    std::vector<std::uint8_t> fed;
    while (at < size) {
        // The first byte of each piece says how long the piece is.
        const std::size_t piece = std::min<std::size_t>(size - at, std::size_t(data[at] % 64) + 1);
        decoder.feed(data + at, piece);
        fed.insert(fed.end(), data + at, data + at + piece);
        at += piece;
        while (auto message = decoder.next()) {
            const std::vector<std::uint8_t> frame = InputdCodec::encode(*message);
            if (frame.size() > fed.size() - consumed ||
                !std::equal(frame.begin(), frame.end(), fed.begin() + std::ptrdiff_t(consumed)))
                std::abort();
            consumed += frame.size();
        }
        if (decoder.failed()) {
            if (decoder.error().empty() || decoder.next())
                std::abort();
            return 0;
        }
    }
    return 0;
}
