#include "Library/MacroLibrary.h"

#include "Codec/MacroJsonDecoder.h"
#include "Codec/MacroJsonEncoder.h"
#include "Library/ActionRetiming.h"
#include "Services/LogService.h"
#include "Services/MacroMigrationService.h"
#include "Services/MacroPlacement.h"
#include "Services/StorageService.h"

#include <QStringList>
#include <algorithm>
#include <cmath>

MacroLibrary::MacroLibrary(StorageService& storage, QObject* parent) : QObject(parent), m_storage(storage) {}

void MacroLibrary::load()
{
    auto loaded = m_storage.loadAll();
    if (!loaded) {
        const QString message = QStringLiteral("Failed to load macros: ") + loaded.error().description();
        appLog(message, LogEntry::Level::error);
        Q_EMIT failed(message);
        return;
    }
    m_macros = std::move(loaded).value();
    Q_EMIT changed({LibraryUpdate::Kind::loaded, std::nullopt, false});
    appLog(QStringLiteral("Loaded %1 macro(s) from storage").arg(m_macros.size()), LogEntry::Level::info);
}

const Macro* MacroLibrary::macroWithId(const QUuid& id) const
{
    for (const Macro& m : m_macros)
        if (m.id == id)
            return &m;
    return nullptr;
}

Macro* MacroLibrary::findMacro(const QUuid& id)
{
    for (Macro& m : m_macros)
        if (m.id == id)
            return &m;
    return nullptr;
}

std::optional<HotkeyChord> MacroLibrary::chordOf(const QUuid& id) const
{
    return m_chords ? m_chords->chordOfMacro(id) : std::nullopt;
}

void MacroLibrary::persist()
{
    if (auto saved = m_storage.saveAll(m_macros); !saved) {
        const QString message = QStringLiteral("Failed to save macros: ") + saved.error().description();
        appLog(message, LogEntry::Level::error);
        Q_EMIT failed(message);
    }
}

void MacroLibrary::changeLibrary(const QString& description, const std::vector<QUuid>& ids,
                                 const std::function<void()>& mutate, LibraryUpdate::Kind kind,
                                 std::optional<QUuid> shown)
{
    auto capture = [this](const QUuid& id) -> std::pair<std::optional<Macro>, int> {
        for (int i = 0; i < int(m_macros.size()); ++i)
            if (m_macros[std::size_t(i)].id == id)
                return {m_macros[std::size_t(i)], i};
        return {std::nullopt, -1};
    };
    LibraryChange change;
    change.description = description;
    for (const QUuid& id : ids) {
        auto [macro, index] = capture(id);
        change.entries.push_back({id, std::move(macro), index, std::nullopt, -1, chordOf(id), std::nullopt});
    }
    mutate();
    for (LibraryChange::Entry& entry : change.entries) {
        std::tie(entry.after, entry.afterIndex) = capture(entry.id);
        entry.afterChord = chordOf(entry.id);
    }
    appLog(description, LogEntry::Level::info);
    m_history.record(std::move(change));
    persist();
    Q_EMIT changed({kind, shown, true});
}

void MacroLibrary::applyChange(const LibraryChange& change, bool forward)
{
    for (const LibraryChange::Entry& entry : change.entries)
        std::erase_if(m_macros, [&](const Macro& m) { return m.id == entry.id; });
    // Back in their places, the lowest place first so that each lands where it was.
    std::vector<const LibraryChange::Entry*> placed;
    for (const LibraryChange::Entry& entry : change.entries)
        if (forward ? entry.after.has_value() : entry.before.has_value())
            placed.push_back(&entry);
    std::sort(placed.begin(), placed.end(), [forward](const auto* a, const auto* b) {
        return (forward ? a->afterIndex : a->beforeIndex) < (forward ? b->afterIndex : b->beforeIndex);
    });
    for (const LibraryChange::Entry* entry : placed) {
        const int index = std::clamp(forward ? entry->afterIndex : entry->beforeIndex, 0, int(m_macros.size()));
        m_macros.insert(m_macros.begin() + index, forward ? *entry->after : *entry->before);
    }
    // A macro that comes back gets its hotkey back; one that goes lets go of its own.
    if (m_chords)
        for (const LibraryChange::Entry& entry : change.entries) {
            const std::optional<HotkeyChord>& chord = forward ? entry.afterChord : entry.beforeChord;
            const Macro* macro = macroWithId(entry.id);
            if (!macro) {
                m_chords->forgetMacro(entry.id);
                continue;
            }
            if (m_chords->chordOfMacro(entry.id) == chord)
                continue;
            if (const QString refused = m_chords->setMacroChord(*macro, chord); !refused.isEmpty())
                appLog(QStringLiteral("The hotkey of \"%1\" could not be set again: %2").arg(macro->metadata.name, refused),
                       LogEntry::Level::warn);
        }
    persist();
    Q_EMIT changed({forward ? LibraryUpdate::Kind::redone : LibraryUpdate::Kind::undone,
                    placed.empty() ? std::nullopt : std::optional<QUuid>(placed.front()->id), true});
}

