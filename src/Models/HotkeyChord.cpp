#include "Models/HotkeyChord.h"

#include "Models/KeyChord.h"
#include "Models/InputCodes.h"

#include <QStringList>
#include <utility>

namespace {

// The keys a chord may use, by macOS key code, with their names on a US keyboard.
const std::pair<quint32, const char*> kKeyNames[] = {
    {0, "A"},  {11, "B"}, {8, "C"},  {2, "D"},  {14, "E"}, {3, "F"},  {5, "G"},  {4, "H"},  {34, "I"},
    {38, "J"}, {40, "K"}, {37, "L"}, {46, "M"}, {45, "N"}, {31, "O"}, {35, "P"}, {12, "Q"}, {15, "R"},
    {1, "S"},  {17, "T"}, {32, "U"}, {9, "V"},  {13, "W"}, {7, "X"},  {16, "Y"}, {6, "Z"},
    {29, "0"}, {18, "1"}, {19, "2"}, {20, "3"}, {21, "4"}, {23, "5"}, {22, "6"}, {26, "7"}, {28, "8"}, {25, "9"},
    {27, "-"}, {24, "="}, {33, "["}, {30, "]"}, {42, "\\"}, {41, ";"}, {39, "'"}, {43, ","}, {47, "."}, {44, "/"},
    {50, "`"}, {10, "\u00a7"},
    {36, "Return"}, {48, "Tab"}, {49, "Space"}, {51, "Backspace"}, {53, "Escape"}, {117, "Delete"},
    {114, "Insert"}, {115, "Home"}, {119, "End"}, {116, "Page Up"}, {121, "Page Down"},
    {123, "Left"}, {124, "Right"}, {126, "Up"}, {125, "Down"}, {110, "Menu"},
    {122, "F1"}, {120, "F2"}, {99, "F3"}, {118, "F4"}, {96, "F5"}, {97, "F6"}, {98, "F7"}, {100, "F8"},
    {101, "F9"}, {109, "F10"}, {103, "F11"}, {111, "F12"}, {105, "F13"}, {107, "F14"}, {113, "F15"},
    {106, "F16"}, {64, "F17"}, {79, "F18"}, {80, "F19"}, {90, "F20"},
    {82, "Keypad 0"}, {83, "Keypad 1"}, {84, "Keypad 2"}, {85, "Keypad 3"}, {86, "Keypad 4"},
    {87, "Keypad 5"}, {88, "Keypad 6"}, {89, "Keypad 7"}, {91, "Keypad 8"}, {92, "Keypad 9"},
    {65, "Keypad ."}, {67, "Keypad *"}, {69, "Keypad Plus"}, {78, "Keypad -"}, {75, "Keypad /"},
    {76, "Keypad Enter"}, {81, "Keypad ="},
};

} // namespace

std::uint64_t HotkeyChord::eventFlags() const
{
    std::uint64_t flags = 0;
    if (modifiers & command)
        flags |= ModifierFlags::command;
    if (modifiers & shift)
        flags |= ModifierFlags::shift;
    if (modifiers & option)
        flags |= ModifierFlags::option;
    if (modifiers & control)
        flags |= ModifierFlags::control;
    if (modifiers & altGr)
        flags |= ModifierFlags::altGr;
    return flags;
}

QString HotkeyChord::keyName(quint32 keyCode)
{
    for (const auto& [code, name] : kKeyNames)
        if (code == keyCode)
            return QString::fromUtf8(name);
    return {};
}

QString HotkeyChord::portableText() const
{
    const QString key = keyName(keyCode);
    return key.isEmpty() ? QString() : KeyChord::text(eventFlags(), key);
}

std::optional<HotkeyChord> HotkeyChord::fromPortableText(const QString& text)
{
    QStringList parts = text.trimmed().split(QLatin1Char('+'));
    const QString key = parts.takeLast().trimmed();
    HotkeyChord chord;
    bool found = false;
    for (const auto& [code, name] : kKeyNames)
        if (key.compare(QString::fromUtf8(name), Qt::CaseInsensitive) == 0) {
            chord.keyCode = code;
            found = true;
        }
    if (!found)
        return std::nullopt;
    for (const QString& part : std::as_const(parts)) {
        const QString m = part.trimmed().toLower();
        if (m == QLatin1String("ctrl") || m == QLatin1String("control"))
            chord.modifiers |= control;
        else if (m == QLatin1String("alt"))
            chord.modifiers |= option;
        else if (m == QLatin1String("altgr"))
            chord.modifiers |= altGr;
        else if (m == QLatin1String("shift"))
            chord.modifiers |= shift;
        else if (m == QLatin1String("super"))
            chord.modifiers |= command;
        else
            return std::nullopt;
    }
    return chord;
}
