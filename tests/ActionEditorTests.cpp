#include "AppModelHarness.h"
#include "ViewModels/ActionChordText.h"
#include "Codec/MacroJsonEncoder.h"
#include "Services/AtomicFile.h"
#include "TestMacros.h"
#include "TestWait.h"
#include "Library/ActionRetiming.h"
#include "Views/ActionEditorDialog.h"
#include "Views/ActionListModel.h"
#include "Views/ContentView.h"
#include "Views/GapsDialog.h"
#include "Views/MacroDetailView.h"
#include "Views/ScreenPointPicker.h"
#include "Views/TypeTextDialog.h"
#include "Views/WaitStepDialog.h"
#include "Codec/PngCodec.h"
#include "TestScreens.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QMenu>
#include <QLineEdit>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>

namespace {

Macro macroOf(const QString& name, std::vector<MacroAction> actions)
{
    Macro m = TestMacros::small();
    m.id = QUuid::createUuid();
    m.metadata.name = name;
    m.actions = std::move(actions);
    m.metadata.actionCount = int(m.actions.size());
    return m;
}

AppViewModel& startWith(AppModelHarness& h, const std::vector<Macro>& macros, bool readsScreen = false)
{
    QDir().mkpath(QFileInfo(h.libraryPath()).absolutePath());
    EXPECT_TRUE(AtomicFile::write(h.libraryPath(), MacroJsonEncoder::encodeLibrary(macros).value()).hasValue());
    AppViewModel& m = h.start(readsScreen);
    m.setSelectedMacroID(m.macros()[0].id);
    return m;
}

std::vector<double> timesOf(const Macro& macro)
{
    std::vector<double> times;
    for (const MacroAction& a : macro.actions)
        times.push_back(a.timestamp);
    return times;
}

void expectTimes(const Macro& macro, const std::vector<double>& expected)
{
    const auto times = timesOf(macro);
    ASSERT_EQ(times.size(), expected.size());
    for (std::size_t i = 0; i < times.size(); ++i)
        EXPECT_NEAR(times[i], expected[i], 1e-9) << "action " << i;
}

// Answers the next modal dialog of type `Dialog` (the call that opens it blocks in
// exec()); whatever `answer` leaves open is cancelled, so a failing test cannot hang.
template <typename Dialog> void whenShown(std::function<void(Dialog&)> answer)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll->stop();
        poll->deleteLater();
        answer(*dialog);
        QTimer::singleShot(50, dialog, [dialog] {
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the dialog was left open";
                dialog->reject();
            }
        });
    });
    poll->start();
}

} // namespace

TEST(ActionEditor, EditingAKeyChangesThatActionAndItsOwnGapOnly)
{
    AppModelHarness h;
    AppViewModel& m = startWith(h, {macroOf(QStringLiteral("Typing"),
                                             {MacroAction::keyDown(0, 0, 0), MacroAction::keyUp(0.021, 0, 0),
                                              MacroAction::keyDown(0.042, 1, 0), MacroAction::keyUp(0.063, 1, 0),
                                              MacroAction::keyDown(1.0, 2, 0)})});
    MacroDetailView detail(m, m.macros()[0].id);
    int shownGap = -1;
    whenShown<ActionEditorDialog>([&](ActionEditorDialog& editor) {
        shownGap = editor.gapField()->value();
        editor.setKey(4);
        editor.modifierField(ModifierFlags::shift)->setChecked(true);
        editor.gapField()->setValue(100);
        editor.okButton()->click();
    });
    detail.editRow(2);
    EXPECT_EQ(shownGap, 21);
    const Macro& edited = m.macros()[0];
    const auto* key = std::get_if<MacroAction::KeyDown>(&edited.actions[2].payload);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->keyCode, 4);
    EXPECT_EQ(key->flags & ModifierFlags::shift, ModifierFlags::shift);
    expectTimes(edited, {0, 0.021, 0.121, 0.142, 1.079});
    EXPECT_TRUE(detail.actions()->index(2).data(ActionListModel::TimestampRole).toString().contains(
        ActionChordText::of(edited.actions[2], m.keyboardLayout())));

    // Cancelling changes nothing; undo brings back the recorded action and rhythm.
    whenShown<ActionEditorDialog>([](ActionEditorDialog& editor) {
        editor.gapField()->setValue(5000);
        editor.reject();
    });
    detail.editRow(2);
    expectTimes(m.macros()[0], {0, 0.021, 0.121, 0.142, 1.079});
    m.undo();
    expectTimes(m.macros()[0], {0, 0.021, 0.042, 0.063, 1.0});
    EXPECT_EQ(std::get<MacroAction::KeyDown>(m.macros()[0].actions[2].payload).keyCode, 1);
}

