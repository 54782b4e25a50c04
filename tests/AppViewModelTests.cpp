#include "AppModelHarness.h"
#include "LibraryFiles.h"
#include "Codec/MacroJsonEncoder.h"
#include "Services/AtomicFile.h"
#include "TestMacros.h"
#include "TestWait.h"

#include <cmath>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>


TEST(AppViewModel, LoadsTheLibraryAndSelectsTheFirstMacro)
{
    AppModelHarness h;
    AppViewModel& empty = h.start();
    EXPECT_TRUE(empty.macros().empty());
    EXPECT_FALSE(empty.selectedMacroID());
    EXPECT_TRUE(h.logMessages().contains(QStringLiteral("INFO Loaded 0 macro(s) from storage")));
    EXPECT_FALSE(QFile::exists(h.libraryPath()));

    AppModelHarness h2;
    writeLibrary(h2.libraryPath(), {named(QStringLiteral("A")), named(QStringLiteral("B"))});
    AppViewModel& m = h2.start();
    ASSERT_EQ(m.macros().size(), 2u);
    EXPECT_EQ(m.selectedMacroID(), m.macros()[0].id);
    EXPECT_FALSE(m.errorMessage());
}

TEST(AppViewModel, AFailedLoadIsShownAndTheUnreadableFileIsKept)
{
    AppModelHarness h;
    Macro future = named(QStringLiteral("Future"));
    future.version = 2;
    writeLibrary(h.libraryPath(), {named(QStringLiteral("A")), future});
    AppViewModel& m = h.start();
    const QString expected = QStringLiteral(
        "Failed to load macros: Macro format v2 was created by a newer version of Quillo. Please update the app.");
    EXPECT_EQ(m.errorMessage(), expected);
    EXPECT_TRUE(h.logMessages().contains(QStringLiteral("ERROR ") + expected));
    EXPECT_TRUE(m.macros().empty());

    h.record(m, 4);
    m.recordingFlow().savePendingRecording();
    EXPECT_EQ(StorageService(h.libraryPath()).loadAll().value().size(), 1u);
    const QStringList aside = QDir(QFileInfo(h.libraryPath()).absolutePath())
                                  .entryList({QStringLiteral("macros.json.unreadable-*")});
    ASSERT_EQ(aside.size(), 1);
}

TEST(AppViewModel, SavingARecordingNamesItTrimsItAndSelectsIt)
{
    AppModelHarness h;
    writeLibrary(h.libraryPath(), {named(QStringLiteral("A")), named(QStringLiteral("B")), named(QStringLiteral("C"))});
    AppViewModel& m = h.start();

    h.record(m, 0); // nothing captured but the starting focus: a sheet with one action
    ASSERT_TRUE(m.recordingFlow().showRecordingSheet());
    m.recordingFlow().discardPendingRecording();
    EXPECT_FALSE(m.recordingFlow().showRecordingSheet());
    EXPECT_TRUE(m.recordingFlow().pendingActions().empty());

    h.workspace.setFrontmost(std::nullopt);
    h.record(m, 0); // truly empty: no sheet
    EXPECT_FALSE(m.recordingFlow().showRecordingSheet());
    EXPECT_TRUE(h.logMessages().contains(QStringLiteral("INFO Recording stopped \u2014 0 actions captured")));

    h.record(m, 6);
    ASSERT_TRUE(m.recordingFlow().showRecordingSheet());
    EXPECT_EQ(m.recordingFlow().pendingActions().size(), 6u);
    m.recordingFlow().setPendingRecordingName(QStringLiteral("   \t "));
    m.recordingFlow().savePendingRecording();
    EXPECT_EQ(m.macros().front().metadata.name, QStringLiteral("Macro 4"));
    EXPECT_EQ(m.selectedMacroID(), m.macros().front().id);
    EXPECT_EQ(m.macros().front().metadata.actionCount, 6);
    EXPECT_DOUBLE_EQ(m.macros().front().metadata.durationSeconds, m.macros().front().totalDuration());
    EXPECT_FALSE(m.recordingFlow().showRecordingSheet());

    h.record(m, 2);
    m.recordingFlow().setPendingRecordingName(QStringLiteral("  Login  "));
    m.recordingFlow().savePendingRecording();
    EXPECT_EQ(m.macros().front().metadata.name, QStringLiteral("Login"));
    EXPECT_TRUE(m.recordingFlow().pendingRecordingName().isEmpty());
    EXPECT_TRUE(h.logMessages().contains(QStringLiteral("INFO Macro saved \u2014 \"Login\" (2 actions)")));

    // Saving while still recording stops the recorder and keeps what it captured.
    h.workspace.setFrontmost(RunningApplication{QStringLiteral("org.example.Files"), QStringLiteral("Files")});
    m.recordingFlow().startRecording();
    m.recordingFlow().savePendingRecording();
    EXPECT_EQ(m.recorder().state(), RecordingState::idle);
    EXPECT_EQ(m.macros().size(), 6u);
    EXPECT_EQ(m.macros().front().metadata.name, QStringLiteral("Macro 6"));
    EXPECT_TRUE(sameButForDates(StorageService(h.libraryPath()).loadAll().value(), m.macros()));
}

