#include "Services/LogService.h"

#include <QCoreApplication>
#include <QTemporaryFile>
#include <QThread>
#include <cstdio>
#include <unistd.h>
#include <gtest/gtest.h>

namespace {

class LogServiceTest : public ::testing::Test
{
protected:
    void SetUp() override { log()->setEntries({}); }
    static LogService* log() { return LogService::shared(); }
};

} // namespace

TEST_F(LogServiceTest, KeepsTheNewestThousandInOrder)
{
    for (int i = 1; i <= 1001; ++i)
        log()->log(QString::number(i), LogEntry::Level::debug);
    ASSERT_EQ(log()->entries().size(), 1000);
    EXPECT_EQ(log()->entries().front().message, QStringLiteral("2"));
    EXPECT_EQ(log()->entries().back().message, QStringLiteral("1001"));

    log()->setEntries({});
    log()->log(QStringLiteral("after clear"), LogEntry::Level::info);
    EXPECT_EQ(log()->entries().size(), 1);
}

TEST_F(LogServiceTest, AppLogAppendsOnTheMainThreadInCallOrderFromAnyThread)
{
    appLog(QStringLiteral("first"));
    appLog(QStringLiteral("second"), LogEntry::Level::error);
    EXPECT_TRUE(log()->entries().isEmpty()); // the caller never waits for the append

    QThread* worker = QThread::create([] {
        for (int i = 0; i < 100; ++i)
            appLog(QStringLiteral("worker %1").arg(i), LogEntry::Level::debug);
    });
    worker->start();
    worker->wait();
    delete worker;
    QCoreApplication::sendPostedEvents();

    const auto& entries = log()->entries();
    ASSERT_EQ(entries.size(), 102);
    EXPECT_EQ(entries[0].message, QStringLiteral("first"));
    EXPECT_EQ(entries[1].level, LogEntry::Level::error);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(entries[2 + i].message, QStringLiteral("worker %1").arg(i));
    EXPECT_NE(entries[0].id, entries[1].id);
    EXPECT_LE(entries[0].timestamp, entries[1].timestamp);
}

TEST_F(LogServiceTest, TextFormHasLocalTimeLevelAndTheMessageUnchanged)
{
    const QDateTime at = QDateTime(QDate(2026, 12, 8), QTime(14, 3, 7, 215)); // local time
    const QList<LogEntry> entries = {
        {QUuid::createUuid(), at.toUTC(), LogEntry::Level::warn, QString()},
        {QUuid::createUuid(), at, LogEntry::Level::info, QStringLiteral("two\nlines")},
    };
    EXPECT_EQ(entries[0].text(), QStringLiteral("[14:03:07.215] [WARN] "));
    EXPECT_EQ(LogService::text(entries),
              QStringLiteral("[14:03:07.215] [WARN] \n[14:03:07.215] [INFO] two\nlines"));
    EXPECT_EQ(LogService::text({}), QString());
}

TEST_F(LogServiceTest, TheTerminalLineCannotCarryEscapeSequencesButTheEntryKeepsTheText)
{
    QTemporaryFile captured;
    ASSERT_TRUE(captured.open());
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(captured.handle(), STDERR_FILENO);
    const QString hostile = QStringLiteral("Restored \"\x1b[31mRed\u202e\nx\u0085\"");
    log()->log(hostile, LogEntry::Level::info);
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    captured.seek(0);
    const QString line = QString::fromLocal8Bit(captured.readAll());
    EXPECT_TRUE(line.endsWith(QStringLiteral("Restored \"\\x1b[31mRed\\u202e x\\x85\"\n"))) << line.toStdString();
    EXPECT_EQ(log()->entries().back().message, hostile);
}
