// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's file, print, wallpaper and help commands. Their menu entries
// are in place; each command arrives in a file of its own.
#include "imaging/ImageView.h"
#include "viewer/ViewerWindow.h"

namespace viewer {

void ViewerWindow::saveAs() {}

void ViewerWindow::runFileOperation(core::FileOperation) {}

void ViewerWindow::deleteImage()
{
    runFileOperation(core::FileOperation::Delete);
}

void ViewerWindow::copyImage()
{
    if (m_imageView->engine().pageCount() > 0)
        m_imageView->engine().copyToClipboard();
}

void ViewerWindow::setAsWallpaper() {}

} // namespace viewer
