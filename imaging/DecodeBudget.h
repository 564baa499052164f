// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What one decode may cost, and the checks that hold a file to it before a
// decoder sees the file: a few bytes that claim a picture of gigabytes, a
// chunk longer than the file, an icon entry far larger than its directory
// says. A file over the budget is refused with "too large", not "damaged".

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

namespace imaging {

struct DecodeBudget
{
    // Memory one decode may take for its pixels and the decoder's own
    // buffers (a progressive JPEG keeps every coefficient of the picture).
    qint64 memoryBytes = qint64(512) * 1024 * 1024;
    // Time a decoder in the helper process may take: a base, plus time in
    // proportion to the picture's pixels.
    int baseTimeMs = 5000;
    int timeMsPerMegapixel = 100;
    // A metafile's records, and the pixels its drawing may cover, counted
    // over every record: a multiple of the output's own area plus a floor
    // (about a fifth of a second of filling), so that a small picture may
    // draw over itself many times.
    qint64 metafileRecords = 2'000'000;
    qint64 metafilePaintedAreas = 32;
    qint64 metafilePaintedFloor = 1'000'000'000;
};

// The budget in force; initializeImaging sets it for every program.
const DecodeBudget &decodeBudget();
void setDecodeBudget(const DecodeBudget &budget);

namespace budget {

// Bytes of memory a decoder needs for one page of size pixels at the given
// bits per pixel, as Qt holds it (at least 32 bits, 64 beyond that).
qint64 pixelBytes(QSize size, int bitsPerPixel);

// Memory libjpeg holds for a progressive (or multi-scan) JPEG's coefficients,
// 0 for a baseline one, which is decoded line by line.
qint64 jpegCoefficientBytes(const QByteArray &data);

// Sizes of the pictures of an icon file, from the pictures themselves (a
// directory entry says at most 256 pixels); an invalid size where an entry
// cannot be read.
QList<QSize> iconEntrySizes(const QByteArray &data);

// PNG: false when a chunk claims more bytes than the file has left (libpng
// would allocate what it claims before finding out).
bool pngChunksFit(const QByteArray &data);

// Checks a file in Qt's format qtFormat ("jpeg", "png", "ico", ...) against
// the budget before decoding page `page`; an empty text when it fits, else
// the reason ("the image is too large ...", "the file is damaged").
QString check(const char *qtFormat, const QByteArray &data, int page = 0);

// Time the helper process may take for a picture of the given pixels.
int timeAllowedMs(qint64 pixels);

} // namespace budget

} // namespace imaging
