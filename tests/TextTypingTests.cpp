// A text becomes the key actions the current layout types it with.
#include "Platform/Fake/FakeKeyboardLayout.h"
#include "ViewModels/TextTyping.h"

#include <gtest/gtest.h>

namespace {

using A = MacroAction;

// The keys a text is typed with, as (key code, flags) of each press.
std::vector<std::pair<std::uint16_t, std::uint64_t>> presses(const std::vector<MacroAction>& actions)
{
    std::vector<std::pair<std::uint16_t, std::uint64_t>> keys;
    for (const MacroAction& a : actions)
        if (const auto* down = std::get_if<A::KeyDown>(&a.payload))
            keys.emplace_back(down->keyCode, down->flags);
    return keys;
}

} // namespace

TEST(TextTyping, AUsLayoutTypesWithShiftWhereTheCharacterNeedsIt)
{
    FakeKeyboardLayout us;
    const auto typed = TextTyping::actionsFor(QStringLiteral("Hi, 2@\r\n"), us, 0.05);
    ASSERT_TRUE(typed.hasValue()) << typed.error().toStdString();
    using F = std::uint64_t;
    const std::vector<std::pair<std::uint16_t, F>> expected{{4, ModifierFlags::shift}, {34, 0}, {43, 0}, {49, 0},
                                                            {19, 0}, {19, ModifierFlags::shift}, {36, 0}};
    EXPECT_EQ(presses(typed.value()), expected);
    // Press, release, press: a key every 50 ms, each let go 20 ms after its press.
    const auto& a = typed.value();
    ASSERT_EQ(a.size(), 14u);
    EXPECT_DOUBLE_EQ(a[0].timestamp, 0.0);
    EXPECT_DOUBLE_EQ(a[1].timestamp, 0.02);
    EXPECT_EQ(a[1].type(), ActionType::keyUp);
    EXPECT_DOUBLE_EQ(a[2].timestamp, 0.05);
    EXPECT_DOUBLE_EQ(a[13].timestamp, 0.30 + 0.02);
    // At once: every press and release at 0.
    const auto fast = TextTyping::actionsFor(QStringLiteral("ab"), us, 0);
    for (const MacroAction& action : fast.value())
        EXPECT_EQ(action.timestamp, 0.0);
}

TEST(TextTyping, AGermanLayoutUsesAltGrAndNamesWhatItCannotType)
{
    FakeKeyboardLayout de;
    de.setTyping(U'z', KeyboardLayout::Typing{16, 0}); // the key right of T
    de.setTyping(U'y', KeyboardLayout::Typing{6, 0});
    de.setTyping(U'@', KeyboardLayout::Typing{12, ModifierFlags::altGr}); // AltGr+Q
    de.setTyping(U'\u20ac', KeyboardLayout::Typing{14, ModifierFlags::altGr}); // AltGr+E
    de.setTyping(U'\u00df', KeyboardLayout::Typing{27, 0});
    de.setTyping(U'^', std::nullopt); // a dead key: no character of its own
    const auto typed = TextTyping::actionsFor(QStringLiteral("zy@\u20ac\u00df"), de, 0.01);
    ASSERT_TRUE(typed.hasValue());
    const std::vector<std::pair<std::uint16_t, std::uint64_t>> expected{
        {16, 0}, {6, 0}, {12, ModifierFlags::altGr}, {14, ModifierFlags::altGr}, {27, 0}};
    EXPECT_EQ(presses(typed.value()), expected);
    // The releases carry the same modifiers, so that nothing is let go early.
    EXPECT_EQ(typed.value()[5].payload, A::Payload(A::KeyUp{12, ModifierFlags::altGr}));

    auto refused = TextTyping::actionsFor(QStringLiteral("2^3"), de, 0.01);
    ASSERT_FALSE(refused.hasValue());
    EXPECT_EQ(refused.error(), QStringLiteral("The keyboard layout has no key for \u201c^\u201d (U+005E)."));
    refused = TextTyping::actionsFor(QStringLiteral("a\u0436"), de, 0.01);
    EXPECT_EQ(refused.error(), QStringLiteral("The keyboard layout has no key for \u201c\u0436\u201d (U+0436)."));
    refused = TextTyping::actionsFor(QStringLiteral("a\u00a0b"), de, 0.01); // invisible: its code alone
    EXPECT_EQ(refused.error(), QStringLiteral("The keyboard layout has no key for U+00A0."));
    EXPECT_FALSE(TextTyping::actionsFor(QString(), de, 0.01).hasValue());
    EXPECT_FALSE(TextTyping::actionsFor(QStringLiteral("a"), de, -1).hasValue());
    EXPECT_FALSE(TextTyping::actionsFor(QString(TextTyping::maxCharacters + 1, QLatin1Char('a')), de, 0).hasValue());
    // No layout to read (no X display): said as such, not as a missing key.
    de.readable = false;
    refused = TextTyping::actionsFor(QStringLiteral("a"), de, 0.01);
    ASSERT_FALSE(refused.hasValue());
    EXPECT_TRUE(refused.error().startsWith(QStringLiteral("The keyboard layout cannot be read"))) << refused.error().toStdString();
}