TEST(AppViewModel, TheLimitEndingARecordingOffersItsActionsForSaving)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    m.recordingFlow().startRecording();
    const double start = h.clock.now();
    for (std::size_t i = 0; i < RecorderService::maxActions + 5; ++i) {
        RawInputEvent e;
        e.type = RawEventType::keyDown;
        e.time = start + 0.001 * double(i);
        h.tap.deliver(e);
        if (i % 1000 == 0)
            QCoreApplication::sendPostedEvents();
    }
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(m.recorder().state(), RecordingState::idle);
    ASSERT_TRUE(m.recordingFlow().showRecordingSheet());
    EXPECT_EQ(m.recordingFlow().pendingActions().size(), RecorderService::maxActions);
    EXPECT_TRUE(h.logMessages().filter(QStringLiteral("WARN Recording stopped \u2014 the limit of 10,000 actions")).size() == 1);
    m.recordingFlow().savePendingRecording();
    EXPECT_EQ(m.macros().front().actions.size(), RecorderService::maxActions);
}

TEST(AppViewModel, ARefusedTapIsReportedHalfASecondLater)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    h.tap.refuse(QStringLiteral("no RECORD extension"));
    m.recordingFlow().startRecording();
    QCoreApplication::sendPostedEvents();
    m.recordingFlow().checkRecordingPermission();
    ASSERT_TRUE(m.errorMessage());
    // It says what is missing on this platform and where to look, not another system's settings.
    EXPECT_TRUE(m.errorMessage()->startsWith(QStringLiteral("Could not start recording \u2014 the input")));
    EXPECT_TRUE(m.errorMessage()->contains(QStringLiteral("quillo doctor")));
}

TEST(AppViewModel, DeletingKeepsOrTheFirstMacroSelected)
{
    AppModelHarness h;
    writeLibrary(h.libraryPath(), {named(QStringLiteral("A")), named(QStringLiteral("B")), named(QStringLiteral("C"))});
    AppViewModel& m = h.start();
    const QUuid a = m.macros()[0].id, b = m.macros()[1].id, c = m.macros()[2].id;
    m.library().deleteMacro(b);
    EXPECT_EQ(m.selectedMacroID(), a);
    m.library().deleteMacro(a);
    EXPECT_EQ(m.selectedMacroID(), c);
    m.library().deleteMacros({0});
    EXPECT_FALSE(m.selectedMacroID());
    EXPECT_TRUE(StorageService(h.libraryPath()).loadAll().value().empty());

    m.library().renameMacro(QUuid::createUuid(), QStringLiteral("nobody")); // unknown id: nothing
    m.library().insertDelay(QUuid::createUuid(), 0, 1);
    EXPECT_FALSE(m.errorMessage());
}

