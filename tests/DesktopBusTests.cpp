// The GNOME and KDE providers against a stand-in for the Shell extension and KWin's
// scripting on the session bus (tests/FakeDesktopBus.cpp, run as its own process), and
// the screen through a stand-in for the desktop portal's Screenshot.
#include "Platform/Wayland/GnomeProvider.h"
#include "Platform/Wayland/KWinProvider.h"
#include "Platform/Wayland/PortalScreenCapture.h"
#include <QDBusMessage>
#include <QDir>
#include "TestWait.h"

#include <QDBusConnection>
#include <QProcess>
#include <gtest/gtest.h>
#include <thread>

namespace {

struct FakeBus : ::testing::Test {
    QProcess fake;
    void SetUp() override
    {
        ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "needs the session bus scripts/test.sh starts";
        fake.start(QStringLiteral(QUILLO_FAKE_DESKTOP_BUS), {});
        ASSERT_TRUE(fake.waitForReadyRead(5000));
        ASSERT_TRUE(fake.readLine().startsWith("ready"));
    }
    void TearDown() override
    {
        fake.kill();
        fake.waitForFinished();
    }
};

} // namespace

TEST_F(FakeBus, GnomeShellExtension)
{
    GnomeProvider provider;
    QString problem;
    ASSERT_TRUE(provider.start(&problem)) << problem.toStdString();
    EXPECT_EQ(provider.frontmostApplication(), (RunningApplication{QStringLiteral("org.gnome.TextEditor"), QStringLiteral("Text Editor")}));
    double x = 0, y = 0;
    bool answered = false;
    std::thread tap([&] { answered = provider.pointerPosition(x, y); });
    tap.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(QPointF(x, y), QPointF(640, 360));
    EXPECT_EQ(provider.outputs().size(), 2u);
    EXPECT_EQ(provider.outputs()[1].geometry, QRectF(1920, -200, 1280, 1024));

    QList<RunningApplication> seen;
    QObject::connect(&provider, &DesktopProvider::applicationActivated, [&](const RunningApplication& a) { seen.append(a); });
    EXPECT_FALSE(provider.activate(QStringLiteral("org.gnome.Nothing")));
    EXPECT_TRUE(provider.activate(QStringLiteral("org.gnome.Calculator")));
    ASSERT_TRUE(waitUntil([&] { return !seen.isEmpty(); }));
    EXPECT_EQ(seen.first(), (RunningApplication{QStringLiteral("org.gnome.Calculator"), QStringLiteral("Calculator")}));

    // Without the extension it says how to enable it.
    fake.kill();
    fake.waitForFinished();
    GnomeProvider absent;
    EXPECT_FALSE(absent.start(&problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("gnome-extensions enable quillo@quillo.app"))) << problem.toStdString();
}

TEST_F(FakeBus, KWinScriptPushesFocusCursorAndScreens)
{
    KWinProvider provider(QStringLiteral(QUILLO_KWIN_SCRIPT));
    QList<RunningApplication> seen;
    QObject::connect(&provider, &DesktopProvider::applicationActivated, [&](const RunningApplication& a) { seen.append(a); });
    QString problem;
    ASSERT_TRUE(provider.start(&problem)) << problem.toStdString();
    ASSERT_TRUE(waitUntil([&] { return !seen.isEmpty() && !provider.outputs().empty(); }));
    EXPECT_EQ(provider.frontmostApplication()->id, QStringLiteral("org.kde.kate"));
    double x = 0, y = 0;
    ASSERT_TRUE(waitUntil([&] { return provider.pointerPosition(x, y); }));
    EXPECT_EQ(QPointF(x, y), QPointF(100, 200));
    EXPECT_EQ(provider.outputs(), (std::vector<Output>{{QStringLiteral("DP-1"), QRectF(0, 0, 2560, 1440), 1.25}}));

    // Activation runs a one-off script naming the window (the id written safely).
    EXPECT_TRUE(provider.activate(QStringLiteral("org.kde.dolphin")));
    ASSERT_TRUE(waitUntil([&] { return seen.last().id == QLatin1String("org.kde.dolphin"); }));
    EXPECT_TRUE(provider.activate(QStringLiteral("evil\"; workspace.quit(); \"")));
    const QString log = QString::fromLocal8Bit(fake.readAllStandardOutput());
    EXPECT_TRUE(log.contains(QStringLiteral("loaded quillo-bridge")));
    EXPECT_TRUE(log.contains(QStringLiteral("unloaded quillo-activate-1")));
}

TEST_F(FakeBus, ThePortalsScreenshotIsCutToTheAreaItsFileRemovedAndARefusalSaid)
{
    const QString service = QStringLiteral("app.quillo.test.Portal");
    ASSERT_TRUE(PortalScreenCapture::available(QDBusConnection::sessionBus(), service));
    EXPECT_FALSE(PortalScreenCapture::available(QDBusConnection::sessionBus(), QStringLiteral("app.quillo.test.NoPortal")));
    PortalScreenCapture screen(QDBusConnection::sessionBus(), service);
    EXPECT_TRUE(screen.asksTheUser());
    // An area across the middle and past the screen's right edge.
    const auto part = screen.capture(QRectF(28, 10, 40, 8));
    ASSERT_TRUE(part.hasValue()) << part.error().description().toStdString();
    const ScreenImage& image = part.value();
    ASSERT_EQ(image.width, 40);
    ASSERT_EQ(image.height, 8);
    auto rgb = [&](int x, int y) {
        const std::uint8_t* p = &image.pixels[(std::size_t(y) * image.width + x) * 4];
        return unsigned(p[2]) << 16 | unsigned(p[1]) << 8 | p[0];
    };
    EXPECT_EQ(rgb(0, 0), 0xc03020u);  // x 28: red
    EXPECT_EQ(rgb(4, 0), 0x20a040u);  // x 32: green
    EXPECT_EQ(rgb(39, 7), 0u);        // x 67: off the screen
    // Asked without a dialog, and the portal's file does not stay.
    QDBusMessage asked = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/portal/desktop"),
                                                        QStringLiteral("org.freedesktop.portal.Screenshot"),
                                                        QStringLiteral("WasInteractive"));
    EXPECT_FALSE(QDBusConnection::sessionBus().call(asked).arguments().value(0).toBool());
    EXPECT_TRUE(QDir::temp().entryList({QStringLiteral("quillo-fake-portal-*.png")}).isEmpty());

    // The user said no: said as a refusal.
    QDBusMessage refuse = QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/portal/desktop"),
                                                         QStringLiteral("org.freedesktop.portal.Screenshot"),
                                                         QStringLiteral("SetAnswer"));
    refuse << 1u;
    QDBusConnection::sessionBus().call(refuse);
    const auto refused = screen.captureScreen();
    ASSERT_FALSE(refused.hasValue());
    EXPECT_EQ(refused.error().kind, CaptureError::Kind::refused);
    EXPECT_TRUE(refused.error().description().contains(QStringLiteral("not allowed")));
}
