#pragma once

#include "Codec/DecodingError.h"
#include "Models/Expected.h"
#include "Models/Macro.h"

#include <QByteArray>
#include <vector>

// Reads macros from their JSON form, strictly: every key of a record is required,
// integers must be whole and in range, identifiers canonical and dates whole UTC
// seconds. Unknown keys, and keys of other action kinds, are ignored. Reading is
// all-or-nothing and the error names the first problem and where it is.
//
// The bytes are parsed in place when the array has at least `paddingBytes` of spare
// capacity after its end (see paddedForDecoding); otherwise they are copied once.
class MacroJsonDecoder
{
public:
    static constexpr qsizetype paddingBytes = 64;

    // A JSON array of macros (the library file).
    static Expected<std::vector<Macro>, DecodingError> decodeLibrary(const QByteArray& json);
    // One macro object (an exported file).
    static Expected<Macro, DecodingError> decodeMacro(const QByteArray& json);

    // An empty array with room for `size` bytes and the parser's padding after them.
    static QByteArray paddedBuffer(qsizetype size);
};
