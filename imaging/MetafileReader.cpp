// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/Metafile.h"

#include <QFontMetricsF>
#include <QHash>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "imaging/MetafileDib.h"

namespace imaging::metafile {

using detail::Bytes;

namespace {

// Playback limits. Every loop below runs over records or over elements whose
// count was checked against the bytes that hold them, so these bound the work
// a damaged or hostile file can cause.
constexpr qint64 kMaxRecords = 10'000'000;
constexpr int kMaxSaveDepth = 256;
constexpr qint64 kBitmapPixelBudget = 4 * kMaxPixels; // decoded bitmap pixels per picture
constexpr int kMaxClipRects = 4096;
constexpr double kMaxFontPixels = 4096;
constexpr double kMaxCoordinate = 1e9;
constexpr double kMaxPenWidth = 32767; // QPen's own limit

constexpr quint32 kEmfSignature = 0x464D4520; // " EMF"
constexpr quint32 kPlaceableKey = 0x9AC6CDD7;

QColor colorRef(quint32 c)
{
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

bool finite(const QTransform &t)
{
    const double v[] = {t.m11(), t.m12(), t.m13(), t.m21(), t.m22(),
                        t.m23(), t.m31(), t.m32(), t.m33()};
    return std::all_of(std::begin(v), std::end(v),
                       [](double x) { return std::isfinite(x) && std::abs(x) < kMaxCoordinate; });
}

QString tooLarge(qint64 w, qint64 h)
{
    return QStringLiteral("the image is too large (%1 x %2 pixels)").arg(w).arg(h);
}

// ---------------------------------------------------------------------------
// Headers

struct EmfHeader
{
    qint64 boundsLeft = 0, boundsTop = 0, boundsRight = -1, boundsBottom = -1; // device pixels
    qint64 frameLeft = 0, frameTop = 0, frameRight = 0, frameBottom = 0;       // 0.01 mm
    double pixelsPerMmX = 96 / 25.4;
    double pixelsPerMmY = 96 / 25.4;
    qint64 size = 0;
};

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

// The natural size: the frame at 96 dpi, or the device bounds when the frame
// is empty.
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
    if (*w > kMaxSide * 16 || *hgt > kMaxSide * 16)
        return QSize(kMaxSide * 16, kMaxSide * 16);
    return QSize(int(*w), int(*hgt));
}

struct WmfHeader
{
    bool placeable = false;
    QRectF bounds; // logical units
    double inch = 1440;
    qint64 recordsAt = 0;
    quint16 objects = 0;
};

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

// ---------------------------------------------------------------------------
// Device context

struct FontSpec
{
    QString face;
    double height = 0;
    int weight = 400;
    bool italic = false, underline = false, strikeOut = false;
    double escapement = 0; // tenths of a degree, counter-clockwise
};

struct GdiObject
{
    enum class Type
    {
        Other,
        Pen,
        Brush,
        Font
    };
    Type type = Type::Other;
    QPen pen;
    QBrush brush;
    FontSpec font;
};

enum MapMode
{
    MmText = 1,
    MmLoMetric,
    MmHiMetric,
    MmLoEnglish,
    MmHiEnglish,
    MmTwips,
    MmIsotropic,
    MmAnisotropic
};

struct DcState
{
    QPen pen{QColor(Qt::black), 0};
    QBrush brush{Qt::white};
    FontSpec font;
    QColor textColor{Qt::black};
    QColor bkColor{Qt::white};
    bool bkOpaque = true;
    Qt::FillRule fillRule = Qt::OddEvenFill;
    int mapMode = MmText;
    QPointF windowOrg{0, 0}, windowExt{1, 1}, viewportOrg{0, 0}, viewportExt{1, 1};
    QTransform world;
    QPointF position;
    quint32 textAlign = 0;
    bool hasClip = false;
    QPainterPath clip; // output pixels
};

QPen makePen(quint32 style, double width, QColor color, bool cosmetic)
{
    if ((style & 0x0F) == 5) // PS_NULL
        return QPen(Qt::NoPen);
    QPen pen(color);
    if (cosmetic || width <= 0 || !std::isfinite(width)) {
        pen.setWidthF(0);
        pen.setCosmetic(true);
    } else {
        pen.setWidthF(std::min(width, kMaxPenWidth));
    }
    switch (style & 0x0F) {
    case 1:
        pen.setStyle(Qt::DashLine);
        break;
    case 2:
        pen.setStyle(Qt::DotLine);
        break;
    case 3:
        pen.setStyle(Qt::DashDotLine);
        break;
    case 4:
        pen.setStyle(Qt::DashDotDotLine);
        break;
    default:
        pen.setStyle(Qt::SolidLine);
        break;
    }
    switch (style & 0x0F00) {
    case 0x0100:
        pen.setCapStyle(Qt::SquareCap);
        break;
    case 0x0200:
        pen.setCapStyle(Qt::FlatCap);
        break;
    default:
        pen.setCapStyle(Qt::RoundCap);
        break;
    }
    switch (style & 0xF000) {
    case 0x1000:
        pen.setJoinStyle(Qt::BevelJoin);
        break;
    case 0x2000:
        pen.setJoinStyle(Qt::MiterJoin);
        break;
    default:
        pen.setJoinStyle(Qt::RoundJoin);
        break;
    }
    return pen;
}

QBrush makeBrush(quint32 style, QColor color, quint32 hatch)
{
    switch (style) {
    case 0:
        return QBrush(color);
    case 1:
        return QBrush(Qt::NoBrush);
    case 2: {
        static constexpr Qt::BrushStyle hatches[] = {Qt::HorPattern,   Qt::VerPattern,
                                                     Qt::BDiagPattern, Qt::FDiagPattern,
                                                     Qt::CrossPattern, Qt::DiagCrossPattern};
        return QBrush(color, hatch < 6 ? hatches[hatch] : Qt::SolidPattern);
    }
    default:
        return QBrush(color); // patterns without their bitmap: the colour is the best guess
    }
}

// ---------------------------------------------------------------------------
// Playback shared by both formats

class Player
{
public:
    Player(QImage &target, bool emf) : m_emf(emf), m_image(target), m_painter(&target)
    {
        m_painter.setRenderHint(QPainter::Antialiasing, true);
        m_painter.setRenderHint(QPainter::TextAntialiasing, true);
    }

