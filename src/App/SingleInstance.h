#pragma once

#include <QObject>
#include <QStringList>

#include <QLocalSocket>

class QLocalServer;

// One Quillo per user and display: the first launch listens on a local socket; a later launch hands
// it its arguments and ends. The running one is told through `activated`.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);

    // True when this is the one running instance (it now listens); false when another
    // instance took `arguments` (this one should end).
    bool claim(const QStringList& arguments);
    // From now on the others' launches and commands are taken (those that came since
    // the claim first): call it once the receivers of the signals are connected, or a
    // request made while this instance started would go to nobody.
    void acceptRequests();

    // A display however it is written (":0", ":0.0" and "unix:0" are one).
    static QString sameDisplay(const QString& display);
    static QString serverName();

Q_SIGNALS:
    void activated(const QStringList& arguments);
    // A `quillo` command asks the running application to do its work: `request` is
    // {folder, command, ...}; replies go to `socket` (see InstanceMessages).
    void commandRequested(QLocalSocket* socket, const QStringList& request);

private:
    void takeConnections();
    void readFirstMessage(QLocalSocket* socket);

    QLocalServer* m_server = nullptr;
    bool m_accepting = false;
};
