// SPDX-License-Identifier: GPL-3.0-or-later
// The EMF+ records the player understands: the drawing commands that GDI+
// programs (and modern office suites) write into comment records, often with
// a plain EMF picture beside them that is empty or coarser.
#include <QBuffer>
#include <QFontMetricsF>
#include <QImageReader>
#include <QLineF>

#include <algorithm>
#include <cmath>

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
constexpr quint16 kCompressed = 0x4000; // 16-bit integer coordinates
constexpr quint16 kRelative = 0x0800;   // relative, variable-length coordinates
constexpr quint16 kClosed = 0x2000;     // DrawLines: close the figure
constexpr quint16 kAppend = 0x2000;     // transforms: multiply after the current one
constexpr quint16 kWinding = 0x2000;    // FillClosedCurve: winding fill

QColor argb(quint32 c)
{
    return QColor::fromRgba(QRgb(c));
}

// A float read from the file, or nothing when it is not finite or beyond
// the coordinate limit.
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
        if (!number(d, at + 4 * i, &v[i]))
            return false;
    *out = QRectF(v[0], v[1], v[2], v[3]);
    return true;
}

bool matrix(Bytes d, qint64 at, QTransform *out)
{
    double v[6];
    for (int i = 0; i < 6; ++i)
        if (!number(d, at + 4 * i, &v[i]))
            return false;
    *out = QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
    return finite(*out);
}

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

// Reads count points at `at` as the flags say; *end receives the offset past
// them. The count is checked against the bytes present before anything is
// allocated.
bool plusPoints(Bytes d, qint64 at, qint64 count, quint16 flags, QPolygonF *out,
                qint64 *end = nullptr)
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

Qt::PenCapStyle capOf(qint32 cap)
{
    switch (cap) {
    case 1:
        return Qt::SquareCap;
    case 2:
        return Qt::RoundCap;
    default:
        return Qt::FlatCap;
    }
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
    m_painter.resetTransform();
    if (m_plus.hasClip)
        m_painter.setClipPath(m_plus.clip);
    else
        m_painter.setClipping(false);
    // The plain records' clip is set again before they next draw.
    m_clipApplied = m_plus.hasClip;
    m_clipShown = m_plus.clip;
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

QImage Player::plusImage(Bytes d) const
{
    // Image: version, type (1 bitmap), then the bitmap: width, height,
    // stride, pixel format, type (0 pixels, 1 a compressed file), data.
    if (d.u32(4) != 1 || !d.has(8, 20))
        return {};
    const qint64 w = d.i32(8), h = d.i32(12), stride = d.i32(16);
    const quint32 format = d.u32(20);
    const Bytes data = d.from(28);
    if (m_bitmapPixels > kBitmapPixelBudget)
        return {};
    if (d.u32(24) == 1) {
        // A whole picture file: GDI+ embeds PNG, JPEG, GIF or BMP.
        if (!data.has(0, 8))
            return {};
        const quint32 magic = qFromBigEndian<quint32>(data.data());
        const char *fileFormat = nullptr;
        if (magic == 0x89504E47)
            fileFormat = "png";
        else if ((magic >> 8) == 0xFFD8FF)
            fileFormat = "jpeg";
        else if (magic == 0x47494638)
            fileFormat = "gif";
        else if ((magic >> 16) == 0x424D)
            fileFormat = "bmp";
        else
            return {};
        const QByteArray bytes =
            QByteArray::fromRawData(reinterpret_cast<const char *>(data.data()), data.size());
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, fileFormat);
        const QSize size = reader.size();
        if (!size.isValid() || size.width() > kMaxSide || size.height() > kMaxSide ||
            qint64(size.width()) * size.height() > kMaxPixels)
            return {};
        return reader.read();
    }
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || w * h > kMaxPixels)
        return {};
    int bytesPerPixel = 0;
    QImage::Format qtFormat = QImage::Format_Invalid;
    switch (format) {
    case 0x00026200: // 32 bits ARGB
        bytesPerPixel = 4;
        qtFormat = QImage::Format_ARGB32;
        break;
    case 0x000E200B: // 32 bits premultiplied ARGB
        bytesPerPixel = 4;
        qtFormat = QImage::Format_ARGB32_Premultiplied;
        break;
    case 0x00022009: // 32 bits RGB
        bytesPerPixel = 4;
        qtFormat = QImage::Format_RGB32;
        break;
    case 0x00021808: // 24 bits RGB
        bytesPerPixel = 3;
        qtFormat = QImage::Format_RGB888;
        break;
    default:
        return {};
    }
    if (stride < w * bytesPerPixel || stride > data.size() / h || !data.has(0, stride * h))
        return {};
    QImage image(int(w), int(h), qtFormat);
    if (image.isNull())
        return {};
    for (qint64 y = 0; y < h; ++y) {
        const uchar *row = data.data() + y * stride;
        uchar *out = image.scanLine(int(y));
        if (bytesPerPixel == 4) {
            std::copy(row, row + w * 4, out);
        } else {
            for (qint64 x = 0; x < w; ++x) { // stored B, G, R
                out[3 * x] = row[3 * x + 2];
                out[3 * x + 1] = row[3 * x + 1];
                out[3 * x + 2] = row[3 * x];
            }
        }
    }
    return image;
}

