#include "Platform/X11/X11Errors.h"
#include "Services/StorageService.h"

#include <QDateTime>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>

// Last: Xlib's macros (None, Bool, ...) would break the headers above.
#include "X11TestDesktop.h"

namespace {

constexpr unsigned kR = 27, kP = 33, kA = 38, kReturn = 36;

// A viewable window with this exact title, or 0.
Window shownWindow(Display* display, const char* title)
{
    std::function<Window(Window)> search = [&](Window w) -> Window {
        char* name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(display, w, &name) && name) {
            const bool match = std::strcmp(name, title) == 0;
            XFree(name);
            if (match && XGetWindowAttributes(display, w, &attributes) && attributes.map_state == IsViewable)
                return w;
        }
        Window r, p, *kids = nullptr;
        unsigned n = 0;
        Window hit = 0;
        if (XQueryTree(display, w, &r, &p, &kids, &n)) {
            for (unsigned i = 0; i < n && !hit; ++i)
                hit = search(kids[i]);
            if (kids)
                XFree(kids);
        }
        return hit;
    };
    return search(DefaultRootWindow(display));
}

// Where a window is on the screen, as the X server has it.
std::pair<int, int> placeOf(Display* display, Window w)
{
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, w, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return {x, y};
}

bool windowShown(Display* display, const char* title)
{
    return shownWindow(display, title) != 0;
}

// What the window manager and the windows of this title look like, for a failure.
std::string describeWindows(Display* display, const char* title)
{
    std::string text;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, AnyPropertyType, &type, &format,
                           &count, &left, &data) == Success && data) {
        text += "window manager check window " + std::to_string(*reinterpret_cast<unsigned long*>(data)) + "\n";
        XFree(data);
    } else {
        text += "no window manager\n";
    }
    std::function<void(Window)> walk = [&](Window w) {
        char* name = nullptr;
        if (XFetchName(display, w, &name) && name) {
            if (std::strcmp(name, title) == 0) {
                XWindowAttributes a;
                XGetWindowAttributes(display, w, &a);
                text += "window " + std::to_string(w) + " map state " + std::to_string(a.map_state) + " at " +
                        std::to_string(a.x) + "," + std::to_string(a.y) + "\n";
            }
            XFree(name);
        }
        Window r, p, *kids = nullptr;
        unsigned n = 0;
        if (XQueryTree(display, w, &r, &p, &kids, &n)) {
            for (unsigned i = 0; i < n; ++i)
                walk(kids[i]);
            if (kids)
                XFree(kids);
        }
    };
    walk(DefaultRootWindow(display));
    return text;
}

// How many viewable windows have this exact title.
int shownWindowCount(Display* display, const char* title)
{
    int count = 0;
    std::function<void(Window)> search = [&](Window w) {
        char* name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(display, w, &name) && name) {
            if (std::strcmp(name, title) == 0 && XGetWindowAttributes(display, w, &attributes) &&
                attributes.map_state == IsViewable)
                ++count;
            XFree(name);
        }
        Window r, p, *kids = nullptr;
        unsigned n = 0;
        if (XQueryTree(display, w, &r, &p, &kids, &n)) {
            for (unsigned i = 0; i < n; ++i)
                search(kids[i]);
            if (kids)
                XFree(kids);
        }
    };
    search(DefaultRootWindow(display));
    return count;
}

// Asks a window to close, as its title bar's close button does.
void closeWindow(Display* display, Window w)
{
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, w, False, NoEventMask, &e);
    XSync(display, False);
}

// The real application on a test display, with its files in a folder of its own;
// never left behind, whatever fails.
class AppLaunchFixture : public ::testing::Test
{
protected:
    // `displayName`: empty for $DISPLAY.
    explicit AppLaunchFixture(QByteArray displayName = {})
        : displayName(std::move(displayName)), desktop(this->displayName.isEmpty() ? nullptr : this->displayName.constData())
    {
    }
    void SetUp() override
    {
        X11Errors::install(); // windows of the application come and go while the test looks
        ASSERT_NE(desktop.display(), nullptr) << "no display " << displayName.toStdString();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        if (!displayName.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), QString::fromLocal8Bit(displayName));
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(QUILLO_BINARY), {});
        ASSERT_TRUE(app.waitForStarted());
        ASSERT_TRUE(waitUntil([&] { return windowShown(desktop.display(), "Quillo"); }, 10000));
    }
    void TearDown() override
    {
        if (app.state() != QProcess::NotRunning) {
            app.kill();
            app.waitForFinished(5000);
        }
        if (HasFailure())
            std::fprintf(stderr, "The application's log:\n%s\n", app.readAllStandardError().constData());
    }

    QByteArray displayName;
    X11TestDesktop desktop;
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QProcess app;
};

