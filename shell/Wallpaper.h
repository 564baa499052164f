// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace imaging {
class ImageEngine;
}

namespace shell {

// The folder that holds the wallpaper pictures Pictavo writes, ending with
// "/": "wallpaper/" in Pictavo's data folder. It may not exist yet.
QString wallpaperFolder();

// The message shown instead of replacing a protected wallpaper file.
inline constexpr char16_t kProtectedWallpaperMessage[] =
    u"this picture is hidden or system file.we can not put it as wallpaper";

// True when an earlier wallpaper file at path must not be replaced: its name
// marks it hidden (a leading dot) and it is not writable (no write
// permission for its owner, or none for this user).
bool isProtectedWallpaperFile(const QString &path);

// Makes the image held by `image` the desktop wallpaper: writes it as a
// bitmap under the shown file's own name (extension unchanged) into
// wallpaperFolder() and hands that file to the desktop. The browser's
// wallpaper button and the viewer's wallpaper commands call this with their
// imaging control; an empty control does nothing. shownPath names the file
// of a picture that the engine does not know by name (icons, cursors).
void setWallpaper(imaging::ImageEngine &image, const QString &shownPath = {});

} // namespace shell