TEST(ActionEditor, ValuesThatCannotBeReplayedAreRefusedWithTheReason)
{
    AppModelHarness h;
    h.workspace.running = {RunningApplication{QStringLiteral("org.gnome.Nautilus"), QStringLiteral("Files")}};
    AppViewModel& m = h.start();

    ActionEditorDialog key(m, MacroAction::keyDown(0, 0, 0), 0.1, true, ActionEditorDialog::Purpose::insert);
    EXPECT_FALSE(key.okButton()->isEnabled());
    EXPECT_EQ(key.problemLabel()->text(), QStringLiteral("Press the key the action types."));
    key.setKey(4);
    EXPECT_TRUE(key.okButton()->isEnabled());
    // Alt and AltGr share a bit: one at a time.
    key.modifierField(ModifierFlags::option)->setChecked(true);
    key.modifierField(ModifierFlags::altGr)->setChecked(true);
    EXPECT_FALSE(key.modifierField(ModifierFlags::option)->isChecked());
    EXPECT_EQ(std::get<MacroAction::KeyDown>(key.action().payload).flags & ModifierFlags::altGr, ModifierFlags::altGr);

    ActionEditorDialog wheel(m, MacroAction::scroll(0, 10, 20, 0, 2), 0.1, true, ActionEditorDialog::Purpose::edit);
    EXPECT_TRUE(wheel.okButton()->isEnabled());
    wheel.wheelYField()->setValue(0);
    EXPECT_EQ(wheel.problem(), QStringLiteral("A wheel action turns the wheel at least one click."));
    wheel.okButton()->click(); // refused: stays open with its reason
    EXPECT_NE(wheel.result(), QDialog::Accepted);

    ActionEditorDialog app(m, MacroAction::windowFocus(0, QString(), QString()), 0.1, true,
                           ActionEditorDialog::Purpose::insert);
    EXPECT_EQ(app.problem(), QStringLiteral("Name the application to bring to the front."));
    app.applicationField()->setCurrentIndex(0); // chosen from the running applications
    auto focus = std::get<MacroAction::WindowFocus>(app.action().payload);
    EXPECT_EQ(focus.bundleID(), QStringLiteral("org.gnome.Nautilus"));
    EXPECT_EQ(focus.appName(), QStringLiteral("Files"));
    app.applicationField()->setEditText(QStringLiteral("  gedit "));
    focus = std::get<MacroAction::WindowFocus>(app.action().payload);
    EXPECT_EQ(focus.bundleID(), QStringLiteral("gedit")); // typed: the name is all there is
    EXPECT_TRUE(app.problem().isEmpty());

    // The first action has no gap to set.
    ActionEditorDialog first(m, MacroAction::delay(0, 0.5), 0, false, ActionEditorDialog::Purpose::edit);
    EXPECT_FALSE(first.gapField()->isEnabled());
}

