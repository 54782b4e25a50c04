#include "Codec/SignInCode.h"

#include <cstring>

namespace SignInCode {

QString normalized(const QString& typed)
{
    if (typed.size() > 64)
        return {};
    QString code;
    for (const QChar c : typed) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('-') || c == QLatin1Char('\t'))
            continue;
        const QChar upper = c.toUpper();
        if (upper.unicode() == 0 || upper.unicode() >= 0x80 || !std::strchr(alphabet, char(upper.unicode())))
            return {};
        code.append(upper);
    }
    return code.size() == length ? code : QString();
}

} // namespace SignInCode
