// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The metafile reader's headers: what the EMF header and the WMF header
// (with or without the placeable header) say about the picture's size.

#include <QRectF>
#include <QSize>

#include "imaging/MetafileDib.h"

namespace imaging::metafile::detail {

inline constexpr quint32 kEmfSignature = 0x464D4520; // " EMF"
inline constexpr quint32 kPlaceableKey = 0x9AC6CDD7;

struct EmfHeader
{
    qint64 boundsLeft = 0, boundsTop = 0, boundsRight = -1, boundsBottom = -1; // device pixels
    qint64 frameLeft = 0, frameTop = 0, frameRight = 0, frameBottom = 0;       // 0.01 mm
    double pixelsPerMmX = 96 / 25.4;
    double pixelsPerMmY = 96 / 25.4;
    qint64 size = 0;
};

bool parseEmfHeader(Bytes b, EmfHeader &h);
// The natural size: the frame at 96 dpi, or the device bounds when the frame
// is empty. *w and *hgt receive the size before it is limited.
QSize emfNaturalSize(const EmfHeader &h, qint64 *w, qint64 *hgt);

struct WmfHeader
{
    bool placeable = false;
    QRectF bounds; // logical units
    double inch = 1440;
    qint64 recordsAt = 0;
    quint16 objects = 0;
};

bool parseWmfHeader(Bytes b, WmfHeader &h);
// The natural size in pixels and the window it shows (logical units).
QSize wmfNaturalSize(Bytes b, const WmfHeader &h, qint64 *w, qint64 *hgt, QRectF *window);

} // namespace imaging::metafile::detail