TEST(ActionEditor, TheInsertMenuAddsKeysClicksSwitchesAndTextAfterTheSelection)
{
    AppModelHarness h;
    h.workspace.running = {RunningApplication{QStringLiteral("org.gnome.Nautilus"), QStringLiteral("Files")}};
    AppViewModel& m = startWith(h, {macroOf(QStringLiteral("Steps"),
                                             {MacroAction::keyDown(0, 0, 0), MacroAction::keyDown(0.5, 1, 0)})});
    ContentView content(m);
    content.resize(800, 600);
    content.show();
    auto* detail = content.findChild<MacroDetailView*>();
    ASSERT_NE(detail, nullptr);
    QListView* list = detail->actionList();
    auto selectOnly = [&](int row) {
        list->clearSelection();
        list->selectionModel()->select(list->model()->index(row, 0), QItemSelectionModel::Select);
    };

    selectOnly(0);
    whenShown<ActionEditorDialog>([](ActionEditorDialog& editor) {
        editor.setKey(4);
        editor.gapField()->setValue(200);
        editor.okButton()->click();
    });
    detail->insert(MacroDetailView::Insert::key);
    // A press and its release after the first action; the next keeps its own gap.
    ASSERT_EQ(m.macros()[0].actions.size(), 4u);
    EXPECT_EQ(m.macros()[0].actions[1].type(), ActionType::keyDown);
    EXPECT_EQ(m.macros()[0].actions[2].type(), ActionType::keyUp);
    expectTimes(m.macros()[0], {0, 0.2, 0.22, 0.72});

    // A click at a point picked on the screen: the window steps aside meanwhile.
    selectOnly(3);
    bool asideWhilePicking = false;
    whenShown<ActionEditorDialog>([&](ActionEditorDialog& editor) {
        editor.pickButton()->click();
        ASSERT_NE(editor.picker(), nullptr);
        asideWhilePicking = !content.isVisible() && !editor.isVisible();
        // The click comes later, as a person's would.
        QTimer::singleShot(100, &editor, [&editor] {
            editor.picker()->finish(QPointF(120.4, 339.6));
            QTimer::singleShot(0, &editor, [&editor] {
                EXPECT_EQ(editor.xField()->value(), 120);
                EXPECT_EQ(editor.yField()->value(), 340);
                editor.buttonField()->setCurrentIndex(1);
                editor.okButton()->click();
            });
        });
    });
    detail->insert(MacroDetailView::Insert::click);
    EXPECT_TRUE(asideWhilePicking);
    EXPECT_TRUE(content.isVisible());
    ASSERT_EQ(m.macros()[0].actions.size(), 6u);
    ASSERT_EQ(m.macros()[0].actions[4].type(), ActionType::mouseDown);
    const auto down = std::get<MacroAction::MouseDown>(m.macros()[0].actions[4].payload);
    EXPECT_EQ(down.x, 120);
    EXPECT_EQ(down.y, 340);
    EXPECT_EQ(down.button, MouseButton::right);
    EXPECT_EQ(m.macros()[0].actions[5].type(), ActionType::mouseUp);

    // A switch to a running application, after the click just inserted.
    whenShown<ActionEditorDialog>([](ActionEditorDialog& editor) {
        editor.applicationField()->setCurrentIndex(0);
        editor.okButton()->click();
    });
    detail->insert(MacroDetailView::Insert::application);
    ASSERT_EQ(m.macros()[0].actions.size(), 7u);
    ASSERT_EQ(m.macros()[0].actions[6].type(), ActionType::windowFocus);
    EXPECT_EQ(std::get<MacroAction::WindowFocus>(m.macros()[0].actions[6].payload).bundleID(),
              QStringLiteral("org.gnome.Nautilus"));

    // Typed text (after the switch, which the insertion selected): a character the layout has no key for is named and nothing is added.
    h.keyboard.setTyping(U'é', std::nullopt);
    whenShown<TypeTextDialog>([](TypeTextDialog& dialog) {
        dialog.textField()->setPlainText(QStringLiteral("Hé"));
        EXPECT_FALSE(dialog.insertButton()->isEnabled());
        EXPECT_TRUE(dialog.problemLabel()->text().contains(QStringLiteral("U+00E9")));
        dialog.textField()->setPlainText(QStringLiteral("Hi"));
        dialog.intervalField()->setValue(30);
        dialog.insertButton()->click();
    });
    detail->insert(MacroDetailView::Insert::text);
    const Macro& typed = m.macros()[0];
    ASSERT_EQ(typed.actions.size(), 11u);
    ASSERT_EQ(typed.actions[7].type(), ActionType::keyDown);
    EXPECT_EQ(std::get<MacroAction::KeyDown>(typed.actions[7].payload).flags & ModifierFlags::shift,
              ModifierFlags::shift);
    EXPECT_NEAR(typed.actions[9].timestamp - typed.actions[7].timestamp, 0.030, 1e-9);

    // Each insertion is one undo step.
    m.undo();
    EXPECT_EQ(m.macros()[0].actions.size(), 7u);
}

