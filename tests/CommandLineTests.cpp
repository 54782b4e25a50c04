#include "Services/ExportImportService.h"
#include "Platform/SystemClock.h"
#include "Platform/X11/X11InputTap.h"

#include <QElapsedTimer>
#include <QPoint>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/stat.h>

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
    // The same from the test's home folder, where relative paths point.
    Result runInHome(const QStringList& args)
    {
        QProcess process;
        process.setWorkingDirectory(home.path());
        start(process, args);
        return finish(process);
    }
    void writeInHome(const QString& name, const QByteArray& bytes)
    {
        QFile file(home.path() + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
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
                      QStringLiteral("--duration"), QStringLiteral("1.5"), QStringLiteral("--keyboard-only")});
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
    {
        QFile exported(file);
        ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
        const QByteArray text = exported.readAll();
        EXPECT_TRUE(text.contains("\"mouse\" : false")) << text.toStdString(); // how it was recorded
    }
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

TEST_F(CommandLineTest, WrongUseNamesTheRangeAndNamesFromFilesNeverReachTheTerminalRaw)
{
    const QString file = home.path() + QStringLiteral("/one.quillo");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(R"({"actions":[{"type":"keyDown","timestamp":0,"keyCode":0,"flags":0}],)"
                R"("id":"3F2504E0-4F89-41D3-9A0C-0305E82C3301","metadata":{"actionCount":1,)"
                R"("createdAt":"2026-01-01T00:00:00Z","durationSeconds":0,"modifiedAt":"2026-01-01T00:00:00Z",)"
                R"("name":"\u001b[31mRed\nLine\u202e","tags":[]},"version":1})");
    }
    for (const QStringList& args : {QStringList{"play", "--speed", "nan", file}, QStringList{"play", "--spacing", "inf", file},
                                    QStringList{"play", "--spacing", "nan", file}, QStringList{"play", "--speed", "inf", file},
                                    QStringList{"record", "--duration", "1e300"}, QStringList{"list", "extra"},
                                    QStringList{"record", "--keyboard-only", "--mouse-only"},
                                    QStringList{"record", "--thin-moves", "0"}, QStringList{"record", "--thin-moves", "2.5"},
                                    QStringList{"record", "--keyboard-only", "--thin-moves", "100"},
                                    QStringList{"cloud", "restore"}, QStringList{"cloud", "revisions", "a", "b"},
                                    QStringList{"cloud", "status", "--revision", "1"},
                                    QStringList{"cloud", "restore", "x", "--revision", "0"},
                                    QStringList{"import", "--replace"},
                                    QStringList{"doctor", "extra"}, QStringList{"export", "x", ""},
                                    QStringList{"import", file, "more"}}) {
        const Result r = run(args);
        EXPECT_EQ(r.code, 2) << args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
    EXPECT_TRUE(run({"play", "--speed", "nan", file}).err.contains(QStringLiteral("0.25 to 4")));

    Result r = run({QStringLiteral("import"), file});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("(1 action)"))) << r.out.toStdString();
    r = run({QStringLiteral("list")});
    EXPECT_FALSE(r.out.contains(QChar(0x1b)));
    EXPECT_FALSE(r.out.contains(QChar(0x202e)));
    EXPECT_TRUE(r.out.contains(QStringLiteral("\\x1B[31mRed\\nLine\\u202E"))) << r.out.toStdString();
    EXPECT_EQ(r.out.count(QLatin1Char('\n')), 2); // the heading and one macro a line

    // Export: to standard output with "-", never into a folder that does not exist.
    r = run({QStringLiteral("list")});
    const QString newId = r.out.split('\n').value(1).split(' ', Qt::SkipEmptyParts).last();
    r = run({QStringLiteral("export"), newId, QStringLiteral("-")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("{"))) << r.out.toStdString();
    r = run({QStringLiteral("export"), newId, home.path() + QStringLiteral("/no/such/folder/x.quillo")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("does not exist"))) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home.path() + QStringLiteral("/no")));

    // A FIFO is refused at once instead of blocking the import.
    const QString fifo = home.path() + QStringLiteral("/pipe.quillo");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    r = run({QStringLiteral("import"), fifo});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("not a regular file"))) << r.err.toStdString();

    // --help names the command.
    r = run({QStringLiteral("record"), QStringLiteral("--help")});
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Usage: quillo record"))) << r.out.toStdString();
}

