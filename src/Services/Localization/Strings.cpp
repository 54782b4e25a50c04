#include "Services/Localization/Strings.h"

#include <array>
#include <mutex>

namespace {

QHash<QString, QString> build(const std::vector<Strings::Entry>& rows)
{
    QHash<QString, QString> table;
    table.reserve(qsizetype(rows.size()));
    for (const auto& [key, text] : rows)
        table.insert(QString::fromUtf8(key), QString::fromUtf8(text));
    return table;
}

} // namespace

const std::vector<Strings::Entry>& Strings::rows(AppLocale locale)
{
    switch (AppLocales::resolved(locale)) {
    case AppLocale::tr:
        return rowsTr();
    case AppLocale::fr:
        return rowsFr();
    case AppLocale::es:
        return rowsEs();
    case AppLocale::it:
        return rowsIt();
    case AppLocale::zh:
        return rowsZh();
    case AppLocale::ar:
        return rowsAr();
    default:
        return rowsEn();
    }
}

const QHash<QString, QString>& Strings::dictionary(AppLocale locale)
{
    // Each language's table is built once, on first use, safely from any thread.
    static std::array<std::once_flag, AppLocales::all.size()> built;
    static std::array<QHash<QString, QString>, AppLocales::all.size()> tables;
    const AppLocale language = AppLocales::resolved(locale);
    const auto index = std::size_t(language);
    std::call_once(built[index], [&] { tables[index] = build(rows(language)); });
    return tables[index];
}

QString Strings::lookup(AppLocale locale, const QString& key)
{
    const auto& table = dictionary(locale);
    if (const auto it = table.constFind(key); it != table.constEnd())
        return *it;
    const auto& english = dictionary(AppLocale::en);
    if (const auto it = english.constFind(key); it != english.constEnd())
        return *it;
    return key;
}

bool Strings::takesSingular(AppLocale locale, qint64 count)
{
    return count == 1 || (count == 0 && AppLocales::resolved(locale) == AppLocale::fr);
}
