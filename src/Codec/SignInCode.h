#pragma once

#include <QString>

// The one-time code that finishes a browser sign-in by hand: eight characters from 32
// that cannot be mistaken for each other (no 0/O, no 1/I), shown as ABCD-EFGH. The
// service makes it; people type it into Quillo.
namespace SignInCode {

constexpr int length = 8;
constexpr char alphabet[] = "23456789ABCDEFGHJKLMNPQRSTUVWXYZ";

// What was typed, as the code is kept: upper case, without spaces, tabs or hyphens;
// empty when it cannot be a code.
QString normalized(const QString& typed);

} // namespace SignInCode
