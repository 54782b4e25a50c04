#include "AppModelHarness.h"
#include "Codec/MacroJsonEncoder.h"
#include "Services/AtomicFile.h"
#include "TestMacros.h"
#include "TestWait.h"
#include "ViewModels/DurationFormat.h"
#include "ViewModels/NameText.h"
#include "Views/ActionListModel.h"
#include "Views/ChordButton.h"
#include "Platform/Fake/FakeStatusIndicator.h"
#include "Views/ActionEditorDialog.h"
#include "Views/ContentView.h"
#include "Views/GapsDialog.h"
#include "Views/TypeTextDialog.h"
#include "Views/DebugPanelView.h"
#include "Views/InsertDelaySheet.h"
#include "Views/MacroDetailView.h"
#include "Views/MacroListView.h"
#include "Views/PlaybackControlView.h"
#include "Views/PermissionBannerView.h"
#include "Views/RecorderControlView.h"
#include "Views/RenameSheet.h"
#include "Views/SaveMacroSheet.h"
#include "Views/MainWindow.h"
#include "Views/Settings/SettingsWindow.h"
#include "Views/StatusBarController.h"

#include <QDir>
#include <QDoubleSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QSpinBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTest>
#include <QToolButton>
#include <QTimer>
#include <gtest/gtest.h>
#include <set>

#include "Codec/PngCodec.h"

namespace {

Macro macroWith(const QString& name, int actions)
{
    Macro m = TestMacros::small();
    m.id = QUuid::createUuid();
    m.metadata.name = name;
    m.actions.clear();
    for (int i = 0; i < actions; ++i)
        m.actions.push_back(MacroAction::keyDown(0.5 * i, std::uint16_t(i), 0));
    m.metadata.actionCount = actions;
    return m;
}

AppViewModel& startWith(AppModelHarness& h, const std::vector<Macro>& macros, bool readsScreen = false)
{
    QDir().mkpath(QFileInfo(h.libraryPath()).absolutePath());
    EXPECT_TRUE(AtomicFile::write(h.libraryPath(), MacroJsonEncoder::encodeLibrary(macros).value()).hasValue());
    return h.start(readsScreen);
}

// A macro with a click that carries what the screen showed.
Macro withPicturedClick(Macro m)
{
    ScreenImage picture{QRectF(100, 100, 8, 8), 8, 8, std::vector<std::uint8_t>(8 * 8 * 4, 90)};
    auto down = MacroAction::mouseDown(m.actions.empty() ? 0 : m.actions.back().timestamp + 0.1, 104, 104,
                                       MouseButton::left);
    std::get<MacroAction::MouseDown>(down.payload).sight =
        SightRef(ClickSight{PngCodec::encode(picture).value(), picture.area, QStringLiteral("Editor"), {}, {}});
    m.actions.push_back(down);
    m.metadata.actionCount = qint64(m.actions.size());
    return m;
}

} // namespace

TEST(Views, DurationsAndTimestampsAreWrittenAsTheListShowsThem)
{
    EXPECT_EQ(DurationFormat::list(42), QStringLiteral("42.0s"));
    EXPECT_EQ(DurationFormat::list(59.96), QStringLiteral("60.0s"));
    EXPECT_EQ(DurationFormat::detail(59.96), QStringLiteral("60.0s"));
    EXPECT_EQ(DurationFormat::list(125.9), QStringLiteral("2m5s"));
    EXPECT_EQ(DurationFormat::detail(125.9), QStringLiteral("2m 5s"));
    EXPECT_EQ(ActionListModel::timestampText(1.25), QStringLiteral("+1.250s"));
    EXPECT_EQ(RecorderControlView::elapsedText(65.37), QStringLiteral("01:05.3"));
    EXPECT_EQ(RecorderControlView::elapsedText(59.99), QStringLiteral("00:59.9"));
    EXPECT_EQ(RecorderControlView::elapsedText(60), QStringLiteral("01:00.0"));
    EXPECT_EQ(RecorderControlView::elapsedText(3700), QStringLiteral("61:40.0"));
    EXPECT_EQ(PlaybackControlView::progressLabel(PlaybackState::playing({}, 2, 5)), QStringLiteral("Playing loop 2 of 5"));
    EXPECT_EQ(PlaybackControlView::progressLabel(PlaybackState::playing({}, 3, PlaybackState::endless)),
              QStringLiteral("Playing loop 3 \u221e"));
    EXPECT_EQ(PlaybackControlView::progressLabel(PlaybackState::stopping()), QStringLiteral("Playing..."));
    EXPECT_EQ(PlaybackControlView::percentText(0.426), QStringLiteral("43%"));
}

TEST(Views, EmptyLibraryShowsBothEmptyStatesAndSelectionFollowsTheModel)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    ContentView content(m);
    EXPECT_EQ(content.detail(), nullptr);
    EXPECT_TRUE(content.emptyDetail()->text().contains(QStringLiteral("No Macro Selected")));

    AppModelHarness h2;
    AppViewModel& m2 = startWith(h2, {macroWith(QStringLiteral("First"), 3), macroWith(QStringLiteral("Second"), 0)});
    ContentView two(m2);
    ASSERT_NE(two.detail(), nullptr);
    EXPECT_EQ(two.detail()->actions()->rowCount(), 3);
    two.macroList()->list()->setCurrentIndex(two.macroList()->list()->model()->index(1, 0));
    EXPECT_EQ(m2.selectedMacroID(), m2.macros()[1].id);
    ASSERT_NE(two.detail(), nullptr);
    EXPECT_EQ(two.detail()->actions()->rowCount(), 0);


    m2.setAppLanguage(AppLocale::tr);
    EXPECT_EQ(two.detail()->playbackControls()->playButton()->text(), QStringLiteral("Makroyu Oynat"));
}

TEST(Views, RenameSaveNeedsANameThatIsNotBlank)
{
    RenameSheet sheet(QStringLiteral("Old"));
    EXPECT_TRUE(sheet.saveButton()->isEnabled());
    sheet.field()->setText(QStringLiteral("  \t "));
    EXPECT_FALSE(sheet.saveButton()->isEnabled());
    sheet.field()->setText(QStringLiteral("  Login  "));
    EXPECT_TRUE(sheet.saveButton()->isEnabled());
    EXPECT_EQ(sheet.name(), QStringLiteral("  Login  ")); // saved as typed
}