TEST(AppViewModel, ImportsGetANewIdentityAndOtherVersionsAreRefused)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    const Macro original = named(QStringLiteral("Demo run"));
    const QString file = h.dir.path() + QStringLiteral("/Demo run.quillo");
    ASSERT_TRUE(ExportImportService::exportMacroTo(original, file).hasValue());

    h.dialogs.openAnswer = file;
    m.importMacro();
    m.importMacro();
    ASSERT_EQ(m.macros().size(), 2u);
    const Macro& imported = m.macros()[0];
    EXPECT_NE(imported.id, original.id);
    EXPECT_NE(m.macros()[0].id, m.macros()[1].id);
    EXPECT_EQ(m.selectedMacroID(), imported.id);
    EXPECT_EQ(imported.actions, original.actions);
    EXPECT_EQ(imported.metadata.tags, original.metadata.tags);
    EXPECT_GT(imported.metadata.createdAt, original.metadata.createdAt);

    Macro future = original;
    future.version = 2;
    ASSERT_TRUE(AtomicFile::write(file, MacroJsonEncoder::encodeMacro(future).value()).hasValue());
    m.importMacro();
    EXPECT_EQ(m.errorMessage(), QStringLiteral("Failed to import: Macro format v2 was created by a newer version "
                                               "of Quillo. Please update the app."));
    ASSERT_TRUE(AtomicFile::write(file, MacroJsonEncoder::encodeLibrary({original}).value()).hasValue());
    m.clearErrorMessage();
    m.importMacro();
    EXPECT_TRUE(m.errorMessage()->startsWith(QStringLiteral("Failed to import: ")));
    EXPECT_EQ(m.macros().size(), 2u);

    h.dialogs.openAnswer.reset(); // cancelled: nothing
    m.clearErrorMessage();
    m.importMacro();
    EXPECT_FALSE(m.errorMessage());

    h.dialogs.saveAnswer = h.dir.path() + QStringLiteral("/out.quillo");
    m.exportMacro(imported.id);
    EXPECT_TRUE(h.dialogs.asked.last().startsWith(QStringLiteral("Export Macro|Demo run.quillo|")));
    EXPECT_TRUE(h.dialogs.asked.last().contains(QStringLiteral("*.quillo")));
    EXPECT_TRUE(QFile::exists(*h.dialogs.saveAnswer));
}

