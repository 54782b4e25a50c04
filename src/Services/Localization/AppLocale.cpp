#include "Services/Localization/AppLocale.h"

#include <QLocale>

namespace AppLocales {

QString rawValue(AppLocale locale)
{
    switch (locale) {
    case AppLocale::system:
        return QStringLiteral("system");
    case AppLocale::en:
        return QStringLiteral("en");
    case AppLocale::tr:
        return QStringLiteral("tr");
    case AppLocale::fr:
        return QStringLiteral("fr");
    case AppLocale::es:
        return QStringLiteral("es");
    case AppLocale::it:
        return QStringLiteral("it");
    case AppLocale::zh:
        return QStringLiteral("zh");
    case AppLocale::ar:
        return QStringLiteral("ar");
    }
    return QStringLiteral("system");
}

std::optional<AppLocale> fromRawValue(const QString& raw)
{
    for (const AppLocale locale : all) {
        if (rawValue(locale) == raw)
            return locale;
    }
    return std::nullopt;
}

QString flag(AppLocale locale)
{
    switch (locale) {
    case AppLocale::system:
        return QStringLiteral("\U0001F310");
    case AppLocale::en:
        return QStringLiteral("\U0001F1EC\U0001F1E7");
    case AppLocale::tr:
        return QStringLiteral("\U0001F1F9\U0001F1F7");
    case AppLocale::fr:
        return QStringLiteral("\U0001F1EB\U0001F1F7");
    case AppLocale::es:
        return QStringLiteral("\U0001F1EA\U0001F1F8");
    case AppLocale::it:
        return QStringLiteral("\U0001F1EE\U0001F1F9");
    case AppLocale::zh:
        return QStringLiteral("\U0001F1E8\U0001F1F3");
    case AppLocale::ar:
        return QStringLiteral("\U0001F1F8\U0001F1E6");
    }
    return {};
}

QString nativeName(AppLocale locale)
{
    switch (locale) {
    case AppLocale::system:
        return {};
    case AppLocale::en:
        return QStringLiteral("English");
    case AppLocale::tr:
        return QStringLiteral("T\u00fcrk\u00e7e");
    case AppLocale::fr:
        return QStringLiteral("Fran\u00e7ais");
    case AppLocale::es:
        return QStringLiteral("Espa\u00f1ol");
    case AppLocale::it:
        return QStringLiteral("Italiano");
    case AppLocale::zh:
        return QStringLiteral("\u4e2d\u6587");
    case AppLocale::ar:
        return QStringLiteral("\u0627\u0644\u0639\u0631\u0628\u064a\u0629");
    }
    return {};
}

AppLocale resolved(AppLocale locale, const QStringList& preferred)
{
    if (locale != AppLocale::system)
        return locale;
    if (preferred.isEmpty())
        return AppLocale::en;
    const QLocale first(preferred.first());
    const QString code = first.language() == QLocale::C ? QString()
                                                         : QLocale::languageToCode(first.language());
    const auto match = fromRawValue(code);
    return match && *match != AppLocale::system ? *match : AppLocale::en;
}

AppLocale resolved(AppLocale locale)
{
    return resolved(locale, QLocale::system().uiLanguages());
}

} // namespace AppLocales