TEST(Views, ActionSelectionDrivesTheMenusAndDeletes)
{
    AppModelHarness h;
    AppViewModel& m = startWith(h, {macroWith(QStringLiteral("Five"), 5)});
    MacroDetailView detail(m, m.macros()[0].id);
    QListView* list = detail.actionList();
    EXPECT_FALSE(detail.deleteSelectedButton()->isVisibleTo(&detail));
    list->selectionModel()->select(list->model()->index(1, 0), QItemSelectionModel::Select);
    list->selectionModel()->select(list->model()->index(3, 0), QItemSelectionModel::Select);
    EXPECT_EQ(detail.contextMenuTitles(1),
              (QStringList{QStringLiteral("Change Gaps…"), QStringLiteral("Duplicate"), QStringLiteral("Copy"),
                           QStringLiteral("Paste"), QStringLiteral("Delete 2 Selected")}));
    EXPECT_EQ(detail.contextMenuTitles(0),
              (QStringList{QStringLiteral("Edit…"), QStringLiteral("Insert Delay After..."), QStringLiteral("Duplicate"),
                           QStringLiteral("Copy"), QStringLiteral("Paste"), QStringLiteral("Delete")}));
    EXPECT_TRUE(detail.deleteSelectedButton()->isVisibleTo(&detail));
    EXPECT_TRUE(detail.deleteSelectedButton()->text().endsWith(QStringLiteral("Delete 2")));
    detail.deleteSelected();
    EXPECT_EQ(m.macros()[0].actions.size(), 3u);
    EXPECT_TRUE(detail.selection().empty());
    EXPECT_EQ(detail.actions()->rowCount(), 3);

    InsertDelaySheet sheet(0.5);
    sheet.stepper()->setValue(100);
    EXPECT_DOUBLE_EQ(sheet.duration(), 30.0);
    sheet.stepper()->setValue(0);
    EXPECT_DOUBLE_EQ(sheet.duration(), 0.05);
}

TEST(Views, RecordAndPlayButtonsFollowTheStates)
{
    AppModelHarness h;
    AppViewModel& m = startWith(h, {macroWith(QStringLiteral("A"), 3)});
    RecorderControlView bar(m);
    PlaybackControlView panel(m, m.macros()[0]);
    EXPECT_EQ(bar.recordButton()->text(), QStringLiteral("Start Recording"));
    EXPECT_EQ(bar.statusText()->text(), QStringLiteral("Ready to Record"));
    // A desktop that does not say where the pointer is: the bar says so while recording.
    m.recordingLimits = {QStringLiteral("sway"), false, true};
    auto* limits = bar.findChild<QLabel*>(QStringLiteral("recorderLimits"));
    ASSERT_NE(limits, nullptr);
    EXPECT_FALSE(limits->isVisibleTo(&bar));
    m.recordingFlow().startRecording();
    EXPECT_EQ(bar.recordButton()->text(), QStringLiteral("Stop Recording"));
    EXPECT_EQ(bar.statusText()->text(), QStringLiteral("Recording\u2026"));
    EXPECT_TRUE(limits->isVisibleTo(&bar));
    EXPECT_EQ(limits->text(), QStringLiteral("sway does not say where the pointer is: positions are estimated from "
                                             "the mouse's motion."));
    m.setAppLanguage(AppLocale::zh);
    EXPECT_TRUE(limits->text().startsWith(QStringLiteral("sway "))) << limits->text().toStdString();
    EXPECT_FALSE(limits->text().contains(QStringLiteral("pointer")));
    m.setAppLanguage(AppLocale::en);
    EXPECT_FALSE(panel.playButton()->isEnabled()); // no playback while recording
    m.recordingFlow().discardPendingRecording();
    EXPECT_TRUE(panel.playButton()->isEnabled());

    h.sleeper.holdFrom(h.clock.now() + 0.7);
    panel.playButton()->click();
    ASSERT_TRUE(waitUntil([&] { return m.playback().state().isBusy(); }));
    EXPECT_EQ(panel.playButton()->text(), QStringLiteral("Stop Playback"));
    EXPECT_EQ(panel.progressText()->text(), QStringLiteral("Playing loop 1 of 1"));
    EXPECT_FALSE(bar.recordButton()->isEnabled()); // no recording while playing
    EXPECT_FALSE(bar.hints()->isVisibleTo(&bar));
    // The options beyond the speed are folded away until asked for.
    auto* more = panel.findChild<QToolButton*>(QStringLiteral("playbackOptions"));
    ASSERT_TRUE(more);
    if (more->isChecked())
        more->click();
    EXPECT_FALSE(panel.repeatStepper()->isVisibleTo(&panel));
    more->click();
    EXPECT_TRUE(panel.repeatStepper()->isVisibleTo(&panel));
    panel.options().setInfiniteLoop(true);
    EXPECT_FALSE(panel.repeatStepper()->isVisibleTo(&panel));
    panel.options().setInfiniteLoop(false);
    EXPECT_TRUE(panel.repeatStepper()->isVisibleTo(&panel));

    StatusBarController tray(m, [] {});
    tray.updateIcon(false, true);
    EXPECT_EQ(tray.icon(), StatusBarController::Icon::playing);
    EXPECT_TRUE(tray.isBlinking());
    EXPECT_EQ(tray.status().text, QStringLiteral("Playing..."));
    EXPECT_TRUE(tray.commandTitles().contains(QStringLiteral("Stop Playback")));
    panel.playButton()->click();
    EXPECT_FALSE(m.playback().isBusy());
    tray.updateIcon(false, false);
    EXPECT_FALSE(tray.isBlinking());
    tray.updateIcon(true, true); // recording wins
    EXPECT_EQ(tray.icon(), StatusBarController::Icon::recording);
    EXPECT_EQ(tray.status().text, QStringLiteral("Idle \u00b7 1 macro(s)"));
    EXPECT_EQ(tray.commandTitles(), (QStringList{QStringLiteral("Quillo"), QStringLiteral("Idle \u00b7 1 macro(s)"),
                                                 QStringLiteral("Start Recording"), QStringLiteral("Play: A"),
                                                 QStringLiteral("Open Quillo"), QStringLiteral("Quit")}));
    m.recordingFlow().startRecording();
    EXPECT_EQ(tray.status().text, QStringLiteral("Recording..."));
    EXPECT_TRUE(tray.commandTitles().contains(QStringLiteral("Stop Recording")));
    m.setSelectedMacroID(std::nullopt);
    EXPECT_FALSE(tray.commandTitles().join(QLatin1Char('|')).contains(QStringLiteral("Play:")));
    m.recordingFlow().discardPendingRecording();
}

