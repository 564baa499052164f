// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

namespace imaging {

// The application title, caption of the browser and of every message box
// that gives no caption of its own.
inline constexpr char16_t kAppTitle[] = u"Pictavo";

// Ends the process at once with the given status, without running any other
// window's close handling. Tests install a handler that records the call.
[[noreturn]] void endProcess(int status);
void setEndProcessHandler(std::function<void(int)> handler); // empty: the real one

// Thrown by endProcess when a test handler returned, so that the caller's
// code after "end the process" never runs.
struct ProcessEnded
{
    int status = 0;
};

// Folder that holds the program's data files (skin, splash, icons, help),
// without a trailing "/" (except "/" itself). The build tree's copy when run
// from a build, the installed share folder otherwise; tests may override it.
QString programFolder();
void setProgramFolder(const QString &folder); // empty: back to the default

// Twips per pixel, 1440 / logical DPI of the primary screen (15 at 96 dpi).
double twipsPerPixelX();
double twipsPerPixelY();
int twipsToPixelsX(double twips);
int twipsToPixelsY(double twips);
double pixelsToTwipsX(int pixels);
double pixelsToTwipsY(int pixels);

} // namespace imaging
