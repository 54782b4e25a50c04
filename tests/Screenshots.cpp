// Draws the application's windows and panels in their main states and saves each as a
// PNG, for people to look at (scripts/screenshots.sh). Not a test: it checks nothing.
#include "AppModelHarness.h"
#include "Codec/MacroJsonEncoder.h"
#include "Services/AtomicFile.h"
#include "TestWait.h"
#include "Views/ActionEditorDialog.h"
#include "Views/ContentView.h"
#include "Views/GapsDialog.h"
#include "Views/InsertDelaySheet.h"
#include "Views/TypeTextDialog.h"
#include "Views/WaitStepDialog.h"
#include "Codec/PngCodec.h"
#include "Views/DebugPanelView.h"
#include "Views/MainWindow.h"
#include "Views/SaveMacroSheet.h"
#include "Views/Settings/SettingsWindow.h"
#include "Views/StatusBarController.h"

#include <QApplication>
#include <QDir>
#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <cstdio>

namespace {

QString g_folder;

void save(QWidget& widget, const char* name)
{
    widget.show();
    waitUntil([] { return false; }, 150);
    const QString path = g_folder + QLatin1Char('/') + QString::fromLatin1(name) + QStringLiteral(".png");
    widget.grab().save(path);
    std::printf("%s\n", qPrintable(path));
}

// A button as a recording would have pictured it: a rounded face with a label stroke.
ScreenImage buttonPicture(int variant)
{
    const int side = 48;
    ScreenImage image{QRectF(0, 0, side, side), side, side, std::vector<std::uint8_t>(side * side * 4)};
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            std::uint8_t* p = &image.pixels[std::size_t(y * side + x) * 4];
            const bool face = x > 6 && x < 41 && y > 12 && y < 35;
            const bool label = face && y > 21 && y < 26 && x > 14 && x < 34 - 4 * variant;
            const std::uint8_t v = label ? 40 : face ? std::uint8_t(200 - 30 * variant) : 246;
            p[0] = face && !label ? 230 : v;
            p[1] = v;
            p[2] = v;
        }
    return image;
}