TEST(Views, TheSaveSheetOnlyDiscardsOnPurpose)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    h.record(m, 4);
    ASSERT_TRUE(m.recordingFlow().showRecordingSheet());
    SaveMacroSheet sheet(m);
    sheet.reject(); // Escape, or the close button
    EXPECT_TRUE(m.recordingFlow().showRecordingSheet());
    EXPECT_EQ(m.recordingFlow().pendingActions().size(), 5u);
    sheet.nameField()->setText(QStringLiteral("  Login  "));
    EXPECT_EQ(m.recordingFlow().pendingRecordingName(), QStringLiteral("  Login  "));
    sheet.nameField()->returnPressed();
    EXPECT_FALSE(m.recordingFlow().showRecordingSheet());
    EXPECT_EQ(m.macros().front().metadata.name, QStringLiteral("Login"));
}

TEST(Views, DebugPanelFiltersByLevelAndText)
{
    QCoreApplication::sendPostedEvents(); // log lines still on their way from earlier tests
    const QList<LogEntry> entries = {
        {QUuid::createUuid(), QDateTime::currentDateTime(), LogEntry::Level::info, QStringLiteral("Recording started")},
        {QUuid::createUuid(), QDateTime::currentDateTime(), LogEntry::Level::error, QStringLiteral("Failed to save")},
        {QUuid::createUuid(), QDateTime::currentDateTime(), LogEntry::Level::info, QStringLiteral("Macro saved")},
    };
    EXPECT_EQ(DebugPanelView::filtered(entries, std::nullopt, {}).size(), 3);
    EXPECT_EQ(DebugPanelView::filtered(entries, LogEntry::Level::info, {}).size(), 2);
    EXPECT_EQ(DebugPanelView::filtered(entries, LogEntry::Level::info, QStringLiteral("SAVED")).size(), 1);
    EXPECT_EQ(DebugPanelView::filtered(entries, LogEntry::Level::warn, {}).size(), 0);
    EXPECT_EQ(DebugPanelView::filtered(entries, std::nullopt, QStringLiteral("INFO")).size(), 0); // not the level

    LogService::shared()->setEntries(entries);
    DebugPanelView panel;
    EXPECT_EQ(panel.footer()->text(), QStringLiteral("3 / 3 entries"));
    LogService::shared()->setEntries({});
    EXPECT_EQ(panel.footer()->text(), QStringLiteral("0 / 0 entries"));
    EXPECT_TRUE(DebugPanelView::rowHtml(entries[1]).contains(QStringLiteral("\u2715")));

    // New entries are added to what is drawn, not drawn again with everything else;
    // a filter change keeps the scroll position.
    QList<LogEntry> many;
    for (int i = 0; i < 200; ++i)
        many.append({QUuid::createUuid(), QDateTime::currentDateTime(), LogEntry::Level::info,
                     QStringLiteral("line %1").arg(i)});
    LogService::shared()->setEntries(many);
    panel.resize(640, 440);
    panel.show();
    QTextDocument* document = panel.text()->document();
    document->firstBlock().setUserState(42);
    appLog(QStringLiteral("one more"), LogEntry::Level::warn);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(document->firstBlock().userState(), 42) << "the whole log was drawn again";
    EXPECT_EQ(document->blockCount(), 201);
    EXPECT_TRUE(document->lastBlock().text().endsWith(QStringLiteral("one more")));
    EXPECT_EQ(panel.footer()->text(), QStringLiteral("201 / 201 entries"));
    QScrollBar* bar = panel.text()->verticalScrollBar();
    bar->setValue(bar->maximum() / 3);
    const int place = bar->value();
    auto* search = panel.findChild<QLineEdit*>();
    search->setText(QStringLiteral("line"));
    EXPECT_EQ(bar->value(), place);
    LogService::shared()->setEntries({});
}

TEST(Views, AnErrorArrivingWhileAnAlertIsOpenGetsItsOwnAlert)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    MainWindow window(m);
    window.show();
    QStringList shown;
    bool secondSent = false;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (!secondSent) {
            secondSent = true;
            h.dialogs.openAnswer = h.dir.path() + QStringLiteral("/second.quillo");
            m.importMacro(); // fails while the first alert is open
        }
        shown << box->text();
        box->accept();
    });
    closer.start();
    h.dialogs.openAnswer = h.dir.path() + QStringLiteral("/first.quillo");
    m.importMacro();
    ASSERT_TRUE(waitUntil([&] { return shown.size() == 2; }, 3000)) << shown.join('|').toStdString();
    EXPECT_TRUE(shown[0].contains(QStringLiteral("first.quillo")));
    EXPECT_TRUE(shown[1].contains(QStringLiteral("second.quillo")));
    EXPECT_FALSE(m.errorMessage());
}

// Last in this file: it ends the running event loop as quitting does.
TEST(Views, QuitFromTheTrayEndsTheApplicationEvenWithTheWindowOpen)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    MainWindow window(m);
    window.show();
    StatusBarController tray(m, [] {});
    QAction* quit = nullptr;
    for (QAction* a : tray.menu()->actions())
        if (a->text() == QStringLiteral("Quit"))
            quit = a;
    ASSERT_NE(quit, nullptr);
    QEventLoop loop;
    QTimer::singleShot(0, quit, &QAction::trigger);
    QTimer::singleShot(3000, &loop, [&] { loop.exit(7); }); // not ended: fail
    EXPECT_EQ(loop.exec(), 0);
    // The application's quit ends every event loop started after it too (a dialog's
    // exec() would return at once) until the application runs again: run it briefly.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

TEST(Views, ThePanelPlaysTheMacroAsEditedAndRenamed)
{
    AppModelHarness h;
    AppViewModel& m = startWith(h, {macroWith(QStringLiteral("Five"), 5)});
    MacroDetailView detail(m, m.macros()[0].id);
    const QUuid id = m.macros()[0].id;
    m.library().deleteActions(id, {0, 1});
    m.library().renameMacro(id, QStringLiteral("Three"));
    h.poster.clear();
    detail.playbackControls()->playButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !m.playback().isBusy(); }));
    std::vector<std::uint16_t> keys;
    for (const auto& posted : h.poster.posted())
        keys.push_back(posted.event.keyCode);
    EXPECT_EQ(keys, (std::vector<std::uint16_t>{2, 3, 4, 2, 3, 4})); // the three keys, then their releases
    EXPECT_TRUE(h.logMessages().contains(QStringLiteral("INFO Playback started \u2014 \"Three\" (speed 1.0x)")));
}