    // Emf: device pixels to output pixels. Wmf: the window to output pixels.
    void setOutputTransform(const QTransform &t) { m_output = t; }
    void setPixelsPerMm(double x, double y)
    {
        m_pxPerMmX = x;
        m_pxPerMmY = y;
    }
    DcState &dc() { return m_dc; }
    bool drew() const { return m_drew; }

    bool emfRecord(quint32 type, Bytes r);
    void wmfRecord(quint16 function, Bytes r);

private:
    // Coordinates
    QTransform pageTransform() const;
    QTransform full() const { return m_dc.world * pageTransform() * m_output; }
    bool prepare(bool usePen, bool useBrush);

    // Drawing
    void drawShape(const QPainterPath &logical, bool fill);
    void moveTo(QPointF p);
    void lineTo(QPointF p);
    void polyline(const QPolygonF &points, bool fromCurrent);
    void polyBezier(const QPolygonF &points, bool fromCurrent);
    void polygon(const QPolygonF &points);
    void polyPolygon(const std::vector<QPolygonF> &polys);
    void arc(QRectF box, QPointF start, QPointF end, int kind); // 0 arc, 1 chord, 2 pie
    void text(QPointF reference, const QString &s, const std::vector<double> &dx,
              const QRectF *opaqueBox);
    void bitmap(QRectF dest, QRectF source, const detail::Dib &dib, quint32 rop);
    void patBlt(QRectF dest, quint32 rop);
    void intersectClip(QRectF rect, bool exclude);
    void setClip(const QPainterPath &outputPath, quint32 mode);
    void saveDc();
    void restoreDc(qint32 which);
    detail::Dib dib(Bytes info, Bytes bits, quint32 usage, bool packed = false);
    void strokePath(bool fill, bool stroke);

    // Objects
    void select(const GdiObject &object);
    void selectStock(quint32 index);
    void wmfCreate(const GdiObject &object);

