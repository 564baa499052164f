// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/MetafileEmfPlusParse.h"

#include <cmath>

#include "imaging/MetafilePlayer.h"

namespace imaging::metafile::detail {

namespace {

// One coordinate of relative points: 7 bits in one byte, or 15 bits in two
// (high bit set, the value's high byte first).
bool relativeValue(Bytes d, qint64 *at, int *out)
{
    if (!d.has(*at, 1))
        return false;
    const quint8 first = d.u8(*at);
    if ((first & 0x80) == 0) {
        *out = (first & 0x40) ? int(first) - 0x80 : int(first);
        *at += 1;
        return true;
    }
    if (!d.has(*at, 2))
        return false;
    const int value = ((first & 0x7F) << 8) | d.u8(*at + 1);
    *out = (value & 0x4000) ? value - 0x8000 : value;
    *at += 2;
    return true;
}

} // namespace

QColor argb(quint32 c)
{
    return QColor::fromRgba(QRgb(c));
}

bool number(Bytes d, qint64 at, double *out)
{
    if (!d.has(at, 4))
        return false;
    const double v = d.f32(at);
    if (!std::isfinite(v) || std::abs(v) > kMaxCoordinate)
        return false;
    *out = v;
    return true;
}

bool rectF(Bytes d, qint64 at, bool compressed, QRectF *out)
{
    if (compressed) {
        if (!d.has(at, 8))
            return false;
        *out = QRectF(d.i16(at), d.i16(at + 2), d.i16(at + 4), d.i16(at + 6));
        return true;
    }
    double v[4];
    for (int i = 0; i < 4; ++i)
        if (!number(d, at + 4 * qint64(i), &v[i]))
            return false;
    *out = QRectF(v[0], v[1], v[2], v[3]);
    return true;
}

bool matrix(Bytes d, qint64 at, QTransform *out)
{
    double v[6];
    for (int i = 0; i < 6; ++i)
        if (!number(d, at + 4 * qint64(i), &v[i]))
            return false;
    *out = QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
    return finite(*out);
}

bool plusPoints(Bytes d, qint64 at, qint64 count, quint16 flags, QPolygonF *out, qint64 *end)
{
    if (count < 0 || count > d.size())
        return false;
    out->clear();
    if (flags & kRelative) {
        out->reserve(count);
        QPointF p;
        for (qint64 i = 0; i < count; ++i) {
            int dx = 0, dy = 0;
            if (!relativeValue(d, &at, &dx) || !relativeValue(d, &at, &dy))
                return false;
            p += QPointF(dx, dy);
            out->append(p);
        }
    } else if (flags & kCompressed) {
        if (!d.has(at, count * 4))
            return false;
        out->reserve(count);
        for (qint64 i = 0; i < count; ++i)
            out->append(QPointF(d.i16(at + 4 * i), d.i16(at + 4 * i + 2)));
        at += count * 4;
    } else {
        if (!d.has(at, count * 8))
            return false;
        out->reserve(count);
        for (qint64 i = 0; i < count; ++i) {
            double x = 0, y = 0;
            if (!number(d, at + 8 * i, &x) || !number(d, at + 8 * i + 4, &y))
                return false;
            out->append(QPointF(x, y));
        }
        at += count * 8;
    }
    if (end)
        *end = at;
    return true;
}

} // namespace imaging::metafile::detail