TEST(AppViewModel, HotkeysFollowTheStateTable)
{
    AppModelHarness h;
    writeLibrary(h.libraryPath(), {named(QStringLiteral("A")), named(QStringLiteral("B"))});
    AppViewModel& m = h.start();
    EXPECT_EQ(h.hotkeys.active().size(), 3);
    auto press = [&](quint32 key, quint32 mods) {
        h.hotkeys.press(key, mods);
        h.clock.advance(1); // past the debounce
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
    };
    constexpr quint32 superAlt = 0x900, superAltShift = 0xB00, R = 15, P = 35, B = 11;

    press(R, superAltShift); // not recording: nothing
    EXPECT_EQ(m.recorder().state(), RecordingState::idle);
    press(R, superAlt);
    EXPECT_EQ(m.recorder().state(), RecordingState::recording);
    press(P, superAlt); // playing is refused while recording
    EXPECT_FALSE(m.playback().isBusy());
    press(R, superAltShift);
    EXPECT_EQ(m.recorder().state(), RecordingState::idle);
    EXPECT_TRUE(m.recordingFlow().showRecordingSheet());
    m.recordingFlow().discardPendingRecording();

    h.sleeper.holdFrom(h.clock.now() + 0.6);
    press(P, superAlt);
    ASSERT_TRUE(waitUntil([&] { return m.playback().state().isBusy(); }));
    press(R, superAlt); // recording is refused while playing
    EXPECT_EQ(m.recorder().state(), RecordingState::idle);
    press(P, superAlt);
    EXPECT_FALSE(m.playback().isBusy());
    const QStringList log = h.logMessages();
    EXPECT_TRUE(log.contains(QStringLiteral("DEBUG Hotkey Alt+Super+P \u2014 start playback (A)")));
    EXPECT_TRUE(log.contains(QStringLiteral("INFO Playback started \u2014 \"A\" (speed 1.0x)")));
    const auto stop = log.indexOf(QStringLiteral("DEBUG Hotkey Alt+Super+P \u2014 stop playback"));
    ASSERT_GE(stop, 0);
    EXPECT_EQ(log.value(stop + 1), QStringLiteral("INFO Playback stopped"));

    // A macro's own chord plays that macro, whichever is selected, and stops a playback.
    EXPECT_EQ(m.hotkeyChords().setMacroChord(m.macros()[1], HotkeyChord{B, 0x1800}), QString());
    h.sleeper.holdFrom(h.clock.now() + 0.6);
    press(B, 0x1800);
    ASSERT_TRUE(waitUntil([&] { return m.playback().state().isBusy(); }));
    EXPECT_TRUE(h.logMessages().contains(QStringLiteral("INFO Playback started \u2014 \"B\" (speed 1.0x)")));
    press(B, 0x1a00); // with Shift held too (the macro may hold it)
    EXPECT_FALSE(m.playback().isBusy());
    // Its chord is taken for others, and leaves with it.
    EXPECT_EQ(m.hotkeyChords().setChord(HotkeyViewModel::togglePlayback, {B, 0x1800}),
              QStringLiteral("Already used for \u201cB\u201d."));
    const QString key = QStringLiteral("hotkeys/macros/") + m.macros()[1].id.toString(QUuid::WithoutBraces).toUpper();
    EXPECT_EQ(h.settings.value(key).toString(), QStringLiteral("Ctrl+Alt+B"));
    m.library().deleteMacro(m.macros()[1].id);
    EXPECT_FALSE(h.settings.contains(key));
    EXPECT_EQ(m.hotkeyChords().setChord(HotkeyViewModel::togglePlayback, {B, 0x1800}), QString());

    m.setSelectedMacroID(std::nullopt);
    const auto before = h.logMessages().size();
    press(B, 0x1800); // nothing selected: nothing, not even a log line
    EXPECT_EQ(h.logMessages().size(), before);
}

