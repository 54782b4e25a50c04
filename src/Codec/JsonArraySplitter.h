#pragma once

#include <QString>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

// Finds the elements of a top-level JSON array without parsing them: it follows
// strings (with their escapes) and bracket depth only, so that each element can then
// be parsed on its own with a parser sized for one element instead of the whole text.
// The real parser validates every element; this only has to find their edges.
class JsonArraySplitter
{
public:
    struct Span
    {
        std::size_t begin = 0;
        std::size_t end = 0; // one past the last byte
    };

    struct Result
    {
        std::vector<Span> elements;
        // Set when the text is not an array of elements; names the problem.
        std::optional<QString> error;
        // True when the text does not start with '[' (the caller may say what it is).
        bool notAnArray = false;
    };

    static Result split(std::string_view text);

    // 1-based line of a byte offset, for messages.
    static std::size_t lineOf(std::string_view text, std::size_t offset);
};
