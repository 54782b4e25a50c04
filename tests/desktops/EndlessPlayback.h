#pragma once

// The user's path on a Wayland desktop: the real application runs with its input helper
// (here a stand-in that types through the compositor's test input), `quillo play --forever`
// replays a macro typing "a" endlessly into a native window, and the play chord, pressed
// as a keyboard would while the keys keep coming, stops it.
#include "Codec/MacroJsonEncoder.h"
#include "Services/AtomicFile.h"
#include "TestWait.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <functional>

namespace EndlessPlayback {

struct Result {
    int typedBeforeChord = 0;
    int typedAfterStop = 0; // keys the window got after the playback said it stopped
    qint64 chordToStopMs = -1;
    bool stopped = false;
    QString commandOutput;
};

// How many presses of "a" a window got, from wev's output.
inline int pressesOfA(const QByteArray& wevOutput)
{
    static const QRegularExpression press(QStringLiteral("state: 1 \\(pressed\\)\\s*\\n\\s*sym: a\\s"));
    return int(QString::fromLatin1(wevOutput).count(press));
}

// `inject`: how the stand-in types (gnome, kwin, sway); `typed`: how many "a" the native
// window has received; `pressChord`: presses Super+Alt+P and says when the last key went
// down (ms of the monotonic clock, or -1: just before it was called); `environment`: the
// session's; `prepare`: puts what the desktop needs into the data folder.
inline Result run(const QString& inject, QProcessEnvironment environment, const std::function<int()>& typed,
                  const std::function<qint64()>& pressChord,
                  const std::function<void(const QString& dataHome)>& prepare = {})
{
    Result result;
    QTemporaryDir home;
    const QString runtime = home.path() + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString socket = runtime + QStringLiteral("/inputd.sock");

    // A macro that types "a" every 150 ms.
    Macro macro = Macro::fromRecording(QStringLiteral("Type"),
                                       {MacroAction::keyDown(0.05, 0, 0), MacroAction::keyUp(0.1, 0, 0), MacroAction::delay(0.15, 0.05)},
                                       QDateTime::currentDateTimeUtc());
    QDir().mkpath(home.path() + QStringLiteral("/data/Quillo"));
    EXPECT_TRUE(AtomicFile::write(home.path() + QStringLiteral("/data/Quillo/macros.json"),
                                  MacroJsonEncoder::encodeLibrary({macro}).value())
                    .hasValue());
    if (prepare)
        prepare(home.path() + QStringLiteral("/data"));

    QProcess standIn;
    standIn.setProcessEnvironment(environment);
    standIn.start(QStringLiteral(QUILLO_TEST_INPUTD), {QStringLiteral("--socket"), socket, QStringLiteral("--inject"), inject});
    EXPECT_TRUE(standIn.waitForReadyRead(10000) && standIn.readLine().contains("ready")) << standIn.readAllStandardError().toStdString();

    environment.insert(QStringLiteral("QUILLO_PLATFORM"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QUILLO_INPUTD_SOCKET"), socket);
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.remove(QStringLiteral("DISPLAY"));
    QProcess app;
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::SeparateChannels);
    app.start(QStringLiteral(QUILLO_BINARY), {});
    QByteArray log;
    EXPECT_TRUE(waitUntil([&] {
        log += app.readAllStandardError();
        return log.contains("Quillo launched");
    }, 15000)) << "the application did not start:\n" << log.toStdString();

    QProcess play;
    play.setProcessEnvironment(environment);
    play.start(QStringLiteral(QUILLO_BINARY), {QStringLiteral("play"), QStringLiteral("Type"), QStringLiteral("--forever")});
    const bool typing = waitUntil([&] { return typed() >= 3; }, 15000);
    EXPECT_TRUE(typing) << "nothing was typed into the window:\n" << log.toStdString()
                        << QString::fromLocal8Bit(app.readAllStandardError()).toStdString();
    result.typedBeforeChord = typed();
    QElapsedTimer monotonic;
    monotonic.start();
    const QDateTime calledAt = QDateTime::currentDateTime();
    const qint64 down = pressChord();
    // The wall-clock moment of the press, for comparing with the log's.
    const QDateTime pressedAt = down < 0 ? calledAt : calledAt.addMSecs(down - monotonic.msecsSinceReference());
    result.stopped = waitUntil([&] { return play.state() == QProcess::NotRunning; }, 10000);
    result.commandOutput = QString::fromLocal8Bit(play.readAllStandardOutput() + play.readAllStandardError());
    const int atStop = typed();
    waitUntil([] { return false; }, 600);
    result.typedAfterStop = typed() - atStop;
    // "[HH:MM:SS.mmm] [INFO] Playback stopped" on the application's standard error.
    log += app.readAllStandardError();
    const auto line = QRegularExpression(QStringLiteral("\\[(\\d\\d:\\d\\d:\\d\\d\\.\\d{3})\\] \\[INFO\\] Playback stopped\\n"))
                          .match(QString::fromLocal8Bit(log));
    if (line.hasMatch()) {
        const QTime stoppedAt = QTime::fromString(line.captured(1), QStringLiteral("HH:mm:ss.zzz"));
        result.chordToStopMs = pressedAt.time().msecsTo(stoppedAt);
    }
    if (play.state() != QProcess::NotRunning)
        play.kill(), play.waitForFinished(3000);
    app.terminate();
    if (!app.waitForFinished(10000))
        app.kill(), app.waitForFinished(3000);
    standIn.kill();
    standIn.waitForFinished(3000);
    return result;
}

} // namespace EndlessPlayback