TEST(ActionEditor, SeveralActionsShareGapsAndTravelBetweenMacrosThroughTheClipboard)
{
    AppModelHarness h;
    AppViewModel& m = startWith(h, {macroOf(QStringLiteral("Source"),
                                             {MacroAction::keyDown(0, 0, 0), MacroAction::keyDown(0.1, 1, 0),
                                              MacroAction::keyDown(0.3, 2, 0), MacroAction::keyDown(0.6, 3, 0)}),
                                     macroOf(QStringLiteral("Target"), {MacroAction::keyDown(0, 9, 0)})});
    MacroDetailView source(m, m.macros()[0].id);
    QListView* list = source.actionList();
    for (int row : {1, 2})
        list->selectionModel()->select(list->model()->index(row, 0), QItemSelectionModel::Select);

    whenShown<GapsDialog>([](GapsDialog& dialog) {
        dialog.scaleChoice()->setChecked(true);
        dialog.factorField()->setValue(2);
        dialog.accept();
    });
    source.changeSelectedGaps();
    expectTimes(m.macros()[0], {0, 0.2, 0.6, 0.9});

    whenShown<GapsDialog>([](GapsDialog& dialog) {
        dialog.setChoice()->setChecked(true);
        dialog.gapField()->setValue(0);
        dialog.accept();
    });
    source.changeSelectedGaps();
    expectTimes(m.macros()[0], {0, 0, 0, 0.3});

    // Copy puts the macro file's text on the clipboard; paste adds it after the selection.
    source.copySelected();
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.contains(QStringLiteral("\"actions\""))) << copied.toStdString();
    m.setSelectedMacroID(m.macros()[1].id);
    MacroDetailView target(m, m.macros()[1].id);
    target.paste();
    EXPECT_TRUE(target.pasteProblem().isEmpty()) << target.pasteProblem().toStdString();
    ASSERT_EQ(m.macros()[1].actions.size(), 3u);
    EXPECT_EQ(std::get<MacroAction::KeyDown>(m.macros()[1].actions[1].payload).keyCode, 1);
    EXPECT_EQ(std::get<MacroAction::KeyDown>(m.macros()[1].actions[2].payload).keyCode, 2);

    // Text that is not actions is refused with a reason and changes nothing.
    QApplication::clipboard()->setText(QStringLiteral("hello"));
    target.paste();
    EXPECT_FALSE(target.pasteProblem().isEmpty());
    EXPECT_EQ(m.macros()[1].actions.size(), 3u);
}

TEST(ActionEditor, WithoutAnXServerACoverOverTheScreenTakesTheClick)
{
    // The way Wayland desktops pick: the screen's own place plus the click within it.
    QWidget window;
    window.show();
    ScreenPointPicker picker({&window}, QStringLiteral("hint"));
    std::optional<std::optional<QPointF>> result;
    QObject::connect(&picker, &ScreenPointPicker::picked, [&](std::optional<QPointF> p) { result = p; });
    picker.start();
    EXPECT_FALSE(window.isVisible());
    ASSERT_TRUE(picker.isReady());
    QWidget* cover = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w != &window && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
            cover = w;
    ASSERT_NE(cover, nullptr);
    QTest::mouseClick(cover, Qt::LeftButton, {}, QPoint(30, 40));
    ASSERT_TRUE(waitUntil([&] { return result.has_value(); }, 2000));
    ASSERT_TRUE(result->has_value());
    EXPECT_EQ(**result, QPointF(QGuiApplication::primaryScreen()->geometry().topLeft()) + QPointF(30, 40));
    EXPECT_TRUE(window.isVisible());
}

