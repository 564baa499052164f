// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading and writing of Windows metafiles (WMF, with or without the placeable
// header, and EMF). Every function is reentrant: no shared state, so workers
// may render several metafiles at once.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

class QIODevice;

namespace imaging::metafile {

enum class Kind
{
    None,
    Emf,
    Wmf
};

// The largest picture the reader produces: each side and the pixel total.
inline constexpr int kMaxSide = 32767;
inline constexpr qint64 kMaxPixels = 100'000'000;

// Tells the metafile kind from the first bytes of a file (44 are enough).
Kind detect(const QByteArray &head);

// Plays the metafile onto a white ARGB image of its natural size (see
// frameSize). With a valid boundingSize, a picture larger than it is drawn
// scaled down to fit, keeping its aspect ratio; smaller pictures keep their
// size. A picture beyond kMaxSide or kMaxPixels is likewise drawn smaller. On failure returns a
// null image and sets *error (when given) to a short description without the file name. A record
// damaged after drawing started ends playback and keeps what was drawn.
QImage render(const QByteArray &data, QString *error, QSize boundingSize = {});

// The size render() draws the picture at without a bounding size: its
// natural size in pixels at 96 dpi, scaled down to fit kMaxSide and
// kMaxPixels when larger. An invalid size when the data is not a metafile
// or gives no usable size.
QSize frameSize(const QByteArray &data);

// Writes a metafile holding the raster: an EMF (header, STRETCHDIBITS, EOF)
// or a placeable WMF (header, window set-up, STRETCHDIB, EOF), both sized so
// that one image pixel is one pixel at 96 dpi, in a 24-bit DIB. An image with
// alpha is composed over white: other programs ignore the alpha of a DIB and
// would show transparent parts black.
bool write(const QImage &image, Kind kind, QIODevice &out, QString *error);

} // namespace imaging::metafile
