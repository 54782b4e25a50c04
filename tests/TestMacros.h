#pragma once

#include "Models/Macro.h"

#include <QTimeZone>
#include <ostream>
#include <random>

// Macros for tests: a small fixed one, and random ones that use the full range of
// every field (any double bit pattern that is finite, any flags, any key code).
// Readable failure messages for macros.
inline void PrintTo(const MacroAction& a, std::ostream* os)
{
    *os << a.displayName().toStdString() << " @" << a.timestamp;
}
inline void PrintTo(const Macro& m, std::ostream* os)
{
    *os << "Macro \"" << m.metadata.name.toStdString() << "\" (" << m.actions.size() << " actions, v" << m.version
        << ")";
}

namespace TestMacros {

inline QDateTime date(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc());
}

inline Macro small()
{
    Macro m;
    m.id = QUuid::fromString(QStringLiteral("3f2504e0-4f89-41d3-9a0c-0305e82c3301"));
    m.actions = {
        MacroAction::windowFocus(0, QStringLiteral("org.example.Editor"), QStringLiteral("Editor")),
        MacroAction::keyDown(0.5, 36, 0x100000),
        MacroAction::mouseDown(1.25, 812.7, 403.2, MouseButton::left),
        MacroAction::delay(1.5, 0.5),
    };
    m.metadata = {QStringLiteral("Small"),
                  date(2026, 12, 8, 10, 15, 30),
                  date(2026, 12, 8, 10, 16, 0),
                  4,
                  1.5,
                  {QStringLiteral("a/b")}};
    return m;
}

inline double anyFiniteDouble(std::mt19937_64& rng)
{
    for (;;) {
        const std::uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d))
            return d;
    }
}

inline QString anyText(std::mt19937_64& rng)
{
    static const QString alphabet =
        QStringLiteral("ab/\\\"\n\t\u00e9\u4e2d\u0627 {}[],:") + QChar(0x01) + QChar(0x1F);
    QString text;
    const int n = int(rng() % 12);
    for (int i = 0; i < n; ++i)
        text += alphabet[int(rng() % alphabet.size())];
    return text;
}

inline MacroAction anyAction(std::mt19937_64& rng)
{
    const double t = anyFiniteDouble(rng);
    const double x = anyFiniteDouble(rng);
    const double y = anyFiniteDouble(rng);
    const auto button = static_cast<MouseButton>(rng() % 3);
    switch (rng() % 9) {
    case 0:
        return MacroAction::keyDown(t, std::uint16_t(rng()), rng());
    case 1:
        return MacroAction::keyUp(t, std::uint16_t(rng()), rng());
    case 2:
        return MacroAction::mouseMove(t, x, y);
    case 3:
        return MacroAction::mouseDown(t, x, y, button, rng() % 3 ? 0 : rng());
    case 4:
        return MacroAction::mouseUp(t, x, y, button, rng() % 3 ? 0 : rng());
    case 5:
        return MacroAction::mouseDrag(t, x, y, button, rng() % 3 ? 0 : rng());
    case 6:
        return MacroAction::scroll(t, x, y, std::int32_t(rng()), std::int32_t(rng()), rng() % 3 ? 0 : rng());
    case 7:
        return MacroAction::windowFocus(t, anyText(rng), anyText(rng));
    default:
        return MacroAction::delay(t, y);
    }
}

inline Macro anyMacro(std::mt19937_64& rng)
{
    Macro m;
    m.id = QUuid::createUuid();
    const int n = int(rng() % 40);
    for (int i = 0; i < n; ++i)
        m.actions.push_back(anyAction(rng));
    // Whole seconds: the file keeps no more.
    const auto seconds = qint64(rng() % 4'000'000'000ULL);
    m.metadata = {anyText(rng),
                  QDateTime::fromSecsSinceEpoch(seconds, QTimeZone::utc()),
                  QDateTime::fromSecsSinceEpoch(seconds + 60, QTimeZone::utc()),
                  qint64(rng()),
                  anyFiniteDouble(rng),
                  {}};
    for (int i = int(rng() % 3); i > 0; --i)
        m.metadata.tags.append(anyText(rng));
    if (rng() % 2) {
        const int takes = int(rng() % 3);
        m.metadata.recording = RecordingOptions{takes != 2, takes != 1, int(rng() % (RecordingOptions::maxMoveIntervalMs + 1))};
    }
    m.version = 1;
    return m;
}

} // namespace TestMacros