class AppLaunchTest : public AppLaunchFixture
{
};

// The same on a desktop with a system tray ($DISPLAY) and on one without (the test
// script's second display), as on GNOME.
class AppLaunchOnDesktops : public AppLaunchFixture, public ::testing::WithParamInterface<bool>
{
protected:
    AppLaunchOnDesktops() : AppLaunchFixture(GetParam() ? QByteArray() : qgetenv("QUILLO_TEST_DISPLAY_WITHOUT_TRAY")) {}
    void SetUp() override
    {
        ASSERT_TRUE(GetParam() || !displayName.isEmpty())
            << "QUILLO_TEST_DISPLAY_WITHOUT_TRAY names no display: run the tests through scripts/test.sh";
        AppLaunchFixture::SetUp();
    }
    bool hasTray() const { return GetParam(); }
};

// A display where nothing manages the windows (no window manager, or one that ignores
// requests to minimise): the test script's third display.
class AppLaunchWithoutWindowManager : public AppLaunchFixture
{
protected:
    AppLaunchWithoutWindowManager() : AppLaunchFixture(qgetenv("QUILLO_TEST_DISPLAY_WITHOUT_WM")) {}
    void SetUp() override
    {
        ASSERT_FALSE(displayName.isEmpty())
            << "QUILLO_TEST_DISPLAY_WITHOUT_WM names no display: run the tests through scripts/test.sh";
        AppLaunchFixture::SetUp();
    }
};

// The top-level windows, from the top of the stack down.
std::vector<Window> stackedFromTheTop(Display* display)
{
    Window root = 0, parent = 0, *kids = nullptr;
    unsigned count = 0;
    std::vector<Window> order;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &kids, &count)) {
        for (unsigned i = count; i-- > 0;)
            order.push_back(kids[i]);
        if (kids)
            XFree(kids);
    }
    return order;
}

} // namespace

TEST_F(AppLaunchWithoutWindowManager, TheWindowStillStepsAsideForARecordingAndItsSheetComesBackOnTop)
{
    desktop.superAltChord(kR);
    ASSERT_TRUE(waitUntil([&] { return !windowShown(desktop.display(), "Quillo"); }, 5000))
        << "the window stayed in front of the recording: " << describeWindows(desktop.display(), "Quillo");
    waitUntil([] { return false; }, 300);
    desktop.tap(kA);
    desktop.sync();
    waitUntil([] { return false; }, 400);
    desktop.superAltChord(kR);
    ASSERT_TRUE(waitUntil([&] {
        return windowShown(desktop.display(), "Quillo") && windowShown(desktop.display(), "Save Recording");
    }, 5000));
    desktop.sync();
    waitUntil([] { return false; }, 300);
    const std::vector<Window> stack = stackedFromTheTop(desktop.display());
    const auto sheet = std::find(stack.begin(), stack.end(), shownWindow(desktop.display(), "Save Recording"));
    const auto window = std::find(stack.begin(), stack.end(), shownWindow(desktop.display(), "Quillo"));
    EXPECT_LT(sheet, window) << "the save sheet came back under its window";
    app.kill();
    app.waitForFinished(5000);
    const QByteArray log = app.readAllStandardError();
    EXPECT_TRUE(log.contains("The window manager did not minimise the window")) << log.toStdString();
}

