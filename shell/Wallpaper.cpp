// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Wallpaper.h"

#include <QString>

#include "core/Prompts.h"
#include "imaging/ImageEngine.h"

namespace shell {

namespace {

void notAvailable(imaging::ImageEngine &)
{
    core::msgBox(QStringLiteral("Setting the wallpaper is not available yet."),
                 core::MsgIcon::Information);
}

WallpaperHandler &handler()
{
    static WallpaperHandler current = notAvailable;
    return current;
}

} // namespace

void setWallpaper(imaging::ImageEngine &image)
{
    handler()(image);
}

void setWallpaperHandler(WallpaperHandler replacement)
{
    handler() = replacement ? std::move(replacement) : WallpaperHandler(notAvailable);
}

} // namespace shell