TEST(ActionEditor, WaitStepsTakeTheirPictureAndColourFromTheScreenAndRefuseWhatCannotRun)
{
    AppModelHarness h;
    h.workspace.running = {RunningApplication{QStringLiteral("org.gnome.TextEditor"), QStringLiteral("Text Editor")}};
    h.screen.screen = texture(3);
    AppViewModel& m = startWith(h, {macroOf(QStringLiteral("Steps"), {MacroAction::keyDown(0, 0, 0)})}, true);
    ContentView content(m);
    content.resize(800, 600);
    content.show();
    auto* detail = content.findChild<MacroDetailView*>();
    ASSERT_NE(detail, nullptr);

    // A picture: a rectangle dragged on the screen while Quillo's windows are aside, and
    // only in the text editor's window.
    bool asideWhenTaken = false;
    whenShown<WaitStepDialog>([&](WaitStepDialog& editor) {
        EXPECT_FALSE(editor.okButton()->isEnabled()); // no picture yet
        editor.pickButton()->click();
        ASSERT_NE(editor.picker(), nullptr);
        QObject::connect(editor.picker(), &ScreenPointPicker::pickedArea, &editor,
                         [&] { asideWhenTaken = !content.isVisible() && !editor.isVisible(); });
        QTimer::singleShot(50, &editor, [&editor] { editor.picker()->finishArea(QRectF(60, 30, 40, 24)); });
        QTimer::singleShot(ScreenPointPicker::settleMs + 200, &editor, [&editor] {
            EXPECT_TRUE(editor.okButton()->isEnabled());
            EXPECT_FALSE(editor.pictureLabel()->pixmap().isNull());
            editor.windowField()->setCurrentIndex(editor.windowField()->findData(QStringLiteral("org.gnome.TextEditor")));
            editor.timeoutField()->setValue(4);
            editor.okButton()->click();
        });
    });
    detail->insert(MacroDetailView::Insert::waitImage);
    EXPECT_TRUE(asideWhenTaken);
    ASSERT_EQ(m.macros()[0].actions.size(), 2u);
    const ScreenWait image = std::get<MacroAction::Wait>(m.macros()[0].actions[1].payload).get();
    EXPECT_EQ(image.kind, ScreenWait::Kind::image);
    EXPECT_EQ(image.area, QRectF(60, 30, 40, 24));
    EXPECT_EQ(image.app, QStringLiteral("org.gnome.TextEditor"));
    EXPECT_EQ(image.timeout, 4);
    EXPECT_EQ(PngCodec::decode(image.png, image.area, 512).value(), crop(texture(3), 60, 30, 40, 24));

    // A colour: the point's colour is read from the screen.
    whenShown<WaitStepDialog>([](WaitStepDialog& editor) {
        editor.takePoint(QPointF(7, 8));
        EXPECT_EQ(editor.colorField()->text(), QStringLiteral("#%1").arg(editor.wait().color, 6, 16, QLatin1Char('0')));
        const Colour c = at(texture(3), 7, 8);
        EXPECT_EQ(editor.wait().color, std::uint32_t(c[2]) << 16 | std::uint32_t(c[1]) << 8 | c[0]);
        editor.colorField()->setText(QStringLiteral("blue"));
        EXPECT_FALSE(editor.okButton()->isEnabled());
        editor.colorField()->setText(QStringLiteral("#00ff00"));
        editor.okButton()->click();
    });
    detail->insert(MacroDetailView::Insert::waitColor);
    ASSERT_EQ(m.macros()[0].actions.size(), 3u);
    EXPECT_EQ(std::get<MacroAction::Wait>(m.macros()[0].actions[2].payload)->color, 0x00ff00u);

    // A window: it must name something, and a pattern must be one.
    whenShown<WaitStepDialog>([](WaitStepDialog& editor) {
        EXPECT_FALSE(editor.okButton()->isEnabled());
        editor.titleField()->setText(QStringLiteral("Report ("));
        editor.matchField()->setCurrentIndex(1);
        EXPECT_FALSE(editor.okButton()->isEnabled());
        editor.titleField()->setText(QStringLiteral("Report \\d+"));
        editor.eventField()->setCurrentIndex(1);
        EXPECT_TRUE(editor.okButton()->isEnabled());
        editor.okButton()->click();
    });
    detail->insert(MacroDetailView::Insert::waitWindow);
    ASSERT_EQ(m.macros()[0].actions.size(), 4u);
    const ScreenWait window = std::get<MacroAction::Wait>(m.macros()[0].actions[3].payload).get();
    EXPECT_EQ(window.titleMatch, ScreenWait::TitleMatch::pattern);
    EXPECT_EQ(window.event, ScreenWait::WindowEvent::front);
    EXPECT_EQ(m.macros()[0].actions[3].displayName(), QStringLiteral("Wait for \u201cReport \\d+\u201d to come to the front"));

    // Editing a wait opens its own form with its values; the change is one undo step.
    whenShown<WaitStepDialog>([](WaitStepDialog& editor) {
        EXPECT_EQ(editor.titleField()->text(), QStringLiteral("Report \\d+"));
        editor.onTimeoutField()->setCurrentIndex(1);
        editor.okButton()->click();
    });
    detail->editRow(3);
    EXPECT_FALSE(std::get<MacroAction::Wait>(m.macros()[0].actions[3].payload)->stopOnTimeout);
    m.undo();
    EXPECT_TRUE(std::get<MacroAction::Wait>(m.macros()[0].actions[3].payload)->stopOnTimeout);
}

