// SPDX-License-Identifier: GPL-3.0-or-later
// pictavo-thumbnailer: makes pictavo's thumbnails in a process of its own,
// within an address-space and CPU-time limit. pictavo starts a few of these
// on demand, sends them file names on stdin, reads the thumbnails from
// stdout, and ends and restarts one that crashes, hangs or overruns.

#include <QGuiApplication>

#include "imaging/Startup.h"
#include "imaging/ThumbnailHelpers.h"

int main(int argc, char *argv[])
{
    // Metafile text needs fonts, and fonts need a QGuiApplication; it draws
    // offscreen whatever display pictavo runs on.
    imaging::prepareProgram(imaging::ProgramKind::ThumbnailHelper);
    QGuiApplication application(argc, argv);
    imaging::initializeImaging(imaging::ProgramKind::ThumbnailHelper);
    return imaging::thumbnailhelper::serve();
}