TEST(AppViewModel, AHotkeyLeavesNoTraceInTheRecordingAndStopKeysWorkWithOtherModifiersHeld)
{
    AppModelHarness h;
    writeLibrary(h.libraryPath(), {named(QStringLiteral("A"))});
    AppViewModel& m = h.start();
    auto press = [&](quint32 key, quint32 mods) {
        h.hotkeys.press(key, mods);
        h.clock.advance(1);
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents();
    };
    auto deliver = [&](RawEventType type, std::uint16_t code, std::uint64_t flags) {
        RawInputEvent e;
        e.type = type;
        e.time = h.clock.now();
        e.keyCode = code;
        e.flags = flags;
        h.tap.deliver(e);
        h.clock.advance(0.1);
    };
    constexpr quint32 superAlt = 0x900, superAltCtrl = 0x1900, R = 15, P = 35;
    constexpr auto held = ModifierFlags::command | ModifierFlags::option;

    // Super+Alt+R ... Super+Alt+R: the release of the first R and the press of the last
    // are the hotkeys', not the user's; an R typed in between is kept.
    press(R, superAlt);
    ASSERT_EQ(m.recorder().state(), RecordingState::recording);
    deliver(RawEventType::keyUp, R, held);
    deliver(RawEventType::keyDown, R, 0);
    deliver(RawEventType::keyUp, R, 0);
    deliver(RawEventType::keyDown, R, held);
    deliver(RawEventType::keyDown, R, held); // auto-repeat while the stop is held
    QCoreApplication::sendPostedEvents();
    press(R, superAlt);
    ASSERT_TRUE(m.recordingFlow().showRecordingSheet());
    std::vector<ActionType> types;
    for (const MacroAction& a : m.recordingFlow().pendingActions())
        types.push_back(a.type());
    EXPECT_EQ(types, (std::vector<ActionType>{ActionType::windowFocus, ActionType::keyDown, ActionType::keyUp}));
    m.recordingFlow().discardPendingRecording();
    // The hotkey let go before the recording saw it: the user's first R is kept.
    press(R, superAlt);
    deliver(RawEventType::keyDown, R, 0);
    deliver(RawEventType::keyUp, R, 0);
    QCoreApplication::sendPostedEvents();
    m.recordingFlow().stopRecordingAndPrompt(); // from the window's button
    EXPECT_EQ(m.recordingFlow().pendingActions().size(), 3u);
    m.recordingFlow().discardPendingRecording();

    // Idle, Ctrl+Super+Alt+P is another program's; while playing (the macro may hold
    // Ctrl), it stops the playback.
    press(P, superAltCtrl);
    EXPECT_FALSE(m.playback().isBusy());
    h.sleeper.holdFrom(h.clock.now() + 0.6);
    press(P, superAlt);
    ASSERT_TRUE(waitUntil([&] { return m.playback().state().isBusy(); }));
    press(P, superAltCtrl);
    EXPECT_FALSE(m.playback().isBusy());
    press(P, superAltCtrl);
    EXPECT_FALSE(m.playback().isBusy()); // strict again: it started nothing
    // Recording too: Ctrl+Super+Alt+R stops it.
    press(R, superAlt);
    press(R, superAltCtrl);
    EXPECT_EQ(m.recorder().state(), RecordingState::idle);
}

TEST(AppViewModel, ARecordingWaitingInTheSheetIsKeptWhenAnotherOneIsMade)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    h.record(m, 2);
    ASSERT_TRUE(m.recordingFlow().showRecordingSheet());
    m.recordingFlow().setPendingRecordingName(QStringLiteral("First"));
    h.record(m, 4); // started and stopped by hotkey or tray while the sheet was open
    ASSERT_EQ(m.macros().size(), 1u);
    EXPECT_EQ(m.macros()[0].metadata.name, QStringLiteral("First"));
    EXPECT_TRUE(m.recordingFlow().showRecordingSheet());
    EXPECT_EQ(m.recordingFlow().pendingActions().size(), 5u); // the new one: focus and four keys
    // The sheet that follows says so.
    EXPECT_EQ(m.recordingFlow().recordingNotice(), QStringLiteral("The recording before this one was saved as \u201cFirst\u201d."));
    m.recordingFlow().savePendingRecording();
    EXPECT_TRUE(m.recordingFlow().recordingNotice().isEmpty());
}

TEST(AppViewModel, ClicksOnQuillosOwnTrayMenuStayOutOfTheRecording)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    m.recordingFlow().startRecording();
    const double start = h.clock.now();
    auto click = [&](double at, double x, double y) {
        for (const RawEventType type : {RawEventType::leftMouseDown, RawEventType::leftMouseUp}) {
            RawInputEvent e;
            e.type = type;
            e.time = start + at;
            e.x = x;
            e.y = y;
            h.tap.deliver(e);
        }
    };
    click(0.2, 1133, 89); // the user's own click there, before the menu was opened
    click(0.5, 100, 100);
    click(2.0, 1268, 11); // the tray icon
    click(3.0, 1133, 89); // "Stop Recording" in its menu
    QCoreApplication::sendPostedEvents();
    m.recordingFlow().stopRecordingFromControls({QRectF(1100, 0, 180, 150)}, 1.5);
    std::vector<double> times;
    for (const MacroAction& a : m.recordingFlow().pendingActions())
        if (a.type() != ActionType::windowFocus)
            times.push_back(std::round(a.timestamp * 1000) / 1000);
    EXPECT_EQ(times, (std::vector<double>{0.2, 0.2, 0.5, 0.5}));
    EXPECT_TRUE(m.recordingFlow().showRecordingSheet());
}

