// SPDX-License-Identifier: GPL-3.0-or-later
// The WMF records the player understands.
#include <algorithm>
#include <cmath>

#include "imaging/MetafilePlayer.h"

namespace imaging::metafile::detail {

void Player::wmfRecord(quint16 function, Bytes r)
{
    const qint64 size = r.size();
    auto pt = [&](qint64 at) { return QPointF(r.i16(at + 2), r.i16(at)); }; // stored y, x
    // Rectangles are stored bottom, right, top, left.
    auto box = [&](qint64 at) {
        return rectLtrb(r.i16(at + 6), r.i16(at + 4), r.i16(at + 2), r.i16(at));
    };
    switch (function) {
    case 0x0201:
        m_dc.bkColor = colorRef(r.u32(6));
        break;
    case 0x0102:
        m_dc.bkOpaque = r.u16(6) == 2;
        break;
    case 0x0103: {
        const quint16 mode = r.u16(6);
        if (mode >= MmText && mode <= MmAnisotropic)
            m_dc.mapMode = mode;
        break;
    }
    case 0x0106:
        m_dc.fillRule = r.u16(6) == 2 ? Qt::WindingFill : Qt::OddEvenFill;
        break;
    case 0x0209:
        m_dc.textColor = colorRef(r.u32(6));
        break;
    case 0x012E:
        m_dc.textAlign = r.u16(6);
        break;
    case 0x020B:
        if (size >= 10)
            m_dc.windowOrg = pt(6);
        break;
    case 0x020C:
        if (size >= 10)
            m_dc.windowExt = pt(6);
        break;
    case 0x020D:
        if (size >= 10)
            m_dc.viewportOrg = pt(6);
        break;
    case 0x020E:
        if (size >= 10)
            m_dc.viewportExt = pt(6);
        break;
    case 0x020F:
        if (size >= 10)
            m_dc.windowOrg += pt(6);
        break;
    case 0x0410: {
        const qint16 yd = r.i16(6), yn = r.i16(8), xd = r.i16(10), xn = r.i16(12);
        if (size >= 14 && xd != 0 && yd != 0)
            m_dc.windowExt = QPointF(m_dc.windowExt.x() * xn / xd, m_dc.windowExt.y() * yn / yd);
        break;
    }
    case 0x0213:
        if (size >= 10)
            lineTo(pt(6));
        break;
    case 0x0214:
        if (size >= 10)
            moveTo(pt(6));
        break;
    case 0x0415:
        if (size >= 14)
            intersectClip(box(6), true);
        break;
    case 0x0416:
        if (size >= 14)
            intersectClip(box(6), false);
        break;
    case 0x012C: // SELECTCLIPREGION: only "no region" is understood
        if (r.u16(6) == 0) {
            m_dc.hasClip = false;
            m_dc.clip = QPainterPath();
        }
        break;
    case 0x0418:
    case 0x041B: {
        if (size < 14)
            break;
        QPainterPath p;
        if (function == 0x0418)
            p.addEllipse(box(6).normalized());
        else
            p.addRect(box(6).normalized());
        drawShape(p, true);
        break;
    }
    case 0x061C: {
        if (size < 18)
            break;
        QPainterPath p;
        p.addRoundedRect(box(10).normalized(), std::abs(r.i16(8)) / 2.0, std::abs(r.i16(6)) / 2.0);
        drawShape(p, true);
        break;
    }
    case 0x0817:
    case 0x0830:
    case 0x081A:
        if (size >= 22)
            arc(box(14), pt(10), pt(6), function == 0x0830 ? 1 : function == 0x081A ? 2 : 0);
        break;
    case 0x041F: // SETPIXEL
        if (size >= 14 && prepare(false, false))
            m_painter.fillRect(QRectF(pt(10), QSizeF(1, 1)), colorRef(r.u32(6)));
        break;
    case 0x0324:
    case 0x0325: {
        QPolygonF points;
        if (!readPoints(r, 8, r.u16(6), false, &points))
            break;
        if (function == 0x0324)
            polygon(points);
        else
            polyline(points, false);
        break;
    }
    case 0x0538: {
        const qint64 polys = r.u16(6);
        if (!r.has(8, polys * 2))
            break;
        qint64 at = 8 + polys * 2;
        std::vector<QPolygonF> list;
        for (qint64 i = 0; i < polys; ++i) {
            QPolygonF p;
            const qint64 n = r.u16(8 + 2 * i);
            if (!readPoints(r, at, n, false, &p))
                break;
            list.push_back(p);
            at += n * 4;
        }
        polyPolygon(list);
        break;
    }
    case 0x001E:
        saveDc();
        break;
    case 0x0127:
        restoreDc(r.i16(6));
        break;
    case 0x012D: { // SELECTOBJECT
        if (auto it = m_objects.constFind(r.u16(6)); it != m_objects.constEnd())
            select(*it);
        break;
    }
    case 0x01F0: { // DELETEOBJECT
        const quint32 slot = r.u16(6);
        if (m_objects.remove(slot) > 0)
            m_wmfFree.insert(slot);
        break;
    }
    case 0x02FA: { // CREATEPENINDIRECT
        GdiObject o;
        o.type = GdiObject::Type::Pen;
        o.pen = makePen(r.u16(6), r.i16(8), colorRef(r.u32(12)), false);
        wmfCreate(o);
        break;
    }
    case 0x02FC: { // CREATEBRUSHINDIRECT
        GdiObject o;
        o.type = GdiObject::Type::Brush;
        o.brush = makeBrush(r.u16(6), colorRef(r.u32(8)), r.u16(12));
        wmfCreate(o);
        break;
    }
    case 0x0142: { // DIBCREATEPATTERNBRUSH
        GdiObject o;
        o.type = GdiObject::Type::Brush;
        const Dib d = dib(r.from(10), {}, r.u16(8), true);
        o.brush = QBrush(Qt::gray);
        if (!d.image.isNull())
            o.brush = QBrush(d.image);
        wmfCreate(o);
        break;
    }
    case 0x02FB: // CREATEFONTINDIRECT
        wmfCreate(readLogFont(r, 6, size, false));
        break;
    case 0x00F7:
    case 0x01F9:
    case 0x06FF: // palette, pattern brush, region: slot only
        wmfCreate(GdiObject());
        break;
    case 0x0521: { // TEXTOUT
        const qint64 length = r.u16(6);
        const QString s = latin1(r, 8, length);
        const qint64 at = 8 + ((length + 1) & ~qint64(1));
        if (r.has(at, 4))
            text(pt(at), s, {}, nullptr);
        break;
    }
    case 0x0A32: { // EXTTEXTOUT
        if (size < 14)
            break;
        const qint64 length = r.u16(10);
        const quint16 options = r.u16(12);
        qint64 at = 14;
        QRectF opaque;
        if (options & 6) { // ETO_OPAQUE | ETO_CLIPPED carry a rectangle
            opaque = rectLtrb(r.i16(14), r.i16(16), r.i16(18), r.i16(20));
            at += 8;
        }
        const QString s = latin1(r, at, length);
        at += (length + 1) & ~qint64(1);
        std::vector<double> dx;
        if (length > 0 && r.has(at, length * 2))
            for (qint64 i = 0; i < length; ++i)
                dx.push_back(r.i16(at + 2 * i));
        text(pt(6), s, dx, (options & 2) ? &opaque : nullptr);
        break;
    }
    case 0x061D: { // PATBLT
        if (size >= 18)
            patBlt(QRectF(pt(14), QSizeF(r.i16(12), r.i16(10))), r.u32(6));
        break;
    }
    case 0x0F43: { // STRETCHDIB
        if (size < 28)
            break;
        const Bytes packed = r.from(28);
        const Dib d = dib(packed, {}, r.u16(10), true);
        bitmap(QRectF(r.i16(26), r.i16(24), r.i16(22), r.i16(20)),
               QRectF(r.i16(18), r.i16(16), r.i16(14), r.i16(12)), d, r.u32(6));
        break;
    }
    case 0x0B41: { // DIBSTRETCHBLT
        const bool withBitmap = qint64(size / 2) != (function >> 8) + 3;
        if (!withBitmap) {
            if (size >= 28)
                patBlt(QRectF(r.i16(26), r.i16(24), r.i16(22), r.i16(20)), r.u32(6));
            break;
        }
        if (size < 26)
            break;
        const Bytes packed = r.from(26);
        const Dib d = dib(packed, {}, 0, true);
        bitmap(QRectF(r.i16(24), r.i16(22), r.i16(20), r.i16(18)),
               QRectF(r.i16(16), r.i16(14), r.i16(12), r.i16(10)), d, r.u32(6));
        break;
    }
    case 0x0940: { // DIBBITBLT
        const bool withBitmap = qint64(size / 2) != (function >> 8) + 3;
        if (!withBitmap) {
            if (size >= 24)
                patBlt(QRectF(r.i16(22), r.i16(20), r.i16(18), r.i16(16)), r.u32(6));
            break;
        }
        if (size < 22)
            break;
        const Bytes packed = r.from(22);
        const Dib d = dib(packed, {}, 0, true);
        const QSizeF s(r.i16(16), r.i16(14));
        bitmap(QRectF(QPointF(r.i16(20), r.i16(18)), s), QRectF(QPointF(r.i16(12), r.i16(10)), s),
               d, r.u32(6));
        break;
    }
    case 0x0D33: { // SETDIBTODEV
        if (size < 24)
            break;
        const Bytes packed = r.from(24);
        const Dib d = dib(packed, {}, r.u16(6), true);
        const QSizeF s(r.i16(18), r.i16(16));
        bitmap(QRectF(QPointF(r.i16(22), r.i16(20)), s), QRectF(QPointF(r.i16(14), r.i16(12)), s),
               d, 0x00CC0020);
        break;
    }
    default:
        break;
    }
}

} // namespace imaging::metafile::detail
