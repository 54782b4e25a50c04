#include "App/SingleInstance.h"

#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

#include <unistd.h>

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

QString SingleInstance::serverName()
{
    // One instance per user and display: a session on another display has its own.
    QString display = QString::fromLocal8Bit(qgetenv("DISPLAY"));
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.]")), QStringLiteral("_"));
    return QStringLiteral("quillo-%1-%2").arg(getuid()).arg(display);
}

bool SingleInstance::claim(const QStringList& arguments)
{
    {
        QLocalSocket socket;
        socket.connectToServer(serverName());
        if (socket.waitForConnected(500)) {
            QByteArray payload;
            QDataStream out(&payload, QIODevice::WriteOnly);
            out << arguments;
            socket.write(payload);
            socket.waitForBytesWritten(1000);
            socket.disconnectFromServer();
            return false;
        }
    }
    // Nobody answers: a socket left by a crashed instance may still be there.
    QLocalServer::removeServer(serverName());
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(serverName()))
        return true; // run anyway; a second launch will then start a second instance
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                QStringList args;
                const QByteArray payload = socket->readAll();
                QDataStream in(payload);
                in >> args;
                Q_EMIT activated(args);
            });
        }
    });
    return true;
}