std::vector<Macro> sampleLibrary()
{
    std::vector<Macro> macros;
    const char* names[] = {"Log in to the dashboard", "Fill the weekly report", "Resize photos"};
    for (int m = 0; m < 3; ++m) {
        std::vector<MacroAction> actions = {
            MacroAction::windowFocus(0, QStringLiteral("firefox"), QStringLiteral("Firefox"))};
        double t = 0.4;
        for (int i = 0; i < 40 + 30 * m; ++i, t += 0.13) {
            switch (i % 7) {
            case 0:
                actions.push_back(MacroAction::mouseMove(t, 400 + i, 300 - i));
                break;
            case 1:
                actions.push_back(MacroAction::mouseDown(t, 412.5, 288, MouseButton::left));
                break;
            case 2:
                actions.push_back(MacroAction::mouseUp(t, 412.5, 288, MouseButton::left));
                break;
            case 3:
                actions.push_back(MacroAction::keyDown(t, std::uint16_t(i % 40), i % 2 ? 0x20000 : 0));
                break;
            case 4:
                actions.push_back(MacroAction::keyUp(t, std::uint16_t(i % 40), 0));
                break;
            case 5:
                actions.push_back(MacroAction::scroll(t, 500, 400, 0, -1));
                break;
            default:
                actions.push_back(MacroAction::delay(t, 0.5));
            }
        }
        macros.push_back(Macro::fromRecording(QString::fromLatin1(names[m]), std::move(actions),
                                              QDateTime::currentDateTimeUtc()));
    }
    macros[0].metadata.recording = RecordingOptions{true, true, 100};

    // A macro that sees the screen: clicks with their pictures and steps that wait.
    std::vector<MacroAction> seeing = {MacroAction::windowFocus(0, QStringLiteral("org.gnome.TextEditor"),
                                                                QStringLiteral("Text Editor"))};
    ScreenWait window;
    window.kind = ScreenWait::Kind::window;
    window.app = QStringLiteral("org.gnome.TextEditor");
    window.appName = QStringLiteral("Text Editor");
    window.title = QStringLiteral("Invoice");
    window.event = ScreenWait::WindowEvent::front;
    seeing.push_back(MacroAction::wait(0.3, window));
    for (int i = 0; i < 3; ++i) {
        const double t = 0.8 + i;
        auto down = MacroAction::mouseDown(t, 200 + 60 * i, 150, MouseButton::left);
        std::get<MacroAction::MouseDown>(down.payload).sight = SightRef(ClickSight{
            PngCodec::encode(buttonPicture(i)).value(), QRectF(176 + 60 * i, 126, 48, 48), QStringLiteral("Text Editor"), {}, {}});
        seeing.push_back(down);
        seeing.push_back(MacroAction::mouseUp(t + 0.1, 200 + 60 * i, 150, MouseButton::left));
    }
    ScreenWait settle;
    settle.kind = ScreenWait::Kind::settle;
    settle.quietMs = 800;
    seeing.push_back(MacroAction::wait(4.0, settle));
    ScreenWait color;
    color.kind = ScreenWait::Kind::color;
    color.area = QRectF(640, 22, 1, 1);
    color.color = 0x2ec27e;
    seeing.push_back(MacroAction::wait(4.5, color));
    macros.push_back(Macro::fromRecording(QStringLiteral("Send the invoice"), std::move(seeing),
                                          QDateTime::currentDateTimeUtc()));
    return macros;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    g_folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(g_folder);

    {
        AppModelHarness h;
        MainWindow window(h.start());
        save(window, "01-main-empty");
    }
    AppModelHarness h;
    QDir().mkpath(QFileInfo(h.libraryPath()).absolutePath());
    if (!AtomicFile::write(h.libraryPath(), MacroJsonEncoder::encodeLibrary(sampleLibrary()).value()))
        return 1;
    // The hotkeys' keys as a US layout names them.
    h.keyboard.setName(15, QStringLiteral("R"));
    h.keyboard.setName(35, QStringLiteral("P"));
    AppViewModel& model = h.start();
    for (int i = 0; i < 30; ++i)
        appLog(QStringLiteral("Sample line %1 of the log").arg(i), LogEntry::Level(i % 4));
    QCoreApplication::sendPostedEvents();
    MainWindow window(model);
    // The window in its states, the sheets with it, in English and in the two languages
    // that differ most from it (right to left, and wide characters).
    const std::pair<AppLocale, const char*> stateLanguages[] = {{AppLocale::en, ""}, {AppLocale::ar, "-ar"}, {AppLocale::zh, "-zh"}};
    for (const auto& [language, suffix] : stateLanguages) {
        model.setAppLanguage(language);
        auto name = [suffix = suffix](const char* what) { return QByteArray(what) + suffix; };
        save(window, name("02-main-selected-macro").constData());

        model.recordingFlow().startRecording();
        for (int i = 0; i < 57; ++i) {
            RawInputEvent e;
            e.type = RawEventType::keyDown;
            e.time = h.clock.now() + 0.01 * i;
            h.tap.deliver(e);
        }
        h.clock.advance(12.4);
        model.recorder().refreshElapsedTime();
        QCoreApplication::sendPostedEvents();
        save(window, name("03-recording-bar").constData());
        model.recordingFlow().stopRecordingAndPrompt();
        {
            SaveMacroSheet sheet(model);
            save(sheet, name("04-save-sheet").constData());
        }
        model.recordingFlow().discardPendingRecording();

        h.sleeper.holdFrom(h.clock.now() + 2.0);
        PlaybackOptions three;
        three.loopCount = 3;
        model.startPlayback(*model.selectedMacro(), three);
        waitUntil([&] { return model.playback().progress() > 0.1; });
        save(window, name("05-playback-panel").constData());
        if (language == AppLocale::en) {
            StatusBarController tray(model, [] {});
            tray.menu()->popup(QPoint(0, 0));
            save(*tray.menu(), "06-status-menu");
        }
        model.stopPlayback();
        waitUntil([&] { return !model.playback().isBusy(); });
    }
    model.setAppLanguage(AppLocale::en);

    DebugPanelView debug;
    save(debug, "07-debug-panel");

    SettingsWindow settings(model);
    const std::pair<AppLocale, const char*> languages[] = {
        {AppLocale::en, "08-settings-en"}, {AppLocale::ar, "09-settings-ar"}, {AppLocale::zh, "10-settings-zh"}};
    for (const auto& [language, name] : languages) {
        model.setAppLanguage(language);
        save(settings, name);
    }
    model.setAppLanguage(AppLocale::zh);
    save(window, "11-main-zh");
    model.setAppLanguage(AppLocale::ar);
    save(window, "11-main-ar");

    // The action editor and each insert dialog, in three languages.
    MainWindow& window_ = window;
    h.workspace.running = {RunningApplication{QStringLiteral("org.gnome.TextEditor"), QStringLiteral("Text Editor")},
                           RunningApplication{QStringLiteral("firefox"), QStringLiteral("Firefox")}};
    h.keyboard.setName(4, QStringLiteral("H"));
    const std::pair<AppLocale, const char*> editorLanguages[] = {{AppLocale::en, "en"}, {AppLocale::ar, "ar"}, {AppLocale::zh, "zh"}};
    for (const auto& [language, code] : editorLanguages) {
        model.setAppLanguage(language);
        auto name = [code = code](const char* what) { return QByteArray("12-") + what + '-' + code; };
        ActionEditorDialog key(model, MacroAction::keyDown(0.4, 4, ModifierFlags::shift), 0.021, true,
                               ActionEditorDialog::Purpose::edit);
        save(key, name("edit-key").constData());
        ActionEditorDialog click(model, MacroAction::mouseDown(0, 412, 288, MouseButton::left), 0.1, true,
                                 ActionEditorDialog::Purpose::insert);
        save(click, name("insert-click").constData());
        ActionEditorDialog newKey(model, MacroAction::keyDown(0, 0, 0), 0.1, true, ActionEditorDialog::Purpose::insert);
        save(newKey, name("insert-key").constData());
        ActionEditorDialog app(model, MacroAction::windowFocus(0, QString(), QString()), 0.1, true,
                               ActionEditorDialog::Purpose::insert);
        app.applicationField()->setCurrentIndex(0);
        save(app, name("insert-app").constData());
        TypeTextDialog text(model);
        text.textField()->setPlainText(QStringLiteral("Hello, World!"));
        save(text, name("insert-text").constData());
        InsertDelaySheet delay(0.5);
        save(delay, name("insert-delay").constData());
        // The waits, as the Insert menu opens them (the picture as if just taken).
        ScreenWait image;
        image.png = PngCodec::encode(buttonPicture(1)).value();
        image.area = QRectF(236, 126, 48, 48);
        image.app = QStringLiteral("org.gnome.TextEditor");
        image.appName = QStringLiteral("Text Editor");
        WaitStepDialog waitImage(model, image, 0.1, true, WaitStepDialog::Purpose::insert);
        save(waitImage, name("wait-image").constData());
        ScreenWait color;
        color.kind = ScreenWait::Kind::color;
        color.area = QRectF(640, 22, 1, 1);
        color.color = 0x2ec27e;
        WaitStepDialog waitColor(model, color, 0.1, true, WaitStepDialog::Purpose::insert);
        save(waitColor, name("wait-colour").constData());
        ScreenWait window;
        window.kind = ScreenWait::Kind::window;
        window.title = QStringLiteral("Invoice");
        WaitStepDialog waitWindow(model, window, 0.1, true, WaitStepDialog::Purpose::insert);
        save(waitWindow, name("wait-window").constData());
        ScreenWait settle;
        settle.kind = ScreenWait::Kind::settle;
        WaitStepDialog waitSettle(model, settle, 0.1, true, WaitStepDialog::Purpose::insert);
        save(waitSettle, name("wait-settle").constData());
        // The macro that sees: its pictures and its waits in the list.
        const QUuid selected = model.selectedMacroID().value_or(QUuid());
        model.setSelectedMacroID(model.macros().back().id);
        save(window_, name("main-seeing").constData());
        model.setSelectedMacroID(selected);
        GapsDialog gaps(model);
        save(gaps, name("gaps").constData());
    }
    return 0;
}
