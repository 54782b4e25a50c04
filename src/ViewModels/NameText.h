#pragma once

#include <QString>

// A name from a file or the network on one line of the window: line breaks, tabs and
// other control characters shown as "\n", "\t", "\x1B", and the controls that reorder
// text as "\u202E", so that a row stays one row and reads as it is stored.
namespace NameText {

QString oneLine(const QString& name);

} // namespace NameText