TEST_P(AppLaunchOnDesktops, RecordsThroughHotkeysSavesAndASecondLaunchShowsTheWindow)
{
    // Somewhere the window manager put it, or the user moved it.
    XMoveWindow(desktop.display(), shownWindow(desktop.display(), "Quillo"), 310, 170);
    desktop.sync();
    waitUntil([] { return false; }, 300);
    const auto place = placeOf(desktop.display(), shownWindow(desktop.display(), "Quillo"));
    desktop.superAltChord(kR); // start recording: the window steps aside
    ASSERT_TRUE(waitUntil([&] { return !windowShown(desktop.display(), "Quillo"); }, 5000))
        << describeWindows(desktop.display(), "Quillo");
    waitUntil([] { return false; }, 300);
    desktop.tap(kA);
    desktop.tap(kA);
    desktop.sync();
    waitUntil([] { return false; }, 400); // past the hotkey's debounce
    desktop.superAltChord(kR); // stop: the window returns with the save sheet
    ASSERT_TRUE(waitUntil([&] { return windowShown(desktop.display(), "Save Recording"); }, 5000));
    waitUntil([] { return false; }, 400);
    // Another recording with the sheet open: window and sheet step aside, and the
    // waiting recording is kept.
    desktop.superAltChord(kR);
    ASSERT_TRUE(waitUntil([&] {
        return !windowShown(desktop.display(), "Quillo") && !windowShown(desktop.display(), "Save Recording");
    }, 5000)) << "the window stayed in front of a recording";
    waitUntil([] { return false; }, 300);
    desktop.tap(kA);
    desktop.tap(kA);
    desktop.sync();
    waitUntil([] { return false; }, 400);
    desktop.superAltChord(kR);
    ASSERT_TRUE(waitUntil([&] { return windowShown(desktop.display(), "Save Recording"); }, 5000));
    waitUntil([] { return false; }, 300);
    desktop.tap(kReturn); // save under the default name
    desktop.sync();
    EXPECT_EQ(placeOf(desktop.display(), shownWindow(desktop.display(), "Quillo")), place) << "the window moved";

    const QString library = home.path() + QStringLiteral("/data/Quillo/macros.json");
    std::vector<Macro> macros;
    ASSERT_TRUE(waitUntil([&] {
        if (!QFile::exists(library))
            return false;
        auto loaded = StorageService(library).loadAll();
        if (loaded)
            macros = loaded.value();
        return macros.size() == 2;
    }, 5000));
    ASSERT_EQ(macros.size(), 2u);
    EXPECT_EQ(macros[0].metadata.name, QStringLiteral("Macro 2"));
    EXPECT_EQ(macros[1].metadata.name, QStringLiteral("Macro 1"));
    for (const Macro& macro : macros) {
        int keys = 0;
        for (const MacroAction& a : macro.actions)
            if (const auto* down = std::get_if<MacroAction::KeyDown>(&a.payload); down && down->keyCode == 0)
                ++keys;
        EXPECT_EQ(keys, 2);
        // The hotkey's own R (released after the start, pressed for the stop) is not part of it.
        for (const MacroAction& a : macro.actions) {
            const auto* down = std::get_if<MacroAction::KeyDown>(&a.payload);
            const auto* up = std::get_if<MacroAction::KeyUp>(&a.payload);
            EXPECT_FALSE((down && down->keyCode == 15) || (up && up->keyCode == 15)) << a.displayName().toStdString();
        }
    }
    // Replaying it with Super+Alt+P types and starts no recording afterwards.
    desktop.superAltChord(kP);
    ASSERT_TRUE(waitUntil([&] { return !windowShown(desktop.display(), "Quillo"); }, 5000));
    ASSERT_TRUE(waitUntil([&] { return windowShown(desktop.display(), "Quillo"); }, 10000))
        << "the window did not come back after the playback";
    waitUntil([] { return false; }, 1000);
    EXPECT_TRUE(windowShown(desktop.display(), "Quillo")) << "a recording started after the playback";
    EXPECT_FALSE(windowShown(desktop.display(), "Save Recording"));

    // Closing the window leaves the application running; a second launch hands over to
    // it, ends, and the window comes back.
    closeWindow(desktop.display(), shownWindow(desktop.display(), "Quillo"));
    if (!hasTray()) {
        // Without a tray the window goes to the taskbar, after saying so once.
        ASSERT_TRUE(waitUntil([&] { return shownWindowCount(desktop.display(), "Quillo") == 2; }, 5000))
            << "no word on where the window went";
        desktop.tap(kReturn);
        desktop.sync();
    }
    ASSERT_TRUE(waitUntil([&] { return !windowShown(desktop.display(), "Quillo"); }, 5000));
    EXPECT_EQ(app.state(), QProcess::Running);
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(QUILLO_BINARY), {});
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(waitUntil([&] { return windowShown(desktop.display(), "Quillo"); }, 5000));

    // Ended by the session in the middle of a recording, it quits properly and keeps it.
    waitUntil([] { return false; }, 400);
    desktop.superAltChord(kR);
    ASSERT_TRUE(waitUntil([&] { return !windowShown(desktop.display(), "Quillo"); }, 5000));
    desktop.tap(kA);
    desktop.sync();
    waitUntil([] { return false; }, 300);
    app.terminate();
    ASSERT_TRUE(app.waitForFinished(20000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    auto after = StorageService(library).loadAll();
    ASSERT_TRUE(after.hasValue());
    EXPECT_EQ(after.value().size(), 3u) << "the recording in progress was lost";
    // Standard error carries Quillo's own log lines, one each, and nothing else.
    const QStringList lines = QString::fromLocal8Bit(app.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QRegularExpression logLine(QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] \\[(DEBUG|INFO|WARN|ERROR)\\] "));
    EXPECT_TRUE(lines.contains(QRegularExpression(QStringLiteral(".*\\[INFO\\] Quillo launched"))));
    for (const QString& line : lines)
        EXPECT_TRUE(logLine.match(line).hasMatch()) << "Qt or Quillo complained: " << line.toStdString();
}

TEST(AppLaunch, WithoutADisplayItSaysSoInsteadOfAborting)
{
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    QProcess app;
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(QUILLO_BINARY), {});
    ASSERT_TRUE(app.waitForFinished(10000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 1);
    EXPECT_EQ(QString::fromLocal8Bit(app.readAllStandardError()).trimmed(),
              QStringLiteral("Quillo needs a graphical session (no X display found)"));
}

TEST_F(AppLaunchTest, ARunFromABuildRegistersItselfForQuilloLinksAndTheDesktopsOpenerReachesIt)
{
    // Nothing took quillo:// links for this user: the application wrote its own entry.
    const QString entry = home.path() + QStringLiteral("/data/applications/quillo-links.desktop");
    ASSERT_TRUE(waitUntil([&] { return QFileInfo::exists(entry); }, 15000)) << "no desktop entry for quillo:// links";
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("Exec=" QUILLO_BINARY " %u\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("MimeType=x-scheme-handler/quillo;\n"));
    QString log;
    ASSERT_TRUE(waitUntil([&] {
        log += QString::fromLocal8Bit(app.readAllStandardError());
        return log.contains(QStringLiteral("registered this Quillo"));
    }, 10000)) << log.toStdString();

    auto run = [&](const QString& program, const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(20000));
        return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    };
    EXPECT_EQ(run(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                              QStringLiteral("x-scheme-handler/quillo")}),
              QStringLiteral("quillo-links.desktop"));
    // What the browser does with the sign-in's link: the desktop's opener starts Quillo
    // with it, which hands it to the running application (no sign-in waits: refused).
    run(QStringLiteral("xdg-open"), {QStringLiteral("quillo://auth?state=STALE&token=stale-secret")});
    EXPECT_TRUE(waitUntil([&] {
        log += QString::fromLocal8Bit(app.readAllStandardError());
        return log.contains(QStringLiteral("Received deep link: quillo://auth?state=STALE&token=<redacted>"));
    }, 15000)) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("stale-secret")));

    // The next launch finds the entry in place and leaves it.
    app.terminate();
    ASSERT_TRUE(app.waitForFinished(20000));
    const QDateTime written = QFileInfo(entry).lastModified();
    app.start(QStringLiteral(QUILLO_BINARY), {});
    ASSERT_TRUE(waitUntil([&] { return windowShown(desktop.display(), "Quillo"); }, 10000));
    QThread::msleep(1500);
    EXPECT_EQ(QFileInfo(entry).lastModified(), written);
    EXPECT_FALSE(QString::fromLocal8Bit(app.readAllStandardError()).contains(QStringLiteral("registered this Quillo")));
}

