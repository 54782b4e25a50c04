#include "ViewModels/TextTyping.h"

#include <QList>

#include <algorithm>
#include <cmath>

namespace TextTyping {

namespace {

// A character as people can read it in a message, also when it is invisible.
QString named(char32_t c)
{
    const QString text = QString::fromUcs4(&c, 1);
    const QString code = QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
    if (c < 0x20 || c == 0x7f || QChar::category(c) == QChar::Other_Format || QChar::isSpace(c))
        return code;
    return QStringLiteral("\u201c%1\u201d (%2)").arg(text, code);
}

} // namespace

Expected<std::vector<MacroAction>, QString> actionsFor(const QString& text, KeyboardLayout& layout, double interval)
{
    if (text.isEmpty())
        return failure(QStringLiteral("There is no text to type."));
    if (text.size() > maxCharacters)
        return failure(QStringLiteral("The text is longer than %1 characters.").arg(maxCharacters));
    if (!std::isfinite(interval) || interval < 0)
        return failure(QStringLiteral("The time between keys must be 0 or more."));
    if (!layout.canReadLayout())
        return failure(QStringLiteral("The keyboard layout cannot be read in this session (there is no X display), "
                                      "so Quillo cannot tell which keys type the text."));
    layout.readLayoutAgain();
    const double hold = std::min(interval / 2, 0.02);
    std::vector<MacroAction> actions;
    double at = 0;
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (const char32_t c : normalised.toUcs4()) {
        const auto typing = layout.typingFor(c == U'\r' ? U'\n' : c);
        if (!typing)
            return failure(QStringLiteral("The keyboard layout has no key for %1.").arg(named(c)));
        actions.push_back(MacroAction::keyDown(at, typing->keyCode, typing->flags));
        actions.push_back(MacroAction::keyUp(at + hold, typing->keyCode, typing->flags));
        at += interval;
    }
    return actions;
}

} // namespace TextTyping
