#pragma once

// A tiny HTTP/1.1 server on loopback for client tests: answers each request with the
// next scripted reply (or stays silent) and keeps what it received.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <deque>

class ScriptedHttpServer : public QObject
{
public:
    struct Received
    {
        QByteArray method, path, body;
        QMap<QByteArray, QByteArray> headers; // names in lower case
    };
    struct Reply
    {
        int status = 200;
        QByteArray body;
        bool silent = false; // never answer (a time-out)
    };

    ScriptedHttpServer()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    void script(Reply reply) { m_replies.push_back(std::move(reply)); }
    const QList<Received>& received() const { return m_received; }

private:
    void read(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        Received request;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < end + 4 + length)
            return;
        request.body = buffer.mid(end + 4, length);
        buffer.remove(0, end + 4 + length);
        m_received.append(request);
        const Reply reply = m_replies.empty() ? Reply{404, {}} : m_replies.front();
        if (!m_replies.empty())
            m_replies.pop_front();
        if (reply.silent)
            return;
        socket->write("HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\nContent-Type: application/json\r\n"
                      "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n\r\n" + reply.body);
    }

    QTcpServer m_server;
    std::deque<Reply> m_replies;
    QList<Received> m_received;
    QMap<QTcpSocket*, QByteArray> m_buffers;
};