QBrush Player::plusBrush(Bytes d) const
{
    // Brush: version, type, then the type's data.
    switch (d.u32(4)) {
    case 0: // solid colour
        return QBrush(argb(d.u32(8)));
    case 1: { // hatch: style, foreground, background; drawn as their mix
        const QColor fore = argb(d.u32(12)), back = argb(d.u32(16));
        return QBrush(QColor((fore.red() + back.red()) / 2, (fore.green() + back.green()) / 2,
                             (fore.blue() + back.blue()) / 2, (fore.alpha() + back.alpha()) / 2));
    }
    case 2: { // texture: flags, wrap mode, [transform], image
        const quint32 flags = d.u32(8);
        qint64 at = 16;
        QTransform t;
        if (flags & 0x02) {
            if (!matrix(d, at, &t))
                return QBrush(Qt::gray);
            at += 24;
        }
        const QImage image = plusImage(d.from(at));
        if (image.isNull())
            return QBrush(Qt::gray);
        QBrush brush(image);
        brush.setTransform(t);
        return brush;
    }
    case 3: // path gradient: flags, wrap mode, centre colour, ...
        return QBrush(argb(d.u32(16)));
    case 4: { // linear gradient: flags, wrap, rectangle, start and end colours
        QRectF rect;
        if (!rectF(d, 16, false, &rect))
            return QBrush(argb(d.u32(32)));
        QLinearGradient gradient(rect.topLeft(), rect.topRight());
        gradient.setColorAt(0, argb(d.u32(32)));
        gradient.setColorAt(1, argb(d.u32(36)));
        gradient.setSpread(QGradient::RepeatSpread);
        QBrush brush(gradient);
        QTransform t;
        if ((d.u32(8) & 0x02) && matrix(d, 48, &t))
            brush.setTransform(t);
        return brush;
    }
    default:
        return QBrush(Qt::gray);
    }
}

PlusObject Player::plusParse(quint32 kind, Bytes d) const
{
    PlusObject o;
    switch (kind) {
    case 1:
        o.type = PlusObject::Type::Brush;
        o.brush = plusBrush(d);
        break;
    case 2: { // pen: version, type, flags, unit, width, optional data, brush
        o.type = PlusObject::Type::Pen;
        const quint32 flags = d.u32(8);
        o.penUnit = d.u32(12);
        double width = 0;
        number(d, 16, &width);
        o.penWidth = width;
        QPen pen;
        pen.setCapStyle(Qt::FlatCap);
        pen.setJoinStyle(Qt::MiterJoin);
        qint64 at = 20;
        if (flags & 0x0001) // transform
            at += 24;
        if (flags & 0x0002) {
            pen.setCapStyle(capOf(d.i32(at)));
            at += 4;
        }
        if (flags & 0x0004) // end cap
            at += 4;
        if (flags & 0x0008) {
            const quint32 join = d.u32(at);
            pen.setJoinStyle(join == 1 ? Qt::BevelJoin : join == 2 ? Qt::RoundJoin : Qt::MiterJoin);
            at += 4;
        }
        if (flags & 0x0010) {
            double limit = 0;
            if (number(d, at, &limit) && limit > 0)
                pen.setMiterLimit(std::min(limit, 100.0));
            at += 4;
        }
        if (flags & 0x0020) {
            static constexpr Qt::PenStyle styles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine,
                                                      Qt::DashDotLine, Qt::DashDotDotLine};
            const quint32 style = d.u32(at);
            pen.setStyle(style < 5 ? styles[style] : Qt::SolidLine);
            at += 4;
        }
        if (flags & 0x0040) // dashed line cap
            at += 4;
        if (flags & 0x0080) // dash offset
            at += 4;
        if (flags & 0x0100) { // dash lengths
            const qint64 count = d.u32(at);
            if (count > d.size() / 4)
                return o;
            QList<qreal> dashes;
            for (qint64 i = 0; i < count && i < 64; ++i) {
                double v = 0;
                if (number(d, at + 4 + 4 * i, &v) && v > 0)
                    dashes.append(std::min(v, 1000.0));
            }
            if (dashes.size() >= 2 && dashes.size() % 2 == 0)
                pen.setDashPattern(dashes);
            at += 4 + 4 * count;
        }
        if (flags & 0x0200) // alignment
            at += 4;
        if (flags & 0x0400) { // compound line
            const qint64 count = d.u32(at);
            if (count > d.size() / 4)
                return o;
            at += 4 + 4 * count;
        }
        if (flags & 0x0800) // custom start cap
            at += 4 + qint64(d.u32(at));
        if (flags & 0x1000) // custom end cap
            at += 4 + qint64(d.u32(at));
        if (!d.has(at, 8))
            return o;
        o.brush = plusBrush(d.from(at));
        pen.setBrush(o.brush);
        o.pen = pen;
        break;
    }
    case 3: { // path: version, count, flags, points, point types
        o.type = PlusObject::Type::Path;
        const qint64 count = d.u32(4);
        const quint16 flags = quint16(d.u32(8));
        QPolygonF points;
        qint64 at = 12;
        if (!plusPoints(d, at, count, flags, &points, &at))
            return o;
        std::vector<quint8> types;
        if (d.u32(8) & 0x1000) { // run-length coded types
            while (qint64(types.size()) < count && d.has(at, 2)) {
                const qint64 run = d.u8(at) & 0x3F;
                for (qint64 i = 0; i < run && qint64(types.size()) < count; ++i)
                    types.push_back(d.u8(at + 1));
                at += 2;
            }
        } else {
            for (qint64 i = 0; i < count && d.has(at + i, 1); ++i)
                types.push_back(d.u8(at + i));
        }
        if (qint64(types.size()) < count)
            return o;
        QPainterPath path;
        for (qint64 i = 0; i < count; ++i) {
            const quint8 t = types[size_t(i)];
            switch (t & 0x07) {
            case 0:
                path.moveTo(points[i]);
                break;
            case 3:
                if (i + 2 < count) {
                    path.cubicTo(points[i], points[i + 1], points[i + 2]);
                    i += 2;
                }
                break;
            default:
                path.lineTo(points[i]);
                break;
            }
            if (types[size_t(std::min(i, count - 1))] & 0x80)
                path.closeSubpath();
        }
        o.path = path;
        break;
    }
    case 5:
        o.type = PlusObject::Type::Image;
        o.image = plusImage(d);
        break;
    case 6: { // font: version, em size, unit, style, reserved, length, family
        o.type = PlusObject::Type::Font;
        number(d, 4, &o.emSize);
        o.sizeUnit = d.u32(8);
        o.style = d.u32(12);
        o.family = utf16(d, 24, std::min<qint64>(d.u32(20), 64));
        break;
    }
    case 7: // string format: version, flags, language, alignment, line alignment
        o.type = PlusObject::Type::StringFormat;
        o.formatFlags = d.u32(4);
        o.align = d.u32(12);
        o.lineAlign = d.u32(16);
        break;
    default:
        break;
    }
    return o;
}

