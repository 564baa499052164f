// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/Startup.h"

#include <QByteArray>
#include <QImageReader>
#include <QtGlobal>

#include "imaging/DecodeBudget.h"
#include "imaging/Logging.h"
#include "imaging/ThumbnailHelpers.h"

namespace imaging {

void prepareProgram(ProgramKind kind)
{
    if (kind == ProgramKind::ThumbnailHelper ||
        (kind == ProgramKind::CommandLine && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void initializeImaging(ProgramKind kind)
{
    // One budget for every decode: Qt's reader refuses a single image above
    // it (Qt's own default, 128 MB, stops at 33 megapixels), and libjpeg reads
    // its limit, in thousands of bytes, from the environment for the decoders
    // Pictavo does not set up itself.
    const DecodeBudget budget;
    setDecodeBudget(budget);
    QImageReader::setAllocationLimit(int(budget.memoryBytes / (qint64(1024) * 1024)));
    if (!qEnvironmentVariableIsSet("JPEGMEM"))
        qputenv("JPEGMEM", QByteArray::number(budget.memoryBytes / 1000));
    // The program that shows windows keeps image libraries out of its own
    // address space for the many files a folder listing touches.
    setThumbnailsIsolated(kind == ProgramKind::Windows);
    if (thumbnailsIsolated())
        qCDebug(lcImaging, "thumbnails are made by %s", qUtf8Printable(thumbnailHelperProgram()));
}

} // namespace imaging
