// The library as a document, on its own: edits and their re-timing, undo and redo, the
// file written after each change, and the one signal that says what changed.
#include "Library/MacroLibrary.h"
#include "LibraryFiles.h"
#include "Models/InputCodes.h"
#include "Services/StorageService.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct LibraryHarness {
    LibraryHarness() { LogService::shared()->setEntries({}); }

    QString libraryPath() const { return dir.path() + QStringLiteral("/Quillo/macros.json"); }

    // The library as it is in its file now, read the way the application reads it.
    MacroLibrary& load()
    {
        storage = std::make_unique<StorageService>(libraryPath());
        library = std::make_unique<MacroLibrary>(*storage);
        QObject::connect(library.get(), &MacroLibrary::changed, [this](const LibraryUpdate& update) {
            updates.push_back(update);
            // Announced once written: the file already holds what the signal announces.
            auto read = StorageService(libraryPath()).loadAll();
            written.push_back(read.hasValue() ? read.value() : std::vector<Macro>{});
            announced.push_back(library->macros());
        });
        QObject::connect(library.get(), &MacroLibrary::failed, [this](const QString& message) { failures << message; });
        library->load();
        return *library;
    }

    QTemporaryDir dir;
    std::unique_ptr<StorageService> storage;
    std::unique_ptr<MacroLibrary> library;
    std::vector<LibraryUpdate> updates;
    std::vector<std::vector<Macro>> written;
    std::vector<std::vector<Macro>> announced;
    QStringList failures;
};

} // namespace

TEST(MacroLibrary, ActionEditsKeepTheTimingAndTheMetadataTrue)
{
    LibraryHarness h;
    Macro five = named(QStringLiteral("Five"));
    five.actions.clear();
    for (int i = 0; i < 5; ++i)
        five.actions.push_back(MacroAction::keyDown(i * 0.5, std::uint16_t(i), 0));
    writeLibrary(h.libraryPath(), {five});
    MacroLibrary& m = h.load();
    const QUuid id = five.id;
    m.insertDelay(id, 2, 1.0);
    EXPECT_EQ(m.macros()[0].actions[3].type(), ActionType::delay);
    EXPECT_DOUBLE_EQ(m.macros()[0].actions[3].timestamp, 1.0);
    EXPECT_DOUBLE_EQ(m.macros()[0].actions[4].timestamp, 2.5);
    m.insertDelay(id, -1, 0.5);
    EXPECT_EQ(m.macros()[0].actions[0].type(), ActionType::delay);
    m.insertDelay(id, 10, 0.5);
    EXPECT_EQ(m.macros()[0].actions.back().type(), ActionType::delay);
    m.moveActions(id, {0, 1}, 5);
    m.deleteActions(id, {2});
    const Macro& edited = m.macros()[0];
    EXPECT_EQ(edited.metadata.actionCount, qint64(edited.actions.size()));
    EXPECT_EQ(edited.metadata.durationSeconds, edited.totalDuration());
    EXPECT_TRUE(sameButForDates(StorageService(h.libraryPath()).loadAll().value(), m.macros()));
}


