// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace app {

// Ties the program's windows to its menu entry pictavo.desktop (on Wayland
// the desktop finds the entry, and through it the icon, by this name) and
// gives every window the application icon: the icon theme's where Pictavo is
// installed, the data folder's copy in a build tree.
void setDesktopIdentity();

} // namespace app
