#include "Codec/JsonWriter.h"

#include <QtGlobal>
#include <charconv>
#include <cmath>
#include <cstring>

JsonWriter::JsonWriter(Layout layout, qsizetype expectedSize) : m_layout(layout)
{
    m_buffer.resize(std::max<qsizetype>(expectedSize, 64));
}

char* JsonWriter::reserve(std::size_t bytes)
{
    const qsizetype needed = m_size + qsizetype(bytes);
    if (needed > m_buffer.size())
        m_buffer.resize(std::max(needed, m_buffer.size() * 2));
    return m_buffer.data() + m_size;
}

void JsonWriter::append(std::string_view text)
{
    std::memcpy(reserve(text.size()), text.data(), text.size());
    m_size += qsizetype(text.size());
}

void JsonWriter::append(char c)
{
    *reserve(1) = c;
    ++m_size;
}

void JsonWriter::newline(std::size_t depth)
{
    char* out = reserve(1 + 2 * depth);
    *out++ = '\n';
    std::memset(out, ' ', 2 * depth);
    m_size += qsizetype(1 + 2 * depth);
}

void JsonWriter::beforeValue()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_hasContent.empty())
        return;
    if (m_hasContent.back())
        append(',');
    m_hasContent.back() = true;
    if (m_layout == Layout::indented)
        newline(m_hasContent.size());
}

void JsonWriter::key(std::string_view name)
{
#ifndef NDEBUG
    Q_ASSERT_X(m_lastKeys.back().empty() || m_lastKeys.back() < name, "JsonWriter::key",
               "object keys must be written in ascending order");
    Q_ASSERT_X(name.find_first_of("\"\\/") == std::string_view::npos, "JsonWriter::key",
               "keys are plain names");
    m_lastKeys.back() = std::string(name);
#endif
    beforeValue();
    // Keys are the format's own plain names: nothing in them needs escaping.
    const std::string_view separator = m_layout == Layout::indented ? " : " : ":";
    char* out = reserve(name.size() + 2 + separator.size());
    *out++ = '"';
    out = std::copy(name.begin(), name.end(), out);
    *out++ = '"';
    std::copy(separator.begin(), separator.end(), out);
    m_size += qsizetype(name.size() + 2 + separator.size());
    m_afterKey = true;
}

void JsonWriter::beginObject()
{
    beforeValue();
    append('{');
    m_hasContent.push_back(false);
#ifndef NDEBUG
    m_lastKeys.emplace_back();
#endif
}

void JsonWriter::endObject()
{
    const bool hadContent = m_hasContent.back();
    m_hasContent.pop_back();
#ifndef NDEBUG
    m_lastKeys.pop_back();
#endif
    if (hadContent && m_layout == Layout::indented)
        newline(m_hasContent.size());
    append('}');
}

void JsonWriter::beginArray()
{
    beforeValue();
    append('[');
    m_hasContent.push_back(false);
#ifndef NDEBUG
    m_lastKeys.emplace_back();
#endif
}

void JsonWriter::endArray()
{
    endObject();
    m_buffer.data()[m_size - 1] = ']';
}

void JsonWriter::string(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    beforeValue();
    writeQuoted({utf8.constData(), std::size_t(utf8.size())});
}

void JsonWriter::string(std::string_view utf8)
{
    beforeValue();
    writeQuoted(utf8);
}

void JsonWriter::writeQuoted(std::string_view utf8)
{
    static constexpr char hex[] = "0123456789abcdef";
    // Worst case: every byte becomes \u00XX.
    char* out = reserve(2 + 6 * utf8.size());
    char* const start = out;
    *out++ = '"';
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"':
            *out++ = '\\';
            *out++ = '"';
            break;
        case '\\':
            *out++ = '\\';
            *out++ = '\\';
            break;
        case '/':
            *out++ = '\\';
            *out++ = '/';
            break;
        case '\b':
            *out++ = '\\';
            *out++ = 'b';
            break;
        case '\f':
            *out++ = '\\';
            *out++ = 'f';
            break;
        case '\n':
            *out++ = '\\';
            *out++ = 'n';
            break;
        case '\r':
            *out++ = '\\';
            *out++ = 'r';
            break;
        case '\t':
            *out++ = '\\';
            *out++ = 't';
            break;
        default:
            if (c < 0x20) {
                std::memcpy(out, "\\u00", 4);
                out[4] = hex[c >> 4];
                out[5] = hex[c & 0xF];
                out += 6;
            } else {
                *out++ = ch;
            }
        }
    }
    *out++ = '"';
    m_size += out - start;
}

void JsonWriter::integer(std::int64_t value)
{
    beforeValue();
    char* out = reserve(24);
    m_size += std::to_chars(out, out + 24, value).ptr - out;
}

void JsonWriter::boolean(bool value)
{
    beforeValue();
    append(value ? std::string_view("true") : std::string_view("false"));
}

void JsonWriter::unsignedInteger(std::uint64_t value)
{
    beforeValue();
    char* out = reserve(24);
    m_size += std::to_chars(out, out + 24, value).ptr - out;
}

bool JsonWriter::number(double value)
{
    if (!std::isfinite(value))
        return false;
    beforeValue();
    char* out = reserve(32);
    char* end = std::to_chars(out, out + 32, value).ptr;
    // The shortest form can be a plain integer. "-0" would read back as +0, and
    // integers of 19 digits or more may not fit a JSON reader's 64-bit integers:
    // those are written so that they read as floating point.
    const std::string_view text(out, std::size_t(end - out));
    if (text.find_first_of(".e") == std::string_view::npos) {
        const std::size_t digits = text.size() - (text[0] == '-' ? 1 : 0);
        if (value == 0) {
            if (std::signbit(value))
                end = std::copy_n("-0.0", 4, out);
        } else if (digits >= 19) {
            end = std::to_chars(out, out + 32, value, std::chars_format::scientific).ptr;
        }
    }
    m_size += end - out;
    return true;
}

void JsonWriter::raw(std::string_view json)
{
    beforeValue();
    append(json);
}

QByteArray JsonWriter::take()
{
    m_buffer.resize(m_size);
    QByteArray result = std::move(m_buffer);
    m_buffer = QByteArray();
    m_size = 0;
    m_hasContent.clear();
    m_afterKey = false;
    return result;
}
