#include "Services/Localization/Strings.h"

#include <QRegularExpression>
#include <QSet>
#include <gtest/gtest.h>

TEST(Localization, ResolvesTheFirstPreferredLanguageOnly)
{
    using namespace AppLocales;
    EXPECT_EQ(resolved(AppLocale::system, {QStringLiteral("fr-FR")}), AppLocale::fr);
    EXPECT_EQ(resolved(AppLocale::system, {QStringLiteral("fr-CA"), QStringLiteral("de")}), AppLocale::fr);
    EXPECT_EQ(resolved(AppLocale::system, {QStringLiteral("zh-Hant-TW")}), AppLocale::zh);
    EXPECT_EQ(resolved(AppLocale::system, {QStringLiteral("pt-BR")}), AppLocale::en);
    EXPECT_EQ(resolved(AppLocale::system, {QStringLiteral("de-DE"), QStringLiteral("fr-FR")}), AppLocale::en);
    EXPECT_EQ(resolved(AppLocale::system, {}), AppLocale::en);
    EXPECT_EQ(resolved(AppLocale::ar, {QStringLiteral("fr")}), AppLocale::ar);
    for (const AppLocale l : all)
        EXPECT_EQ(fromRawValue(rawValue(l)), l);
    EXPECT_EQ(fromRawValue(QStringLiteral("de")), std::nullopt);
}

TEST(Localization, EveryTableHasEveryKeyTranslatedWithItsPlaceholders)
{
    const auto& english = Strings::rows(AppLocale::en);
    ASSERT_EQ(english.size(), 195u);
    // Words that are the same in English and in that language.
    const QSet<QString> sameAsEnglish = {QStringLiteral("fr:sidebar.title"), QStringLiteral("fr:settings.about.version"), QStringLiteral("fr:account.service"),
                                         QStringLiteral("es:sidebar.title"), QStringLiteral("fr:editor.position"), QStringLiteral("fr:editor.app"),
                                         QStringLiteral("fr:editor.duration"), QStringLiteral("fr:wait.point"), QStringLiteral("fr:wait.app"),
                                         QStringLiteral("it:wait.area"), QStringLiteral("fr:playback.options")};
    const QRegularExpression placeholder(QStringLiteral("\\{[a-z]+\\}|%d"));
    for (const AppLocale locale : AppLocales::all) {
        if (locale == AppLocale::system || locale == AppLocale::en)
            continue;
        const QString code = AppLocales::rawValue(locale);
        const auto& rows = Strings::rows(locale);
        ASSERT_EQ(rows.size(), english.size()) << code.toStdString();
        QSet<QString> keys;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const QString key = QString::fromUtf8(rows[i].key);
            const QString text = QString::fromUtf8(rows[i].text);
            const QString en = QString::fromUtf8(english[i].text);
            EXPECT_EQ(key, QString::fromUtf8(english[i].key)) << code.toStdString() << " row " << i;
            EXPECT_FALSE(keys.contains(key)) << "duplicate " << key.toStdString();
            keys.insert(key);
            EXPECT_FALSE(text.trimmed().isEmpty()) << code.toStdString() << " " << key.toStdString();
            if (!sameAsEnglish.contains(code + QLatin1Char(':') + key))
                EXPECT_NE(text, en) << code.toStdString() << " " << key.toStdString() << " is still English";
            QStringList wanted, found;
            for (auto it = placeholder.globalMatch(en); it.hasNext();)
                wanted << it.next().captured();
            for (auto it = placeholder.globalMatch(text); it.hasNext();)
                found << it.next().captured();
            EXPECT_EQ(found, wanted) << code.toStdString() << " " << key.toStdString();
            if (en.contains(QStringLiteral("Quillo")))
                EXPECT_TRUE(text.contains(QStringLiteral("Quillo"))) << code.toStdString() << " " << key.toStdString();
        }
    }
    EXPECT_EQ(Strings::lookup(AppLocale::fr, QStringLiteral("account.syncedPlural")), QStringLiteral("%d macros synchronis\u00e9es."));
    EXPECT_EQ(Strings::lookup(AppLocale::zh, QStringLiteral("account.syncedPlural")), QStringLiteral("\u5df2\u540c\u6b65 %d \u4e2a\u5b8f\u3002"));
    EXPECT_EQ(Strings::lookup(AppLocale::tr, QStringLiteral("sidebar.title")), QStringLiteral("Makrolar"));
    EXPECT_EQ(Strings::lookup(AppLocale::fr, QStringLiteral("settings.updates.available")),
              QStringLiteral("Nouvelle version disponible : {version}"));
    EXPECT_EQ(Strings::lookup(AppLocale::en, QStringLiteral("recorder.statusRecording")), QStringLiteral("Recording\u2026"));
    EXPECT_EQ(Strings::lookup(AppLocale::it, QStringLiteral("missing.key")), QStringLiteral("missing.key"));
}
