#pragma once

#include "Library/MacroChords.h"
#include "Models/HotkeyChord.h"
#include "Platform/KeyboardLayout.h"
#include "Services/HotkeyService.h"

#include <QHash>
#include <QObject>
#include <QSettings>
#include <QUuid>
#include <functional>
#include <optional>


// The chords of Quillo's three hotkeys and of the macros that have one of their own:
// which are in force, what this keyboard layout calls them, changing them (kept in the
// settings under "hotkeys/…") and why a chord is refused.
class HotkeyViewModel : public QObject, public MacroChords
{
    Q_OBJECT
public:
    static constexpr quint32 toggleRecording = 1;
    static constexpr quint32 stopRecording = 2;
    static constexpr quint32 togglePlayback = 3;
    // Macros' own chords get ids from here on.
    static constexpr quint32 firstMacroId = 100;

    // `translate`: the model's lookup of interface texts.
    HotkeyViewModel(HotkeyService& service, QSettings& settings, KeyboardLayout& layout,
                    std::function<QString(const QString&)> translate, QObject* parent = nullptr);

    // Registers the three hotkeys (the chords chosen in the settings, else the defaults)
    // and the chords of the macros in `library`.
    void registerAll(const std::vector<Macro>& library);

    // The chord in force for `id`, as this layout names its key ("Alt+Super+R"); empty
    // when none is.
    QString text(quint32 id) const;
    QString text(const HotkeyChord& chord) const;
    // The chords in force that stop a recording, "Alt+Super+R, Alt+Shift+Super+R"; empty
    // when none is.
    QString stopRecordingChords() const;
    // Why the chord last asked for `id` is not in force; empty when it is.
    QString problem(quint32 id) const;
    // The chord in force for `id`.
    std::optional<HotkeyChord> chord(quint32 id) const { return m_service.chord(id); }

    // Gives one of the three hotkeys a new chord at once and keeps it; the reason when
    // it is refused (then the earlier chord stays).
    QString setChord(quint32 id, const HotkeyChord& chord);
    // A macro's own chord (nothing takes it away); the reason when it is refused.
    QString setMacroChord(const Macro& macro, std::optional<HotkeyChord> chord) override;
    std::optional<HotkeyChord> chordOfMacro(const QUuid& macro) const override;
    // The id of a macro's chord, and the macro of an id.
    std::optional<quint32> idForMacro(const QUuid& macro) const;
    std::optional<QUuid> macroForId(quint32 id) const { return m_macroIds.contains(id) ? std::optional(m_macroIds.value(id)) : std::nullopt; }
    // A macro left the library: its chord goes.
    void forgetMacro(const QUuid& macro) override;
    // Whether `id` is one of a macro's.
    static bool isMacroId(quint32 id) { return id >= firstMacroId; }

    // The name of a macro of the library (for messages about its chord).
    std::function<QString(const QUuid&)> macroName;

    // The chord chosen in `settings` for one of the three hotkeys, else its default.
    static HotkeyChord storedChord(QSettings& settings, quint32 id);

    // The settings key of a hotkey id's chord.
    QString settingsKey(quint32 id) const;

Q_SIGNALS:
    void changed();

private:
    // Why `chord` cannot be given to `id` before the system is asked; empty when it can.
    QString refusalBeforeAsking(quint32 id, const HotkeyChord& chord) const;
    // "Start / stop recording", "“Login”": what an id does, for messages.
    QString purpose(quint32 id) const;
    quint32 ensureMacroId(const QUuid& macro);
    void describeMacro(quint32 id, const Macro& macro);

    HotkeyService& m_service;
    QSettings& m_settings;
    KeyboardLayout& m_layout;
    std::function<QString(const QString&)> m_translate;
    QHash<quint32, QUuid> m_macroIds;
    quint32 m_nextMacroId = firstMacroId;
};