TEST(ActionEditor, WhereTheScreenCannotBeReadTheInsertMenuOffersOnlyTheWaitsThatNeedNoPicture)
{
    AppModelHarness h;
    AppViewModel& m = startWith(h, {macroOf(QStringLiteral("Steps"), {MacroAction::keyDown(0, 0, 0)})});
    ContentView content(m);
    content.show();
    auto* insert = content.findChild<QToolButton*>(QStringLiteral("insertAction"));
    ASSERT_NE(insert, nullptr);
    QStringList enabled, disabled;
    for (QAction* entry : insert->menu()->actions())
        if (!entry->isSeparator())
            (entry->isEnabled() ? enabled : disabled) << entry->text();
    EXPECT_EQ(disabled, (QStringList{QStringLiteral("Wait for Image\u2026"), QStringLiteral("Wait for Colour\u2026")}));
    EXPECT_TRUE(enabled.contains(QStringLiteral("Wait for Window\u2026")));
    EXPECT_TRUE(enabled.contains(QStringLiteral("Wait Until the Screen Settles")));
}

TEST(ActionEditor, APicturedPressKeepsItsPictureAndTakesALikenessOfItsOwn)
{
    AppModelHarness h;
    ScreenImage picture = crop(texture(5), 10, 10, 16, 16);
    auto press = MacroAction::mouseDown(0, 18, 18, MouseButton::left);
    std::get<MacroAction::MouseDown>(press.payload).sight =
        SightRef(ClickSight{PngCodec::encode(picture).value(), picture.area, QStringLiteral("Editor"), {}, {}});
    AppViewModel& m = startWith(h, {macroOf(QStringLiteral("Pictured"), {press})});
    ActionEditorDialog untouched(m, press, 0, false, ActionEditorDialog::Purpose::edit);
    ASSERT_NE(untouched.likenessField(), nullptr);
    EXPECT_EQ(untouched.likenessField()->value(), 0.8);
    EXPECT_EQ(untouched.action(), press); // the usual likeness changes nothing in the file
    ActionEditorDialog strict(m, press, 0, false, ActionEditorDialog::Purpose::edit);
    strict.likenessField()->setValue(0.95);
    const auto& sight = std::get<MacroAction::MouseDown>(strict.action().payload).sight;
    EXPECT_DOUBLE_EQ(sight->threshold, 0.95);
    EXPECT_EQ(sight->png, std::get<MacroAction::MouseDown>(press.payload).sight->png);
    // A press without a picture has no likeness to set.
    ActionEditorDialog plain(m, MacroAction::mouseDown(0, 1, 2, MouseButton::left), 0, false,
                             ActionEditorDialog::Purpose::edit);
    EXPECT_EQ(plain.likenessField(), nullptr);
}
