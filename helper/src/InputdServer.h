#pragma once

#include "CaptureDevices.h"
#include "InputdCodec.h"
#include "PeerPolicy.h"
#include "PressLedger.h"
#include "VirtualDevices.h"

#include <QObject>
#include <memory>
#include <set>

class QLocalServer;
class QLocalSocket;

// The helper's socket: checks each client when it connects, answers its hello, runs
// capture for the clients that asked for it and posts their events to the virtual
// devices. A client that sends something malformed, goes away or dies has everything
// it pressed released; the others go on.
class InputdServer : public QObject
{
    Q_OBJECT
public:
    // Captured events waiting for a client beyond this many bytes end its connection.
    static constexpr qint64 maxBacklog = 8 * 1024 * 1024;

    InputdServer(PeerPolicy policy, QString inputFolder, QObject* parent = nullptr);
    ~InputdServer() override;

    // Listens at `path` (made readable and writable by everyone: the peer check decides).
    bool listen(const QString& path, QString& error);
    std::size_t clientCount() const { return m_clients.size(); }

private:
    struct Client
    {
        QLocalSocket* socket = nullptr;
        uid_t uid = 0;
        pid_t pid = 0;
        InputdCodec::Decoder decoder;
        PressLedger ledger;
        bool greeted = false;
        bool capturing = false;
        std::optional<std::string> refusal;
    };

    void accept();
    void read(Client& client);
    void handle(Client& client, const InputdProtocol::Message& message);
    void send(Client& client, const InputdProtocol::Message& message);
    void drop(Client& client, const std::string& why);
    void updateCapture();
    void broadcast(const InputdProtocol::InputEvent& event);

    PeerPolicy m_policy;
    QLocalServer* m_server = nullptr;
    std::map<QLocalSocket*, std::unique_ptr<Client>> m_clients;
    CaptureDevices m_capture;
    VirtualDevices m_virtual;
};
