// A stand-in for quillo-inputd on a desktop run headless (no /dev/uinput there): it
// speaks the helper's protocol on its socket and types what a client posts into the
// compositor through the compositor's own test input — mutter's RemoteDesktop (gnome),
// KWin's fake input (kwin) or a virtual keyboard through wtype (sway). Only keys are
// typed; everything else is taken and dropped.
//   quillo_test_inputd --socket PATH --inject gnome|kwin|sway
#include "InputdCodec.h"
#include "MutterRemoteKeyboard.h"
#include "fake-input-client-protocol.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <cstdio>
#include <cstring>
#include <linux/input-event-codes.h>
#include <set>
#include <wayland-client.h>

namespace {

using namespace InputdProtocol;

class Injector
{
public:
    virtual ~Injector() = default;
    virtual bool start() = 0;
    virtual void key(std::uint16_t code, bool pressed) = 0;
};

class MutterInjector : public Injector
{
public:
    bool start() override
    {
        m_keyboard = std::make_unique<MutterRemoteKeyboard>();
        return m_keyboard->ok();
    }
    void key(std::uint16_t code, bool pressed) override { m_keyboard->key(code, pressed); }

private:
    std::unique_ptr<MutterRemoteKeyboard> m_keyboard;
};

class KWinInjector : public Injector
{
public:
    ~KWinInjector() override
    {
        if (m_display)
            wl_display_disconnect(m_display);
    }
    bool start() override
    {
        m_display = wl_display_connect(nullptr);
        if (!m_display)
            return false;
        wl_registry* registry = wl_display_get_registry(m_display);
        static const wl_registry_listener listener = {
            [](void* data, wl_registry* r, uint32_t name, const char* interface, uint32_t version) {
                if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
                    static_cast<KWinInjector*>(data)->m_fake = static_cast<org_kde_kwin_fake_input*>(
                        wl_registry_bind(r, name, &org_kde_kwin_fake_input_interface, 4));
            },
            [](void*, wl_registry*, uint32_t) {}};
        wl_registry_add_listener(registry, &listener, this);
        wl_display_roundtrip(m_display);
        if (!m_fake)
            return false;
        org_kde_kwin_fake_input_authenticate(m_fake, "Quillo tests", "types what Quillo replays");
        wl_display_roundtrip(m_display);
        QThread::msleep(300); // KWin takes a moment before it trusts a new client
        return true;
    }
    void key(std::uint16_t code, bool pressed) override
    {
        org_kde_kwin_fake_input_keyboard_key(m_fake, code, pressed ? 1 : 0);
        wl_display_flush(m_display);
    }

private:
    wl_display* m_display = nullptr;
    org_kde_kwin_fake_input* m_fake = nullptr;
};

// wtype types by name, each run on a keyboard of its own: a key is typed whole on its press.
class SwayInjector : public Injector
{
public:
    bool start() override { return true; }
    void key(std::uint16_t code, bool pressed) override
    {
        static const char* const letters = "qwertyuiop\0\0\0\0asdfghjkl\0\0\0\0\0zxcvbnm";
        if (!pressed || code < KEY_Q || code > KEY_M || !letters[code - KEY_Q])
            return;
        QProcess::execute(QStringLiteral("wtype"), {QStringLiteral("-k"), QString(QChar(letters[code - KEY_Q]))});
    }
};

class StandIn : public QObject
{
public:
    StandIn(Injector& injector, QObject* parent = nullptr) : QObject(parent), m_injector(injector) {}

    bool listen(const QString& path)
    {
        QLocalServer::removeServer(path);
        m_server.setSocketOptions(QLocalServer::WorldAccessOption);
        if (!m_server.listen(path))
            return false;
        connect(&m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = m_server.nextPendingConnection()) {
                auto* decoder = new InputdCodec::Decoder;
                connect(socket, &QLocalSocket::readyRead, this, [this, socket, decoder] {
                    const QByteArray bytes = socket->readAll();
                    decoder->feed(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
                    while (auto message = decoder->next())
                        handle(socket, *message);
                });
                connect(socket, &QLocalSocket::disconnected, this, [this, socket, decoder] {
                    releaseAll();
                    delete decoder;
                    socket->deleteLater();
                });
            }
        });
        return true;
    }

private:
    void send(QLocalSocket* socket, const Message& message)
    {
        const auto frame = InputdCodec::encode(message);
        socket->write(reinterpret_cast<const char*>(frame.data()), qint64(frame.size()));
    }
    void handle(QLocalSocket* socket, const Message& message)
    {
        if (std::holds_alternative<Hello>(message)) {
            send(socket, Welcome{});
        } else if (const auto* post = std::get_if<Post>(&message)) {
            if (post->type != EV_KEY || post->code >= BTN_MISC || post->value == 2)
                return;
            m_injector.key(post->code, post->value == 1);
            if (post->value == 1)
                m_down.insert(post->code);
            else
                m_down.erase(post->code);
            std::printf("quillo_test_inputd: key %u %s\n", post->code, post->value == 1 ? "down" : "up");
            std::fflush(stdout);
        } else if (std::holds_alternative<ReleaseAll>(message)) {
            releaseAll();
        }
    }
    void releaseAll()
    {
        for (const std::uint16_t code : m_down)
            m_injector.key(code, false);
        m_down.clear();
    }

    Injector& m_injector;
    QLocalServer m_server;
    std::set<std::uint16_t> m_down;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("socket"), QStringLiteral("Where to listen."), QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("inject"), QStringLiteral("gnome, kwin or sway."), QStringLiteral("DESKTOP")});
    parser.process(app);
    std::unique_ptr<Injector> injector;
    const QString desktop = parser.value(QStringLiteral("inject"));
    if (desktop == QLatin1String("gnome"))
        injector = std::make_unique<MutterInjector>();
    else if (desktop == QLatin1String("kwin"))
        injector = std::make_unique<KWinInjector>();
    else if (desktop == QLatin1String("sway"))
        injector = std::make_unique<SwayInjector>();
    if (!injector || !injector->start()) {
        std::fprintf(stderr, "quillo_test_inputd: cannot type into %s\n", desktop.toLocal8Bit().constData());
        return 1;
    }
    StandIn standIn(*injector);
    if (!standIn.listen(parser.value(QStringLiteral("socket")))) {
        std::fprintf(stderr, "quillo_test_inputd: cannot listen\n");
        return 1;
    }
    std::printf("quillo_test_inputd: ready\n");
    std::fflush(stdout);
    return app.exec();
}
