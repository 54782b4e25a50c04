#include "HttpMessage.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

namespace {
QString fieldOf(const QByteArray& encoded, const QString& name)
{
    // Form bodies write spaces as "+".
    QByteArray text = encoded;
    text.replace('+', ' ');
    const QUrlQuery query(QString::fromUtf8(text));
    return query.queryItemValue(name, QUrl::FullyDecoded);
}
} // namespace

QByteArray HttpRequest::cookie(const QByteArray& name) const
{
    for (const QByteArray& part : header("cookie").split(';')) {
        const QByteArray item = part.trimmed();
        if (item.startsWith(name + '='))
            return item.mid(name.size() + 1);
    }
    return {};
}

QString HttpRequest::queryItem(const QString& name) const
{
    return fieldOf(query, name);
}

QString HttpRequest::formField(const QString& name) const
{
    return fieldOf(body, name);
}

HttpResponse HttpResponse::error(int status, const QString& message)
{
    return json(status, QJsonDocument(QJsonObject{{QStringLiteral("error"), message}}).toJson(QJsonDocument::Compact));
}

HttpResponse HttpResponse::redirect(const QByteArray& location)
{
    HttpResponse response{302, {}, "text/plain; charset=utf-8", {}};
    response.headers.append({"Location", location});
    return response;
}
