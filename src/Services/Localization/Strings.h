#pragma once

#include "Services/Localization/AppLocale.h"

#include <QHash>
#include <QString>
#include <vector>

// The interface texts of the seven languages, by dotted key ("sidebar.empty.title").
// Every table holds the same keys; "{version}" and "%d" are filled in by the caller.
class Strings
{
public:
    struct Entry {
        const char* key;
        const char* text;
    };

    // The table of a language (`system` is resolved first), built on first use.
    static const QHash<QString, QString>& dictionary(AppLocale locale);
    // The rows of a concrete language in table order (for checks of the tables).
    static const std::vector<Entry>& rows(AppLocale locale);
    // The text for `key` in `locale`, else in English, else the key itself.
    static QString lookup(AppLocale locale, const QString& key);
    // Whether a count takes a language's singular form (1; in French also 0).
    static bool takesSingular(AppLocale locale, qint64 count);

private:
    static const std::vector<Entry>& rowsEn();
    static const std::vector<Entry>& rowsTr();
    static const std::vector<Entry>& rowsFr();
    static const std::vector<Entry>& rowsEs();
    static const std::vector<Entry>& rowsIt();
    static const std::vector<Entry>& rowsZh();
    static const std::vector<Entry>& rowsAr();
};