TEST(Views, TrayEntriesSurviveTheTickingClockAndShowNamesLiterally)
{
    AppModelHarness h;
    AppViewModel& m = startWith(h, {macroWith(QStringLiteral("Save & <b>quit</b>\tnow"), 2)});
    StatusBarController tray(m, [] {});
    QAction* play = nullptr;
    for (QAction* a : tray.menu()->actions())
        if (a->text().startsWith(QStringLiteral("Play: ")))
            play = a;
    ASSERT_NE(play, nullptr);
    // The name literally, its tab written as in the list (no shortcut column); the chord
    // in force beside it.
    EXPECT_EQ(play->text(), QStringLiteral("Play: Save && <b>quit</b>\\tnow\tAlt+Super+Key 35"));

    m.recordingFlow().startRecording();
    QPointer<QAction> stop;
    for (QAction* a : tray.menu()->actions())
        if (a->text().startsWith(QStringLiteral("Stop Recording\t")))
            stop = a;
    ASSERT_TRUE(stop);
    // A chord that is not in force is not offered.
    h.hotkeys.refuseChord({15, 0x900}, QStringLiteral("taken"));
    m.hotkeys().setSuspended(true);
    m.hotkeys().setSuspended(false);
    m.recorder().refreshElapsedTime();
    EXPECT_EQ(stop->text(), QStringLiteral("Stop Recording"));
    // The elapsed time ticks (every change of the model) while the user's click is on its way.
    for (int i = 0; i < 5; ++i) {
        h.clock.advance(0.1);
        m.recorder().refreshElapsedTime();
    }
    ASSERT_TRUE(stop) << "the entry under the pointer was rebuilt";
    stop->trigger();
    EXPECT_EQ(m.recorder().state(), RecordingState::idle);
    m.recordingFlow().discardPendingRecording();

    MacroDetailView detail(m, m.macros()[0].id);
    const auto labels = detail.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [](QLabel* l) {
        return l->text().contains(QStringLiteral("<b>quit</b>")) && l->textFormat() == Qt::PlainText;
    }));
}

TEST(Views, ARightClickKeepsTheSelectionAndTheLanguageKeepsThePane)
{
    AppModelHarness h;
    Macro macro = macroWith(QStringLiteral("Keys"), 5);
    macro.actions[1] = MacroAction::keyDown(0.5, 4, ModifierFlags::shift); // Shift+H
    AppViewModel& m = startWith(h, {macro});
    ContentView content(m);
    content.resize(800, 600);
    content.show();
    auto* detail = content.findChild<MacroDetailView*>();
    ASSERT_NE(detail, nullptr);
    QListView* list = detail->actionList();
    EXPECT_EQ(detail->actions()->index(1).data(ActionListModel::TimestampRole).toString(),
              QStringLiteral("+0.500s  \u00b7  Shift+H"));
    EXPECT_EQ(detail->actions()->index(0).data(ActionListModel::TimestampRole).toString(),
              QStringLiteral("+0.000s  \u00b7  Key 0"));

    list->selectionModel()->select(list->model()->index(1, 0), QItemSelectionModel::Select);
    list->selectionModel()->select(list->model()->index(3, 0), QItemSelectionModel::Select);
    // A right-click on an unselected row does not replace the selection ...
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, list->visualRect(list->model()->index(0, 0)).center());
    EXPECT_EQ(detail->selection(), (std::set<int>{1, 3}));
    EXPECT_EQ(detail->contextMenuTitles(0).constFirst(), QStringLiteral("Edit…"));
    EXPECT_EQ(detail->contextMenuTitles(0).constLast(), QStringLiteral("Delete"));
    // ... and its Delete removes that row alone; the selection stays on the same actions.
    detail->deleteRowKeepingSelection(0);
    EXPECT_EQ(m.macros()[0].actions.size(), 4u);
    EXPECT_EQ(detail->selection(), (std::set<int>{0, 2}));

    // Another language keeps the pane: options, selection and delay value.
    detail->playbackControls()->options().setLoopCount(4);
    detail->playbackControls()->options().setSpeedMultiplier(2.0);
    m.setAppLanguage(AppLocale::fr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(content.findChild<MacroDetailView*>(), detail);
    EXPECT_EQ(detail->selection(), (std::set<int>{0, 2}));
    EXPECT_EQ(detail->playbackControls()->options().options().loopCount, 4);
    EXPECT_EQ(detail->playbackControls()->options().options().speedMultiplier, 2.0);

    // Counts read right: the recording holds one action (the frontmost application).
    RecorderControlView bar(m);
    m.recordingFlow().startRecording();
    EXPECT_EQ(bar.countText()->text(), QStringLiteral("1 action captur\u00e9e"));
    m.setAppLanguage(AppLocale::en);
    EXPECT_EQ(bar.countText()->text(), QStringLiteral("1 action captured"));
    m.recordingFlow().discardPendingRecording();

    // The settings window keeps one size in every language, and Ctrl+Q quits from it
    // as from the main window.
    SettingsWindow settings(m);
    MainWindow window(m);
    for (QWidget* w : std::initializer_list<QWidget*>{&settings, &window}) {
        const auto actions = w->actions();
        EXPECT_TRUE(std::any_of(actions.begin(), actions.end(), [](QAction* a) {
            return a->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_Q);
        })) << w->objectName().toStdString();
    }
    for (const AppLocale language : {AppLocale::ar, AppLocale::zh, AppLocale::en}) {
        m.setAppLanguage(language);
        EXPECT_EQ(settings.minimumHeight(), settings.maximumHeight());
        EXPECT_EQ(settings.minimumWidth(), settings.maximumWidth());
    }
}