TEST(AppViewModel, ARecordingIsNeverLostToALibraryThatCannotBeWritten)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    const QString recovery = h.dir.path() + QStringLiteral("/recovery");
    QDir().mkpath(recovery);
    m.recordingFlow().setRecoveryFolder(recovery);
    const QString folder = QFileInfo(h.libraryPath()).absolutePath();
    auto breakFolder = [&] {
        ASSERT_TRUE(QDir().rename(folder, folder + QStringLiteral(".away")));
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder was
    };
    auto mendFolder = [&] {
        QFile::remove(folder);
        ASSERT_TRUE(QDir().rename(folder + QStringLiteral(".away"), folder));
    };
    RawInputEvent e;
    e.type = RawEventType::keyDown;
    auto recordOneKey = [&] {
        m.clearErrorMessage();
        m.recordingFlow().startRecording();
        e.time = h.clock.now() + 0.1;
        h.tap.deliver(e);
        QCoreApplication::sendPostedEvents();
    };

    // The folder breaks during a recording: the save fails, the recording goes to a file.
    m.recordingFlow().startRecording();
    ASSERT_EQ(m.recorder().state(), RecordingState::recording);
    breakFolder();
    h.record(m, 0); // nothing more; stop through the model
    m.clearErrorMessage();
    m.recordingFlow().startRecording(); // refused up front now, and says why
    EXPECT_EQ(m.recorder().state(), RecordingState::idle);
    ASSERT_TRUE(m.errorMessage());
    EXPECT_TRUE(m.errorMessage()->startsWith(QStringLiteral("Cannot start recording"))) << m.errorMessage()->toStdString();
    mendFolder();

    recordOneKey();
    m.recordingFlow().stopRecordingAndPrompt();
    breakFolder();
    m.recordingFlow().savePendingRecording();
    ASSERT_TRUE(m.errorMessage());
    EXPECT_TRUE(m.errorMessage()->contains(QStringLiteral("was kept in ") + recovery)) << m.errorMessage()->toStdString();
    const QStringList kept = QDir(recovery).entryList({QStringLiteral("*.quillo")});
    ASSERT_EQ(kept.size(), 1);
    auto recovered = ExportImportService::importMacroFrom(recovery + QLatin1Char('/') + kept.front());
    ASSERT_TRUE(recovered.hasValue());
    EXPECT_EQ(recovered.value().actions.size(), 2u); // the focus action and the key
    mendFolder();

    // Quitting in the middle of a recording saves it under the default name.
    recordOneKey();
    m.recordingFlow().saveUnfinishedRecording();
    EXPECT_EQ(m.recorder().state(), RecordingState::idle);
    StorageService storage(h.libraryPath());
    const auto library = storage.loadAll();
    ASSERT_TRUE(library.hasValue());
    ASSERT_FALSE(library.value().empty());
    EXPECT_TRUE(library.value().front().metadata.name.startsWith(QStringLiteral("Macro ")));
    EXPECT_TRUE(h.logMessages().filter(QStringLiteral("WARN Quitting with an unsaved recording")).size() == 1);
}

