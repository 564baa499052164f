// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/Startup.h"

#include <QImageReader>
#include <QtGlobal>

namespace imaging {

namespace {
// Qt's reader refuses a single image above this many megabytes (its own
// default, 128, stops at 33 megapixels). 512 MB holds 134 megapixels at 4
// bytes per pixel, well past today's cameras (45 to 61 megapixels), yet is
// bounded, so a lying header cannot make Qt allocate gigabytes.
constexpr int kReaderAllocationMb = 512;
} // namespace

void prepareProgram(ProgramKind kind)
{
    if (kind == ProgramKind::CommandLine && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void initializeImaging()
{
    QImageReader::setAllocationLimit(kReaderAllocationMb);
}

} // namespace imaging
