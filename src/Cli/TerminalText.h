#pragma once

#include <QString>

// Text from files on its way to a terminal: names may hold anything, and a raw escape
// sequence or bidirectional override would rewrite the user's screen.
namespace TerminalText {

// Control characters, escape sequences and bidirectional controls shown escaped
// ("\n", "\x1B", "\u202E"); a backslash is doubled so that the escapes stay unambiguous.
QString safe(const QString& text);
// The same for each line of `text`, keeping its line breaks.
QString safeLines(const QString& text);
// Columns the text takes in a terminal: East Asian wide characters take two,
// combining marks none.
int displayWidth(const QString& text);
// `text` padded with spaces to `width` columns.
QString padded(const QString& text, int width);

} // namespace TerminalText