TEST_F(CommandLineTest, RecordingWithoutADisplayFailsAndSaysWhy)
{
    QProcess process;
    QProcessEnvironment env = environment();
    env.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(QUILLO_BINARY), {QStringLiteral("record"), QStringLiteral("--duration"), QStringLiteral("1")});
    const Result r = finish(process);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("no X display"))) << r.err.toStdString();
}

TEST_F(CommandLineTest, ClosingTheTerminalSavesTheRecordingAndANameMeansTheLibrarysMacro)
{
    ASSERT_NE(desktop.display(), nullptr);
    desktop.activate(desktop.createWindow("QuilloCliHangUp"));
    QProcess recording;
    start(recording, {QStringLiteral("record"), QStringLiteral("--name"), QStringLiteral("notes.quillo")});
    X11TestDesktop::waitFor([] { return false; }, 600);
    desktop.tap(kA);
    desktop.sync();
    X11TestDesktop::waitFor([] { return false; }, 300);
    ::kill(pid_t(recording.processId()), SIGHUP); // the terminal closed
    Result r = finish(recording);
    EXPECT_EQ(r.code, 128 + SIGHUP) << r.err.toStdString(); // saved, and the exit says what ended it
    EXPECT_TRUE(r.out.contains(QStringLiteral("Saved \"notes.quillo\""))) << r.out.toStdString();
    // Ctrl-C: saved too, exit 130; standard output holds the command's own lines only.
    start(recording, {QStringLiteral("record"), QStringLiteral("--name"), QStringLiteral("Interrupted")});
    X11TestDesktop::waitFor([] { return false; }, 600);
    desktop.tap(kA);
    desktop.sync();
    X11TestDesktop::waitFor([] { return false; }, 300);
    ::kill(pid_t(recording.processId()), SIGINT);
    r = finish(recording);
    EXPECT_EQ(r.code, 130) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Saved \"Interrupted\""))) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("[INFO]"))) << r.out.toStdString();

    // A file of the same name in the current folder does not hide the library's macro.
    writeInHome(QStringLiteral("Round"), "not a macro");
    Result p = runInHome({QStringLiteral("play"), QStringLiteral("notes.quillo"), QStringLiteral("--speed"), QStringLiteral("4")});
    EXPECT_EQ(p.code, 1); // "notes.quillo" ends in .quillo: a path, and there is no such file
    p = runInHome({QStringLiteral("play"), QStringLiteral("Round")});
    EXPECT_EQ(p.code, 1);
    EXPECT_TRUE(p.err.contains(QStringLiteral("write ./Round"))) << p.err.toStdString();
}

