// Feeds arbitrary bytes to the library and single-macro readers. Whatever they accept
// must write back and read again to the same macros; every refusal must say why.
#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes = MacroJsonDecoder::paddedBuffer(qsizetype(size));
    bytes.append(reinterpret_cast<const char*>(data), qsizetype(size));
    // The single-macro reader (exported files) shares the strict reading.
    if (auto single = MacroJsonDecoder::decodeMacro(bytes)) {
        auto again = MacroJsonDecoder::decodeMacro(MacroJsonEncoder::encodeMacro(single.value()).value());
        if (!again || !(again.value() == single.value()))
            std::abort();
    } else if (single.error().description().isEmpty()) {
        std::abort();
    }
    auto decoded = MacroJsonDecoder::decodeLibrary(bytes);
    if (!decoded) {
        if (decoded.error().description().isEmpty())
            std::abort(); // every failure must say what went wrong
        return 0;
    }
    for (const auto layout : {JsonWriter::Layout::indented, JsonWriter::Layout::compact}) {
        auto encoded = MacroJsonEncoder::encodeLibrary(decoded.value(), layout);
        if (!encoded)
            std::abort(); // nothing read from JSON lacks a JSON form
        auto again = MacroJsonDecoder::decodeLibrary(encoded.value());
        if (!again || !(again.value() == decoded.value())) {
            std::fprintf(stderr, "round trip changed the library\n");
            std::abort();
        }
    }
    return 0;
}