void Player::plusObject(quint16 flags, Bytes d)
{
    const quint32 id = flags & 0xFF;
    const quint32 kind = (flags >> 8) & 0x7F;
    if (flags & 0x8000) {
        // A large object comes in pieces, each led by the total size.
        const qint64 total = d.u32(0);
        if (total > kMaxPlusObjectBytes || total <= 0) {
            m_plusPending.clear();
            return;
        }
        if (m_plusPending.isEmpty() || m_plusPendingFlags != (flags & 0x7FFF) ||
            m_plusPendingTotal != total) {
            m_plusPending.clear();
            m_plusPendingFlags = flags & 0x7FFF;
            m_plusPendingTotal = total;
        }
        const Bytes piece = d.from(4);
        if (m_plusPending.size() + piece.size() > total) {
            m_plusPending.clear();
            return;
        }
        m_plusPending.append(reinterpret_cast<const char *>(piece.data()), piece.size());
        return;
    }
    if (id >= quint32(kPlusObjects))
        return;
    if (!m_plusPending.isEmpty() && m_plusPendingFlags == flags) {
        // The last piece of a continued object.
        m_plusPending.append(reinterpret_cast<const char *>(d.data()), d.size());
        const QByteArray whole = m_plusPending;
        m_plusPending.clear();
        const Bytes all(reinterpret_cast<const uchar *>(whole.constData()), whole.size());
        m_plusObjects[id] = plusParse(kind, all);
    } else {
        m_plusPending.clear();
        m_plusObjects[id] = plusParse(kind, d);
    }
    if (m_plusObjects[id].type == PlusObject::Type::Image)
        m_bitmapPixels +=
            qint64(m_plusObjects[id].image.width()) * m_plusObjects[id].image.height();
}

void Player::plusClip(const QPainterPath &world, quint32 combine)
{
    const QTransform t = plusTransform();
    if (!finite(t))
        return;
    const QPainterPath p = t.map(world);
    QPainterPath current = m_plus.clip;
    if (!m_plus.hasClip) {
        current = QPainterPath();
        current.addRect(QRectF(m_image.rect()));
    }
    switch (combine) {
    case 0: // replace
        m_plus.clip = p;
        break;
    case 1: // intersect
        m_plus.clip = current.intersected(p);
        break;
    case 2: // union
        m_plus.clip = current.united(p);
        break;
    case 3: // xor
        m_plus.clip = current.united(p).subtracted(current.intersected(p));
        break;
    case 4: // exclude
        m_plus.clip = current.subtracted(p);
        break;
    default:
        return;
    }
    m_plus.hasClip = true;
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