TEST(Views, APanelSaysWhenItsMacroWasRecordedOnOtherMonitorsAndMapsWhenAsked)
{
    AppModelHarness h;
    h.workspace.layout = {ScreenOutput{QStringLiteral("eDP-1"), 0, 0, 1280, 800, 1}};
    Macro macro = macroWith(QStringLiteral("Wide"), 2);
    macro.metadata.outputs = {ScreenOutput{QStringLiteral("DP-1"), 0, 0, 2560, 1440, 1}};
    macro.actions = {MacroAction::mouseDown(0.1, 1280, 720, MouseButton::left), MacroAction::mouseUp(0.2, 1280, 720, MouseButton::left)};
    AppViewModel& m = startWith(h, {macro});
    PlaybackControlView panel(m, m.macros()[0]);
    QLabel* notice = nullptr;
    for (QLabel* label : panel.findChildren<QLabel*>())
        if (label->text().startsWith(QStringLiteral("Recorded on another screen layout")))
            notice = label;
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisibleTo(&panel));
    EXPECT_TRUE(notice->text().contains(QStringLiteral("DP-1 2560\u00d71440 at 0,0")));
    QCheckBox* map = nullptr;
    for (QCheckBox* box : panel.findChildren<QCheckBox*>())
        if (box->text() == QStringLiteral("Map positions to this layout"))
            map = box;
    ASSERT_NE(map, nullptr);
    map->click();
    panel.playButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !m.playback().isBusy(); }));
    ASSERT_FALSE(h.poster.posted().empty());
    EXPECT_EQ(h.poster.posted().front().event.x, 640); // the middle of this monitor
    EXPECT_EQ(h.poster.posted().front().event.y, 400);

    // A macro from these very monitors says nothing.
    h.workspace.layout = {ScreenOutput{QStringLiteral("DP-1"), 0, 0, 2560, 1440, 1}};
    PlaybackControlView same(m, m.macros()[0]);
    for (QLabel* label : same.findChildren<QLabel*>())
        EXPECT_FALSE(label->isVisibleTo(&same) && label->text().startsWith(QStringLiteral("Recorded on another")));
}

TEST(Views, APanelSaysWhenThisDesktopCannotReplayItsMacrosPositions)
{
    AppModelHarness h;
    Macro clicks = macroWith(QStringLiteral("Clicks"), 0);
    clicks.actions = {MacroAction::mouseDown(0.1, 10, 10, MouseButton::left), MacroAction::mouseUp(0.2, 10, 10, MouseButton::left)};
    const Macro keys = macroWith(QStringLiteral("Keys"), 2);
    AppViewModel& m = startWith(h, {clicks, keys});
    auto noticeShown = [&](const Macro& macro) {
        PlaybackControlView panel(m, macro);
        for (QLabel* label : panel.findChildren<QLabel*>())
            if (label->isVisibleTo(&panel) && label->text().contains(QStringLiteral("positions are not replayed")))
                return true;
        return false;
    };
    EXPECT_FALSE(noticeShown(m.macros()[0])) << "a desktop that replays positions said it does not";
    m.replaysPositions = false;
    EXPECT_TRUE(noticeShown(m.macros()[0]));
    EXPECT_FALSE(noticeShown(m.macros()[1])) << "a macro of keys only has no positions to lose";
}

TEST(Views, HotkeysAreChangedByPressingTheNewChord)
{
    AppModelHarness h;
    h.keyboard.setName(17, QStringLiteral("T"));
    h.keyboard.setName(35, QStringLiteral("P"));
    AppViewModel& m = startWith(h, {macroWith(QStringLiteral("Login"), 2)});
    SettingsWindow settings(m);
    auto* play = settings.findChild<ChordButton*>(QStringLiteral("hotkey3"));
    ASSERT_NE(play, nullptr);
    EXPECT_EQ(play->text(), QStringLiteral("Alt+Super+P"));
    // The physical key comes from the scan code (X keycode 28 is T), the modifiers from the event.
    auto press = [](QWidget* target, Qt::Key key, Qt::KeyboardModifiers mods, quint32 scanCode) {
        QKeyEvent event(QEvent::KeyPress, key, mods, scanCode, 0, 0);
        QApplication::sendEvent(target, &event);
    };
    play->click();
    EXPECT_TRUE(play->isListening());
    EXPECT_TRUE(m.hotkeys().isSuspended()) << "a chord in use could not be pressed";
    EXPECT_TRUE(h.hotkeys.active().isEmpty());
    press(play, Qt::Key_Control, Qt::ControlModifier, 37); // still being held down
    EXPECT_TRUE(play->isListening());
    press(play, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier, 28);
    EXPECT_FALSE(play->isListening());
    EXPECT_FALSE(m.hotkeys().isSuspended());
    EXPECT_EQ(play->text(), QStringLiteral("Ctrl+Alt+T"));
    EXPECT_EQ(m.hotkeys().chord(3), (HotkeyChord{17, 0x1800}));

    // Escape leaves it as it was; a plain key is refused and said so under the row.
    play->click();
    press(play, Qt::Key_Escape, Qt::NoModifier, 9);
    EXPECT_EQ(play->text(), QStringLiteral("Ctrl+Alt+T"));
    play->click();
    press(play, Qt::Key_T, Qt::NoModifier, 28);
    QLabel* problem = nullptr;
    for (QLabel* label : settings.findChildren<QLabel*>())
        if (label->text().startsWith(QStringLiteral("A hotkey needs")))
            problem = label;
    ASSERT_NE(problem, nullptr);
    EXPECT_TRUE(problem->isVisibleTo(&settings));
    EXPECT_EQ(m.hotkeys().chord(3), (HotkeyChord{17, 0x1800}));

    // A macro gets a chord of its own in its pane; the one the settings use is refused there.
    MacroDetailView detail(m, m.macros()[0].id);
    EXPECT_EQ(detail.hotkeyButton()->text(), QStringLiteral("Set\u2026"));
    detail.hotkeyButton()->click();
    press(detail.hotkeyButton(), Qt::Key_T, Qt::ControlModifier | Qt::AltModifier, 28);
    EXPECT_EQ(detail.hotkeyProblem()->text(), QStringLiteral("Already used for Play / Stop."));
    detail.hotkeyButton()->click();
    press(detail.hotkeyButton(), Qt::Key_P, Qt::MetaModifier | Qt::ShiftModifier, 33);
    EXPECT_EQ(detail.hotkeyButton()->text(), QStringLiteral("Shift+Super+P"));
    EXPECT_FALSE(detail.hotkeyProblem()->isVisibleTo(&detail));
    EXPECT_TRUE(m.hotkeyChords().idForMacro(m.macros()[0].id).has_value());
}