void MacroLibrary::undo()
{
    if (auto change = m_history.takeUndo()) {
        appLog(QStringLiteral("Undo: ") + change->description, LogEntry::Level::info);
        applyChange(*change, false);
    }
}

void MacroLibrary::redo()
{
    if (auto change = m_history.takeRedo()) {
        appLog(QStringLiteral("Redo: ") + change->description, LogEntry::Level::info);
        applyChange(*change, true);
    }
}

void MacroLibrary::renameMacro(const QUuid& id, const QString& newName)
{
    Macro* macro = findMacro(id);
    if (!macro || macro->metadata.name == newName)
        return;
    changeLibrary(QStringLiteral("Renamed macro \"%1\" to \"%2\"").arg(macro->metadata.name, newName), {id}, [&] {
        macro->metadata.name = newName;
        macro->metadata.modifiedAt = QDateTime::currentDateTimeUtc();
    });
}

void MacroLibrary::deleteMacro(const QUuid& id)
{
    for (int i = 0; i < int(m_macros.size()); ++i)
        if (m_macros[std::size_t(i)].id == id)
            deleteMacros({i});
}

void MacroLibrary::deleteMacros(const std::set<int>& positions)
{
    std::vector<QUuid> ids;
    QStringList names;
    for (const int i : positions)
        if (i >= 0 && i < int(m_macros.size())) {
            ids.push_back(m_macros[std::size_t(i)].id);
            names.append(QStringLiteral("\"%1\"").arg(m_macros[std::size_t(i)].metadata.name));
        }
    if (ids.empty())
        return;
    const QString description = ids.size() == 1 ? QStringLiteral("Deleted macro ") + names.first()
                                                 : QStringLiteral("Deleted %1 macros: %2").arg(ids.size()).arg(names.join(QStringLiteral(", ")));
    changeLibrary(description, ids, [&] {
        for (const QUuid& id : ids) {
            if (m_chords)
                m_chords->forgetMacro(id);
            std::erase_if(m_macros, [&](const Macro& m) { return m.id == id; });
        }
    });
}

template <typename Edit>
void MacroLibrary::editActions(const QUuid& macroID, const QString& what, Edit edit)
{
    Macro* macro = findMacro(macroID);
    if (!macro)
        return;
    // `what` names the change; the macro's name completes it ("Deleted 2 action(s) of "Login"").
    changeLibrary(QStringLiteral("%1 \"%2\"").arg(what, macro->metadata.name), {macroID}, [&] {
        edit(macro->actions);
        macro->metadata.actionCount = qint64(macro->actions.size());
        macro->metadata.durationSeconds = macro->totalDuration();
        macro->metadata.modifiedAt = QDateTime::currentDateTimeUtc();
    });
}

void MacroLibrary::deleteActions(const QUuid& macroID, const std::set<int>& positions)
{
    editActions(macroID, QStringLiteral("Deleted %1 action(s) of").arg(positions.size()),
                [&](auto& actions) { ActionRetiming::deleteActions(actions, positions); });
}

void MacroLibrary::moveActions(const QUuid& macroID, const std::set<int>& positions, int destination)
{
    editActions(macroID, QStringLiteral("Moved %1 action(s) of").arg(positions.size()),
                [&](auto& actions) { ActionRetiming::moveActions(actions, positions, destination); });
}

void MacroLibrary::insertDelay(const QUuid& macroID, int afterIndex, double duration)
{
    editActions(macroID, QStringLiteral("Inserted a %1 s delay into").arg(duration),
                [&](auto& actions) { ActionRetiming::insertDelay(actions, afterIndex, duration); });
}

void MacroLibrary::insertActions(const QUuid& macroID, int afterIndex, const std::vector<MacroAction>& actions,
                                 double firstGap, const QString& what)
{
    if (actions.empty())
        return;
    editActions(macroID, what, [&](auto& list) { ActionRetiming::insertActions(list, afterIndex, actions, firstGap); });
}

void MacroLibrary::replaceAction(const QUuid& macroID, int position, const MacroAction& action, double gap)
{
    editActions(macroID, QStringLiteral("Edited action %1 of").arg(position + 1),
                [&](auto& list) { ActionRetiming::replaceAction(list, position, action, gap); });
}

void MacroLibrary::setActionGaps(const QUuid& macroID, const std::set<int>& positions, double gap)
{
    editActions(macroID, QStringLiteral("Set %1 gap(s) to %2 ms in").arg(positions.size()).arg(qRound64(gap * 1000)),
                [&](auto& list) { ActionRetiming::setGaps(list, positions, gap); });
}

void MacroLibrary::scaleActionGaps(const QUuid& macroID, const std::set<int>& positions, double factor)
{
    editActions(macroID, QStringLiteral("Scaled %1 gap(s) by %2 in").arg(positions.size()).arg(factor),
                [&](auto& list) { ActionRetiming::scaleGaps(list, positions, factor); });
}

