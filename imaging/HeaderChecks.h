// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What an image file's header claims (its size, depth and pages) and
// whether its data is complete, read from the bytes in memory without
// decoding, so that a lying or cut-short file is told apart from a damaged
// one before a decoder sees it.

#include <QByteArray>
#include <QSize>

namespace imaging::codecs {

// Little- and big-endian fields; 0 beyond the data.
quint32 le16(const QByteArray &d, qsizetype i);
quint32 le32(const QByteArray &d, qsizetype i);
quint32 be16(const QByteArray &d, qsizetype i);

// TGA files Qt reads itself: uncompressed true colour of 24 or 32 bits with
// the version 2 footer.
bool qtReadsTga(const QByteArray &data);
// The size the header of a file in Qt's format qtFormat claims; invalid
// when it cannot be read.
QSize claimedSize(const char *qtFormat, const QByteArray &d);
// The bits per pixel the header states, 0 when unknown.
int headerBitsPerPixel(const char *qtFormat, const QByteArray &d);
int tiffPageCount(const QByteArray &d);
bool psdIsComplete(const QByteArray &d);
// False when the data of a file in qtFormat was cut short.
bool isComplete(const char *qtFormat, const QByteArray &data);

} // namespace imaging::codecs
