#include "Codec/JsonArraySplitter.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t';
}

// The next byte at or after `from` that is one of `"{}[],\` (outside strings) or
// `"\` (inside strings), or `end` when there is none.
template <bool InString> const char* nextSpecial(const char* from, const char* end)
{
    const char* p = from;
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    // '[' 0x5B and '{' 0x7B differ only in bit 0x20, as do ']' and '}'.
    const __m128i fold = _mm_set1_epi8(char(~0x20));
    const __m128i open = _mm_set1_epi8('[');
    const __m128i close = _mm_set1_epi8(']');
    const __m128i comma = _mm_set1_epi8(',');
    for (; end - p >= 16; p += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(block, quote), _mm_cmpeq_epi8(block, backslash));
        if constexpr (!InString) {
            hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, comma));
            const __m128i folded = _mm_and_si128(block, fold);
            hits = _mm_or_si128(
                hits, _mm_or_si128(_mm_cmpeq_epi8(folded, open), _mm_cmpeq_epi8(folded, close)));
        }
        // Folding maps only '[' '{' and ']' '}' onto the two brackets, so every hit is real.
        if (const unsigned mask = unsigned(_mm_movemask_epi8(hits)))
            return p + __builtin_ctz(mask);
    }
#endif
    for (; p < end; ++p) {
        const char c = *p;
        if (c == '"' || c == '\\')
            return p;
        if (!InString && (c == ',' || c == '{' || c == '}' || c == '[' || c == ']'))
            return p;
    }
    return end;
}

} // namespace

std::size_t JsonArraySplitter::lineOf(std::string_view text, std::size_t offset)
{
    offset = std::min(offset, text.size());
    return 1 + std::size_t(std::count(text.begin(), text.begin() + std::ptrdiff_t(offset), '\n'));
}

JsonArraySplitter::Result JsonArraySplitter::split(std::string_view text)
{
    Result result;
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const char* p = begin;
    while (p < end && isSpace(*p))
        ++p;
    if (p == end) {
        result.error = QStringLiteral("the text is empty");
        return result;
    }
    if (*p != '[') {
        result.notAnArray = true;
        result.error = QStringLiteral("the text is not a JSON array");
        return result;
    }
    ++p;

    auto fail = [&](const char* at, const QString& what) {
        result.elements.clear();
        result.error =
            QStringLiteral("line %1: %2").arg(lineOf(text, std::size_t(at - begin))).arg(what);
        return result;
    };
    // Adds [from, to) trimmed; an empty element is a stray comma unless the array is empty.
    auto addElement = [&](const char* from, const char* to, bool last) {
        while (from < to && isSpace(*from))
            ++from;
        while (to > from && isSpace(to[-1]))
            --to;
        if (from == to)
            return last && result.elements.empty();
        result.elements.push_back({std::size_t(from - begin), std::size_t(to - begin)});
        return true;
    };

    const char* elementStart = p;
    std::size_t depth = 0;
    for (;;) {
        p = nextSpecial<false>(p, end);
        if (p == end)
            return fail(end, QStringLiteral("the text ends inside the array"));
        switch (*p) {
        case '"':
            // Skip the string, escapes included.
            for (++p;;) {
                p = nextSpecial<true>(p, end);
                if (p >= end)
                    return fail(end, QStringLiteral("the text ends inside a string"));
                if (*p == '"')
                    break;
                p += 2; // a backslash and the character it escapes
            }
            break;
        case '\\':
            return fail(p, QStringLiteral("a backslash outside a string"));
        case '{':
        case '[':
            ++depth;
            break;
        case '}':
        case ']':
            if (depth == 0) {
                if (*p == '}')
                    return fail(p, QStringLiteral("a closing brace without its opening one"));
                if (!addElement(elementStart, p, true))
                    return fail(p, QStringLiteral("an empty element before the closing bracket"));
                for (++p; p < end && isSpace(*p);)
                    ++p;
                if (p != end)
                    return fail(p, QStringLiteral("unexpected text after the end of the array"));
                return result;
            }
            --depth;
            break;
        case ',':
            if (depth == 0) {
                if (!addElement(elementStart, p, false))
                    return fail(p, QStringLiteral("an empty element before a comma"));
                elementStart = p + 1;
            }
            break;
        }
        ++p;
    }
}