    bool m_emf;
    QImage &m_image;
    QPainter m_painter;
    QTransform m_output;
    double m_pxPerMmX = 96 / 25.4, m_pxPerMmY = 96 / 25.4;
    DcState m_dc;
    std::vector<DcState> m_saved;
    QHash<quint32, GdiObject> m_objects;
    std::set<quint32> m_wmfFree; // freed slots below m_wmfNext
    quint32 m_wmfNext = 0;
    bool m_inPath = false;
    QPainterPath m_path; // output pixels
    bool m_clipApplied = false;
    QPainterPath m_clipShown;
    bool m_drew = false;
    qint64 m_bitmapPixels = 0;
};

QTransform Player::pageTransform() const
{
    const DcState &d = m_dc;
    double sx = 1, sy = 1;
    switch (d.mapMode) {
    case MmLoMetric:
        sx = sy = 0.1;
        break;
    case MmHiMetric:
        sx = sy = 0.01;
        break;
    case MmLoEnglish:
        sx = sy = 0.254;
        break;
    case MmHiEnglish:
        sx = sy = 0.0254;
        break;
    case MmTwips:
        sx = sy = 25.4 / 1440;
        break;
    default:
        break;
    }
    if (!m_emf) {
        // Metafiles of the older kind are played into the picture's frame: their
        // window is stretched over the output.
        sx = d.windowExt.x() != 0 ? 1.0 / d.windowExt.x() : 1;
        sy = d.windowExt.y() != 0 ? 1.0 / d.windowExt.y() : 1;
        return QTransform(sx, 0, 0, sy, -d.windowOrg.x() * sx, -d.windowOrg.y() * sy);
    }
    if (d.mapMode >= MmLoMetric && d.mapMode <= MmTwips) {
        sx *= m_pxPerMmX;
        sy *= -m_pxPerMmY; // these modes count y upwards
    } else if (d.mapMode == MmIsotropic || d.mapMode == MmAnisotropic) {
        if (d.windowExt.x() != 0 && d.windowExt.y() != 0) {
            sx = d.viewportExt.x() / d.windowExt.x();
            sy = d.viewportExt.y() / d.windowExt.y();
        }
        if (d.mapMode == MmIsotropic) {
            const double m = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(m, sx);
            sy = std::copysign(m, sy);
        }
    }
    return QTransform(sx, 0, 0, sy, d.viewportOrg.x() - d.windowOrg.x() * sx,
                      d.viewportOrg.y() - d.windowOrg.y() * sy);
}

bool Player::prepare(bool usePen, bool useBrush)
{
    const QTransform t = full();
    if (!finite(t) || !t.isInvertible())
        return false;
    if (m_dc.hasClip != m_clipApplied || (m_dc.hasClip && m_dc.clip != m_clipShown)) {
        m_painter.resetTransform();
        if (m_dc.hasClip)
            m_painter.setClipPath(m_dc.clip);
        else
            m_painter.setClipping(false);
        m_clipApplied = m_dc.hasClip;
        m_clipShown = m_dc.clip;
    }
    m_painter.setTransform(t);
    m_painter.setPen(usePen ? m_dc.pen : QPen(Qt::NoPen));
    m_painter.setBrush(useBrush ? m_dc.brush : QBrush(Qt::NoBrush));
    m_drew = true;
    return true;
}

void Player::drawShape(const QPainterPath &logical, bool fill)
{
    if (m_inPath) {
        const QTransform t = full();
        if (finite(t))
            m_path.addPath(t.map(logical));
        return;
    }
    if (prepare(true, fill))
        m_painter.drawPath(logical);
}

void Player::moveTo(QPointF p)
{
    m_dc.position = p;
    if (m_inPath)
        m_path.moveTo(full().map(p));
}

void Player::lineTo(QPointF p)
{
    if (m_inPath) {
        if (m_path.elementCount() == 0)
            m_path.moveTo(full().map(m_dc.position));
        m_path.lineTo(full().map(p));
    } else if (prepare(true, false)) {
        m_painter.drawLine(m_dc.position, p);
    }
    m_dc.position = p;
}

void Player::polyline(const QPolygonF &points, bool fromCurrent)
{
    if (points.isEmpty())
        return;
    if (fromCurrent) {
        for (const QPointF &p : points)
            lineTo(p);
        return;
    }
    if (m_inPath) {
        moveTo(points.first());
        for (qsizetype i = 1; i < points.size(); ++i)
            lineTo(points[i]);
        return;
    }
    if (prepare(true, false))
        m_painter.drawPolyline(points);
}

void Player::polyBezier(const QPolygonF &points, bool fromCurrent)
{
    QPainterPath path;
    qsizetype i = 0;
    if (fromCurrent) {
        path.moveTo(m_dc.position);
    } else {
        if (points.isEmpty())
            return;
        path.moveTo(points[0]);
        i = 1;
    }
    for (; i + 2 < points.size(); i += 3)
        path.cubicTo(points[i], points[i + 1], points[i + 2]);
    if (fromCurrent && !points.isEmpty())
        m_dc.position = path.currentPosition();
    if (m_inPath) {
        const QTransform t = full();
        if (!finite(t))
            return;
        const QPainterPath mapped = t.map(path);
        if (fromCurrent && m_path.elementCount() > 0) {
            m_path.connectPath(mapped);
        } else {
            m_path.addPath(mapped);
        }
        return;
    }
    if (prepare(true, false))
        m_painter.drawPath(path);
}

void Player::polygon(const QPolygonF &points)
{
    if (points.size() < 2)
        return;
    QPainterPath path;
    path.setFillRule(m_dc.fillRule);
    path.addPolygon(points);
    path.closeSubpath();
    drawShape(path, true);
}

void Player::polyPolygon(const std::vector<QPolygonF> &polys)
{
    QPainterPath path;
    path.setFillRule(m_dc.fillRule);
    for (const QPolygonF &p : polys) {
        if (p.size() < 2)
            continue;
        path.addPolygon(p);
        path.closeSubpath();
    }
    drawShape(path, true);
}

void Player::arc(QRectF box, QPointF start, QPointF end, int kind)
{
    box = box.normalized();
    if (box.isEmpty())
        return;
    const QPointF c = box.center();
    auto angleOf = [&](QPointF p) {
        return std::atan2(-(p.y() - c.y()) / box.height(), (p.x() - c.x()) / box.width()) * 180 /
               M_PI;
    };
    const double a0 = angleOf(start);
    double sweep = angleOf(end) - a0;
    if (sweep <= 0)
        sweep += 360;
    QPainterPath path;
    if (kind == 2)
        path.moveTo(c);
    else
        path.arcMoveTo(box, a0);
    path.arcTo(box, a0, sweep);
    if (kind != 0)
        path.closeSubpath();
    drawShape(path, kind != 0);
}

void Player::text(QPointF reference, const QString &s, const std::vector<double> &dx,
                  const QRectF *opaqueBox)
{
    if (m_inPath)
        return;
    const QTransform t = full();
    if (!finite(t) || !t.isInvertible())
        return;
    if (opaqueBox && prepare(false, false))
        m_painter.fillRect(*opaqueBox, m_dc.bkColor);
    if (s.isEmpty())
        return;
    if (m_dc.textAlign & 1) // TA_UPDATECP
        reference = m_dc.position;
    const QLineF xAxis(t.map(QPointF(0, 0)), t.map(QPointF(1, 0)));
    const QLineF yAxis(t.map(QPointF(0, 0)), t.map(QPointF(0, 1)));
    const double sx = xAxis.length();
    const double sy = yAxis.length();
    const FontSpec &spec = m_dc.font;
    double pixels = spec.height == 0 ? 16 : std::abs(spec.height) * sy;
    if (!std::isfinite(pixels) || pixels < 0.5)
        return;
    pixels = std::min(pixels, kMaxFontPixels);
    QFont font;
    if (!spec.face.isEmpty())
        font.setFamily(spec.face);
    font.setPixelSize(std::max(1, int(std::lround(pixels))));
    font.setWeight(QFont::Weight(std::clamp(spec.weight, 1, 1000)));
    font.setItalic(spec.italic);
    font.setUnderline(spec.underline);
    font.setStrikeOut(spec.strikeOut);
    if (spec.height > 0) {
        // A positive height is the character cell, internal leading included.
        const double cell = QFontMetricsF(font).height();
        if (cell > 0)
            font.setPixelSize(std::max(1, int(std::lround(pixels * pixels / cell))));
    }
    const QFontMetricsF metrics(font);
    double width = 0;
    const bool spaced = !dx.empty() && dx.size() >= size_t(s.size());
    if (spaced) {
        for (qsizetype i = 0; i < s.size(); ++i)
            width += dx[size_t(i)] * sx;
    } else {
        width = metrics.horizontalAdvance(s);
    }
    if (!std::isfinite(width))
        return;
    double x = 0, y = 0;
    switch (m_dc.textAlign & 6) {
    case 6:
        x = -width / 2;
        break; // TA_CENTER
    case 2:
        x = -width;
        break; // TA_RIGHT
    default:
        break;
    }
    switch (m_dc.textAlign & 24) {
    case 24:
        break; // TA_BASELINE
    case 8:
        y = -metrics.descent();
        break; // TA_BOTTOM
    default:
        y = metrics.ascent();
        break; // TA_TOP
    }
    prepare(false, false);
    const QPointF origin = t.map(reference);
    QTransform placement;
    placement.translate(origin.x(), origin.y());
    placement.rotate(-xAxis.angle() - spec.escapement / 10.0);
    m_painter.setTransform(placement);
    if (m_dc.bkOpaque && !opaqueBox)
        m_painter.fillRect(QRectF(x, y - metrics.ascent(), width, metrics.height()), m_dc.bkColor);
    m_painter.setFont(font);
    m_painter.setPen(m_dc.textColor);
    if (spaced) {
        double at = x;
        for (qsizetype i = 0; i < s.size(); ++i) {
            m_painter.drawText(QPointF(at, y), QString(s[i]));
            at += dx[size_t(i)] * sx;
        }
    } else {
        m_painter.drawText(QPointF(x, y), s);
    }
    if (m_dc.textAlign & 1) {
        const QTransform back = t.inverted();
        m_dc.position = back.map(placement.map(QPointF(x + width, 0)));
        if (m_dc.textAlign & 6)
            m_dc.position = reference;
    }
}

detail::Dib Player::dib(Bytes info, Bytes bits, quint32 usage, bool packed)
{
    if (m_bitmapPixels > kBitmapPixelBudget)
        return {};
    detail::Dib d = detail::decodeDib(info, bits, usage, kMaxPixels, packed);
    m_bitmapPixels += qint64(d.image.width()) * d.image.height();
    return d;
}

void Player::bitmap(QRectF dest, QRectF source, const detail::Dib &dib, quint32 rop)
{
    const QImage &img = dib.image;
    if (img.isNull() || m_inPath)
        return;
    if (source.width() == 0 || source.height() == 0)
        source = QRectF(0, 0, img.width(), img.height());
    if (dib.bottomUp) // the source rectangle counts from the bottom row
        source.moveTop(img.height() - source.top() - source.height());
    source = source.normalized();
    if (dest.width() == 0 || dest.height() == 0)
        return;
    if (!prepare(false, false))
        return;
    const QTransform place(dest.width() / source.width(), 0, 0, dest.height() / source.height(),
                           dest.x(), dest.y());
    const QTransform t = place * full();
    if (!finite(t))
        return;
    m_painter.setTransform(t);
    const bool exact = t.type() <= QTransform::TxTranslate;
    m_painter.setRenderHint(QPainter::SmoothPixmapTransform, !exact);
    m_painter.setRenderHint(QPainter::Antialiasing, !exact);
    switch (rop) {
    case 0x008800C6:
        m_painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        break;
    case 0x00EE0086:
        m_painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
        break;
    case 0x00660046:
        m_painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        break;
    default:
        break;
    }
    m_painter.drawImage(QPointF(0, 0), img, source);
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.setRenderHint(QPainter::Antialiasing, true);
}

void Player::patBlt(QRectF dest, quint32 rop)
{
    if (m_inPath || !prepare(false, false))
        return;
    switch (rop) {
    case 0x00000042:
        m_painter.fillRect(dest, Qt::black);
        break; // BLACKNESS
    case 0x00FF0062:
        m_painter.fillRect(dest, Qt::white);
        break;       // WHITENESS
    case 0x00550009: // DSTINVERT
        m_painter.setCompositionMode(QPainter::RasterOp_NotDestination);
        m_painter.fillRect(dest, Qt::black);
        m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        break;
    default:
        m_painter.fillRect(dest, m_dc.brush);
        break; // PATCOPY and the rest
    }
}

void Player::intersectClip(QRectF rect, bool exclude)
{
    const QTransform t = full();
    if (!finite(t))
        return;
    QPainterPath p;
    p.addPolygon(t.map(QPolygonF(rect.normalized())));
    p.closeSubpath();
    setClip(p, exclude ? 4 : 1);
}

// Region modes: 1 AND, 2 OR, 3 XOR, 4 DIFF, 5 COPY.
void Player::setClip(const QPainterPath &p, quint32 mode)
{
    QPainterPath current = m_dc.clip;
    if (!m_dc.hasClip) {
        current = QPainterPath();
        current.addRect(QRectF(m_image.rect()));
    }
    switch (mode) {
    case 1:
        m_dc.clip = current.intersected(p);
        break;
    case 2:
        m_dc.clip = current.united(p);
        break;
    case 3:
        m_dc.clip = current.united(p).subtracted(current.intersected(p));
        break;
    case 4:
        m_dc.clip = current.subtracted(p);
        break;
    default:
        m_dc.clip = p;
        break;
    }
    m_dc.hasClip = true;
}

void Player::saveDc()
{
    // Save states beyond any sensible nesting are dropped; their restores
    // then find nothing to restore and leave the state as it is.
    if (m_saved.size() < size_t(kMaxSaveDepth))
        m_saved.push_back(m_dc);
}

void Player::restoreDc(qint32 which)
{
    qint64 index; // position in m_saved of the state to restore
    if (which < 0)
        index = qint64(m_saved.size()) + which;
    else
        index = qint64(which) - 1;
    if (index < 0 || index >= qint64(m_saved.size()))
        return;
    m_dc = m_saved[size_t(index)];
    m_saved.resize(size_t(index));
}

void Player::strokePath(bool fill, bool stroke)
{
    if (m_path.isEmpty())
        return;
    m_path.setFillRule(m_dc.fillRule);
    const QTransform t = full();
    if (prepare(stroke, fill)) {
        if (stroke && !m_dc.pen.isCosmetic()) {
            QPen pen = m_dc.pen;
            pen.setWidthF(
                std::min(pen.widthF() * std::sqrt(std::abs(t.determinant())), kMaxPenWidth));
            m_painter.setPen(pen);
        }
        m_painter.resetTransform();
        m_painter.drawPath(m_path);
    }
    m_path = QPainterPath();
}

void Player::select(const GdiObject &object)
{
    switch (object.type) {
    case GdiObject::Type::Pen:
        m_dc.pen = object.pen;
        break;
    case GdiObject::Type::Brush:
        m_dc.brush = object.brush;
        break;
    case GdiObject::Type::Font:
        m_dc.font = object.font;
        break;
    case GdiObject::Type::Other:
        break;
    }
}

void Player::selectStock(quint32 index)
{
    switch (index) {
    case 0:
        m_dc.brush = QBrush(Qt::white);
        break;
    case 1:
        m_dc.brush = QBrush(QColor(192, 192, 192));
        break;
    case 2:
        m_dc.brush = QBrush(QColor(128, 128, 128));
        break;
    case 3:
        m_dc.brush = QBrush(QColor(64, 64, 64));
        break;
    case 4:
        m_dc.brush = QBrush(Qt::black);
        break;
    case 5:
        m_dc.brush = QBrush(Qt::NoBrush);
        break;
    case 6:
        m_dc.pen = makePen(0, 0, Qt::white, true);
        break;
    case 7:
        m_dc.pen = makePen(0, 0, Qt::black, true);
        break;
    case 8:
        m_dc.pen = QPen(Qt::NoPen);
        break;
    case 18:
        m_dc.brush = QBrush(Qt::white);
        break; // DC_BRUSH
    case 19:
        m_dc.pen = makePen(0, 0, Qt::black, true);
        break; // DC_PEN
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 16:
    case 17:
        m_dc.font = FontSpec();
        break;
    default:
        break;
    }
}

void Player::wmfCreate(const GdiObject &object)
{
    // Each new object takes the lowest free slot of the table.
    quint32 slot;
    if (!m_wmfFree.empty()) {
        slot = *m_wmfFree.begin();
        m_wmfFree.erase(m_wmfFree.begin());
    } else if (m_wmfNext < 0x10000) {
        slot = m_wmfNext++;
    } else {
        return;
    }
    m_objects.insert(slot, object);
}

// Reads `count` points of 32-bit (wide) or 16-bit coordinates at `at`.
bool readPoints(Bytes r, qint64 at, qint64 count, bool wide, QPolygonF *out)
{
    const qint64 step = wide ? 8 : 4;
    if (count < 0 || count > r.size() / step || !r.has(at, count * step))
        return false;
    out->reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        const qint64 o = at + i * step;
        if (wide)
            out->append(QPointF(r.i32(o), r.i32(o + 4)));
        else
            out->append(QPointF(r.i16(o), r.i16(o + 2)));
    }
    return true;
}

QRectF rectLtrb(double l, double t, double r, double b)
{
    return QRectF(QPointF(l, t), QPointF(r, b));
}

QString utf16(Bytes r, qint64 at, qint64 chars)
{
    if (chars <= 0 || chars > r.size() / 2 || !r.has(at, chars * 2))
        return {};
    QString s(chars, Qt::Uninitialized);
    for (qint64 i = 0; i < chars; ++i)
        s[i] = QChar(r.u16(at + 2 * i));
    return s;
}

QString latin1(Bytes r, qint64 at, qint64 chars)
{
    if (chars <= 0 || !r.has(at, chars))
        return {};
    return QString::fromLatin1(reinterpret_cast<const char *>(r.data() + at), chars);
}

// ---------------------------------------------------------------------------
// EMF records

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
        v[i] = r.f32(at + 4 * i);
        if (!std::isfinite(v[i]) || std::abs(v[i]) > 1e7f)
            return false;
    }
    *t = QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
    return true;
}

