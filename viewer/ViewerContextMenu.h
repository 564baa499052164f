// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QAction;
class QMenu;
class QWidget;

namespace viewer {

// The commands of the image's context menu, with the numbers they have
// always carried. None is what a dismissed menu returns.
enum class ContextCommand
{
    None = 0,
    AntiAlias = 1,
    RotatePlus90 = 2,
    RotateMinus90 = 3,
    ZoomIn = 4,
    ZoomOut = 5,
    SetAsWallpaper = 6,
    Next = 7,
    Previous = 8,
    SlideShow = 9,
    FullScreen = 10,
};

// What the context menu mirrors from the toolbar and the main menu at the
// moment it opens.
struct ContextMenuState
{
    bool fullScreenEnabled = true; // the toolbar's Full Screen button
    bool nextEnabled = true;       // the toolbar's Next button
    bool previousEnabled = true;   // the toolbar's Previous button
    bool slideShowRunning = false; // the toolbar's Slide Show button is down
    bool antiAlias = false;        // the main menu's AntiAlias Display is checked
};

// A new context menu for the given state; the caller owns it. Each entry's
// data() holds its ContextCommand number.
QMenu *buildContextMenu(const ContextMenuState &state, QWidget *parent = nullptr);
// The command of a chosen entry; None for no entry (the menu was dismissed).
ContextCommand contextCommandOf(const QAction *chosen);

} // namespace viewer