TEST_F(CommandLineTest, APlaybackEndedByKillCtrlCOrItsChordLeavesNoKeyOrButtonDown)
{
    ASSERT_NE(desktop.display(), nullptr);
    desktop.activate(desktop.createWindow("QuilloGuardianTarget"));
    // Shift+A and a Shift-click held for ten seconds.
    Macro macro = Macro::fromRecording(QStringLiteral("Held"),
                                       {MacroAction::keyDown(0.05, 0, ModifierFlags::shift),
                                        MacroAction::mouseDown(0.1, 300, 300, MouseButton::left, ModifierFlags::shift),
                                        MacroAction::mouseUp(10.0, 300, 300, MouseButton::left, ModifierFlags::shift),
                                        MacroAction::keyUp(10.0, 0, ModifierFlags::shift)},
                                       QDateTime::currentDateTimeUtc());
    const QString file = home.path() + QStringLiteral("/held.quillo");
    ASSERT_TRUE(ExportImportService::exportMacroTo(macro, file));
    Display* x = desktop.display();
    auto keysDown = [x] {
        char keys[32];
        XQueryKeymap(x, keys);
        int down = 0;
        for (char byte : keys)
            down += __builtin_popcount(static_cast<unsigned char>(byte));
        return down;
    };
    auto buttonsDown = [x] {
        Window root, child;
        int rx, ry, wx, wy;
        unsigned mask = 0;
        XQueryPointer(x, DefaultRootWindow(x), &root, &child, &rx, &ry, &wx, &wy, &mask);
        return mask & (Button1Mask | Button2Mask | Button3Mask);
    };
    QProcess player;
    start(player, {QStringLiteral("play"), file});
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return keysDown() >= 2 && buttonsDown() != 0; }, 5000))
        << "the playback did not hold Shift+A and the button: " << player.readAllStandardOutput().toStdString()
        << player.readAllStandardError().toStdString() << " keys " << keysDown() << " buttons " << buttonsDown();
    ::kill(pid_t(player.processId()), SIGKILL);
    QElapsedTimer released;
    released.start();
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return keysDown() == 0 && buttonsDown() == 0; }, 2000))
        << "keys or buttons stayed down after kill -9";
    EXPECT_LT(released.elapsed(), 1000); // promptly, with room for a busy machine
    player.waitForFinished(1000);

    // Ctrl-C lets go of everything, then exits 130; the play chord is a normal end (0).
    auto holdThenStop = [&](const std::function<void(QProcess&)>& stop) {
        QProcess again;
        start(again, {QStringLiteral("play"), file});
        EXPECT_TRUE(X11TestDesktop::waitFor([&] { return keysDown() >= 2 && buttonsDown() != 0; }, 5000));
        stop(again);
        Result r = finish(again);
        EXPECT_EQ(keysDown(), 0);
        EXPECT_EQ(buttonsDown(), 0u);
        EXPECT_TRUE(r.out.endsWith(QStringLiteral("Stopped.\n"))) << r.out.toStdString() << r.err.toStdString();
        return r.code;
    };
    EXPECT_EQ(holdThenStop([](QProcess& p) { ::kill(pid_t(p.processId()), SIGINT); }), 130);
    constexpr unsigned keyP = 33; // Super+Alt+P, with the macro's Shift down
    EXPECT_EQ(holdThenStop([&](QProcess&) { desktop.superAltChord(keyP); }), 0);
}

TEST_F(CommandLineTest, AMacroFromAnotherScreenLayoutIsSaidAndItsPositionsMappedWhenAsked)
{
    ASSERT_NE(desktop.display(), nullptr);
    // Recorded on one 1920×1080 monitor; the test display is 1280×800.
    Macro macro = Macro::fromRecording(QStringLiteral("Big screen"), {MacroAction::mouseMove(0.05, 1440, 810)},
                                       QDateTime::currentDateTimeUtc());
    macro.metadata.outputs = {ScreenOutput{QStringLiteral("BIG-1"), 0, 0, 1920, 1080, 1}};
    const QString file = home.path() + QStringLiteral("/big.quillo");
    ASSERT_TRUE(ExportImportService::exportMacroTo(macro, file));
    Display* x = desktop.display();
    auto pointer = [x] {
        Window root, child;
        int rx = 0, ry = 0, wx, wy;
        unsigned mask = 0;
        XQueryPointer(x, DefaultRootWindow(x), &root, &child, &rx, &ry, &wx, &wy, &mask);
        return QPoint(rx, ry);
    };
    Result r = run({QStringLiteral("play"), file});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("Recorded on another screen layout (BIG-1 1920\u00d71080 at 0,0; here")))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("--map-outputs")));
    EXPECT_EQ(pointer(), QPoint(1279, 799)); // as recorded: beyond this screen's edge

    r = run({QStringLiteral("play"), file, QStringLiteral("--map-outputs")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("positions are placed on this one"))) << r.out.toStdString();
    EXPECT_EQ(pointer(), QPoint(960, 600)); // the same place on this screen
}