// Plays one EMF record; false at the end-of-file record.
bool Player::emfRecord(quint32 type, Bytes r)
{
    const qint64 size = r.size();
    auto point = [&](qint64 at) { return QPointF(r.i32(at), r.i32(at + 4)); };
    auto box = [&](qint64 at) {
        return rectLtrb(r.i32(at), r.i32(at + 4), r.i32(at + 8), r.i32(at + 12));
    };
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
            list.push_back(all.mid(used, n));
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
        const detail::Dib d =
            dib(r.mid(r.u32(16), r.u32(20)), r.mid(r.u32(24), r.u32(28)), r.u32(12));
        o.brush = d.image.isNull() ? QBrush(Qt::gray) : QBrush(d.image);
        m_objects.insert(r.u32(8), o);
        break;
    }
    case EmrExtCreateFontIndirectW: {
        if (size < 40)
            break;
        GdiObject o;
        o.type = GdiObject::Type::Font;
        o.font.height = r.i32(12);
        o.font.escapement = r.i32(20);
        o.font.weight = r.i32(28);
        o.font.italic = r.u8(32) != 0;
        o.font.underline = r.u8(33) != 0;
        o.font.strikeOut = r.u8(34) != 0;
        QString face = utf16(r, 40, std::min<qint64>(32, (size - 40) / 2));
        face.truncate(face.indexOf(QChar(0)) < 0 ? face.size() : face.indexOf(QChar(0)));
        o.font.face = face;
        m_objects.insert(r.u32(8), o);
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
        QPainterPath region;
        for (qint64 i = 0; i < count && r.has(48 + 16 * i, 16); ++i)
            region.addRect(box(48 + 16 * i).normalized());
        if (finite(m_output))
            setClip(m_output.map(region.simplified()), mode);
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
        const detail::Dib d =
            dib(r.mid(r.u32(84), bmiBytes), r.mid(r.u32(92), r.u32(96)), r.u32(80));
        bitmap(dest, QRectF(QPointF(r.i32(44), r.i32(48)), src), d, rop);
        break;
    }
    case EmrStretchDiBits: {
        if (size < 80)
            break;
        const detail::Dib d =
            dib(r.mid(r.u32(48), r.u32(52)), r.mid(r.u32(56), r.u32(60)), r.u32(64));
        bitmap(QRectF(r.i32(24), r.i32(28), r.i32(72), r.i32(76)),
               QRectF(r.i32(32), r.i32(36), r.i32(40), r.i32(44)), d, r.u32(68));
        break;
    }
    case EmrSetDiBitsToDevice: {
        if (size < 76)
            break;
        const detail::Dib d =
            dib(r.mid(r.u32(48), r.u32(52)), r.mid(r.u32(56), r.u32(60)), r.u32(64));
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

// ---------------------------------------------------------------------------
// WMF records

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
        const detail::Dib d = dib(r.from(10), {}, r.u16(8), true);
        o.brush = QBrush(Qt::gray);
        if (!d.image.isNull())
            o.brush = QBrush(d.image);
        wmfCreate(o);
        break;
    }
    case 0x02FB: { // CREATEFONTINDIRECT
        GdiObject o;
        o.type = GdiObject::Type::Font;
        o.font.height = r.i16(6);
        o.font.escapement = r.i16(10);
        o.font.weight = r.i16(14);
        o.font.italic = r.u8(16) != 0;
        o.font.underline = r.u8(17) != 0;
        o.font.strikeOut = r.u8(18) != 0;
        QString face = latin1(r, 24, std::min<qint64>(32, size - 24));
        face.truncate(face.indexOf(QChar(0)) < 0 ? face.size() : face.indexOf(QChar(0)));
        o.font.face = face;
        wmfCreate(o);
        break;
    }
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
        const detail::Dib d = dib(packed, {}, r.u16(10), true);
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
        const detail::Dib d = dib(packed, {}, 0, true);
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
        const detail::Dib d = dib(packed, {}, 0, true);
        const QSizeF s(r.i16(16), r.i16(14));
        bitmap(QRectF(QPointF(r.i16(20), r.i16(18)), s), QRectF(QPointF(r.i16(12), r.i16(10)), s),
               d, r.u32(6));
        break;
    }
    case 0x0D33: { // SETDIBTODEV
        if (size < 24)
            break;
        const Bytes packed = r.from(24);
        const detail::Dib d = dib(packed, {}, r.u16(6), true);
        const QSizeF s(r.i16(18), r.i16(16));
        bitmap(QRectF(QPointF(r.i16(22), r.i16(20)), s), QRectF(QPointF(r.i16(14), r.i16(12)), s),
               d, 0x00CC0020);
        break;
    }
    default:
        break;
    }
}

} // namespace

