// SPDX-License-Identifier: GPL-3.0-or-later
// Set As Wallpaper: the shown image becomes the desktop wallpaper.
#include "imaging/ImageView.h"
#include "shell/Wallpaper.h"
#include "viewer/ViewerWindow.h"

namespace viewer {

void ViewerWindow::setAsWallpaper()
{
    // Icons and cursors reach the engine without their file's name.
    const QString shown =
        m_index >= 0 && m_index < m_paths.size() ? m_paths.at(m_index) : QString();
    shell::setWallpaper(m_imageView->engine(), shown);
}

} // namespace viewer
