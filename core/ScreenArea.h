// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>

class QScreen;
class QWidget;

namespace core {

// The rectangle `outer` shrunk to the size of `area` where it is larger, then
// moved by as little as possible so that it lies wholly within `area`.
QRect keepWithin(const QRect &outer, const QRect &area);

// The free area (without panels and docks) of the screen a window is on, or
// of the primary screen.
QRect availableArea(const QWidget *window);

// Shrinks and moves a top-level window so that its outer frame lies within
// the free area of its screen; a window that fits stays as it is.
void keepOnScreen(QWidget *window);

} // namespace core