TEST(AppViewModel, TheLanguageIsStoredAndRestored)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    EXPECT_EQ(m.appLanguage(), AppLocale::system);
    m.setAppLanguage(AppLocale::fr);
    EXPECT_EQ(h.settings.value(QStringLiteral("appLanguage")).toString(), QStringLiteral("fr"));
    EXPECT_EQ(m.t(QStringLiteral("recorder.start")), QStringLiteral("D\u00e9marrer l'enregistrement"));
    EXPECT_EQ(m.t(QStringLiteral("no.such.key")), QStringLiteral("no.such.key"));
    h.model.reset();
    EXPECT_EQ(h.start().appLanguage(), AppLocale::fr);
    h.model.reset();
    h.settings.setValue(QStringLiteral("appLanguage"), QStringLiteral("de"));
    EXPECT_EQ(h.start().appLanguage(), AppLocale::system);
}

TEST(AppViewModel, ARecordingKeepsTheScreenLayoutItWasMadeOn)
{
    AppModelHarness h;
    h.workspace.layout = {ScreenOutput{QStringLiteral("DP-1"), -1920, 0, 1920, 1080, 1},
                          ScreenOutput{QStringLiteral("eDP-1"), 0, 0, 1280, 800, 1.5}};
    AppViewModel& m = h.start();
    h.record(m, 2);
    h.workspace.layout.pop_back(); // unplugged after the start: the start counts
    m.recordingFlow().savePendingRecording();
    ASSERT_FALSE(m.macros().empty());
    EXPECT_EQ(m.macros().front().metadata.outputs.size(), 2u);
    EXPECT_EQ(m.macros().front().metadata.outputs[1].name, QStringLiteral("eDP-1"));
    EXPECT_EQ(m.currentScreenLayout().size(), 1u);
}

TEST(AppViewModel, ARecordingKeepsTheOptionsItWasMadeWithEvenWhenANewerOneReplacesIt)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    EXPECT_TRUE(m.recordingFlow().recordingOptions().takesEverything());
    m.recordingFlow().setRecordingOptions({true, false, 0});
    h.record(m, 2); // waits in the sheet, keyboard only
    m.recordingFlow().setRecordingOptions({true, true, 120});
    h.record(m, 2); // the first is saved now, the second waits
    m.recordingFlow().savePendingRecording();
    ASSERT_EQ(m.macros().size(), 2u);
    EXPECT_EQ(m.macros()[1].metadata.recording, (RecordingOptions{true, false, 0}));
    EXPECT_EQ(m.macros()[0].metadata.recording, (RecordingOptions{true, true, 120}));
    EXPECT_EQ(m.recordingFlow().recordingOptionsText(*m.macros()[0].metadata.recording),
              QStringLiteral("keyboard and mouse, moves thinned to one per 120 ms"));
    // A recording started with its own options (the command line's) leaves the settings be.
    m.recordingFlow().startRecording(std::nullopt, RecordingOptions{false, true, 0});
    EXPECT_EQ(m.recorder().options(), (RecordingOptions{false, true, 0}));
    m.recordingFlow().stopRecordingAndPrompt();
    m.recordingFlow().discardPendingRecording();
    // Kept in the settings and in the library file.
    h.model.reset();
    AppViewModel& again = h.start();
    EXPECT_EQ(again.recordingFlow().recordingOptions(), (RecordingOptions{true, true, 120}));
    EXPECT_EQ(again.macros()[1].metadata.recording, (RecordingOptions{true, false, 0}));
    again.setAppLanguage(AppLocale::fr);
    EXPECT_EQ(again.recordingFlow().recordingOptionsText({true, false, 0}), QStringLiteral("clavier seulement"));
}