TEST(Views, WithoutATrayTheDesktopsIndicatorCarriesTheMenuAndItsClicksStayOutOfTheRecording)
{
    AppModelHarness h;
    AppViewModel& m = startWith(h, {macroWith(QStringLiteral("Login"), 2)});
    FakeStatusIndicator indicator;
    StatusBarController tray(m, [] {}, &indicator); // offscreen: no tray
    ASSERT_TRUE(tray.usesIndicator());
    ASSERT_TRUE(indicator.shown);
    EXPECT_EQ(indicator.state, QStringLiteral("idle"));
    auto entry = [&](const QString& id) -> const StatusIndicator::Entry* {
        for (const auto& e : indicator.menu)
            if (e.id == id)
                return &e;
        return nullptr;
    };
    ASSERT_NE(entry(QStringLiteral("startRecording")), nullptr);
    EXPECT_EQ(entry(QStringLiteral("startRecording"))->label, QStringLiteral("Start Recording    Alt+Super+Key 15"));
    EXPECT_EQ(entry(QStringLiteral("stopRecording")), nullptr);

    indicator.choose(QStringLiteral("startRecording"));
    ASSERT_EQ(m.recorder().state(), RecordingState::recording);
    tray.updateIcon(true, false);
    EXPECT_EQ(indicator.state, QStringLiteral("recording"));
    ASSERT_NE(entry(QStringLiteral("stopRecording")), nullptr);
    // The user types, then opens the indicator's menu and clicks its entry: those two
    // clicks (in the top bar) are not part of the macro.
    auto deliver = [&](RawEventType type, double x, double y) {
        RawInputEvent e;
        e.type = type;
        e.time = h.clock.now();
        e.x = x;
        e.y = y;
        h.tap.deliver(e);
        h.clock.advance(0.2);
    };
    h.clock.advance(2);
    deliver(RawEventType::leftMouseDown, 300, 300);
    deliver(RawEventType::leftMouseUp, 300, 300);
    h.clock.advance(2);
    deliver(RawEventType::leftMouseDown, 1200, 10); // on the indicator
    deliver(RawEventType::leftMouseUp, 1200, 10);
    Q_EMIT indicator.menuOpened();
    deliver(RawEventType::leftMouseDown, 1150, 60); // on its menu entry
    deliver(RawEventType::leftMouseUp, 1150, 60);
    QCoreApplication::sendPostedEvents();
    indicator.choose(QStringLiteral("stopRecording"), {QRectF(1180, 0, 40, 32), QRectF(1000, 32, 280, 200)});
    ASSERT_EQ(m.recorder().state(), RecordingState::idle);
    ASSERT_TRUE(m.recordingFlow().showRecordingSheet());
    int clicks = 0;
    for (const MacroAction& a : m.recordingFlow().pendingActions())
        if (const auto* down = std::get_if<MacroAction::MouseDown>(&a.payload)) {
            ++clicks;
            EXPECT_EQ(down->x, 300) << "a click on the indicator was recorded";
        }
    EXPECT_EQ(clicks, 1);
    // A disabled or unknown entry does nothing.
    indicator.choose(QStringLiteral("status"));
    indicator.choose(QStringLiteral("no-such-entry"));
}

TEST(Views, CtrlZUndoesADeleteInTheWindowAndTheEditMenuSaysWhatItWouldUndo)
{
    AppModelHarness h;
    AppViewModel& m = startWith(h, {macroWith(QStringLiteral("First"), 3), macroWith(QStringLiteral("Second"), 3)});
    MainWindow window(m);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QMenu* edit = window.menuBar()->findChildren<QMenu*>().value(0);
    ASSERT_TRUE(edit);
    const QList<QAction*> items = edit->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_FALSE(items[0]->isEnabled());

    const QUuid first = m.macros()[0].id;
    m.library().deleteMacro(first);
    ASSERT_EQ(m.macros().size(), 1u);
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_EQ(items[0]->toolTip(), QStringLiteral("Deleted macro \"First\""));
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(m.macros().size(), 2u);
    EXPECT_EQ(m.macros()[0].id, first); // back in its place
    EXPECT_TRUE(items[1]->isEnabled());
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(m.macros().size(), 1u);

    m.setAppLanguage(AppLocale::ar);
    EXPECT_EQ(edit->title(), QStringLiteral("تحرير"));
    EXPECT_EQ(items[0]->text(), QStringLiteral("تراجع"));
    m.setAppLanguage(AppLocale::en);
}

TEST(Views, TheRecorderBarSetsWhatRecordingsTakeInAndTheDetailSaysHowOneWasRecorded)
{
    AppModelHarness h;
    Macro recorded = macroWith(QStringLiteral("Typed"), 2);
    recorded.metadata.recording = RecordingOptions{true, false, 0};
    AppViewModel& m = startWith(h, {recorded, macroWith(QStringLiteral("Imported"), 2)});
    RecorderControlView bar(m);
    bar.takesField()->setCurrentIndex(1);
    Q_EMIT bar.takesField()->activated(1);
    EXPECT_EQ(m.recordingFlow().recordingOptions(), (RecordingOptions{true, false, 0}));
    EXPECT_FALSE(bar.thinField()->isEnabled()); // nothing to thin without the mouse
    bar.takesField()->setCurrentIndex(0);
    Q_EMIT bar.takesField()->activated(0);
    bar.thinField()->setChecked(true);
    bar.thinIntervalField()->setValue(200);
    EXPECT_EQ(m.recordingFlow().recordingOptions(), (RecordingOptions{true, true, 200}));
    m.recordingFlow().startRecording();
    EXPECT_FALSE(bar.takesField()->isVisibleTo(&bar));
    EXPECT_TRUE(bar.statusText()->text().endsWith(QStringLiteral("moves thinned to one per 200 ms")));
    m.recordingFlow().stopRecordingAndPrompt();

    MacroDetailView typed(m, recorded.id);
    EXPECT_TRUE(typed.recordedWithText()->isVisibleTo(&typed));
    EXPECT_EQ(typed.recordedWithText()->text(), QStringLiteral("Recorded: keyboard only"));
    m.setAppLanguage(AppLocale::zh);
    EXPECT_EQ(typed.recordedWithText()->text(), QStringLiteral("录制内容：仅键盘"));
    MacroDetailView imported(m, m.macros()[1].id);
    EXPECT_FALSE(imported.recordedWithText()->isVisibleTo(&imported));
}

TEST(Views, ArabicMirrorsTheWindowsAndOtherLanguagesDoNot)
{
    AppModelHarness h;
    AppViewModel& m = startWith(h, {macroWith(QStringLiteral("One"), 2)});
    MainWindow window(m);
    window.resize(720, 500);
    window.show();
    EXPECT_EQ(QApplication::layoutDirection(), Qt::LeftToRight);
    m.setAppLanguage(AppLocale::ar);
    EXPECT_EQ(QApplication::layoutDirection(), Qt::RightToLeft);
    // The library list now stands on the right of the detail pane.
    auto* list = window.findChild<MacroListView*>();
    auto* detail = window.findChild<MacroDetailView*>();
    ASSERT_NE(list, nullptr);
    ASSERT_NE(detail, nullptr);
    QCoreApplication::processEvents();
    EXPECT_GT(list->mapTo(&window, QPoint(0, 0)).x(), detail->mapTo(&window, QPoint(0, 0)).x());
    m.setAppLanguage(AppLocale::zh);
    EXPECT_EQ(QApplication::layoutDirection(), Qt::LeftToRight);
    m.setAppLanguage(AppLocale::en);
}

