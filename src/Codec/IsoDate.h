#pragma once

#include <QDateTime>
#include <optional>
#include <string_view>

// Dates in macro JSON: "2026-12-08T10:15:30Z", UTC, whole seconds, nothing else.
namespace IsoDate {

// Writes the UTC time of `date` with its sub-second part dropped; 20 characters.
void write(const QDateTime& date, char out[20]);

// Reads exactly the form above; anything else (fractions, offsets, numbers) is nothing.
std::optional<QDateTime> parse(std::string_view text);

// The same moment as people read it in any language's text: "8 Dec 2026, 22:46 UTC".
QString readable(const QDateTime& date);

} // namespace IsoDate
