#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A small streaming JSON writer with the exact layout of macro files: the indented
// layout puts one member or element per line, two spaces per level and " : " between
// key and value; the compact layout has no whitespace. Callers write object keys in
// ascending order. The solidus is escaped; doubles are written in their shortest
// form that reads back bit-exactly.
class JsonWriter
{
public:
    enum class Layout
    {
        indented,
        compact
    };

    explicit JsonWriter(Layout layout, qsizetype expectedSize = 4096);

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // A plain name that needs no escaping (the format's own keys).
    void key(std::string_view name);

    void string(std::string_view utf8);
    void string(const QString& text);
    void integer(std::int64_t value);
    void boolean(bool value);
    void unsignedInteger(std::uint64_t value);
    // Returns false, writing nothing, for NaN and infinities (they have no JSON form).
    [[nodiscard]] bool number(double value);
    // A value whose text is already valid JSON (e.g. a quoted date).
    void raw(std::string_view json);

    // The text written so far; the writer is empty afterwards.
    QByteArray take();

private:
    void beforeValue();
    void writeQuoted(std::string_view utf8);
    void newline(std::size_t depth);
    char* reserve(std::size_t bytes);
    void append(std::string_view text);
    void append(char c);

    Layout m_layout;
    QByteArray m_buffer;
    qsizetype m_size = 0;
    // Per open container: whether it holds anything yet (a key counts).
    std::vector<char> m_hasContent;
    bool m_afterKey = false;
#ifndef NDEBUG
    std::vector<std::string> m_lastKeys;
#endif
};
