// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The start-up that Pictavo's programs share, so that each sets its limits in
// one place: pictavo, pictavo-convert and pictavo-thumbnailer call these from
// main(); the Magick helper sets its own from the numbers in MagickProtocol.h.

namespace imaging {

enum class ProgramKind
{
    Windows,        // pictavo: shows windows on the desktop's display
    CommandLine,    // pictavo-convert: draws only into images, often from a script
    ThumbnailHelper // pictavo-thumbnailer: makes pictavo's thumbnails, never shows anything
};

// Before the application object: a command-line program draws text and
// metafiles with Qt's offscreen platform, so that it runs without a display
// (or with one it cannot reach); QT_QPA_PLATFORM, when set, still decides.
// The thumbnail helper always draws offscreen.
void prepareProgram(ProgramKind kind);

// After the application object: the decode budget every reader works within,
// and for pictavo, thumbnails made in helper processes (ThumbnailHelpers.h).
// Safe to call more than once.
void initializeImaging(ProgramKind kind);

} // namespace imaging