void MacroLibrary::duplicateActions(const QUuid& macroID, const std::set<int>& positions)
{
    const Macro* macro = macroWithId(macroID);
    if (!macro || positions.empty())
        return;
    std::vector<MacroAction> copies;
    for (const int i : positions)
        if (i >= 0 && i < int(macro->actions.size()))
            copies.push_back(macro->actions[std::size_t(i)]);
    if (copies.empty())
        return;
    const std::vector<double> gaps = ActionRetiming::gaps(macro->actions);
    const int first = *positions.begin();
    insertActions(macroID, *positions.rbegin(), copies, first > 0 ? gaps[std::size_t(first)] : 0.0,
                  QStringLiteral("Duplicated %1 action(s) in").arg(copies.size()));
}

QByteArray MacroLibrary::actionsAsJson(const QUuid& macroID, const std::set<int>& positions) const
{
    const Macro* macro = macroWithId(macroID);
    if (!macro)
        return {};
    Macro copied;
    copied.id = QUuid::createUuid();
    copied.metadata.name = QStringLiteral("Actions from %1").arg(macro->metadata.name);
    copied.metadata.createdAt = copied.metadata.modifiedAt = QDateTime::currentDateTimeUtc();
    std::vector<MacroAction> picked;
    for (const int i : positions)
        if (i >= 0 && i < int(macro->actions.size()))
            picked.push_back(macro->actions[std::size_t(i)]);
    if (picked.empty())
        return {};
    // Each keeps its gap to the one before it in the macro; the first starts at its own
    // gap, which a paste gives it again.
    const std::vector<double> gaps = ActionRetiming::gaps(macro->actions);
    std::vector<double> pickedGaps;
    for (const int i : positions)
        if (i >= 0 && i < int(macro->actions.size()))
            pickedGaps.push_back(gaps[std::size_t(i)]);
    ActionRetiming::walk(picked, pickedGaps, pickedGaps.front());
    copied.actions = std::move(picked);
    copied.metadata.actionCount = qint64(copied.actions.size());
    copied.metadata.durationSeconds = copied.totalDuration();
    auto json = MacroJsonEncoder::encodeMacro(copied);
    return json ? json.value() : QByteArray();
}

QString MacroLibrary::pasteActions(const QUuid& macroID, int afterIndex, const QByteArray& json)
{
    if (json.size() > 64 * 1024 * 1024)
        return QStringLiteral("The clipboard holds more than a macro can be.");
    auto decoded = MacroJsonDecoder::decodeMacro(json);
    if (!decoded)
        return QStringLiteral("The clipboard holds no Quillo actions: ") + decoded.error().description();
    // Actions copied from another version of Quillo are read as an import reads them.
    auto migrated = MacroMigrationService::migrate(std::move(decoded).value());
    if (!migrated)
        return QStringLiteral("The clipboard holds no Quillo actions: ") + migrated.error().description();
    if (migrated.value().actions.empty())
        return QStringLiteral("The clipboard holds a macro without actions.");
    const std::vector<MacroAction>& actions = migrated.value().actions;
    // In their own rhythm, the first as long after the action before as it starts.
    const double start = actions.front().timestamp;
    insertActions(macroID, afterIndex, actions, std::isfinite(start) ? std::clamp(start, 0.0, 3600.0) : 0.0,
                  QStringLiteral("Pasted %1 action(s) into").arg(actions.size()));
    return {};
}

void MacroLibrary::addImportedMacro(Macro macro)
{
    const QUuid id = macro.id;
    changeLibrary(QStringLiteral("Imported macro \"%1\"").arg(macro.metadata.name), {id},
                  [&] { m_macros.insert(m_macros.begin(), std::move(macro)); }, LibraryUpdate::Kind::imported, id);
}

Expected<bool, QString> MacroLibrary::importReplacing(Macro macro)
{
    // Tried on a copy first: a refusal changes nothing and records no step.
    std::vector<Macro> trial = m_macros;
    auto placed = MacroPlacement::replaceByName(trial, macro);
    if (!placed)
        return failure(placed.error());
    if (!placed.value()) { // none has that name: an import as any other
        addImportedMacro(std::move(macro));
        return false;
    }
    const Macro& replaced = m_macros[*placed.value()];
    const QUuid id = replaced.id;
    changeLibrary(QStringLiteral("Replaced macro \"%1\" with the imported file").arg(replaced.metadata.name), {id},
                  [&] { (void)MacroPlacement::replaceByName(m_macros, std::move(macro)); }, LibraryUpdate::Kind::imported,
                  id);
    return true;
}

void MacroLibrary::putMacroInPlace(Macro macro, const QString& description)
{
    const QUuid id = macro.id;
    changeLibrary(description, {id}, [&] { MacroPlacement::putInPlace(m_macros, std::move(macro)); },
                  LibraryUpdate::Kind::restored, id);
}

Status<StorageError> MacroLibrary::addRecording(Macro macro)
{
    const QUuid id = macro.id;
    m_macros.insert(m_macros.begin(), std::move(macro));
    auto saved = m_storage.saveAll(m_macros);
    Q_EMIT changed({LibraryUpdate::Kind::recorded, id, false});
    return saved;
}
