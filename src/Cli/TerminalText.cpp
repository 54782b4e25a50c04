#include "Cli/TerminalText.h"

#include <QList>

namespace TerminalText {

namespace {

bool isBidiControl(char32_t c)
{
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

bool isWide(char32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
           (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
           (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
           (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

} // namespace

QString safe(const QString& text)
{
    QString result;
    result.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (c == '\\')
            result += QStringLiteral("\\\\");
        else if (c == '\n')
            result += QStringLiteral("\\n");
        else if (c == '\t')
            result += QStringLiteral("\\t");
        else if (c == '\r')
            result += QStringLiteral("\\r");
        else if (c < 0x20 || c == 0x7F)
            result += QStringLiteral("\\x") + QString::number(uint(c), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else if ((c >= 0x80 && c < 0xA0) || isBidiControl(c) || c == 0xFEFF)
            result += QStringLiteral("\\u") + QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0'));
        else
            result += QString::fromUcs4(&c, 1);
    }
    return result;
}

int displayWidth(const QString& text)
{
    int width = 0;
    for (const char32_t c : text.toUcs4()) {
        const auto category = QChar::category(c);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing || c == 0x200B)
            continue;
        width += isWide(c) ? 2 : 1;
    }
    return width;
}

QString padded(const QString& text, int width)
{
    return text + QString(std::max(0, width - displayWidth(text)), QLatin1Char(' '));
}

QString safeLines(const QString& text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines)
        line = safe(line);
    return lines.join(QLatin1Char('\n'));
}

} // namespace TerminalText
