// The Hyprland provider against a fake Hyprland of our own: its request socket (one
// connection per request) answered from a thread, its event socket from the test.
#include "Platform/Wayland/HyprlandHotkeyRegistrar.h"
#include "Platform/Wayland/HyprlandProvider.h"
#include "Services/HotkeyService.h"
#include "Platform/Fake/FakeClock.h"
#include "TestWait.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

class FakeHyprland
{
public:
    explicit FakeHyprland(const QString& folder)
    {
        const QByteArray path = (folder + QStringLiteral("/.socket.sock")).toLocal8Bit();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        EXPECT_EQ(::listen(m_fd, 8), 0);
        m_thread = std::thread([this] {
            for (;;) {
                const int client = ::accept(m_fd, nullptr, nullptr);
                if (client < 0 || m_stopping)
                    return;
                char buffer[512];
                const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                const std::string request(buffer, std::size_t(std::max<ssize_t>(n, 0)));
                std::string reply;
                {
                    std::lock_guard guard(m_lock);
                    m_requests.push_back(request);
                    reply = m_replies.count(request) ? m_replies[request] : "unknown request";
                }
                (void)!::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
                ::close(client);
            }
        });
        m_events.listen(folder + QStringLiteral("/.socket2.sock"));
    }
    ~FakeHyprland()
    {
        m_stopping = true;
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_thread.join();
    }
    void answer(const std::string& request, const std::string& reply)
    {
        std::lock_guard guard(m_lock);
        m_replies[request] = reply;
    }
    std::vector<std::string> requests()
    {
        std::lock_guard guard(m_lock);
        return m_requests;
    }
    void event(const QByteArray& line)
    {
        for (QLocalSocket* s : m_events.findChildren<QLocalSocket*>())
            s->write(line + '\n');
    }
    bool listenerConnected()
    {
        while (QLocalSocket* s = m_events.nextPendingConnection())
            s->setParent(&m_events);
        return !m_events.findChildren<QLocalSocket*>().isEmpty();
    }

private:
    int m_fd = -1;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
    std::mutex m_lock;
    std::map<std::string, std::string> m_replies;
    std::vector<std::string> m_requests;
    QLocalServer m_events;
};

} // namespace

TEST(HyprlandProvider, PointerFocusActivationAndMonitorsFromItsSockets)
{
    QTemporaryDir dir;
    FakeHyprland fake(dir.path());
    fake.answer("j/version", R"({"tag":"v0.41"})");
    fake.answer("j/cursorpos", R"({"x": 1500, "y": -20})");
    fake.answer("j/activewindow", R"({"class":"org.quillo.Editor","title":"notes"})");
    fake.answer("dispatch focuswindow class:^(org\\.quillo\\.Editor)$", "ok");
    // A 4K monitor at scale 2 and a portrait one (transform 1) left of it, higher up.
    fake.answer("j/monitors", R"([{"name":"DP-1","x":0,"y":0,"width":3840,"height":2160,"scale":2.0,"transform":0},
                                  {"name":"DP-2","x":-1080,"y":-300,"width":1920,"height":1080,"scale":1.0,"transform":1}])");
    HyprlandProvider provider(dir.path());
    QString problem;
    ASSERT_TRUE(provider.start(&problem)) << problem.toStdString();
    EXPECT_TRUE(provider.reportsPointer());

    // The pointer from another thread, as the tap asks it.
    double x = 0, y = 0;
    bool answered = false;
    std::thread tap([&] { answered = provider.pointerPosition(x, y); });
    tap.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(x, 1500);
    EXPECT_EQ(y, -20);

    EXPECT_EQ(provider.frontmostApplication()->id, QStringLiteral("org.quillo.Editor"));
    EXPECT_TRUE(provider.activate(QStringLiteral("org.quillo.Editor")));
    EXPECT_FALSE(provider.activate(QStringLiteral("org.other")));
    EXPECT_EQ(provider.outputs(), (std::vector<Output>{{QStringLiteral("DP-1"), QRectF(0, 0, 1920, 1080), 2},
                                                       {QStringLiteral("DP-2"), QRectF(-1080, -300, 1080, 1920), 1}}));

    QList<RunningApplication> seen;
    QObject::connect(&provider, &DesktopProvider::applicationActivated,
                     [&](const RunningApplication& app) { seen.append(app); });
    ASSERT_TRUE(waitUntil([&] { return fake.listenerConnected(); }));
    fake.event("workspace>>2");
    fake.event("activewindow>>org.quillo.Terminal,~/src, with a comma");
    fake.event("activewindowv2>>5a3f");
    ASSERT_TRUE(waitUntil([&] { return !seen.isEmpty(); }));
    EXPECT_EQ(seen.size(), 1);
    EXPECT_EQ(seen.first().id, QStringLiteral("org.quillo.Terminal"));

    // Where nothing answers, it says so.
    HyprlandProvider absent(dir.path() + QStringLiteral("/nowhere"));
    EXPECT_FALSE(absent.start(&problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("does not answer"))) << problem.toStdString();
    EXPECT_FALSE(absent.pointerPosition(x, y));
}

TEST(HyprlandHotkeys, BindsEachChordToAnEventAndRefusesWhatHyprlandAlreadyBinds)
{
    QTemporaryDir dir;
    FakeHyprland fake(dir.path());
    fake.answer("j/version", R"({"tag":"v0.41"})");
    // The user's config binds Super+Alt+P (by name) to a terminal.
    fake.answer("j/binds", R"([{"modmask":72,"submap":"","key":"P","keycode":0,"dispatcher":"exec","arg":"kitty"},
                               {"modmask":64,"submap":"resize","key":"R","keycode":0,"dispatcher":"exec","arg":"x"}])");
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
    fake.answer(("keyword bind SUPER ALT,code:27,event,quillo-hotkey " + pid + " 1").toStdString(), "ok");
    fake.answer(("keyword bind SUPER ALT SHIFT,code:27,event,quillo-hotkey " + pid + " 2").toStdString(), "ok");
    fake.answer("keyword unbind SUPER ALT,code:27", "ok");
    HyprlandProvider provider(dir.path());
    QString problem;
    ASSERT_TRUE(provider.start(&problem)) << problem.toStdString();
    HyprlandHotkeyRegistrar registrar(provider);
    FakeClock clock;
    HotkeyService service(registrar, clock);
    for (const auto& c : HotkeyService::defaults())
        service.registerHotkey(c);
    EXPECT_TRUE(service.isRegistered(1));
    EXPECT_TRUE(service.isRegistered(2));
    EXPECT_FALSE(service.isRegistered(3));
    EXPECT_EQ(service.problem(3), QStringLiteral("Hyprland already binds Alt+Super+P (exec kitty)"));

    std::vector<quint32> fired;
    service.setOnHotKey([&](quint32 id) { fired.push_back(id); });
    ASSERT_TRUE(waitUntil([&] { return fake.listenerConnected(); }));
    fake.event("custom>>quillo-hotkey " + pid + " 1");
    fake.event("custom>>quillo-hotkey 1 2"); // another Quillo's
    fake.event("custom>>something else");
    ASSERT_TRUE(waitUntil([&] { return !fired.empty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, std::vector<quint32>{1});

    service.unregisterHotkey(1);
    const auto requests = fake.requests();
    EXPECT_NE(std::find(requests.begin(), requests.end(), "keyword unbind SUPER ALT,code:27"), requests.end());
}
