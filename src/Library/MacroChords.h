#pragma once

#include "Models/HotkeyChord.h"
#include "Models/Macro.h"

#include <QString>
#include <QUuid>
#include <optional>

// The hotkeys of macros that have one of their own. They live in the settings, not in
// the library file; the library asks for them so that undoing a delete brings a
// macro's hotkey back with it.
class MacroChords
{
public:
    virtual ~MacroChords() = default;

    // The macro's chord in force, or nothing.
    virtual std::optional<HotkeyChord> chordOfMacro(const QUuid& id) const = 0;
    // Gives the macro `chord` (nothing: none); the reason when the desktop refuses it.
    virtual QString setMacroChord(const Macro& macro, std::optional<HotkeyChord> chord) = 0;
    // The macro left the library: its chord goes.
    virtual void forgetMacro(const QUuid& id) = 0;
};