TEST(Views, TheSaveSheetSaysWhenANewerRecordingReplacedTheOneItHeld)
{
    AppModelHarness h;
    AppViewModel& m = h.start();
    m.setAppLanguage(AppLocale::tr);
    h.record(m, 2);
    SaveMacroSheet sheet(m);
    EXPECT_FALSE(sheet.notice()->isVisibleTo(&sheet));
    m.recordingFlow().setPendingRecordingName(QStringLiteral("Birinci"));
    h.record(m, 2);
    EXPECT_TRUE(sheet.notice()->isVisibleTo(&sheet));
    EXPECT_EQ(sheet.notice()->text(), QStringLiteral("Bundan \u00f6nceki kay\u0131t \u201cBirinci\u201d ad\u0131yla kaydedildi."));
    m.setAppLanguage(AppLocale::en);
}

TEST(Views, NamesWithLineBreaksAndControlsStayOnOneLineAndReadAsStored)
{
    AppModelHarness h;
    AppViewModel& m = startWith(h, {macroWith(QStringLiteral("Two\nlines\t\u202eevil\x1b"), 1)});
    MacroListView list(m);
    const QString shown = list.list()->model()->index(0, 0).data().toString();
    EXPECT_EQ(shown, QStringLiteral("Two\\nlines\\t\\u202Eevil\\x1B"));
    MacroDetailView detail(m, m.macros()[0].id);
    EXPECT_EQ(detail.findChild<QLabel*>()->text().count(QLatin1Char('\n')), 0);
    // Renaming starts from the name as it is stored.
    EXPECT_EQ(m.macros()[0].metadata.name, QStringLiteral("Two\nlines\t\u202eevil\x1b"));
    EXPECT_EQ(NameText::oneLine(QStringLiteral("C:\\temp")), QStringLiteral("C:\\temp"));
}

TEST(Views, ThePermissionBannerSaysTheLinuxCauseInTheUsersLanguage)
{
    AppModelHarness h;
    h.permissions.accessibility = false;
    h.permissions.inputMonitoring = false;
    h.permissions.causeKey = QStringLiteral("cause.helperMissing");
    h.permissions.needKey = QStringLiteral("banner.needs.wayland");
    AppViewModel& m = h.start();
    m.permissions().checkPermissions();
    PermissionBannerView banner(m);
    auto record = [&] { return banner.findChildren<QLabel*>().at(1)->text(); };
    EXPECT_TRUE(record().contains(QStringLiteral("Under Wayland, recording and replaying go through Quillo's input "
                                                 "helper, quillo-inputd: the input helper is not running.")))
        << record().toStdString();
    m.setAppLanguage(AppLocale::zh);
    EXPECT_TRUE(record().contains(QStringLiteral("输入助手没有运行"))) << record().toStdString();
    EXPECT_TRUE(record().contains(QStringLiteral("Cannot Record Input"))); // the title stays as it is everywhere
    // A cause the platform has no words for is shown as it says it.
    h.permissions.causeKey.clear();
    m.setAppLanguage(AppLocale::en);
    EXPECT_TRUE(record().contains(QStringLiteral("input cannot be observed"))) << record().toStdString();
}

TEST(Views, NothingIsClippedInAnyLanguage)
{
    AppModelHarness h;
    // With the screen's options shown: a screen to read, and a macro whose click carries a picture.
    AppViewModel& m = startWith(h, {withPicturedClick(macroWith(QStringLiteral("One"), 2))}, true);
    h.permissions.accessibility = h.permissions.inputMonitoring = true;
    MainWindow window(m);
    window.show();
    if (auto* more = window.findChild<QToolButton*>(QStringLiteral("playbackOptions")); more && !more->isChecked())
        more->click(); // the folded options too
    SettingsWindow settings(m);
    settings.show();
    // Every text that is not wrapped fits the width it was given.
    auto clipped = [](QWidget& top) {
        QStringList found;
        for (QWidget* w : top.findChildren<QWidget*>()) {
            if (!w->isVisible() || w->width() <= 0)
                continue;
            const auto* label = qobject_cast<QLabel*>(w);
            const bool fixedText = (label && !label->wordWrap() && label->textFormat() != Qt::RichText &&
                                    !label->text().contains(QLatin1Char('<'))) ||
                                   qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w);
            int needed = w->minimumSizeHint().width();
            if (const auto* box = qobject_cast<QComboBox*>(w)) // the chosen entry, its icon and the arrow
                needed = box->fontMetrics().horizontalAdvance(box->currentText()) + 24 +
                         (box->itemIcon(box->currentIndex()).isNull() ? 0 : box->iconSize().width() + 4);
            if (fixedText && w->width() < needed)
                found << QStringLiteral("%1 \"%2\" %3 < %4")
                             .arg(QString::fromLatin1(w->metaObject()->className()),
                                  label ? label->text()
                                  : qobject_cast<QAbstractButton*>(w) ? qobject_cast<QAbstractButton*>(w)->text()
                                                                      : qobject_cast<QComboBox*>(w)->currentText())
                             .arg(w->width())
                             .arg(needed);
        }
        return found;
    };
    for (const AppLocale language : {AppLocale::en, AppLocale::ar, AppLocale::zh, AppLocale::es, AppLocale::fr,
                                     AppLocale::it, AppLocale::tr}) {
        m.setAppLanguage(language);
        QCoreApplication::processEvents();
        const QString code = AppLocales::rawValue(language);
        const QStringList inWindow = clipped(window), inSettings = clipped(settings);
        EXPECT_TRUE(inWindow.isEmpty()) << "main window, " << code.toStdString() << ": " << inWindow.join("; ").toStdString();
        EXPECT_TRUE(inSettings.isEmpty()) << "settings, " << code.toStdString() << ": " << inSettings.join("; ").toStdString();
        // The sheets and dialogs as they open in this language.
        SaveMacroSheet save(m);
        GapsDialog gaps(m);
        TypeTextDialog text(m);
        ActionEditorDialog click(m, MacroAction::mouseDown(0, 412, 288, MouseButton::left), 0.1, true,
                                 ActionEditorDialog::Purpose::insert);
        for (QDialog* dialog : std::initializer_list<QDialog*>{&save, &gaps, &text, &click}) {
            dialog->show();
            QCoreApplication::processEvents();
            const QStringList inDialog = clipped(*dialog);
            EXPECT_TRUE(inDialog.isEmpty()) << dialog->metaObject()->className() << ", " << code.toStdString() << ": "
                                            << inDialog.join("; ").toStdString();
            dialog->hide();
        }
    }
    m.setAppLanguage(AppLocale::en);
}