TEST(AppViewModel, AnImportReplacingTakesThePlaceIdAndHotkeyOfTheMacroOfThatNameAndCanBeUndone)
{
    AppModelHarness h;
    Macro a = TestMacros::small(), b = TestMacros::small(), c = TestMacros::small();
    a.id = QUuid::createUuid();
    b.id = QUuid::createUuid();
    c.id = QUuid::createUuid();
    a.metadata.name = QStringLiteral("A");
    b.metadata.name = QStringLiteral("B");
    c.metadata.name = QStringLiteral("A");
    b.metadata.createdAt = QDateTime::fromSecsSinceEpoch(1'700'000'000, QTimeZone::utc());
    QDir().mkpath(QFileInfo(h.libraryPath()).absolutePath());
    ASSERT_TRUE(AtomicFile::write(h.libraryPath(), MacroJsonEncoder::encodeLibrary({a, b, c}).value()).hasValue());
    AppViewModel& m = h.start();
    ASSERT_TRUE(m.hotkeyChords().setMacroChord(m.macros()[1], HotkeyChord{11, 0x1800}).isEmpty());

    Macro file = TestMacros::small();
    file.id = QUuid::createUuid(); // an import's fresh id
    file.metadata.name = QStringLiteral("B");
    file.actions.push_back(MacroAction::delay(5, 1));
    auto replaced = m.library().importReplacing(file);
    ASSERT_TRUE(replaced.hasValue()) << replaced.error().toStdString();
    EXPECT_TRUE(replaced.value());
    ASSERT_EQ(m.macros().size(), 3u);
    EXPECT_EQ(m.macros()[1].id, b.id);
    EXPECT_EQ(m.macros()[1].actions, file.actions);
    EXPECT_EQ(m.macros()[1].metadata.createdAt, b.metadata.createdAt);
    EXPECT_TRUE(m.hotkeyChords().idForMacro(b.id).has_value()); // its chord still plays it
    EXPECT_TRUE(h.logMessages().contains(QStringLiteral("INFO Replaced macro \"B\" with the imported file")));
    m.undo();
    EXPECT_EQ(m.macros()[1].actions, b.actions);

    // Two named "A": nothing changes and no step is recorded.
    file.metadata.name = QStringLiteral("A");
    const QString lastStep = m.library().history().redoDescription();
    auto refused = m.library().importReplacing(file);
    ASSERT_FALSE(refused.hasValue());
    EXPECT_EQ(refused.error(), QStringLiteral("2 macros are named \"A\"; delete or rename all but one to replace it"));
    EXPECT_EQ(m.library().history().redoDescription(), lastStep); // a new step would have dropped the redo
    // None of that name: added first, as any import.
    file.metadata.name = QStringLiteral("New");
    auto added = m.library().importReplacing(file);
    ASSERT_TRUE(added.hasValue());
    EXPECT_FALSE(added.value());
    EXPECT_EQ(m.macros().size(), 4u);
    EXPECT_EQ(m.macros()[0].metadata.name, QStringLiteral("New"));
}

TEST(AppViewModel, UndoingADeleteGivesTheMacroItsHotkeyBack)
{
    AppModelHarness h;
    Macro a = TestMacros::small();
    a.id = QUuid::createUuid();
    QDir().mkpath(QFileInfo(h.libraryPath()).absolutePath());
    ASSERT_TRUE(AtomicFile::write(h.libraryPath(), MacroJsonEncoder::encodeLibrary({a}).value()).hasValue());
    AppViewModel& m = h.start();
    const HotkeyChord chord{11, 0x1800};
    ASSERT_TRUE(m.hotkeyChords().setMacroChord(m.macros()[0], chord).isEmpty());
    m.library().deleteMacro(a.id);
    EXPECT_FALSE(m.hotkeyChords().idForMacro(a.id));
    m.undo();
    const auto back = m.hotkeyChords().idForMacro(a.id);
    ASSERT_TRUE(back);
    EXPECT_EQ(m.hotkeyChords().chord(*back), chord);
    auto held = [&] {
        const auto active = h.hotkeys.active();
        return std::any_of(active.begin(), active.end(), [&](const auto& c) {
            return c.keyCode == chord.keyCode && c.modifiers == chord.modifiers;
        });
    };
    EXPECT_TRUE(held());
    m.redo();
    EXPECT_FALSE(m.hotkeyChords().idForMacro(a.id));
    EXPECT_FALSE(held());
}
