#pragma once

#include "Models/Macro.h"

#include <QTimeZone>
#include <random>

// A library like a heavy user's: recordings of mostly pointer movement, with typing,
// clicks, drags, scrolls, application switches and a few inserted pauses.
inline std::vector<Macro> generateLibrary(int macroCount, int actionsPerMacro,
                                          std::uint64_t seed = 1)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> gap(0.001, 0.02);
    std::uniform_int_distribution<int> percent(0, 999);
    std::vector<Macro> library;
    library.reserve(std::size_t(macroCount));
    const QDateTime created(QDate(2026, 11, 1), QTime(9, 0, 0), QTimeZone::utc());
    for (int m = 0; m < macroCount; ++m) {
        std::vector<MacroAction> actions;
        actions.reserve(std::size_t(actionsPerMacro));
        double t = 0, x = 640, y = 400;
        actions.push_back(MacroAction::windowFocus(0, QStringLiteral("org.mozilla.firefox"),
                                                   QStringLiteral("Firefox")));
        while (int(actions.size()) < actionsPerMacro) {
            t += gap(rng);
            x = std::clamp(x + double(int(rng() % 21) - 10) + 0.5 * double(rng() % 2), 0.0, 2559.0);
            y = std::clamp(y + double(int(rng() % 21) - 10), 0.0, 1439.0);
            const int p = percent(rng);
            if (p < 700) {
                actions.push_back(MacroAction::mouseMove(t, x, y));
            } else if (p < 850) {
                const auto key = std::uint16_t(rng() % 50);
                const std::uint64_t flags = p < 760 ? 0x100 : 0x20102;
                actions.push_back(MacroAction::keyDown(t, key, flags));
                actions.push_back(MacroAction::keyUp(t + gap(rng), key, flags));
            } else if (p < 910) {
                actions.push_back(MacroAction::mouseDown(t, x, y, MouseButton::left));
                actions.push_back(MacroAction::mouseUp(t + gap(rng), x, y, MouseButton::left));
            } else if (p < 960) {
                actions.push_back(MacroAction::mouseDrag(
                    t, x, y, p % 2 ? MouseButton::left : MouseButton::right));
            } else if (p < 990) {
                actions.push_back(MacroAction::scroll(t, x, y, 0, int(rng() % 7) - 3));
            } else if (p < 995) {
                actions.push_back(MacroAction::windowFocus(t, QStringLiteral("org.gnome.Terminal"),
                                                           QStringLiteral("Terminal")));
            } else {
                actions.push_back(MacroAction::delay(t, 0.5));
            }
        }
        actions.resize(std::size_t(actionsPerMacro));
        Macro macro = Macro::fromRecording(QStringLiteral("Recording %1").arg(m + 1),
                                           std::move(actions), created.addSecs(3600 * m));
        macro.metadata.tags = {QStringLiteral("bench")};
        library.push_back(std::move(macro));
    }
    return library;
}
