#include "App/SingleInstance.h"

#include "App/InstanceMessages.h"

#include <QDataStream>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>

#include <unistd.h>

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

QString SingleInstance::sameDisplay(const QString& display)
{
    static const QRegularExpression local(QStringLiteral("^(?:unix)?(:\\d+)(?:\\.\\d+)?$"));
    const auto match = local.match(display);
    return match.hasMatch() ? match.captured(1) : display;
}

QString SingleInstance::serverName()
{
    // One instance per user and display: a session on another display has its own.
    QString display = sameDisplay(QString::fromLocal8Bit(qgetenv("DISPLAY")));
    display.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9.]")), QStringLiteral("_"));
    return QStringLiteral("quillo-%1-%2").arg(getuid()).arg(display);
}

bool SingleInstance::claim(const QStringList& arguments)
{
    {
        QLocalSocket socket;
        socket.connectToServer(serverName());
        if (socket.waitForConnected(500)) {
            InstanceMessages::send(socket, arguments);
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
    return true;
}

void SingleInstance::acceptRequests()
{
    if (!m_server || m_accepting)
        return;
    m_accepting = true;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::takeConnections);
    takeConnections(); // those that came while the application started
}

void SingleInstance::takeConnections()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFirstMessage(socket); });
        if (socket->bytesAvailable() > 0)
            readFirstMessage(socket);
    }
}

void SingleInstance::readFirstMessage(QLocalSocket* socket)
{
    // The first message says what the connection is for; a command's later messages
    // belong to whoever took it.
    if (socket->property("quilloHandled").toBool())
        return;
    const auto message = InstanceMessages::receive(*socket);
    if (!message)
        return;
    socket->setProperty("quilloHandled", true);
    if (!message->isEmpty() && message->front() == InstanceMessages::commandMarker)
        Q_EMIT commandRequested(socket, message->mid(1));
    else
        Q_EMIT activated(*message);
}
