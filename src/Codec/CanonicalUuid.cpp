#include "Codec/CanonicalUuid.h"

#include <algorithm>
#include <cctype>

namespace CanonicalUuid {

void write(const QUuid& id, char out[36])
{
    const QByteArray text = id.toByteArray(QUuid::WithoutBraces);
    std::transform(text.begin(), text.begin() + 36, out, [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
}

std::optional<QUuid> parse(std::string_view text)
{
    if (text.size() != 36)
        return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        const bool isHyphen = text[i] == '-';
        if (hyphenPlace != isHyphen)
            return std::nullopt;
        if (!hyphenPlace && !std::isxdigit(static_cast<unsigned char>(text[i])))
            return std::nullopt;
    }
    const QUuid id = QUuid::fromString(QAnyStringView(text.data(), qsizetype(text.size())));
    return id;
}

} // namespace CanonicalUuid