TEST(MacroLibrary, EveryChangeToTheLibraryCanBeUndoneAndRedoneInPlace)
{
    LibraryHarness h;
    writeLibrary(h.libraryPath(), {named(QStringLiteral("A")), named(QStringLiteral("B")), named(QStringLiteral("C"))});
    MacroLibrary& m = h.load();
    const QUuid b = m.macros()[1].id;
    std::vector<std::vector<Macro>> states{m.macros()};
    auto step = [&](auto&& change) {
        change();
        states.push_back(m.macros());
    };
    step([&] { m.deleteActions(b, {0}); });
    step([&] { m.moveActions(b, {0}, 3); });
    step([&] { m.insertDelay(b, 0, 0.5); });
    step([&] { m.renameMacro(b, QStringLiteral("B %1 renamed")); });
    step([&] { m.deleteMacros({0, 2}); });
    step([&] { m.addImportedMacro(named(QStringLiteral("Imported"))); });
    step([&] { m.deleteMacro(b); });
    EXPECT_TRUE(logMessages().contains(QStringLiteral("INFO Deleted 1 action(s) of \"B\"")));
    EXPECT_TRUE(logMessages().contains(QStringLiteral("INFO Renamed macro \"B\" to \"B %1 renamed\"")));
    EXPECT_TRUE(logMessages().contains(QStringLiteral("INFO Deleted 2 macros: \"A\", \"C\"")));

    // Back through every state, each macro in its old place, then forward again.
    for (std::size_t i = states.size() - 1; i > 0; --i) {
        ASSERT_TRUE(m.history().canUndo());
        m.undo();
        ASSERT_EQ(m.macros(), states[i - 1]) << "undoing step " << i;
    }
    EXPECT_FALSE(m.history().canUndo());
    EXPECT_TRUE(sameButForDates(StorageService(h.libraryPath()).loadAll().value(), states.front()));
    for (std::size_t i = 1; i < states.size(); ++i) {
        m.redo();
        ASSERT_EQ(m.macros(), states[i]) << "redoing step " << i;
    }
    EXPECT_FALSE(m.history().canRedo());
    EXPECT_TRUE(sameButForDates(StorageService(h.libraryPath()).loadAll().value(), states.back()));

    // A new change after an undo forgets the redo; at least 50 steps are kept.
    m.undo();
    m.renameMacro(m.macros()[0].id, QStringLiteral("X"));
    EXPECT_FALSE(m.history().canRedo());
    const QUuid x = m.macros()[0].id;
    const std::vector<Macro> before = m.macros();
    for (int i = 0; i < 60; ++i)
        m.insertDelay(x, -1, 0.05);
    for (int i = 0; i < 60; ++i)
        m.undo();
    EXPECT_EQ(m.macros(), before);
}


TEST(MacroLibrary, CopiedActionsPasteIntoAnotherMacroInTheirRhythmAndDuplicatesFollowTheirOriginals)
{
    LibraryHarness h;
    Macro source = named(QStringLiteral("Source"));
    source.actions = {MacroAction::keyDown(0, 0, 0), MacroAction::keyDown(0.1, 1, 0), MacroAction::keyDown(0.13, 2, 0),
                      MacroAction::keyDown(0.2, 3, 0)};
    Macro target = named(QStringLiteral("Target"));
    target.actions = {MacroAction::keyDown(1.0, 9, 0), MacroAction::keyDown(2.0, 9, 0)};
    writeLibrary(h.libraryPath(), {source, target});
    MacroLibrary& m = h.load();

    // Actions 1 and 2: their gaps 0.1 and 0.03 travel with them.
    const QByteArray json = m.actionsAsJson(source.id, {1, 2});
    EXPECT_TRUE(json.contains("\"actions\""));
    EXPECT_EQ(m.pasteActions(target.id, 0, json), QString());
    const auto& pasted = m.macros()[1].actions;
    ASSERT_EQ(pasted.size(), 4u);
    EXPECT_NEAR(pasted[1].timestamp, 1.1, 1e-12);
    EXPECT_NEAR(pasted[2].timestamp, 1.13, 1e-12);
    EXPECT_NEAR(pasted[3].timestamp, 2.13, 1e-12); // pushed back by exactly their span
    EXPECT_FALSE(m.pasteActions(target.id, 0, "not json").isEmpty());
    EXPECT_FALSE(m.pasteActions(target.id, 0, "{\"name\": 1}").isEmpty());
    EXPECT_EQ(m.macros()[1].actions.size(), 4u);

    m.duplicateActions(source.id, {1, 2});
    const auto& doubled = m.macros()[0].actions;
    ASSERT_EQ(doubled.size(), 6u);
    EXPECT_EQ(doubled[3].payload, doubled[1].payload);
    EXPECT_NEAR(doubled[3].timestamp - doubled[2].timestamp, 0.1, 1e-12);
    EXPECT_NEAR(doubled[4].timestamp - doubled[3].timestamp, 0.03, 1e-12);
    EXPECT_NEAR(doubled[5].timestamp, 0.2 + 0.13, 1e-12);

    // Gaps changed together, and one action replaced; each a step of its own to undo.
    m.setActionGaps(source.id, {1, 2}, 0.05);
    EXPECT_NEAR(m.macros()[0].actions[2].timestamp, 0.1, 1e-12);
    m.scaleActionGaps(source.id, {1}, 4);
    EXPECT_NEAR(m.macros()[0].actions[1].timestamp, 0.2, 1e-12);
    m.replaceAction(source.id, 0, MacroAction::keyUp(5, 7, ModifierFlags::shift), 0);
    EXPECT_EQ(m.macros()[0].actions[0].payload, MacroAction::Payload(MacroAction::KeyUp{7, ModifierFlags::shift}));
    EXPECT_EQ(m.macros()[0].actions[0].timestamp, 0.0);
    for (int i = 0; i < 5; ++i)
        m.undo();
    EXPECT_EQ(m.macros()[0].actions, source.actions);
    EXPECT_TRUE(logMessages().contains(QStringLiteral("INFO Pasted 2 action(s) into \"Target\"")));
}

