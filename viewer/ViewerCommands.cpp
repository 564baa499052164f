// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's file, print, wallpaper and help commands. Their menu entries
// are in place; each command arrives in a file of its own.
#include "imaging/ImageView.h"
#include "viewer/ViewerWindow.h"

namespace viewer {

void ViewerWindow::pageSetup() {}

void ViewerWindow::printImage(imaging::PrintPlacement) {}


void ViewerWindow::showAbout() {}

void ViewerWindow::showHelpIndex() {}

void ViewerWindow::runUpdate() {}

void ViewerWindow::onViewMousePressed(Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {}

} // namespace viewer
