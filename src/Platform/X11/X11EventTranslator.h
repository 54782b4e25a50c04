#pragma once

#include "Platform/RawInputEvent.h"

#include <cstdint>

// Turns the fields of an X device event (as the RECORD extension hands it over) into
// the neutral form. Pure: it needs no display, so it is tested on its own.
namespace X11EventTranslator {

// X protocol event types of the device events that are observed.
inline constexpr int xKeyPress = 2;
inline constexpr int xKeyRelease = 3;
inline constexpr int xButtonPress = 4;
inline constexpr int xButtonRelease = 5;
inline constexpr int xMotionNotify = 6;

// Flags for an X modifier state (ShiftMask, LockMask, ControlMask, Mod1Mask, Mod4Mask;
// Mod5Mask, AltGr, as option plus the right-option bit).
std::uint64_t flagsFromState(unsigned state);
// X modifier state for flags; unknown bits are ignored.
unsigned stateFromFlags(std::uint64_t flags);

// The neutral event; type `none` when the event is not one to observe (a wheel
// button's release, buttons 8 and up, an unknown type). `time` is left 0 for the caller.
RawInputEvent translate(int type, int detail, unsigned state, int rootX, int rootY);

// Buttons 8 and up (back, forward, ...) are not recorded: replayed as the middle
// button they would paste the selection.
inline bool isUnrecordedButton(int detail) { return detail >= 8; }

} // namespace X11EventTranslator
