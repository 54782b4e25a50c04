#pragma once

// What the page after "Continue" on the service's sign-in page holds: the quillo:// link
// the browser is sent on to, and the one-time code shown for when it does not arrive.
#include <QRegularExpression>
#include <QString>

inline QString handOverLink(const QString& page)
{
    const auto found = QRegularExpression(QStringLiteral("http-equiv=\"refresh\" content=\"0;url=([^\"]+)\"")).match(page);
    QString link = found.captured(1);
    return link.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
}

inline QString handOverCode(const QString& page)
{
    return QRegularExpression(QStringLiteral("id=\"code\">([A-Z0-9-]+)<")).match(page).captured(1);
}
