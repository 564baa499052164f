// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace core {

// Folder that holds the program's data files (skin, splash, icons, help),
// without a trailing "/" (except "/" itself). The build tree's copy when run
// from a build, the installed share folder otherwise; tests may override it.
QString programFolder();
void setProgramFolder(const QString &folder); // empty: back to the default

// The user's desktop folder with "/" appended, or an empty text when there
// is none.
QString desktopFolder();

// The folder where Pictavo keeps files of its own making (the wallpaper
// copy), without a trailing "/". It may not exist yet.
QString dataFolder();

} // namespace core
