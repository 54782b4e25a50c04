#include "ViewModels/NameText.h"

#include <QList>

namespace NameText {

QString oneLine(const QString& name)
{
    QString result;
    result.reserve(name.size());
    for (const char32_t c : name.toUcs4()) {
        if (c == '\n')
            result += QStringLiteral("\\n");
        else if (c == '\t')
            result += QStringLiteral("\\t");
        else if (c == '\r')
            result += QStringLiteral("\\r");
        else if (c < 0x20 || (c >= 0x7F && c < 0xA0))
            result += QStringLiteral("\\x") + QString::number(uint(c), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else if (c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
                 c == 0x2028 || c == 0x2029)
            result += QStringLiteral("\\u") + QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0'));
        else
            result += QString::fromUcs4(&c, 1);
    }
    return result;
}

} // namespace NameText
