// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

namespace imaging {
class ImageEngine;
}

namespace shell {

// Makes the image held by `image` the desktop wallpaper. The browser's
// wallpaper button and the viewer's wallpaper commands call this with their
// imaging control; the work is done by the handler in force.
void setWallpaper(imaging::ImageEngine &image);

using WallpaperHandler = std::function<void(imaging::ImageEngine &)>;
// Replaces the handler; an empty handler restores the default one, which
// tells the user that the wallpaper cannot be set yet.
void setWallpaperHandler(WallpaperHandler handler);

} // namespace shell
