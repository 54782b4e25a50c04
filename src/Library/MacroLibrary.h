#pragma once

#include "Library/LibraryUpdate.h"
#include "Library/MacroChords.h"
#include "Library/UndoHistory.h"
#include "Models/Expected.h"
#include "Models/Macro.h"
#include "Services/StorageError.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <set>
#include <vector>

class StorageService;

// The library as a document: the macros in their order, every change to them, the
// undo history of this run, and writing the file after each change. Views, remote
// commands and restores edit through it; it knows nothing of which macro the window
// shows. Each change is logged at info level, written, then announced once by
// `changed`; a file that cannot be written is reported by `failed` (the change stays
// in memory and is written with the next one).
class MacroLibrary : public QObject
{
    Q_OBJECT
public:
    explicit MacroLibrary(StorageService& storage, QObject* parent = nullptr);

    // The chords kept with macros (see MacroChords); none by default.
    void setChords(MacroChords* chords) { m_chords = chords; }

    // Reads the file (an empty library when there is none); a failure is reported by
    // `failed` and leaves the library empty.
    void load();

    const std::vector<Macro>& macros() const { return m_macros; }
    // The macro with this id, or nothing.
    const Macro* macroWithId(const QUuid& id) const;
    const UndoHistory& history() const { return m_history; }

    void renameMacro(const QUuid& id, const QString& newName);
    void deleteMacro(const QUuid& id);
    void deleteMacros(const std::set<int>& positions);

    // Action edits. Each keeps the recorded rhythm of the actions it does not touch.
    void deleteActions(const QUuid& macroID, const std::set<int>& positions);
    void moveActions(const QUuid& macroID, const std::set<int>& positions, int destination);
    void insertDelay(const QUuid& macroID, int afterIndex, double duration);
    // `actions` after `afterIndex` (-1: at the front), the first `firstGap` seconds after
    // the action before; `what` names them in the log ("Inserted 12 typed keys into").
    void insertActions(const QUuid& macroID, int afterIndex, const std::vector<MacroAction>& actions, double firstGap,
                       const QString& what);
    // The action at `position` as edited, `gap` seconds after the one before.
    void replaceAction(const QUuid& macroID, int position, const MacroAction& action, double gap);
    void setActionGaps(const QUuid& macroID, const std::set<int>& positions, double gap);
    void scaleActionGaps(const QUuid& macroID, const std::set<int>& positions, double factor);
    // Copies of the actions at `positions` right after the last of them, in their rhythm.
    void duplicateActions(const QUuid& macroID, const std::set<int>& positions);
    // The actions at `positions` as a macro file's JSON (what the clipboard carries).
    QByteArray actionsAsJson(const QUuid& macroID, const std::set<int>& positions) const;
    // The actions of macro JSON (copied from Quillo, or a macro file's text) after
    // `afterIndex`; empty, or why nothing was pasted.
    QString pasteActions(const QUuid& macroID, int afterIndex, const QByteArray& json);

    // A macro read from a file, first in the list.
    void addImportedMacro(Macro macro);
    // `quillo import --replace`: the macro in place of the library's macro of the same
    // name (its id, place and creation date kept), or first when none has it; undoable.
    // Whether one was replaced, or why nothing changed (several have the name).
    Expected<bool, QString> importReplacing(Macro macro);
    // A macro put back where the macro of its id is (a restored backup), or first when
    // that one is gone; undoable, logged with `description`.
    void putMacroInPlace(Macro macro, const QString& description);
    // A new recording, first in the list. Not an undoable step; the caller reports a
    // file that could not be written (it keeps the recording elsewhere then).
    Status<StorageError> addRecording(Macro macro);

    // Undo and redo of this run's changes (deleting and renaming macros, action edits,
    // imports, restores).
    void undo();
    void redo();

Q_SIGNALS:
    void changed(const LibraryUpdate& update);
    // "Failed to save macros: …", "Failed to load macros: …" (already logged).
    void failed(const QString& message);

private:
    Macro* findMacro(const QUuid& id);
    template <typename Edit>
    void editActions(const QUuid& macroID, const QString& what, Edit edit);
    // Makes a change that can be undone: `mutate` changes the macros with `ids` (or adds
    // them); their states and places before and after are kept with their chords.
    void changeLibrary(const QString& description, const std::vector<QUuid>& ids, const std::function<void()>& mutate,
                       LibraryUpdate::Kind kind = LibraryUpdate::Kind::edited, std::optional<QUuid> shown = {});
    // Puts the macros of `change` back as they were (`forward` false) or as they became.
    void applyChange(const LibraryChange& change, bool forward);
    std::optional<HotkeyChord> chordOf(const QUuid& id) const;
    // Writes the library as it is; a failure is reported by `failed`.
    void persist();

    StorageService& m_storage;
    MacroChords* m_chords = nullptr;
    std::vector<Macro> m_macros;
    UndoHistory m_history;
};
