#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <optional>

// One request as the routes see it, without the HTTP layer.
struct HttpRequest {
    QByteArray method;
    QByteArray path;
    QByteArray query;                      // without "?"
    QMap<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray body;
    QString clientAddress;
    bool secure = false;                   // came over HTTPS (directly or through the proxy)

    QByteArray header(const char* name) const { return headers.value(QByteArray(name)); }
    // A cookie's value, or empty.
    QByteArray cookie(const QByteArray& name) const;
    // A query or form field (percent-decoded), or empty.
    QString queryItem(const QString& name) const;
    QString formField(const QString& name) const;
};

struct HttpResponse {
    // A body read from the stored bytes a piece at a time while the client takes it.
    struct StoredBytes {
        QString sha256;
        qint64 size = 0;
    };

    int status = 200;
    QByteArray body;
    QByteArray contentType = "application/json";
    QList<QPair<QByteArray, QByteArray>> headers;
    std::optional<StoredBytes> stream; // instead of `body`
    bool closeConnection = false;      // the request's body was left unread

    static HttpResponse json(int status, const QByteArray& body) { return {status, body, "application/json", {}}; }
    static HttpResponse error(int status, const QString& message);
    static HttpResponse html(int status, const QString& page) { return {status, page.toUtf8(), "text/html; charset=utf-8", {}}; }
    static HttpResponse redirect(const QByteArray& location);
};
