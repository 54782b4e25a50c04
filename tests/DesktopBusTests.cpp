// The GNOME and KDE providers against a stand-in for the Shell extension and KWin's
// scripting on the session bus (tests/FakeDesktopBus.cpp, run as its own process).
#include "Platform/Wayland/GnomeProvider.h"
#include "Platform/Wayland/KWinProvider.h"
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