// ---------------------------------------------------------------------------

Kind detect(const QByteArray &head)
{
    const Bytes b(reinterpret_cast<const uchar *>(head.constData()), head.size());
    if (b.u32(0) == 1 && b.u32(40) == kEmfSignature)
        return Kind::Emf;
    if (b.u32(0) == kPlaceableKey)
        return Kind::Wmf;
    const quint16 type = b.u16(0);
    const quint16 version = b.u16(4);
    if ((type == 1 || type == 2) && b.u16(2) == 9 && (version == 0x0100 || version == 0x0300))
        return Kind::Wmf;
    return Kind::None;
}

QSize frameSize(const QByteArray &data)
{
    const Bytes b(reinterpret_cast<const uchar *>(data.constData()), data.size());
    qint64 w = 0, h = 0;
    switch (detect(data)) {
    case Kind::Emf: {
        EmfHeader header;
        return parseEmfHeader(b, header) ? emfNaturalSize(header, &w, &h) : QSize();
    }
    case Kind::Wmf: {
        WmfHeader header;
        QRectF window;
        return parseWmfHeader(b, header) ? wmfNaturalSize(b, header, &w, &h, &window) : QSize();
    }
    case Kind::None:
        break;
    }
    return {};
}

QImage render(const QByteArray &data, QString *error, QSize boundingSize)
{
    QString ignored;
    QString &err = error ? *error : ignored;
    const Bytes b(reinterpret_cast<const uchar *>(data.constData()), data.size());
    const Kind kind = detect(data);
    if (kind == Kind::None) {
        err = QStringLiteral("not a metafile");
        return {};
    }
    EmfHeader emf;
    WmfHeader wmf;
    QRectF window;
    qint64 w = 0, h = 0;
    QSize natural;
    if (kind == Kind::Emf) {
        if (!parseEmfHeader(b, emf)) {
            err = QStringLiteral("the metafile header is damaged");
            return {};
        }
        natural = emfNaturalSize(emf, &w, &h);
    } else {
        if (!parseWmfHeader(b, wmf)) {
            err = QStringLiteral("the metafile header is damaged");
            return {};
        }
        natural = wmfNaturalSize(b, wmf, &w, &h, &window);
    }
    if (!natural.isValid()) {
        err = QStringLiteral("the metafile gives no picture size");
        return {};
    }
    QSizeF out{double(w), double(h)};
    if (boundingSize.isValid() && !boundingSize.isEmpty() &&
        (out.width() > boundingSize.width() || out.height() > boundingSize.height())) {
        out.scale(QSizeF(boundingSize), Qt::KeepAspectRatio);
    }
    const qint64 outW = std::max<qint64>(1, std::llround(out.width()));
    const qint64 outH = std::max<qint64>(1, std::llround(out.height()));
    if (outW > kMaxSide || outH > kMaxSide || outW * outH > kMaxPixels) {
        err = tooLarge(w, h);
        return {};
    }
    QImage image(int(outW), int(outH), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        err =
            QStringLiteral("not enough memory for the image (%1 x %2 pixels)").arg(outW).arg(outH);
        return {};
    }
    image.fill(Qt::white);
    const double fx = double(outW) / double(w);
    const double fy = double(outH) / double(h);

    bool damaged = false;
    bool ended = false;
    qint64 at = 0;
    {
        Player player(image, kind == Kind::Emf);
        if (kind == Kind::Emf) {
            // Device pixels of the recording device map onto the output through
            // the frame, which the header gives in 0.01 mm.
            QRectF device(emf.frameLeft * emf.pixelsPerMmX / 100,
                          emf.frameTop * emf.pixelsPerMmY / 100,
                          (emf.frameRight - emf.frameLeft) * emf.pixelsPerMmX / 100,
                          (emf.frameBottom - emf.frameTop) * emf.pixelsPerMmY / 100);
            if (device.width() <= 0 || device.height() <= 0)
                device = QRectF(emf.boundsLeft, emf.boundsTop, double(w), double(h));
            double sx = double(w) / device.width();
            double sy = double(h) / device.height();
            // The frame is rounded to 0.01 mm: a discrepancy below half a
            // pixel over the whole picture is that rounding, not a scale.
            if (std::abs(device.width() - double(w)) < 0.5)
                sx = 1;
            if (std::abs(device.height() - double(h)) < 0.5)
                sy = 1;
            player.setOutputTransform(QTransform::fromTranslate(-device.left(), -device.top()) *
                                      QTransform::fromScale(sx * fx, sy * fy));
            player.setPixelsPerMm(emf.pixelsPerMmX, emf.pixelsPerMmY);

            for (qint64 n = 0; n < kMaxRecords && b.has(at, 8); ++n) {
                const quint32 type = b.u32(at);
                const qint64 size = b.u32(at + 4);
                if (size < 8 || size % 4 != 0 || !b.has(at, size)) {
                    damaged = true;
                    break;
                }
                if (n > 0 && !player.emfRecord(type, b.mid(at, size))) {
                    ended = true;
                    break;
                }
                at += size;
            }
        } else {
            player.dc().windowOrg = window.topLeft();
            player.dc().windowExt = QPointF(window.width(), window.height());
            player.setOutputTransform(QTransform::fromScale(double(outW), double(outH)));
            at = wmf.recordsAt;
            for (qint64 n = 0; n < kMaxRecords && b.has(at, 6); ++n) {
                const qint64 size = qint64(b.u32(at)) * 2;
                const quint16 function = b.u16(at + 4);
                if (size < 6 || !b.has(at, size)) {
                    damaged = true;
                    break;
                }
                if (function == 0) {
                    ended = true;
                    break;
                }
                player.wmfRecord(function, b.mid(at, size));
                at += size;
            }
        }
        // Bytes left over that do not make a whole record: the file was cut.
        if (!ended && at < b.size())
            damaged = true;
        if (damaged && !player.drew()) {
            err = QStringLiteral("the metafile is damaged");
            return {};
        }
    }
    return image;
}

} // namespace imaging::metafile
