#pragma once

#include "CaptureDevices.h"
#include "HotkeyWatch.h"
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
// devices, and tells clients that watch for chords when one is pressed (and nothing else
// of the typing). A client that sends something malformed, goes away or dies has
// everything it pressed released; the others go on.
class InputdServer : public QObject
{
    Q_OBJECT
public:
    // Captured events waiting for a client beyond this many bytes end its connection.
    static constexpr qint64 maxBacklog = 8 * 1024 * 1024;

    InputdServer(PeerPolicy policy, QString inputFolder, QObject* parent = nullptr);
    ~InputdServer() override;

    // The longest wait for the desktop to take in the virtual devices, and the margin
    // after udev has processed them (the compositor opens them a moment later).
    static constexpr int settleLimitMs = 3000;
    static constexpr int settleMarginMs = 150;

    // Makes the virtual devices and waits, without blocking, until the desktop has them;
    // clients are welcomed (and so may post) only then.
    void prepareDevices();
    bool devicesReady() const { return m_devicesReady; }
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
        bool awaitingDevices = false; // said hello before the devices settled
        bool capturing = false;
        std::vector<InputdProtocol::WatchedChord> watched; // chords this client waits for
        std::optional<std::string> refusal;
    };

    void accept();
    void read(Client& client);
    void handle(Client& client, const InputdProtocol::Message& message);
    void send(Client& client, const InputdProtocol::Message& message);
    void drop(Client& client, const std::string& why);
    void updateCapture();
    void devicesSettled();
    void broadcast(const InputdProtocol::InputEvent& event);

    PeerPolicy m_policy;
    QLocalServer* m_server = nullptr;
    std::map<QLocalSocket*, std::unique_ptr<Client>> m_clients;
    CaptureDevices m_capture;
    VirtualDevices m_virtual;
    bool m_devicesReady = false;
    HotkeyWatch m_watch;
};
