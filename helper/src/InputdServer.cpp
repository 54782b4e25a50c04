#include "InputdServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cstdio>
#include <linux/input-event-codes.h>
#include <sys/socket.h>

using namespace InputdProtocol;

namespace {

void note(const std::string& text)
{
    std::fprintf(stderr, "quillo-inputd: %s\n", text.c_str());
}

} // namespace

InputdServer::InputdServer(PeerPolicy policy, QString inputFolder, QObject* parent)
    : QObject(parent), m_policy(std::move(policy)),
      m_capture([this](const InputEvent& event) { broadcast(event); }, std::move(inputFolder))
{
}

InputdServer::~InputdServer()
{
    for (auto& [socket, client] : m_clients)
        for (const Post& release : client->ledger.releaseAll()) {
            std::string error;
            m_virtual.post(release, error);
        }
}

void InputdServer::prepareDevices()
{
    std::string error;
    if (!m_virtual.open(error)) {
        // Posting says why (and tries again); capture works without the devices.
        note(error);
        devicesSettled();
        return;
    }
    auto waited = std::make_shared<QElapsedTimer>();
    waited->start();
    auto* poll = new QTimer(this);
    poll->setInterval(10);
    connect(poll, &QTimer::timeout, this, [this, poll, waited] {
        const bool processed = m_virtual.udevHasProcessed();
        if (!processed && waited->elapsed() < settleLimitMs)
            return;
        poll->deleteLater();
        if (!processed)
            note("udev did not take in the virtual devices within " + std::to_string(settleLimitMs) + " ms");
        QTimer::singleShot(settleMarginMs, this, &InputdServer::devicesSettled);
    });
    poll->start();
}

void InputdServer::devicesSettled()
{
    m_devicesReady = true;
    for (auto& [socket, client] : m_clients)
        if (client->awaitingDevices) {
            client->awaitingDevices = false;
            client->greeted = true;
            send(*client, Welcome{});
        }
}

bool InputdServer::listen(const QString& path, QString& error)
{
    QLocalServer::removeServer(path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::WorldAccessOption);
    if (!m_server->listen(path)) {
        error = m_server->errorString();
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &InputdServer::accept);
    return true;
}

void InputdServer::accept()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        auto client = std::make_unique<Client>();
        client->socket = socket;
        ucred credentials{};
        socklen_t length = sizeof credentials;
        if (getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) {
            client->refusal = "the helper could not tell who is connecting";
        } else {
            client->uid = credentials.uid;
            client->pid = credentials.pid;
            client->refusal = m_policy.refusal(credentials.uid);
        }
        Client& c = *client;
        m_clients[socket] = std::move(client);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (auto it = m_clients.find(socket); it != m_clients.end())
                read(*it->second);
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            if (auto it = m_clients.find(socket); it != m_clients.end())
                drop(*it->second, "went away");
        });
        note("client pid " + std::to_string(c.pid) + " uid " + std::to_string(c.uid) +
             (c.refusal ? " refused: " + *c.refusal : " connected"));
        if (socket->bytesAvailable() > 0)
            read(c);
    }
}

void InputdServer::read(Client& client)
{
    QLocalSocket* socket = client.socket;
    const QByteArray bytes = socket->readAll();
    client.decoder.feed(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    while (m_clients.count(socket)) {
        auto message = client.decoder.next();
        if (!message)
            break;
        handle(client, *message);
    }
    if (m_clients.count(socket) && client.decoder.failed())
        drop(client, "sent " + client.decoder.error());
}

void InputdServer::send(Client& client, const Message& message)
{
    const auto frame = InputdCodec::encode(message);
    client.socket->write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
}

void InputdServer::handle(Client& client, const Message& message)
{
    if (client.awaitingDevices)
        return drop(client, "spoke before it was welcomed");
    if (!client.greeted) {
        const auto* hello = std::get_if<Hello>(&message);
        if (!hello)
            return drop(client, "did not say hello first");
        if (hello->version != InputdProtocol::version) {
            send(client, Refused{InputdProtocol::version,
                                 "the helper speaks protocol " + std::to_string(InputdProtocol::version) +
                                     ", Quillo speaks " + std::to_string(hello->version)});
            client.socket->flush();
            return drop(client, "speaks protocol " + std::to_string(hello->version));
        }
        if (client.refusal) {
            send(client, Refused{InputdProtocol::version, *client.refusal});
            client.socket->flush();
            return drop(client, "was refused");
        }
        if (!m_devicesReady) {
            client.awaitingDevices = true; // welcomed as soon as the devices are in place
            return;
        }
        client.greeted = true;
        send(client, Welcome{});
        return;
    }
    if (std::holds_alternative<StartCapture>(message)) {
        client.capturing = true;
        updateCapture(); // opens every device before answering
        send(client, CaptureStarted{});
    } else if (std::holds_alternative<StopCapture>(message)) {
        m_capture.drain(); // everything that happened before the stop goes out first
        client.capturing = false;
        send(client, CaptureStopped{});
        updateCapture();
    } else if (const auto* post = std::get_if<Post>(&message)) {
        std::string error;
        if (m_virtual.post(*post, error))
            client.ledger.note(*post);
        else
            send(client, Error{error});
    } else if (const auto* watch = std::get_if<WatchHotkeys>(&message)) {
        client.watched = watch->chords;
        updateCapture();
    } else if (std::holds_alternative<ReleaseAll>(message)) {
        for (const Post& release : client.ledger.releaseAll()) {
            std::string error;
            m_virtual.post(release, error);
        }
    } else {
        drop(client, "sent a message only the helper sends");
    }
}

void InputdServer::drop(Client& client, const std::string& why)
{
    QLocalSocket* socket = client.socket;
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    const auto releases = client.ledger.releaseAll();
    for (const Post& release : releases) {
        std::string error;
        m_virtual.post(release, error);
    }
    note("client pid " + std::to_string(client.pid) + " " + why +
         (releases.empty() ? "" : "; released " + std::to_string(releases.size() / 2) + " held key(s) or button(s)"));
    std::unique_ptr<Client> owned = std::move(it->second);
    m_clients.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    updateCapture();
}

void InputdServer::updateCapture()
{
    bool anyone = false;
    for (const auto& [socket, client] : m_clients)
        anyone = anyone || client->capturing || !client->watched.empty();
    if (anyone) {
        m_capture.start();
    } else {
        m_capture.stop();
        m_watch.reset();
    }
}

void InputdServer::broadcast(const InputEvent& event)
{
    // Chords first: a watching client learns only that its chord was pressed.
    if (event.type == EV_KEY)
        if (const auto modifiers = m_watch.keyEvent(event.device, event.code, event.value))
            for (auto& [socket, client] : m_clients)
                for (const std::uint32_t id : HotkeyWatch::matches(client->watched, event.code, *modifiers))
                    send(*client, HotkeyMatched{id});
    const auto frame = InputdCodec::encode(event);
    std::vector<Client*> stalled;
    for (auto& [socket, client] : m_clients) {
        if (!client->capturing)
            continue;
        socket->write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
        // A client that stops reading must not make the helper hoard its input.
        if (socket->bytesToWrite() > maxBacklog)
            stalled.push_back(client.get());
    }
    for (Client* client : stalled)
        drop(*client, "stopped reading its events");
}
