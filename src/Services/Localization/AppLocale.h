#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// The interface language: one of seven, or whatever the system prefers.
enum class AppLocale { system, en, tr, fr, es, it, zh, ar };

namespace AppLocales {

// All cases in picker order.
inline constexpr std::array<AppLocale, 8> all = {AppLocale::system, AppLocale::en, AppLocale::tr,
                                                 AppLocale::fr,     AppLocale::es, AppLocale::it,
                                                 AppLocale::zh,     AppLocale::ar};

// "system", "en", "tr", "fr", "es", "it", "zh", "ar".
QString rawValue(AppLocale locale);
std::optional<AppLocale> fromRawValue(const QString& raw);

// The picker row: flag (a globe for system) and the language's own name (empty for
// system, whose name is looked up).
QString flag(AppLocale locale);
QString nativeName(AppLocale locale);

// The concrete language: `locale` itself, or for `system` the first preferred language
// (`preferred`, e.g. {"fr-CA", "en-US"}) when it is one of the seven, else English.
AppLocale resolved(AppLocale locale, const QStringList& preferred);
// The same with the system's preferred interface languages.
AppLocale resolved(AppLocale locale);

} // namespace AppLocales
