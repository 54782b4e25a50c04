#include "ViewModels/DurationFormat.h"

#include <cmath>

namespace DurationFormat {

namespace {
QString format(double seconds, bool spaced)
{
    if (!(seconds >= 60)) // below a minute, and anything that is not a number
        return QString::number(seconds, 'f', 1) + QLatin1Char('s');
    const double whole = std::trunc(std::min(seconds, 9.0e15));
    const auto total = static_cast<long long>(whole);
    return QStringLiteral("%1m%2%3s").arg(total / 60).arg(spaced ? QStringLiteral(" ") : QString()).arg(total % 60);
}
} // namespace

QString list(double seconds)
{
    return format(seconds, false);
}

QString detail(double seconds)
{
    return format(seconds, true);
}

} // namespace DurationFormat
