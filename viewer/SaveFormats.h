// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Save As dialog's formats: its filter, and how the filter entries, the
// file extensions and the engine's save codes belong together.

#include <QString>

namespace viewer {

// The Save As dialog's filter, ten "description|pattern" pairs.
QString saveFilter();

// The extension of save-filter entry filterIndex (1-based) and, through
// *formatCode, the engine's save code for it. Outside 1..10 the result is
// empty and *formatCode keeps its value.
QString getSaveFormat(int filterIndex, int *formatCode);

// The save-filter entry that matches an image's format code, or 0 when the
// format has no entry (the dialog then keeps the entry it showed last).
int saveFilterIndexFor(int formatCode);

// Flags of the Save As dialog: ask before replacing, hide read-only, sizable.
inline constexpr long kSaveDialogFlags = 8388614;
// Flags of the Open dialog: hide read-only, several files, the files must
// exist, sizable.
inline constexpr long kOpenDialogFlags = 8393220;

} // namespace viewer
