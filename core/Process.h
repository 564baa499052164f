// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

namespace core {

// The application title, caption of the browser and of every message box
// that gives no caption of its own.
inline constexpr char16_t kAppTitle[] = u"Pictavo";

// The title set at start-up (empty before). It is kept here rather than as
// the application's display name, which the window system would append to
// every window's own title.
void setApplicationTitle(const QString &title);
QString applicationTitle();

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

} // namespace core
