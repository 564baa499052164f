// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace viewer {

class BrowserLink;
class ViewerWindow;

// The program's one viewer window, created hidden on first use (which reads
// its settings). A non-null link replaces the one it holds.
ViewerWindow *viewer(BrowserLink *link = nullptr);
// True while the window exists and has not been closed.
bool viewerLoaded();
// Used when the browser closes: runs the viewer's unload handling (its
// full-screen flag is stored, a slide show stops) without showing the
// browser or ending the program. Does nothing when the viewer was never
// created.
void unloadViewer();

} // namespace viewer
