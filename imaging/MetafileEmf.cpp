// SPDX-License-Identifier: GPL-3.0-or-later
// The EMF records the player understands.
#include <QLineF>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "imaging/MetafileClip.h"
#include "imaging/MetafilePlayer.h"

namespace imaging::metafile::detail {

namespace {

enum EmfRecord : quint32
{
    EmrHeader = 1,
    EmrPolyBezier,
    EmrPolygon,
    EmrPolyline,
    EmrPolyBezierTo,
    EmrPolylineTo,
    EmrPolyPolyline,
    EmrPolyPolygon,
    EmrSetWindowExtEx,
    EmrSetWindowOrgEx,
    EmrSetViewportExtEx,
    EmrSetViewportOrgEx,
    EmrSetBrushOrgEx,
    EmrEof,
    EmrSetPixelV,
    EmrSetMapperFlags,
    EmrSetMapMode,
    EmrSetBkMode,
    EmrSetPolyFillMode,
    EmrSetRop2,
    EmrSetStretchBltMode,
    EmrSetTextAlign,
    EmrSetColorAdjustment,
    EmrSetTextColor,
    EmrSetBkColor,
    EmrOffsetClipRgn,
    EmrMoveToEx,
    EmrSetMetaRgn,
    EmrExcludeClipRect,
    EmrIntersectClipRect,
    EmrScaleViewportExtEx,
    EmrScaleWindowExtEx,
    EmrSaveDc,
    EmrRestoreDc,
    EmrSetWorldTransform,
    EmrModifyWorldTransform,
    EmrSelectObject,
    EmrCreatePen,
    EmrCreateBrushIndirect,
    EmrDeleteObject,
    EmrAngleArc,
    EmrEllipse,
    EmrRectangle,
    EmrRoundRect,
    EmrArc,
    EmrChord,
    EmrPie,
    EmrSelectPalette,
    EmrCreatePalette,
    EmrSetPaletteEntries,
    EmrResizePalette,
    EmrRealizePalette,
    EmrExtFloodFill,
    EmrLineTo,
    EmrArcTo,
    EmrPolyDraw,
    EmrSetArcDirection,
    EmrSetMiterLimit,
    EmrBeginPath,
    EmrEndPath,
    EmrCloseFigure,
    EmrFillPath,
    EmrStrokeAndFillPath,
    EmrStrokePath,
    EmrFlattenPath,
    EmrWidenPath,
    EmrSelectClipPath,
    EmrAbortPath,
    EmrGdiComment = 70,
    EmrFillRgn,
    EmrFrameRgn,
    EmrInvertRgn,
    EmrPaintRgn,
    EmrExtSelectClipRgn,
    EmrBitBlt,
    EmrStretchBlt,
    EmrMaskBlt,
    EmrPlgBlt,
    EmrSetDiBitsToDevice,
    EmrStretchDiBits,
    EmrExtCreateFontIndirectW,
    EmrExtTextOutA,
    EmrExtTextOutW,
    EmrPolyBezier16,
    EmrPolygon16,
    EmrPolyline16,
    EmrPolyBezierTo16,
    EmrPolylineTo16,
    EmrPolyPolyline16,
    EmrPolyPolygon16,
    EmrPolyDraw16,
    EmrCreateMonoBrush,
    EmrCreateDibPatternBrushPt,
    EmrExtCreatePen,
};

bool validXform(Bytes r, qint64 at, QTransform *t)
{
    float v[6];
    for (int i = 0; i < 6; ++i) {
        v[i] = r.f32(at + 4 * qint64(i));
        if (!std::isfinite(v[i]) || std::abs(v[i]) > 1e7f)
            return false;
    }
    *t = QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
    return true;
}

} // namespace

bool Player::emfRecord(quint32 type, Bytes r)
{
    const qint64 size = r.size();
    auto point = [&](qint64 at) { return QPointF(r.i32(at), r.i32(at + 4)); };
    auto box = [&](qint64 at) {
        return rectLtrb(r.i32(at), r.i32(at + 4), r.i32(at + 8), r.i32(at + 12));
    };
    if (type == EmrGdiComment) {
        // EMF+ records travel in comments that start with "EMF+".
        if (size >= 16 && r.u32(12) == 0x2B464D45)
            emfPlusRecords(r.mid(16, std::min<qint64>(size - 16, qint64(r.u32(8)) - 4)));
        return true;
    }
    if (type != EmrEof && !plainRecordsPlayed())
        return true;
    switch (type) {
    case EmrEof:
        return false;
    case EmrPolyBezier:
    case EmrPolygon:
    case EmrPolyline:
    case EmrPolyBezierTo:
    case EmrPolylineTo:
    case EmrPolyBezier16:
    case EmrPolygon16:
    case EmrPolyline16:
    case EmrPolyBezierTo16:
    case EmrPolylineTo16: {
        const bool wide = type < EmrPolyBezier16;
        const quint32 kind = wide ? type : type - EmrPolyBezier16 + EmrPolyBezier;
        QPolygonF points;
        if (!readPoints(r, 28, r.u32(24), wide, &points))
            break;
        switch (kind) {
        case EmrPolyBezier:
            polyBezier(points, false);
            break;
        case EmrPolyBezierTo:
            polyBezier(points, true);
            break;
        case EmrPolygon:
            polygon(points);
            break;
        case EmrPolyline:
            polyline(points, false);
            break;
        default:
            polyline(points, true);
            break;
        }
        break;
    }
    case EmrPolyPolyline:
    case EmrPolyPolygon:
    case EmrPolyPolyline16:
    case EmrPolyPolygon16: {
        const bool wide = type == EmrPolyPolyline || type == EmrPolyPolygon;
        const qint64 polys = r.u32(24);
        const qint64 total = r.u32(28);
        if (polys > size / 4 || !r.has(32, polys * 4))
            break;
        QPolygonF all;
        if (!readPoints(r, 32 + polys * 4, total, wide, &all))
            break;
        std::vector<QPolygonF> list;
        qint64 used = 0;
        for (qint64 i = 0; i < polys; ++i) {
            const qint64 n = r.u32(32 + 4 * i);
            if (n > total - used)
                break;
            list.emplace_back(all.mid(used, n));
            used += n;
        }
        if (type == EmrPolyPolygon || type == EmrPolyPolygon16) {
            polyPolygon(list);
        } else {
            for (const QPolygonF &p : list)
                polyline(p, false);
        }
        break;
    }
    case EmrSetWindowExtEx:
        m_dc.windowExt = point(8);
        break;
    case EmrSetWindowOrgEx:
        m_dc.windowOrg = point(8);
        break;
    case EmrSetViewportExtEx:
        m_dc.viewportExt = point(8);
        break;
    case EmrSetViewportOrgEx:
        m_dc.viewportOrg = point(8);
        break;
    case EmrScaleViewportExtEx:
    case EmrScaleWindowExtEx: {
        const qint32 xn = r.i32(8), xd = r.i32(12), yn = r.i32(16), yd = r.i32(20);
        if (xd == 0 || yd == 0)
            break;
        QPointF &ext = type == EmrScaleWindowExtEx ? m_dc.windowExt : m_dc.viewportExt;
        ext = QPointF(ext.x() * xn / xd, ext.y() * yn / yd);
        break;
    }
    case EmrSetPixelV:
        if (prepare(false, false))
            m_painter.fillRect(QRectF(point(8), QSizeF(1, 1)), colorRef(r.u32(16)));
        break;
    case EmrSetMapMode: {
        const quint32 mode = r.u32(8);
        if (mode >= MmText && mode <= MmAnisotropic)
            m_dc.mapMode = int(mode);
        break;
    }
    case EmrSetBkMode:
        m_dc.bkOpaque = r.u32(8) == 2;
        break;
    case EmrSetPolyFillMode:
        m_dc.fillRule = r.u32(8) == 2 ? Qt::WindingFill : Qt::OddEvenFill;
        break;
    case EmrSetTextAlign:
        m_dc.textAlign = r.u32(8);
        break;
    case EmrSetTextColor:
        m_dc.textColor = colorRef(r.u32(8));
        break;
    case EmrSetBkColor:
        m_dc.bkColor = colorRef(r.u32(8));
        break;
    case EmrMoveToEx:
        moveTo(point(8));
        break;
    case EmrLineTo:
        lineTo(point(8));
        break;
    case EmrExcludeClipRect:
        intersectClip(box(8), true);
        break;
    case EmrIntersectClipRect:
        intersectClip(box(8), false);
        break;
    case EmrSaveDc:
        saveDc();
        break;
    case EmrRestoreDc:
        restoreDc(r.i32(8));
        break;
    case EmrSetWorldTransform: {
        QTransform t;
        if (validXform(r, 8, &t))
            m_dc.world = t;
        break;
    }
    case EmrModifyWorldTransform: {
        QTransform t;
        const quint32 mode = r.u32(32);
        if (mode == 1) {
            m_dc.world = QTransform();
        } else if (validXform(r, 8, &t)) {
            if (mode == 2)
                m_dc.world = t * m_dc.world;
            else if (mode == 3)
                m_dc.world = m_dc.world * t;
            else if (mode == 4)
                m_dc.world = t;
        }
        break;
    }
    case EmrSelectObject: {
        const quint32 index = r.u32(8);
        if (index & 0x80000000u)
            selectStock(index & 0x7FFFFFFFu);
        else if (auto it = m_objects.constFind(index); it != m_objects.constEnd())
            select(*it);
        break;
    }
    case EmrDeleteObject:
        m_objects.remove(r.u32(8));
        break;
    case EmrCreatePen: {
        if (size < 28)
            break;
        GdiObject o;
        o.type = GdiObject::Type::Pen;
        o.pen = makePen(r.u32(12), r.i32(16), colorRef(r.u32(24)), false);
        m_objects.insert(r.u32(8), o);
        break;
    }
    case EmrExtCreatePen: {
        if (size < 52)
            break;
        GdiObject o;
        o.type = GdiObject::Type::Pen;
        const quint32 style = r.u32(28);
        const bool geometric = (style & 0x00010000u) != 0;
        o.pen = makePen(style, r.u32(32), colorRef(r.u32(40)), !geometric);
        if (r.u32(36) == 1) // BS_NULL
            o.pen = QPen(Qt::NoPen);
        m_objects.insert(r.u32(8), o);
        break;
    }
    case EmrCreateBrushIndirect: {
        if (size < 24)
            break;
        GdiObject o;
        o.type = GdiObject::Type::Brush;
        o.brush = makeBrush(r.u32(12), colorRef(r.u32(16)), r.u32(20));
        m_objects.insert(r.u32(8), o);
        break;
    }
    case EmrCreateDibPatternBrushPt:
    case EmrCreateMonoBrush: {
        if (size < 32)
            break;
        GdiObject o;
        o.type = GdiObject::Type::Brush;
        const Dib d = dib(r.mid(r.u32(16), r.u32(20)), r.mid(r.u32(24), r.u32(28)), r.u32(12));
        o.brush = d.image.isNull() ? QBrush(Qt::gray) : QBrush(d.image);
        m_objects.insert(r.u32(8), o);
        break;
    }
    case EmrExtCreateFontIndirectW: {
        if (size < 40)
            break;
        m_objects.insert(r.u32(8), readLogFont(r, 12, size, true));
        break;
    }
    case EmrCreatePalette:
        m_objects.insert(r.u32(8), GdiObject());
        break;
    case EmrRectangle: {
        QPainterPath p;
        p.addRect(box(8).normalized());
        drawShape(p, true);
        break;
    }
    case EmrEllipse: {
        QPainterPath p;
        p.addEllipse(box(8).normalized());
        drawShape(p, true);
        break;
    }
    case EmrRoundRect: {
        QPainterPath p;
        p.addRoundedRect(box(8).normalized(), std::abs(r.i32(24)) / 2.0, std::abs(r.i32(28)) / 2.0);
        drawShape(p, true);
        break;
    }
    case EmrArc:
    case EmrArcTo:
    case EmrChord:
    case EmrPie:
        arc(box(8), point(24), point(32), type == EmrChord ? 1 : type == EmrPie ? 2 : 0);
        break;
    case EmrBeginPath:
        m_inPath = true;
        m_path = QPainterPath();
        break;
    case EmrEndPath:
        m_inPath = false;
        break;
    case EmrAbortPath:
        m_inPath = false;
        m_path = QPainterPath();
        break;
    case EmrCloseFigure:
        if (m_inPath)
            m_path.closeSubpath();
        break;
    case EmrFillPath:
        strokePath(true, false);
        break;
    case EmrStrokeAndFillPath:
        strokePath(true, true);
        break;
    case EmrStrokePath:
        strokePath(false, true);
        break;
    case EmrSelectClipPath:
        if (!m_path.isEmpty())
            setClip(m_path, r.u32(8));
        m_path = QPainterPath();
        break;
    case EmrExtSelectClipRgn: {
        const qint64 bytes = r.u32(8);
        const quint32 mode = r.u32(12);
        if (bytes == 0 || !r.has(16, bytes) || bytes < 32) {
            if (mode == 5) {
                m_dc.hasClip = false;
                m_dc.clip = QPainterPath();
            }
            break;
        }
        const qint64 count = std::min<qint64>(r.u32(24), kMaxClipRects);
        std::vector<QRectF> rects;
        for (qint64 i = 0; i < count && r.has(48 + 16 * i, 16); ++i)
            rects.push_back(box(48 + 16 * i));
        // The rectangles may overlap; their union has none that do.
        const std::optional<QRegion> region = unitedRects(rects, kMaxClipRegionPieces);
        if (!region) {
            spend(std::numeric_limits<double>::infinity());
            break;
        }
        QPainterPath outline;
        outline.addRegion(*region);
        if (finite(m_output))
            setClip(m_output.map(outline), mode);
        break;
    }
    case EmrBitBlt:
    case EmrStretchBlt: {
        if (size < (type == EmrBitBlt ? 100 : 108))
            break;
        const QRectF dest(r.i32(24), r.i32(28), r.i32(32), r.i32(36));
        const quint32 rop = r.u32(40);
        const qint64 bmiBytes = r.u32(88);
        if (bmiBytes == 0) {
            patBlt(dest, rop);
            break;
        }
        QSizeF src = dest.size();
        if (type == EmrStretchBlt)
            src = QSizeF(r.i32(100), r.i32(104));
        const Dib d = dib(r.mid(r.u32(84), bmiBytes), r.mid(r.u32(92), r.u32(96)), r.u32(80));
        bitmap(dest, QRectF(QPointF(r.i32(44), r.i32(48)), src), d, rop);
        break;
    }
    case EmrStretchDiBits: {
        if (size < 80)
            break;
        const Dib d = dib(r.mid(r.u32(48), r.u32(52)), r.mid(r.u32(56), r.u32(60)), r.u32(64));
        bitmap(QRectF(r.i32(24), r.i32(28), r.i32(72), r.i32(76)),
               QRectF(r.i32(32), r.i32(36), r.i32(40), r.i32(44)), d, r.u32(68));
        break;
    }
    case EmrSetDiBitsToDevice: {
        if (size < 76)
            break;
        const Dib d = dib(r.mid(r.u32(48), r.u32(52)), r.mid(r.u32(56), r.u32(60)), r.u32(64));
        const QSizeF s(r.i32(40), r.i32(44));
        bitmap(QRectF(QPointF(r.i32(24), r.i32(28)), s), QRectF(QPointF(r.i32(32), r.i32(36)), s),
               d, 0x00CC0020);
        break;
    }
    case EmrExtTextOutA:
    case EmrExtTextOutW: {
        if (size < 76)
            break;
        const qint64 chars = r.u32(44);
        const qint64 offString = r.u32(48);
        const quint32 options = r.u32(52);
        const QString s =
            type == EmrExtTextOutW ? utf16(r, offString, chars) : latin1(r, offString, chars);
        std::vector<double> dx;
        const qint64 offDx = r.u32(72);
        if (offDx != 0 && chars > 0 && chars <= size / 4 && r.has(offDx, chars * 4)) {
            const qint64 step = (options & 0x2000) ? 8 : 4; // ETO_PDY pairs
            for (qint64 i = 0; i < chars && r.has(offDx + i * step, 4); ++i)
                dx.push_back(r.i32(offDx + i * step));
        }
        const QRectF opaque = box(56);
        text(point(36), s, dx, (options & 2) ? &opaque : nullptr);
        break;
    }
    default:
        break; // records that change nothing visible here
    }
    return true;
}

} // namespace imaging::metafile::detail
