// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/Startup.h"

#include <QImageReader>
#include <QByteArray>
#include <QtGlobal>

#include "imaging/DecodeBudget.h"

namespace imaging {

void prepareProgram(ProgramKind kind)
{
    if (kind == ProgramKind::CommandLine && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void initializeImaging()
{
    // One budget for every decode: Qt's reader refuses a single image above
    // it (Qt's own default, 128 MB, stops at 33 megapixels), and libjpeg reads
    // its limit, in thousands of bytes, from the environment for the decoders
    // Pictavo does not set up itself.
    const DecodeBudget budget;
    setDecodeBudget(budget);
    QImageReader::setAllocationLimit(int(budget.memoryBytes / (1024 * 1024)));
    if (!qEnvironmentVariableIsSet("JPEGMEM"))
        qputenv("JPEGMEM", QByteArray::number(budget.memoryBytes / 1000));
}

} // namespace imaging
