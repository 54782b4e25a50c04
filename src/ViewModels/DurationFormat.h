#pragma once

#include <QString>

// How the window writes a macro's duration: "42.0s" below a minute, else whole
// minutes and seconds, "2m5s" in the list and "2m 5s" in the detail header.
namespace DurationFormat {

QString list(double seconds);
QString detail(double seconds);

} // namespace DurationFormat