TEST_F(CommandLineTest, AWaylandDesktopWithoutALayoutIsSaidToReplayNoPositions)
{
    const Macro macro = Macro::fromRecording(QStringLiteral("Click"), {MacroAction::mouseDown(0.05, 10, 10, MouseButton::left)},
                                             QDateTime::currentDateTimeUtc());
    const QString file = home.path() + QStringLiteral("/click.quillo");
    ASSERT_TRUE(ExportImportService::exportMacroTo(macro, file));
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("QUILLO_PLATFORM"), QStringLiteral("wayland"));
    env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("Weston"));
    env.insert(QStringLiteral("QUILLO_INPUTD_SOCKET"), home.path() + QStringLiteral("/no-helper"));
    auto runThere = [&](const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUILLO_BINARY), args);
        return finish(process);
    };
    Result r = runThere({QStringLiteral("play"), file});
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("This desktop does not say how its screens are laid out, so positions "
                                                "are not replayed")))
        << r.out.toStdString();
    EXPECT_EQ(r.code, 1) << "played without the input helper";
    r = runThere({QStringLiteral("doctor")});
    EXPECT_TRUE(r.out.contains(QStringLiteral("PROBLEM  positions: Weston gives no screen layout: positions are not "
                                              "replayed")))
        << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("estimated"))) << r.out.toStdString();
}

TEST_F(CommandLineTest, VersionStandardInputAndLogLinesOnlyOnRequest)
{
    Result r = run({QStringLiteral("--version")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("quillo "))) << r.out.toStdString();
    EXPECT_EQ(run({QStringLiteral("-V")}).out, r.out);

    // import - reads the file from standard input.
    const QByteArray file = R"({"actions":[{"type":"keyDown","timestamp":0,"keyCode":0,"flags":0}],)"
                            R"("id":"3F2504E0-4F89-41D3-9A0C-0305E82C3301","metadata":{"actionCount":1,)"
                            R"("createdAt":"2026-01-01T00:00:00Z","durationSeconds":0,"modifiedAt":"2026-01-01T00:00:00Z",)"
                            R"("name":"Piped","tags":[]},"version":1})";
    auto piped = [&](const QStringList& args, const QByteArray& input) {
        QProcess process;
        start(process, args);
        process.write(input);
        process.closeWriteChannel();
        return finish(process);
    };
    r = piped({QStringLiteral("import"), QStringLiteral("-")}, file);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Imported \"Piped\""))) << r.out.toStdString();
    EXPECT_EQ(piped({QStringLiteral("import"), QStringLiteral("-")}, "not json").code, 1);

    // Messages that read right.
    writeInHome(QStringLiteral("notes.quillo"), "hello");
    r = runInHome({QStringLiteral("play"), QStringLiteral("./notes.quillo")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("quillo: ./notes.quillo is not a macro file: "))) << r.err.toStdString();
    r = run({QStringLiteral("play"), QStringLiteral("--loops"), QStringLiteral("1000001"), QStringLiteral("Piped")});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("between 1 and 1000000"))) << r.err.toStdString();
    // Paths as they were given, and "folder" for a folder.
    auto there = [&](const QStringList& args) { return runInHome(args).err; };
    EXPECT_EQ(there({QStringLiteral("export"), QStringLiteral("Piped"), QStringLiteral("./out/x.quillo")}),
              QStringLiteral("quillo: Could not write ./out/x.quillo: the folder ./out does not exist\n"));
    EXPECT_EQ(there({QStringLiteral("export"), QStringLiteral("Piped"), QStringLiteral(".")}),
              QStringLiteral("quillo: Could not write .: it is a folder\n"));
    EXPECT_EQ(there({QStringLiteral("import"), QStringLiteral("gone.quillo")}),
              QStringLiteral("quillo: Could not read gone.quillo: there is no such file or folder\n"));

    r = run({QStringLiteral("cloud"), QStringLiteral("status")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith(QStringLiteral("Not signed in to Quillo Cloud"))) << r.out.toStdString();

    // A platform Quillo does not know is refused, naming the ones it does.
    QProcess forced;
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("QUILLO_PLATFORM"), QStringLiteral("mir"));
    forced.setProcessEnvironment(env);
    forced.start(QStringLiteral(QUILLO_BINARY), {QStringLiteral("doctor")});
    r = finish(forced);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains(QStringLiteral("it takes x11 or wayland"))) << r.err.toStdString();

    // Log lines reach standard error with --verbose only, and standard output never.
    ASSERT_NE(desktop.display(), nullptr);
    r = run({QStringLiteral("record"), QStringLiteral("--duration"), QStringLiteral("0.3")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(QStringLiteral("[INFO]"))) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("[INFO]"))) << r.out.toStdString();
    r = run({QStringLiteral("record"), QStringLiteral("--duration"), QStringLiteral("0.3"), QStringLiteral("--verbose")});
    EXPECT_TRUE(r.err.contains(QStringLiteral("[INFO] Recording started"))) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("[INFO]"))) << r.out.toStdString();
}