TEST(MacroLibrary, EachChangeIsWrittenThenAnnouncedOnceWithWhatItWasAndWhichMacroItBringsForward)
{
    using Kind = LibraryUpdate::Kind;
    LibraryHarness h;
    writeLibrary(h.libraryPath(), {named(QStringLiteral("A")), named(QStringLiteral("B"))});
    MacroLibrary& m = h.load();
    const QUuid a = m.macros()[0].id, b = m.macros()[1].id;
    const Macro imported = named(QStringLiteral("C"));
    Macro restored = m.macros()[1];
    restored.metadata.name = QStringLiteral("B as backed up");
    Macro recording = named(QStringLiteral("Macro 4"));

    m.renameMacro(a, QStringLiteral("A2"));
    m.addImportedMacro(imported);
    m.putMacroInPlace(restored, QStringLiteral("Restored \"B\""));
    ASSERT_TRUE(m.addRecording(recording).hasValue());
    m.deleteMacro(a);
    m.undo();
    m.redo();
    m.renameMacro(QUuid::createUuid(), QStringLiteral("nobody")); // nothing changes, nothing is said

    const std::vector<std::tuple<Kind, std::optional<QUuid>, bool>> expected{
        {Kind::loaded, std::nullopt, false},  {Kind::edited, std::nullopt, true},  {Kind::imported, imported.id, true},
        {Kind::restored, b, true},            {Kind::recorded, recording.id, false}, {Kind::edited, std::nullopt, true},
        {Kind::undone, a, true},              {Kind::redone, std::nullopt, true},
    };
    ASSERT_EQ(h.updates.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(h.updates[i].kind, std::get<0>(expected[i])) << i;
        EXPECT_EQ(h.updates[i].shown, std::get<1>(expected[i])) << i;
        EXPECT_EQ(h.updates[i].historyChanged, std::get<2>(expected[i])) << i;
        EXPECT_TRUE(sameButForDates(h.written[i], h.announced[i])) << "the file lags behind at " << i;
    }
    EXPECT_EQ(m.macros()[2].metadata.name, QStringLiteral("B as backed up"));
    EXPECT_EQ(m.history().undoDescription(), QStringLiteral("Deleted macro \"A2\""));
    EXPECT_TRUE(h.failures.isEmpty());

    // A file that cannot be written: the change stays, is announced, and the failure is said.
    ASSERT_TRUE(QFile::remove(h.libraryPath()));
    ASSERT_TRUE(QDir().mkpath(h.libraryPath() + QStringLiteral("/in the way")));
    m.renameMacro(b, QStringLiteral("B3"));
    ASSERT_EQ(h.failures.size(), 1);
    EXPECT_TRUE(h.failures.front().startsWith(QStringLiteral("Failed to save macros: "))) << h.failures.front().toStdString();
    EXPECT_EQ(m.macroWithId(b)->metadata.name, QStringLiteral("B3"));
    EXPECT_TRUE(m.history().canUndo());
}
