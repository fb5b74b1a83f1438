#pragma once
// Restoring a list's selection from a number stored as text.

#include "form/toolkit.h"

#include <string>

namespace fw {

// The number at the start of `text` (leading blanks skipped, 0 when there is
// none), as a double.
double leadingNumber(const std::string& text);

// The whole number nearest to `v`, a half going to the even neighbour.
double roundHalfEven(double v);

// The entry selectListEntry picks on a list of n entries (n >= 1): the whole
// number nearest to `text`'s number, a half going to the even neighbour;
// the first entry when the number is negative or not below n. A number
// from n - 0.5 up to n, whose nearest whole number is past the end, picks
// the last entry, the one nearest to it.
int listEntryFor(const std::string& text, int n);

// Selects that entry, which runs the list's own selection handler. A list
// without entries is left alone.
void selectListEntry(Toolkit& ui, Ctl list, const std::string& text);

} // namespace fw
