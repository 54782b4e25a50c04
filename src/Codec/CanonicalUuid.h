#pragma once

#include <QUuid>
#include <optional>
#include <string_view>

// Identifiers in macro JSON: 36 characters, 8-4-4-4-12 hex digits with hyphens.
namespace CanonicalUuid {

// Upper-case canonical text of `id`; 36 characters.
void write(const QUuid& id, char out[36]);

// Reads the canonical form in either case; braces, URNs or missing hyphens are nothing.
std::optional<QUuid> parse(std::string_view text);

} // namespace CanonicalUuid
