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

// Flags for an X modifier state (ShiftMask, LockMask, ControlMask, Mod1Mask, Mod4Mask).
std::uint64_t flagsFromState(unsigned state);
// X modifier state for flags; unknown bits are ignored.
unsigned stateFromFlags(std::uint64_t flags);

// The neutral event; type `none` when the event is not one to observe (a wheel
// button's release, an unknown type). `time` is left 0 for the caller. The X state has
// no bits for buttons 8 and 9: `otherButtonHeld` says whether one of them is down.
RawInputEvent translate(int type, int detail, unsigned state, int rootX, int rootY,
                        bool otherButtonHeld = false);

} // namespace X11EventTranslator
