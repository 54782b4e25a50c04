#pragma once

#include "Services/Localization/AppLocale.h"

#include <QDateTime>
#include <QString>

// "5 min. ago": how long ago `date` was, in the largest whole unit, in the short
// style of each language.
namespace RelativeTime {

QString shortText(const QDateTime& date, const QDateTime& now, AppLocale language);

} // namespace RelativeTime