TEST_F(AppLaunchTest, ImportRecordAndPlayCommandsGoThroughTheRunningApplication)
{
    auto command = [&](const QStringList& args, QProcess& process) {
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home.path());
        process.start(QStringLiteral(QUILLO_BINARY), args);
    };
    auto run = [&](const QStringList& args) {
        QProcess process;
        command(args, process);
        EXPECT_TRUE(waitUntil([&] { return process.state() == QProcess::NotRunning; }, 20000));
        return std::make_tuple(process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
                               QString::fromLocal8Bit(process.readAllStandardError()));
    };

    // Record: the application records and saves under the command's name.
    QProcess recording;
    command({QStringLiteral("record"), QStringLiteral("--name"), QStringLiteral("Remote"), QStringLiteral("--duration"),
             QStringLiteral("1.5")},
            recording);
    ASSERT_TRUE(waitUntil([&] { return !windowShown(desktop.display(), "Quillo"); }, 5000)) << "no recording started";
    desktop.tap(kA);
    desktop.sync();
    ASSERT_TRUE(waitUntil([&] { return recording.state() == QProcess::NotRunning; }, 10000));
    const QString recorded = QString::fromLocal8Bit(recording.readAllStandardOutput());
    EXPECT_EQ(recording.exitCode(), 0) << recording.readAllStandardError().toStdString();
    EXPECT_TRUE(recorded.contains(QStringLiteral("Saved \"Remote\""))) << recorded.toStdString();
    ASSERT_TRUE(waitUntil([&] { return windowShown(desktop.display(), "Quillo"); }, 5000));
    EXPECT_FALSE(windowShown(desktop.display(), "Save Recording"));

    // Export it and import it again while the application holds the library.
    auto [code, out, err] = run({QStringLiteral("export"), QStringLiteral("Remote"), QStringLiteral("remote.quillo")});
    ASSERT_EQ(code, 0) << err.toStdString();
    const QString library = home.path() + QStringLiteral("/data/Quillo/macros.json");
    auto loaded = StorageService(library).loadAll();
    ASSERT_TRUE(loaded.hasValue());
    const QUuid recordedId = loaded.value().at(0).id;
    // With --replace it takes the place of the macro of that name, which keeps its id.
    std::tie(code, out, err) = run({QStringLiteral("import"), QStringLiteral("--replace"), QStringLiteral("remote.quillo")});
    EXPECT_EQ(code, 0) << err.toStdString();
    EXPECT_TRUE(out.startsWith(QStringLiteral("Replaced \"Remote\""))) << out.toStdString();
    loaded = StorageService(library).loadAll();
    ASSERT_TRUE(loaded.hasValue());
    ASSERT_EQ(loaded.value().size(), 1u);
    EXPECT_EQ(loaded.value()[0].id, recordedId);
    std::tie(code, out, err) = run({QStringLiteral("import"), QStringLiteral("remote.quillo")});
    EXPECT_EQ(code, 0) << err.toStdString();
    EXPECT_TRUE(out.startsWith(QStringLiteral("Imported \"Remote\""))) << out.toStdString();
    loaded = StorageService(library).loadAll();
    ASSERT_TRUE(loaded.hasValue());
    EXPECT_EQ(loaded.value().size(), 2u);
    // Two of that name: which one is meant is unknown, so nothing is replaced.
    std::tie(code, out, err) = run({QStringLiteral("import"), QStringLiteral("--replace"), QStringLiteral("remote.quillo")});
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(err.contains(QStringLiteral("2 macros are named \"Remote\""))) << err.toStdString();

    // Beside the application, doctor knows whose the hotkeys are.
    std::tie(code, out, err) = run({QStringLiteral("doctor")});
    EXPECT_EQ(out.count(QStringLiteral("held by Quillo itself")), 3) << out.toStdString();

    // Play the file through the application.
    std::tie(code, out, err) = run({QStringLiteral("play"), QStringLiteral("./remote.quillo")});
    EXPECT_EQ(code, 0) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("in the running Quillo"))) << out.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("Done."))) << out.toStdString();

    app.terminate();
    ASSERT_TRUE(app.waitForFinished(20000));
    EXPECT_EQ(app.exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(TrayOrNot, AppLaunchOnDesktops, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "WithATray" : "WithoutATray");
                         });
