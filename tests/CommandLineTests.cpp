#include "Platform/SystemClock.h"
#include "Platform/X11/X11InputTap.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Last: Xlib's macros (None, Bool, ...) would break the headers above.
#include "X11TestDesktop.h"

namespace {

class CommandLineTest : public ::testing::Test
{
protected:
    struct Result {
        int code = -1;
        QString out, err;
    };

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
        return env;
    }

    void start(QProcess& process, const QStringList& args)
    {
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral(QUILLO_BINARY), args);
        ASSERT_TRUE(process.waitForStarted());
    }

    Result finish(QProcess& process)
    {
        X11TestDesktop::waitFor([&] { return process.state() == QProcess::NotRunning; }, 20000);
        return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }

    Result run(const QStringList& args)
    {
        QProcess process;
        start(process, args);
        return finish(process);
    }

    QTemporaryDir home;
    X11TestDesktop desktop;
};

constexpr unsigned kA = 38, kS = 39;

} // namespace

TEST_F(CommandLineTest, RecordListExportImportAndPlayRoundTrip)
{
    ASSERT_NE(desktop.display(), nullptr);
    desktop.activate(desktop.createWindow("QuilloCliTarget"));

    QProcess recording;
    start(recording, {QStringLiteral("record"), QStringLiteral("--name"), QStringLiteral("Round trip"),
                      QStringLiteral("--duration"), QStringLiteral("1.5")});
    X11TestDesktop::waitFor([] { return false; }, 600); // let it start recording
    desktop.tap(kA);
    desktop.tap(kS);
    desktop.tap(kA);
    desktop.sync();
    Result r = finish(recording);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Saved \"Round trip\" (7 actions"))) << r.out.toStdString();

    r = run({QStringLiteral("list")});
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("Round trip"))) << r.out.toStdString();

    const QString file = home.path() + QStringLiteral("/round.quillo");
    r = run({QStringLiteral("export"), QStringLiteral("Round trip"), file});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = run({QStringLiteral("import"), file});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = run({QStringLiteral("list")});
    EXPECT_EQ(r.out.count(QStringLiteral("Round trip")), 2);
    r = run({QStringLiteral("play"), QStringLiteral("Round trip")});
    EXPECT_EQ(r.code, 1); // two macros of that name now
    EXPECT_TRUE(r.err.contains(QStringLiteral("use the id instead")));

    // Replaying the file types the same keys again.
    X11InputTap tap(SystemClock::instance());
    std::vector<RawInputEvent> seen;
    std::mutex mutex;
    QString error;
    ASSERT_TRUE(tap.start([&](const RawInputEvent& e) {
        std::lock_guard lock(mutex);
        if (e.type == RawEventType::keyDown || e.type == RawEventType::keyUp)
            seen.push_back(e);
    }, &error));
    r = run({QStringLiteral("play"), file, QStringLiteral("--speed"), QStringLiteral("4")});
    desktop.sync();
    tap.stop();
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Done.")));
    ASSERT_EQ(seen.size(), 6u);
    const std::uint16_t expected[] = {0, 0, 1, 1, 0, 0}; // A, S, A
    for (std::size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(seen[i].keyCode, expected[i]) << i;

    EXPECT_EQ(run({QStringLiteral("play"), QStringLiteral("--loops"), QStringLiteral("0"), file}).code, 2);
    EXPECT_EQ(run({QStringLiteral("frobnicate")}).code, 2);
    EXPECT_EQ(run({QStringLiteral("import"), home.path() + QStringLiteral("/missing.quillo")}).code, 1);
}
