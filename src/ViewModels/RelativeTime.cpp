#include "ViewModels/RelativeTime.h"

#include <QLocale>
#include <algorithm>
#include <array>

namespace RelativeTime {

namespace {

enum Unit { second, minute, hour, day, week, month, year };

// %1 is the number. English and Italian name one day or year differently from several.
QString pattern(AppLocale language, Unit unit, qint64 count)
{
    const bool one = count == 1;
    switch (language) {
    case AppLocale::tr: {
        static const std::array<const char*, 7> t = {"%1 sn. önce", "%1 dk. önce", "%1 sa. önce", "%1 gün önce",
                                                     "%1 hf. önce", "%1 ay önce",  "%1 yıl önce"};
        return QString::fromUtf8(t[unit]);
    }
    case AppLocale::fr: {
        static const std::array<const char*, 7> t = {"il y a %1 s",    "il y a %1 min", "il y a %1 h", "il y a %1 j",
                                                     "il y a %1 sem.", "il y a %1 m.",  "il y a %1 a"};
        return QString::fromUtf8(t[unit]);
    }
    case AppLocale::es: {
        static const std::array<const char*, 7> t = {"hace %1 s",    "hace %1 min", "hace %1 h", "hace %1 d",
                                                     "hace %1 sem.", "hace %1 m",   "hace %1 a"};
        return QString::fromUtf8(t[unit]);
    }
    case AppLocale::it: {
        static const std::array<const char*, 7> t = {"%1 sec. fa",  "%1 min fa",  "%1 h fa",   "%1 g fa",
                                                     "%1 sett. fa", "%1 mesi fa", "%1 anni fa"};
        if (one && unit == month)
            return QStringLiteral("%1 mese fa");
        if (one && unit == year)
            return QStringLiteral("%1 anno fa");
        return QString::fromUtf8(t[unit]);
    }
    case AppLocale::zh: {
        static const std::array<const char*, 7> t = {"%1秒钟前", "%1分钟前", "%1小时前", "%1天前",
                                                     "%1周前",   "%1个月前", "%1年前"};
        return QString::fromUtf8(t[unit]);
    }
    case AppLocale::ar: {
        static const std::array<const char*, 7> t = {"قبل %1 ث", "قبل %1 د", "قبل %1 س", "قبل %1 يوم",
                                                     "قبل %1 أسبوع", "قبل %1 شهر", "قبل %1 سنة"};
        return QString::fromUtf8(t[unit]);
    }
    case AppLocale::en:
    case AppLocale::system:
        break;
    }
    static const std::array<const char*, 7> t = {"%1 sec. ago", "%1 min. ago", "%1 hr. ago", "%1 days ago",
                                                 "%1 wk. ago",  "%1 mo. ago",  "%1 yr. ago"};
    if (one && unit == day)
        return QStringLiteral("%1 day ago");
    return QString::fromUtf8(t[unit]);
}

QLocale localeOf(AppLocale language)
{
    switch (language) {
    case AppLocale::ar:
        return QLocale(QLocale::Arabic, QLocale::Egypt); // Arabic-Indic digits
    default:
        return QLocale::c();
    }
}

} // namespace

QString shortText(const QDateTime& date, const QDateTime& now, AppLocale language)
{
    language = AppLocales::resolved(language);
    const qint64 seconds = std::max<qint64>(0, date.secsTo(now));
    struct Step
    {
        Unit unit;
        qint64 seconds;
    };
    // Largest unit first; a month counts as 30 days, a year as 365.
    static constexpr std::array<Step, 6> steps = {Step{year, 365 * 86400}, Step{month, 30 * 86400},
                                                  Step{week, 7 * 86400},   Step{day, 86400},
                                                  Step{hour, 3600},        Step{minute, 60}};
    Unit unit = second;
    qint64 count = seconds;
    for (const Step& step : steps) {
        if (seconds >= step.seconds) {
            unit = step.unit;
            count = seconds / step.seconds;
            break;
        }
    }
    return pattern(language, unit, count).arg(localeOf(language).toString(count));
}

} // namespace RelativeTime
