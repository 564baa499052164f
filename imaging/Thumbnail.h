// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>

namespace imaging {

// A thumbnail is 140 pixels wide; pictures whose long side is 1.8 times
// their short side or more are fitted into a white 140 x 140 square instead.
inline constexpr int kThumbEdge = 140;
inline constexpr double kStripRatio = 1.8;

// Nearest integer, halves to the even neighbour.
double roundHalfEven(double value);

struct ThumbnailGeometry
{
    QSize scaled;        // size the picture is resampled to
    bool canvas = false; // placed on a white kThumbEdge square
    QPoint offset;       // where the picture sits on that square
};

// The geometry for a picture of the given original size (both sides > 0).
ThumbnailGeometry thumbnailGeometry(QSize original);

// Resamples a (possibly reduced) decode of a picture whose true size is
// `original` into its thumbnail.
QImage composeThumbnail(const QImage &decoded, QSize original);

struct ThumbnailResult
{
    QImage picture;
    QString error; // the description shown to the user; empty on success

    bool ok() const { return error.isEmpty() && !picture.isNull(); }
};

// One file decoded for its thumbnails: a picture that covers `box` where the
// format can decode at a reduced size (full size otherwise), the picture's
// true size turned as its pixels are, or why it cannot be read. Icons,
// cursors and device-independent bitmaps come as the picture loader reads
// them and are shown as they are (asIs). Safe from any thread; never throws.
// In pictavo the decoding is done in a helper process (ThumbnailHelpers.h);
// decodeForThumbnailHere always does it in this one.
struct ThumbnailSource
{
    QImage picture;
    QSize original;
    QString error; // empty on success
    bool asIs = false;

    bool ok() const { return error.isEmpty() && !picture.isNull(); }
};
ThumbnailSource decodeForThumbnail(const QString &path, QSize box);
ThumbnailSource decodeForThumbnailHere(const QString &path, QSize box);

// Makes the thumbnail of one file. Icons, cursors and device-independent
// bitmaps come back as the picture loader reads them, not resized. Safe to
// call from any thread; never throws.
ThumbnailResult makeThumbnail(const QString &path);

} // namespace imaging
