#pragma once

#include "Platform/KeyboardLayout.h"
#include "Platform/RawInputEvent.h"

#include <QHash>

// Key names from a table the test fills; "Key N" for the others. Typing follows a table
// too, US English by default (letters, digits, space, Return, Tab and the punctuation).
class FakeKeyboardLayout : public KeyboardLayout
{
public:
    FakeKeyboardLayout()
    {
        const char* letters = "asdfhgzxcv\0bqweryt"; // macOS codes 0..17 in order
        for (int code = 0; letters[code] || code < 18; ++code)
            if (letters[code] >= 'a' && letters[code] <= 'z')
                addLetter(char32_t(letters[code]), std::uint16_t(code));
        for (const auto& [ch, code] : std::initializer_list<std::pair<char32_t, std::uint16_t>>{
                 {U'o', 31}, {U'u', 32}, {U'i', 34}, {U'p', 35}, {U'l', 37}, {U'j', 38}, {U'k', 40}, {U'n', 45}, {U'm', 46}})
            addLetter(ch, code);
        const std::pair<const char*, std::uint16_t> pairs[] = {
            {"1!", 18}, {"2@", 19}, {"3#", 20}, {"4$", 21}, {"6^", 22}, {"5%", 23}, {"=+", 24}, {"9(", 25},
            {"7&", 26}, {"-_", 27}, {"8*", 28}, {"0)", 29}, {"]}", 30}, {"[{", 33}, {"'\"", 39}, {";:", 41},
            {"\\|", 42}, {",<", 43}, {"/?", 44}, {".>", 47}, {"`~", 50}};
        for (const auto& [chars, code] : pairs) {
            m_typing.insert(char32_t(chars[0]), {code, 0});
            m_typing.insert(char32_t(chars[1]), {code, ModifierFlags::shift});
        }
        m_typing.insert(U' ', {49, 0});
        m_typing.insert(U'\n', {36, 0});
        m_typing.insert(U'\t', {48, 0});
    }

    QString keyName(std::uint16_t keyCode) override
    {
        return m_names.value(keyCode, QStringLiteral("Key %1").arg(keyCode));
    }
    std::optional<Typing> typingFor(char32_t character) override
    {
        const auto it = m_typing.constFind(character);
        return it == m_typing.constEnd() ? std::nullopt : std::optional<Typing>(*it);
    }
    void setName(std::uint16_t keyCode, const QString& name) { m_names.insert(keyCode, name); }
    // False: as a session without an X display.
    bool readable = true;
    bool canReadLayout() override { return readable; }

    void setTyping(char32_t character, std::optional<Typing> typing)
    {
        if (typing)
            m_typing.insert(character, *typing);
        else
            m_typing.remove(character);
    }

private:
    void addLetter(char32_t lower, std::uint16_t code)
    {
        m_typing.insert(lower, {code, 0});
        m_typing.insert(lower - 32, {code, ModifierFlags::shift});
    }

    QHash<std::uint16_t, QString> m_names{{4, QStringLiteral("H")}, {36, QStringLiteral("Return")}};
    QHash<char32_t, Typing> m_typing;
};