TEST(Views, AnApplicationThatNeverCameToTheFrontIsSaidInTheUsersLanguage)
{
    AppModelHarness h;
    Macro macro = macroWith(QStringLiteral("Switch"), 1);
    macro.actions.insert(macro.actions.begin(), MacroAction::windowFocus(0, QStringLiteral("org.example.Editor"),
                                                                         QStringLiteral("Editor")));
    AppViewModel& m = startWith(h, {macro});
    h.poster.frontmost = [] { return std::optional<QString>(QStringLiteral("org.example.Terminal")); };
    m.setAppLanguage(AppLocale::zh);
    PlaybackOptions wait;
    wait.waitForApplications = 1;
    m.startPlayback(m.macros()[0], wait);
    ASSERT_TRUE(waitUntil([&] { return m.errorMessage().has_value(); }, 10000));
    EXPECT_EQ(*m.errorMessage(), QStringLiteral("Editor 没有运行，或在 1 秒内没有来到前台；播放已停止，并松开了所有按键和按钮。"));
    // The log keeps the English line.
    EXPECT_TRUE(h.logMessages().filter(QStringLiteral("ERROR Playback stopped: Editor is not running")).size() == 1);
    m.setAppLanguage(AppLocale::en);
}

TEST(Views, TheScreensOptionsShowWhereTheyMeanSomethingAndChangeWhatRecordsAndPlays)
{
    // Without a screen to read and without pictures, neither option is offered.
    {
        AppModelHarness h;
        AppViewModel& m = startWith(h, {macroWith(QStringLiteral("Plain"), 2)});
        MainWindow window(m);
        window.show();
        QCoreApplication::processEvents();
        auto* pictures = window.findChild<QCheckBox*>(QStringLiteral("recordPictures"));
        ASSERT_TRUE(pictures);
        EXPECT_FALSE(pictures->isVisible());
        auto* wait = window.findChild<QCheckBox*>(QStringLiteral("waitForScreen"));
        ASSERT_TRUE(wait);
        auto* more = window.findChild<QToolButton*>(QStringLiteral("playbackOptions"));
        ASSERT_TRUE(more);
        if (!more->isChecked())
            more->click();
        EXPECT_TRUE(window.findChild<QCheckBox*>(QStringLiteral("waitForApplications"))->isVisible());
        EXPECT_FALSE(wait->isVisible());
    }
    AppModelHarness h;
    AppViewModel& m = startWith(h, {withPicturedClick(macroWith(QStringLiteral("Pictured"), 2))}, true);
    MainWindow window(m);
    window.show();
    QCoreApplication::processEvents();
    auto* pictures = window.findChild<QCheckBox*>(QStringLiteral("recordPictures"));
    ASSERT_TRUE(pictures);
    EXPECT_TRUE(pictures->isVisible());
    EXPECT_TRUE(pictures->isChecked());
    pictures->click();
    EXPECT_FALSE(m.recordingFlow().takesPictures());
    EXPECT_EQ(h.settings.value(QStringLiteral("recording/pictures")).toBool(), false);
    m.setAppLanguage(AppLocale::zh);
    QCoreApplication::processEvents();
    EXPECT_EQ(pictures->text(), QStringLiteral("记录每次点击的画面"));

    // The click's row shows its picture; the keys' rows show none.
    auto* list = window.findChild<QAbstractItemView*>(QStringLiteral("actionList"));
    ASSERT_TRUE(list);
    const QPixmap thumbnail = list->model()->index(2, 0).data(ActionListModel::PictureRole).value<QPixmap>();
    EXPECT_EQ(thumbnail.size(), QSize(8, 8));
    EXPECT_FALSE(list->model()->index(0, 0).data(ActionListModel::PictureRole).isValid());

    // Waiting for the screen is on for the pictured macro; off, its click is not waited for.
    // It is among the options folded beside the speed, a click away.
    auto* wait = window.findChild<QCheckBox*>(QStringLiteral("waitForScreen"));
    ASSERT_TRUE(wait);
    auto* more = window.findChild<QToolButton*>(QStringLiteral("playbackOptions"));
    ASSERT_TRUE(more);
    if (!more->isChecked())
        more->click();
    EXPECT_TRUE(wait->isVisible());
    EXPECT_TRUE(wait->isChecked());
    EXPECT_EQ(wait->text(), QStringLiteral("等待屏幕内容"));
    m.setAppLanguage(AppLocale::en);
    // The screen never shows the picture: waiting, the playback stops with the step named.
    h.screen.setScreen(ScreenImage{QRectF(0, 0, 300, 200), 300, 200, std::vector<std::uint8_t>(300 * 200 * 4, 0)});
    window.findChild<QPushButton*>(QStringLiteral("playButton"))->click();
    EXPECT_TRUE(waitUntil([&] { return !m.playback().isBusy(); }, 20000));
    ASSERT_TRUE(m.errorMessage());
    EXPECT_TRUE(m.errorMessage()->startsWith(QStringLiteral("Step 3 (a click in Editor) waited 10 s"))) << m.errorMessage()->toStdString();
    EXPECT_TRUE(m.errorMessage()->contains(QStringLiteral("The screen at that moment is in "))) << m.errorMessage()->toStdString();
    m.clearErrorMessage();
    // Said in the user's language.
    m.setAppLanguage(AppLocale::zh);
    window.findChild<QPushButton*>(QStringLiteral("playButton"))->click();
    EXPECT_TRUE(waitUntil([&] { return !m.playback().isBusy(); }, 20000));
    ASSERT_TRUE(m.errorMessage());
    EXPECT_TRUE(m.errorMessage()->startsWith(QStringLiteral("第 3 步（在 Editor 中的一次点击）等待了 10 秒"))) << m.errorMessage()->toStdString();
    m.clearErrorMessage();
    m.setAppLanguage(AppLocale::en);
    wait->click();
    EXPECT_FALSE(wait->isChecked());
    h.poster.clear();
    window.findChild<QPushButton*>(QStringLiteral("playButton"))->click();
    EXPECT_TRUE(waitUntil([&] { return !m.playback().isBusy(); }, 20000));
    EXPECT_FALSE(m.errorMessage());
    EXPECT_EQ(h.poster.posted().back().event.type, RawEventType::leftMouseUp); // pressed blind, released at the end
}
