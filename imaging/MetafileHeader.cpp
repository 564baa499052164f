// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/MetafileHeader.h"

#include <algorithm>
#include <cmath>

#include "imaging/Metafile.h"

namespace imaging::metafile::detail {

bool parseEmfHeader(Bytes b, EmfHeader &h)
{
    if (b.u32(0) != 1 || b.u32(40) != kEmfSignature)
        return false;
    h.size = b.u32(4);
    if (h.size < 88 || !b.has(0, h.size))
        return false;
    h.boundsLeft = b.i32(8);
    h.boundsTop = b.i32(12);
    h.boundsRight = b.i32(16);
    h.boundsBottom = b.i32(20);
    h.frameLeft = b.i32(24);
    h.frameTop = b.i32(28);
    h.frameRight = b.i32(32);
    h.frameBottom = b.i32(36);
    const qint32 devW = b.i32(72), devH = b.i32(76);
    qint32 mmW = b.i32(80), mmH = b.i32(84);
    double umW = 0, umH = 0;
    if (h.size >= 108) {
        umW = b.i32(100);
        umH = b.i32(104);
    }
    if (devW > 0 && devH > 0) {
        if (umW > 0 && umH > 0) {
            h.pixelsPerMmX = devW / (umW / 1000.0);
            h.pixelsPerMmY = devH / (umH / 1000.0);
        } else if (mmW > 0 && mmH > 0) {
            h.pixelsPerMmX = double(devW) / mmW;
            h.pixelsPerMmY = double(devH) / mmH;
        }
    }
    return true;
}

QSize emfNaturalSize(const EmfHeader &h, qint64 *w, qint64 *hgt)
{
    qint64 fw = h.frameRight - h.frameLeft;
    qint64 fh = h.frameBottom - h.frameTop;
    if (fw > 0 && fh > 0) {
        *w = std::max<qint64>(1, std::llround(fw * 96.0 / 2540.0));
        *hgt = std::max<qint64>(1, std::llround(fh * 96.0 / 2540.0));
    } else {
        *w = h.boundsRight - h.boundsLeft + 1;
        *hgt = h.boundsBottom - h.boundsTop + 1;
        if (*w <= 0 || *hgt <= 0)
            return {};
    }
    if (*w > qint64(kMaxSide) * 16 || *hgt > qint64(kMaxSide) * 16)
        return QSize(kMaxSide * 16, kMaxSide * 16);
    return QSize(int(*w), int(*hgt));
}

bool parseWmfHeader(Bytes b, WmfHeader &h)
{
    qint64 at = 0;
    if (b.u32(0) == kPlaceableKey) {
        if (!b.has(0, 22))
            return false;
        h.placeable = true;
        const qint16 l = b.i16(6), t = b.i16(8), r = b.i16(10), bt = b.i16(12);
        h.bounds = QRectF(QPointF(l, t), QPointF(r, bt));
        if (b.u16(14) != 0)
            h.inch = b.u16(14);
        at = 22;
    }
    const quint16 type = b.u16(at);
    if (!b.has(at, 18) || (type != 1 && type != 2) || b.u16(at + 2) != 9)
        return false;
    const quint16 version = b.u16(at + 4);
    if (version != 0x0100 && version != 0x0300)
        return false;
    h.objects = b.u16(at + 10);
    h.recordsAt = at + 18;
    return true;
}

namespace {

// A metafile without the placeable header states no size of its own; the
// first window extent it sets is taken as its size in pixels.
bool wmfWindowFromRecords(Bytes b, qint64 at, QRectF *window)
{
    QPointF origin;
    for (qint64 n = 0; n < 4096 && b.has(at, 6); ++n) {
        const qint64 bytes = qint64(b.u32(at)) * 2;
        const quint16 function = b.u16(at + 4);
        if (bytes < 6 || !b.has(at, bytes) || function == 0)
            break;
        if (function == 0x020B) // SETWINDOWORG
            origin = QPointF(b.i16(at + 8), b.i16(at + 6));
        if (function == 0x020C) { // SETWINDOWEXT
            *window = QRectF(origin, QSizeF(b.i16(at + 8), b.i16(at + 6)));
            return window->width() != 0 && window->height() != 0;
        }
        at += bytes;
    }
    return false;
}

} // namespace

QSize wmfNaturalSize(Bytes b, const WmfHeader &h, qint64 *w, qint64 *hgt, QRectF *window)
{
    if (h.placeable) {
        *window = h.bounds;
        *w = std::llround(std::abs(h.bounds.width()) * 96.0 / h.inch);
        *hgt = std::llround(std::abs(h.bounds.height()) * 96.0 / h.inch);
    } else {
        if (!wmfWindowFromRecords(b, h.recordsAt, window))
            return {};
        *w = std::llround(std::abs(window->width()));
        *hgt = std::llround(std::abs(window->height()));
    }
    if (*w <= 0 || *hgt <= 0)
        return {};
    return QSize(int(*w), int(*hgt));
}

} // namespace imaging::metafile::detail
