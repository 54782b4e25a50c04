#include "ViewModels/ActionChordText.h"

#include "Models/KeyChord.h"

QString ActionChordText::of(const MacroAction& action, KeyboardLayout& layout)
{
    const auto chord = [&](std::uint16_t keyCode, std::uint64_t flags) {
        QString name = layout.keyName(keyCode);
        if (name.isEmpty())
            name = QString::number(keyCode);
        return KeyChord::text(flags, name);
    };
    if (const auto* down = std::get_if<MacroAction::KeyDown>(&action.payload))
        return chord(down->keyCode, down->flags);
    if (const auto* up = std::get_if<MacroAction::KeyUp>(&action.payload))
        return chord(up->keyCode, up->flags);
    // A click, drag or wheel turn with modifiers: "Shift+Left Click", "Ctrl+Scroll".
    const std::uint64_t flags = action.mouseFlags();
    if (flags == 0)
        return {};
    const auto button = [](MouseButton b) {
        return b == MouseButton::left ? QStringLiteral("Left") : b == MouseButton::right ? QStringLiteral("Right")
                                                                                        : QStringLiteral("Middle");
    };
    QString what;
    if (const auto* down = std::get_if<MacroAction::MouseDown>(&action.payload))
        what = button(down->button) + QStringLiteral(" Click");
    else if (const auto* up = std::get_if<MacroAction::MouseUp>(&action.payload))
        what = button(up->button) + QStringLiteral(" Click");
    else if (const auto* drag = std::get_if<MacroAction::MouseDrag>(&action.payload))
        what = button(drag->button) + QStringLiteral(" Drag");
    else
        what = QStringLiteral("Scroll");
    return KeyChord::text(flags, what);
}
