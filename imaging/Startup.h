// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The start-up that Pictavo's programs share, so that each sets its limits in
// one place: pictavo and pictavo-convert call these from main(); the Magick
// helper sets its own from the numbers in MagickProtocol.h.

namespace imaging {

enum class ProgramKind
{
    Windows,    // pictavo: shows windows on the desktop's display
    CommandLine // pictavo-convert: draws only into images, often from a script
};

// Before the application object: a command-line program draws text and
// metafiles with Qt's offscreen platform, so that it runs without a display
// (or with one it cannot reach). QT_QPA_PLATFORM, when set, still decides.
void prepareProgram(ProgramKind kind);

// After the application object: the limits the engine's readers work within
// (Qt's allocation limit for a single image). Safe to call more than once.
void initializeImaging();

} // namespace imaging
