// SPDX-License-Identifier: GPL-3.0-or-later
// The EMF+ records the player understands: the drawing commands that GDI+
// programs (and modern office suites) write into comment records, often with
// a plain EMF picture beside them that is empty or coarser.
// The objects the records refer to by id are read in MetafileEmfPlusObjects.cpp.
#include <QFontMetricsF>
#include <QLineF>

#include <algorithm>
#include <cmath>

#include "imaging/MetafileEmfPlusParse.h"
#include "imaging/MetafilePlayer.h"

namespace imaging::metafile::detail {

namespace {

enum PlusRecord : quint16
{
    PlusHeader = 0x4001,
    PlusEndOfFile = 0x4002,
    PlusGetDc = 0x4004,
    PlusObjectRecord = 0x4008,
    PlusClear = 0x4009,
    PlusFillRects = 0x400A,
    PlusDrawRects = 0x400B,
    PlusFillPolygon = 0x400C,
    PlusDrawLines = 0x400D,
    PlusFillEllipse = 0x400E,
    PlusDrawEllipse = 0x400F,
    PlusFillPie = 0x4010,
    PlusDrawPie = 0x4011,
    PlusDrawArc = 0x4012,
    PlusFillPath = 0x4014,
    PlusDrawPath = 0x4015,
    PlusFillClosedCurve = 0x4016,
    PlusDrawClosedCurve = 0x4017,
    PlusDrawCurve = 0x4018,
    PlusDrawBeziers = 0x4019,
    PlusDrawImage = 0x401A,
    PlusDrawImagePoints = 0x401B,
    PlusDrawString = 0x401C,
    PlusSave = 0x4025,
    PlusRestore = 0x4026,
    PlusBeginContainer = 0x4027,
    PlusBeginContainerNoParams = 0x4028,
    PlusEndContainer = 0x4029,
    PlusSetWorldTransform = 0x402A,
    PlusResetWorldTransform = 0x402B,
    PlusMultiplyWorldTransform = 0x402C,
    PlusTranslateWorldTransform = 0x402D,
    PlusScaleWorldTransform = 0x402E,
    PlusRotateWorldTransform = 0x402F,
    PlusSetPageTransform = 0x4030,
    PlusResetClip = 0x4031,
    PlusSetClipRect = 0x4032,
    PlusSetClipPath = 0x4033,
    PlusDrawDriverString = 0x4036,
};

// Record flags.
constexpr quint16 kColorBrush = 0x8000; // the brush id is an ARGB colour
constexpr quint16 kClosed = 0x2000;     // DrawLines: close the figure
constexpr quint16 kAppend = 0x2000;     // transforms: multiply after the current one
constexpr quint16 kWinding = 0x2000;    // FillClosedCurve: winding fill

// A cardinal spline through the points as cubic Bézier segments.
QPainterPath curve(const QPolygonF &p, double tension, bool closed, qint64 first = 0,
                   qint64 segments = -1)
{
    QPainterPath path;
    const qint64 n = p.size();
    if (n < 2)
        return path;
    auto at = [&](qint64 i) {
        if (closed)
            return p[((i % n) + n) % n];
        return p[std::clamp<qint64>(i, 0, n - 1)];
    };
    const double t = tension / 3;
    const qint64 last = closed ? n : n - 1;
    if (segments < 0)
        segments = last - first;
    segments = std::clamp<qint64>(segments, 0, last - std::clamp<qint64>(first, 0, last));
    first = std::clamp<qint64>(first, 0, last);
    path.moveTo(at(first));
    for (qint64 i = first; i < first + segments; ++i) {
        const QPointF c1 = at(i) + t * (at(i + 1) - at(i - 1));
        const QPointF c2 = at(i + 1) - t * (at(i + 2) - at(i));
        path.cubicTo(c1, c2, at(i + 1));
    }
    if (closed)
        path.closeSubpath();
    return path;
}

} // namespace

double Player::plusUnitPixels(quint32 unit, bool vertical) const
{
    const double dpi = vertical ? m_plusDpiY : m_plusDpiX;
    switch (unit) {
    case 3: // point
        return dpi / 72;
    case 4: // inch
        return dpi;
    case 5: // document, 1/300 inch
        return dpi / 300;
    case 6: // millimetre
        return dpi / 25.4;
    default: // world, display and pixel
        return 1;
    }
}

// World coordinates to output pixels: the world transform, the page unit and
// scale, the EMF+ resolution onto the reference device, then the EMF frame.
QTransform Player::plusTransform() const
{
    const double px = plusUnitPixels(m_plus.pageUnit, false) * m_plus.pageScale;
    const double py = plusUnitPixels(m_plus.pageUnit, true) * m_plus.pageScale;
    const QTransform device =
        QTransform::fromScale(m_pxPerMmX * 25.4 / m_plusDpiX, m_pxPerMmY * 25.4 / m_plusDpiY);
    return m_plus.world * QTransform::fromScale(px, py) * device * m_output;
}

bool Player::plusPrepare()
{
    const QTransform t = plusTransform();
    if (!finite(t) || !t.isInvertible())
        return false;
    // The painter's clip is shared with the plain records, which set theirs
    // again when it differs.
    if (!showClip(m_plus.hasClip, m_plus.clip, false))
        return false;
    m_painter.setTransform(t);
    m_drew = true;
    return true;
}

const PlusObject *Player::plusFind(quint32 id, PlusObject::Type type) const
{
    if (id >= quint32(kPlusObjects) || m_plusObjects[id].type != type)
        return nullptr;
    return &m_plusObjects[id];
}

QBrush Player::plusFill(bool isColor, quint32 id) const
{
    if (isColor)
        return QBrush(argb(id));
    const PlusObject *o = plusFind(id, PlusObject::Type::Brush);
    return o ? o->brush : QBrush(Qt::NoBrush);
}

QPen Player::plusPen(quint32 id) const
{
    const PlusObject *o = plusFind(id, PlusObject::Type::Pen);
    if (!o)
        return QPen(Qt::NoPen);
    QPen pen = o->pen;
    double width = o->penWidth;
    if (o->penUnit != 0 && o->penUnit != 1) {
        // A width in device units: undo the page scale, so it is drawn as given.
        const double page = plusUnitPixels(m_plus.pageUnit, false) * m_plus.pageScale;
        width = page > 0 ? width * plusUnitPixels(o->penUnit, false) / page : 0;
    }
    if (!std::isfinite(width) || width <= 0) {
        pen.setWidthF(0);
        pen.setCosmetic(true);
    } else {
        pen.setWidthF(std::min(width, kMaxPenWidth));
    }
    return pen;
}

void Player::plusFillPath(const QPainterPath &path, const QBrush &brush)
{
    if (brush.style() == Qt::NoBrush || path.isEmpty() || !plusPrepare())
        return;
    m_painter.setPen(Qt::NoPen);
    m_painter.setBrush(brush);
    drawPath(path, true);
    chargeArea(m_painter.transform().mapRect(path.boundingRect()));
}

void Player::plusDrawPath(const QPainterPath &path, quint32 penId)
{
    const QPen pen = plusPen(penId);
    if (pen.style() == Qt::NoPen || path.isEmpty() || !plusPrepare())
        return;
    m_painter.setPen(pen);
    m_painter.setBrush(Qt::NoBrush);
    drawPath(path, false);
    const QTransform &t = m_painter.transform();
    chargeStroke(t.mapRect(path.boundingRect()),
                 pen.isCosmetic() ? 1.0 : pen.widthF() * std::sqrt(std::abs(t.determinant())));
}

void Player::plusClip(const QPainterPath &world, quint32 combine)
{
    const QTransform t = plusTransform();
    if (!finite(t))
        return;
    // 0 replace, then the same codes as the plain records' region modes.
    if (combine > 4)
        return;
    if (std::optional<QPainterPath> clip =
            combinedClip(m_plus.hasClip, m_plus.clip, t.map(world), combine)) {
        m_plus.clip = std::move(*clip);
        m_plus.hasClip = true;
    }
}

void Player::plusSave(quint32 index, const QTransform &container)
{
    if (m_plusSaved.size() >= size_t(kMaxSaveDepth))
        return;
    m_plusSaved.emplace_back(index, m_plus);
    m_plus.world = container * m_plus.world;
}

void Player::plusRestore(quint32 index)
{
    for (size_t i = m_plusSaved.size(); i-- > 0;) {
        if (m_plusSaved[i].first == index) {
            m_plus = m_plusSaved[i].second;
            m_plusSaved.resize(i);
            return;
        }
    }
}

void Player::plusImageDraw(quint32 id, QRectF source, const QTransform &place)
{
    const PlusObject *o = plusFind(id, PlusObject::Type::Image);
    if (!o || o->image.isNull())
        return;
    source = source.normalized();
    if (source.isEmpty())
        source = QRectF(o->image.rect());
    if (!plusPrepare())
        return;
    const QTransform t = place * plusTransform();
    if (!finite(t))
        return;
    m_painter.setTransform(t);
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    m_painter.drawImage(source, o->image, source);
    chargeArea(t.mapRect(source));
}

void Player::plusString(quint16 flags, Bytes d)
{
    // Brush, format id, length, layout rectangle, the UTF-16 text.
    const PlusObject *font = plusFind(flags & 0xFF, PlusObject::Type::Font);
    QRectF layout;
    if (!font || !rectF(d, 12, false, &layout))
        return;
    const QString s = utf16(d, 28, d.u32(8));
    const QBrush brush = plusFill(flags & kColorBrush, d.u32(0));
    if (s.isEmpty() || brush.style() == Qt::NoBrush || !plusPrepare())
        return;
    const PlusObject *format = plusFind(d.u32(4), PlusObject::Type::StringFormat);
    const QTransform t = plusTransform();
    // The text is laid out in output pixels, turned like the world.
    const QLineF xAxis(t.map(QPointF(0, 0)), t.map(QPointF(1, 0)));
    const QLineF yAxis(t.map(QPointF(0, 0)), t.map(QPointF(0, 1)));
    const double sx = xAxis.length(), sy = yAxis.length();
    const double page = plusUnitPixels(m_plus.pageUnit, true) * m_plus.pageScale;
    double em = font->emSize;
    if (font->sizeUnit != 0 && page > 0)
        em = em * plusUnitPixels(font->sizeUnit, true) / page;
    const double pixels = std::min(em * sy, kMaxFontPixels);
    if (!std::isfinite(pixels) || pixels < 0.5 || sx <= 0)
        return;
    QFont qfont;
    if (!font->family.isEmpty())
        qfont.setFamily(font->family);
    qfont.setPixelSize(std::max(1, int(std::lround(pixels))));
    qfont.setBold(font->style & 1);
    qfont.setItalic(font->style & 2);
    qfont.setUnderline(font->style & 4);
    qfont.setStrikeOut(font->style & 8);
    const QPointF origin = t.map(layout.topLeft());
    QTransform placement;
    placement.translate(origin.x(), origin.y());
    placement.rotate(-xAxis.angle());
    m_painter.setTransform(placement);
    m_painter.setFont(qfont);
    m_painter.setPen(QPen(brush, 0));
    const QSizeF box(layout.width() * sx, layout.height() * sy);
    int align = 0;
    const quint32 h = format ? format->align : 0, v = format ? format->lineAlign : 0;
    align |= h == 1 ? Qt::AlignHCenter : h == 2 ? Qt::AlignRight : Qt::AlignLeft;
    align |= v == 1 ? Qt::AlignVCenter : v == 2 ? Qt::AlignBottom : Qt::AlignTop;
    const bool noWrap = format && (format->formatFlags & 0x1000);
    if (box.width() > 0 && box.height() > 0 && std::isfinite(box.width()) &&
        std::isfinite(box.height()) && box.width() < kMaxCoordinate &&
        box.height() < kMaxCoordinate) {
        m_painter.drawText(QRectF(QPointF(0, 0), box), align | (noWrap ? 0 : Qt::TextWordWrap), s);
    } else {
        m_painter.drawText(QPointF(0, QFontMetricsF(qfont).ascent()), s);
    }
}

void Player::plusDriverString(quint16 flags, Bytes d)
{
    // Brush, options, matrix present, glyph count, glyphs, positions[,
    // matrix]. Only glyphs given as characters can be drawn with another font.
    const PlusObject *font = plusFind(flags & 0xFF, PlusObject::Type::Font);
    const quint32 options = d.u32(4);
    const qint64 count = d.u32(12);
    if (!font || !(options & 0x1) || count <= 0 || count > d.size() / 10)
        return;
    const QString s = utf16(d, 16, count);
    QPolygonF positions;
    qint64 end = 0;
    if (s.isEmpty() || !plusPoints(d, 16 + 2 * count, count, 0, &positions, &end))
        return;
    QTransform extra;
    if (d.u32(8) != 0 && !matrix(d, end, &extra))
        return;
    const QBrush brush = plusFill(flags & kColorBrush, d.u32(0));
    if (brush.style() == Qt::NoBrush || !plusPrepare())
        return;
    const QTransform t = extra * plusTransform();
    if (!finite(t))
        return;
    const QLineF xAxis(t.map(QPointF(0, 0)), t.map(QPointF(1, 0)));
    const QLineF yAxis(t.map(QPointF(0, 0)), t.map(QPointF(0, 1)));
    const double page = plusUnitPixels(m_plus.pageUnit, true) * m_plus.pageScale;
    double em = font->emSize;
    if (font->sizeUnit != 0 && page > 0)
        em = em * plusUnitPixels(font->sizeUnit, true) / page;
    const double pixels = std::min(em * yAxis.length(), kMaxFontPixels);
    if (!std::isfinite(pixels) || pixels < 0.5)
        return;
    QFont qfont;
    if (!font->family.isEmpty())
        qfont.setFamily(font->family);
    qfont.setPixelSize(std::max(1, int(std::lround(pixels))));
    qfont.setBold(font->style & 1);
    qfont.setItalic(font->style & 2);
    m_painter.setFont(qfont);
    m_painter.setPen(QPen(brush, 0));
    const QFontMetricsF metrics(qfont);
    // Realized advance: only the first position is given, the rest follow.
    const bool advance = options & 0x4;
    QPointF at = t.map(positions.first());
    for (qint64 i = 0; i < s.size(); ++i) {
        const QPointF p = advance ? at : t.map(positions[i]);
        QTransform placement;
        placement.translate(p.x(), p.y());
        placement.rotate(-xAxis.angle());
        m_painter.setTransform(placement);
        m_painter.drawText(QPointF(0, 0), QString(s[i]));
        if (advance) {
            const QLineF step = QLineF(QPointF(0, 0), QPointF(metrics.horizontalAdvance(s[i]), 0));
            at += placement.map(step.p2()) - placement.map(step.p1());
        }
    }
}

void Player::emfPlusRecords(Bytes block)
{
    qint64 at = 0;
    while (block.has(at, 12)) {
        const quint16 type = block.u16(at);
        const quint16 flags = block.u16(at + 2);
        const qint64 size = block.u32(at + 4);
        const qint64 dataSize = block.u32(at + 8);
        if (size < 12 || !block.has(at, size) || dataSize > size - 12)
            return;
        emfPlusRecord(type, flags, block.mid(at + 12, dataSize));
        at += size;
    }
}

void Player::emfPlusRecord(quint16 type, quint16 flags, Bytes d)
{
    if (type != PlusGetDc)
        m_plusGetDc = false;
    const bool compressed = flags & kCompressed;
    const quint32 id = flags & 0xFF;
    switch (type) {
    case PlusHeader: {
        m_plusSeen = true;
        m_plusDual = flags & 1;
        const double dpiX = d.u32(8), dpiY = d.u32(12);
        if (dpiX >= 1 && dpiX <= 10000 && dpiY >= 1 && dpiY <= 10000) {
            m_plusDpiX = dpiX;
            m_plusDpiY = dpiY;
        }
        break;
    }
    case PlusGetDc:
        m_plusGetDc = true;
        break;
    case PlusEndOfFile:
        break;
    case PlusObjectRecord:
        plusObject(flags, d);
        break;
    case PlusClear:
        if (plusPrepare()) {
            m_painter.resetTransform();
            m_painter.fillRect(QRectF(m_image.rect()), argb(d.u32(0)));
            chargeArea(QRectF(m_image.rect()));
        }
        break;
    case PlusFillRects:
    case PlusDrawRects: {
        const bool fill = type == PlusFillRects;
        const qint64 at = fill ? 8 : 4;
        const qint64 count = d.u32(fill ? 4 : 0);
        const qint64 step = compressed ? 8 : 16;
        if (count > d.size() / step || !d.has(at, count * step))
            break;
        QPainterPath path;
        for (qint64 i = 0; i < count; ++i) {
            QRectF rect;
            if (rectF(d, at + i * step, compressed, &rect))
                path.addRect(rect);
        }
        if (fill)
            plusFillPath(path, plusFill(flags & kColorBrush, d.u32(0)));
        else
            plusDrawPath(path, id);
        break;
    }
    case PlusFillPolygon: {
        QPolygonF points;
        if (!plusPoints(d, 8, d.u32(4), flags, &points) || points.size() < 2)
            break;
        QPainterPath path;
        path.addPolygon(points);
        path.closeSubpath();
        plusFillPath(path, plusFill(flags & kColorBrush, d.u32(0)));
        break;
    }
    case PlusDrawLines:
    case PlusDrawBeziers: {
        QPolygonF points;
        if (!plusPoints(d, 4, d.u32(0), flags, &points) || points.size() < 2)
            break;
        QPainterPath path;
        path.moveTo(points[0]);
        if (type == PlusDrawBeziers) {
            for (qsizetype i = 1; i + 2 < points.size(); i += 3)
                path.cubicTo(points[i], points[i + 1], points[i + 2]);
        } else {
            for (qsizetype i = 1; i < points.size(); ++i)
                path.lineTo(points[i]);
            if (flags & kClosed)
                path.closeSubpath();
        }
        plusDrawPath(path, id);
        break;
    }
    case PlusFillEllipse:
    case PlusDrawEllipse: {
        const bool fill = type == PlusFillEllipse;
        QRectF rect;
        if (!rectF(d, fill ? 4 : 0, compressed, &rect))
            break;
        QPainterPath path;
        path.addEllipse(rect.normalized());
        if (fill)
            plusFillPath(path, plusFill(flags & kColorBrush, d.u32(0)));
        else
            plusDrawPath(path, id);
        break;
    }
    case PlusFillPie:
    case PlusDrawPie:
    case PlusDrawArc: {
        const qint64 at = type == PlusFillPie ? 4 : 0;
        double start = 0, sweep = 0;
        QRectF rect;
        if (!number(d, at, &start) || !number(d, at + 4, &sweep) ||
            !rectF(d, at + 8, compressed, &rect))
            break;
        rect = rect.normalized();
        sweep = std::clamp(sweep, -360.0, 360.0);
        QPainterPath path;
        // Angles run clockwise from the x axis, as y runs down.
        if (type == PlusDrawArc) {
            path.arcMoveTo(rect, -start);
        } else {
            path.moveTo(rect.center());
        }
        path.arcTo(rect, -start, -sweep);
        if (type != PlusDrawArc)
            path.closeSubpath();
        if (type == PlusFillPie)
            plusFillPath(path, plusFill(flags & kColorBrush, d.u32(0)));
        else
            plusDrawPath(path, id);
        break;
    }
    case PlusFillPath:
    case PlusDrawPath: {
        const PlusObject *o = plusFind(id, PlusObject::Type::Path);
        if (!o)
            break;
        if (type == PlusFillPath)
            plusFillPath(o->path, plusFill(flags & kColorBrush, d.u32(0)));
        else
            plusDrawPath(o->path, d.u32(0));
        break;
    }
    case PlusFillClosedCurve:
    case PlusDrawClosedCurve:
    case PlusDrawCurve: {
        const bool fill = type == PlusFillClosedCurve;
        const qint64 at = fill ? 4 : 0;
        double tension = 0.5;
        if (!number(d, at, &tension))
            break;
        tension = std::clamp(tension, -100.0, 100.0);
        QPolygonF points;
        if (type == PlusDrawCurve) {
            if (!plusPoints(d, 16, d.u32(12), flags, &points))
                break;
            plusDrawPath(curve(points, tension, false, d.u32(4), d.u32(8)), id);
            break;
        }
        if (!plusPoints(d, at + 8, d.u32(at + 4), flags, &points))
            break;
        QPainterPath path = curve(points, tension, true);
        if (fill) {
            path.setFillRule((flags & kWinding) ? Qt::WindingFill : Qt::OddEvenFill);
            plusFillPath(path, plusFill(flags & kColorBrush, d.u32(0)));
        } else {
            plusDrawPath(path, id);
        }
        break;
    }
    case PlusDrawImage: {
        QRectF source, dest;
        if (!rectF(d, 8, false, &source) || !rectF(d, 24, compressed, &dest) ||
            source.width() == 0 || source.height() == 0)
            break;
        const QTransform place =
            QTransform::fromTranslate(-source.x(), -source.y()) *
            QTransform::fromScale(dest.width() / source.width(), dest.height() / source.height()) *
            QTransform::fromTranslate(dest.x(), dest.y());
        plusImageDraw(id, source, place);
        break;
    }
    case PlusDrawImagePoints: {
        QRectF source;
        QPolygonF points;
        if (!rectF(d, 8, false, &source) || d.u32(24) != 3 ||
            !plusPoints(d, 28, 3, flags, &points) || source.width() == 0 || source.height() == 0)
            break;
        // The picture's corners go to the upper-left, upper-right and
        // lower-left points: a parallelogram.
        const QPointF u = (points[1] - points[0]) / source.width();
        const QPointF v = (points[2] - points[0]) / source.height();
        const QTransform place =
            QTransform::fromTranslate(-source.x(), -source.y()) *
            QTransform(u.x(), u.y(), v.x(), v.y(), points[0].x(), points[0].y());
        plusImageDraw(id, source, place);
        break;
    }
    case PlusDrawString:
        plusString(flags, d);
        break;
    case PlusDrawDriverString:
        plusDriverString(flags, d);
        break;
    case PlusSave:
    case PlusBeginContainerNoParams:
        plusSave(d.u32(0), QTransform());
        break;
    case PlusBeginContainer: {
        QRectF dest, source;
        QTransform container;
        if (rectF(d, 0, false, &dest) && rectF(d, 16, false, &source) && source.width() != 0 &&
            source.height() != 0)
            container = QTransform::fromTranslate(-source.x(), -source.y()) *
                        QTransform::fromScale(dest.width() / source.width(),
                                              dest.height() / source.height()) *
                        QTransform::fromTranslate(dest.x(), dest.y());
        plusSave(d.u32(32), finite(container) ? container : QTransform());
        break;
    }
    case PlusRestore:
    case PlusEndContainer:
        plusRestore(d.u32(0));
        break;
    case PlusSetWorldTransform: {
        QTransform t;
        if (matrix(d, 0, &t))
            m_plus.world = t;
        break;
    }
    case PlusResetWorldTransform:
        m_plus.world = QTransform();
        break;
    case PlusMultiplyWorldTransform:
    case PlusTranslateWorldTransform:
    case PlusScaleWorldTransform:
    case PlusRotateWorldTransform: {
        QTransform t;
        double a = 0, b = 0;
        if (type == PlusMultiplyWorldTransform) {
            if (!matrix(d, 0, &t))
                break;
        } else if (type == PlusRotateWorldTransform) {
            if (!number(d, 0, &a))
                break;
            t.rotate(a);
        } else {
            if (!number(d, 0, &a) || !number(d, 4, &b))
                break;
            t = type == PlusTranslateWorldTransform ? QTransform::fromTranslate(a, b)
                                                    : QTransform::fromScale(a, b);
        }
        const QTransform next = (flags & kAppend) ? m_plus.world * t : t * m_plus.world;
        if (finite(next))
            m_plus.world = next;
        break;
    }
    case PlusSetPageTransform: {
        double scale = 1;
        if (number(d, 0, &scale) && scale > 0) {
            m_plus.pageUnit = flags & 0xFF;
            m_plus.pageScale = scale;
        }
        break;
    }
    case PlusResetClip:
        m_plus.hasClip = false;
        m_plus.clip = QPainterPath();
        break;
    case PlusSetClipRect: {
        QRectF rect;
        if (!rectF(d, 0, false, &rect))
            break;
        QPainterPath path;
        path.addRect(rect.normalized());
        plusClip(path, (flags >> 8) & 0x0F);
        break;
    }
    case PlusSetClipPath:
        if (const PlusObject *o = plusFind(id, PlusObject::Type::Path))
            plusClip(o->path, (flags >> 8) & 0x0F);
        break;
    default:
        break; // rendering hints, regions and the rest change nothing drawn here
    }
}

} // namespace imaging::metafile::detail
