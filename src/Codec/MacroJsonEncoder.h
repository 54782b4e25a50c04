#pragma once

#include "Codec/EncodingError.h"
#include "Codec/JsonWriter.h"
#include "Models/Expected.h"
#include "Models/Macro.h"

#include <QByteArray>
#include <vector>

// Writes macros in their JSON form: keys in ascending order, dates as whole UTC
// seconds, identifiers in upper case. A number that is not finite fails the whole
// write; nothing is produced then.
class MacroJsonEncoder
{
public:
    using Layout = JsonWriter::Layout;

    // The library file: an array of macros.
    static Expected<QByteArray, EncodingError> encodeLibrary(const std::vector<Macro>& macros,
                                                             Layout layout = Layout::indented);
    // One macro object (an exported file, a backup payload).
    static Expected<QByteArray, EncodingError> encodeMacro(const Macro& macro,
                                                           Layout layout = Layout::indented);
};
