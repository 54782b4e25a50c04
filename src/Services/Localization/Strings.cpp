#include "Services/Localization/Strings.h"

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
    // One-time, thread-safe construction per language.
    switch (AppLocales::resolved(locale)) {
    case AppLocale::tr: {
        static const auto table = build(rowsTr());
        return table;
    }
    case AppLocale::fr: {
        static const auto table = build(rowsFr());
        return table;
    }
    case AppLocale::es: {
        static const auto table = build(rowsEs());
        return table;
    }
    case AppLocale::it: {
        static const auto table = build(rowsIt());
        return table;
    }
    case AppLocale::zh: {
        static const auto table = build(rowsZh());
        return table;
    }
    case AppLocale::ar: {
        static const auto table = build(rowsAr());
        return table;
    }
    default: {
        static const auto table = build(rowsEn());
        return table;
    }
    }
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