TEST_F(CommandLineTest, DoctorNamesEachFaultWithItsFixAndKnowsQuillosOwnHotkeysHoweverTheDisplayIsWritten)
{
    auto doctorWith = [&](const std::function<void(QProcessEnvironment&)>& change) {
        QProcessEnvironment env = environment();
        env.remove(QStringLiteral("QUILLO_PLATFORM"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        change(env);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(QUILLO_BINARY), {QStringLiteral("doctor")});
        return finish(process);
    };
    Result r = doctorWith([](QProcessEnvironment& env) { env.remove(QStringLiteral("DISPLAY")); });
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains(QStringLiteral("PROBLEM  display: no X display (DISPLAY is not set): start Quillo inside "
                                              "your desktop session\n")))
        << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("XTEST"))) << "consequences of the missing display are not faults of their own";
    r = doctorWith([](QProcessEnvironment& env) { env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":79")); });
    EXPECT_TRUE(r.out.contains(QStringLiteral("PROBLEM  display: the X display :79 does not answer: start Quillo inside "
                                              "your desktop session")))
        << r.out.toStdString();

    // This display, written another way by the Quillo that holds the chords.
    ASSERT_NE(desktop.display(), nullptr);
    const QString here = QString::fromLocal8Bit(qgetenv("DISPLAY"));
    ASSERT_TRUE(here.startsWith(QLatin1Char(':'))) << "a local test display";
    const QString otherwise = here + QStringLiteral(".0");
    const Macro macro = Macro::fromRecording(QStringLiteral("Long"), {MacroAction::keyDown(0.05, 0, 0),
                                                                      MacroAction::keyUp(20, 0, 0)},
                                             QDateTime::currentDateTimeUtc());
    const QString file = home.path() + QStringLiteral("/long.quillo");
    ASSERT_TRUE(ExportImportService::exportMacroTo(macro, file));
    QProcess player;
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("DISPLAY"), otherwise);
    player.setProcessEnvironment(env);
    player.start(QStringLiteral(QUILLO_BINARY), {QStringLiteral("play"), file});
    ASSERT_TRUE(X11TestDesktop::waitFor([&] { return player.readAllStandardOutput().contains("Playing"); }, 10000));
    r = doctorWith([](QProcessEnvironment&) {});
    EXPECT_TRUE(r.out.contains(QStringLiteral("ok       screen: read from the X server, through shared memory (clicks keep "
                                              "what the screen showed; replays wait for it)\n")))
        << r.out.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("ok       hotkey Alt\\+Super\\+P: held by Quillo itself \\(process \\d+: "
                                                  "quillo play .*long\\.quillo\\)"))
                    .match(r.out)
                    .hasMatch())
        << r.code << r.out.toStdString() << r.err.toStdString();
    ::kill(pid_t(player.processId()), SIGINT);
    EXPECT_TRUE(X11TestDesktop::waitFor([&] { return player.state() == QProcess::NotRunning; }, 10000));

    // The application itself, started on ":N.0", is the one `quillo` on ":N" talks to.
    QProcess app;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(QUILLO_BINARY), {});
    ASSERT_TRUE(app.waitForStarted());
    EXPECT_TRUE(X11TestDesktop::waitFor([&] {
        r = doctorWith([](QProcessEnvironment&) {});
        return r.out.count(QStringLiteral("held by Quillo itself (the application is running")) == 3;
    }, 15000)) << r.out.toStdString() << app.readAllStandardError().toStdString();
    app.terminate();
    EXPECT_TRUE(app.waitForFinished(20000));
}
