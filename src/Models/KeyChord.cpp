#include "Models/KeyChord.h"

#include "Models/InputCodes.h"

#include <QStringList>

namespace KeyChord {

QString text(std::uint64_t flags, const QString& keyName)
{
    QStringList parts;
    if (flags & ModifierFlags::control)
        parts << QStringLiteral("Ctrl");
    if ((flags & ModifierFlags::altGr) == ModifierFlags::altGr)
        parts << QStringLiteral("AltGr");
    else if (flags & ModifierFlags::option)
        parts << QStringLiteral("Alt");
    if (flags & ModifierFlags::shift)
        parts << QStringLiteral("Shift");
    if (flags & ModifierFlags::command)
        parts << QStringLiteral("Super");
    parts << keyName;
    return parts.join(QLatin1Char('+'));
}

} // namespace KeyChord
