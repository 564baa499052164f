// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/MetafilePlayer.h"

#include <QFontMetricsF>
#include <QLineF>

#include <algorithm>
#include <cmath>

#include "imaging/DecodeBudget.h"

namespace imaging::metafile::detail {

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

Player::Player(QImage &target, bool emf) : m_emf(emf), m_image(target), m_painter(&target)
{
    m_painter.setRenderHint(QPainter::Antialiasing, true);
    m_painter.setRenderHint(QPainter::TextAntialiasing, true);
    const DecodeBudget &budget = decodeBudget();
    m_paintBudget = qint64(target.width()) * target.height() * budget.metafilePaintedAreas +
                    budget.metafilePaintedFloor;
}

void Player::chargeArea(const QRectF &output)
{
    const QRectF covered = output.intersected(QRectF(m_image.rect()));
    if (covered.isValid())
        m_painted += qint64(covered.width() * covered.height()) + 1;
}

void Player::chargeLine(const QRectF &output)
{
    chargeStroke(output, m_dc.pen.widthF() * std::sqrt(std::abs(full().determinant())));
}

void Player::chargeStroke(const QRectF &output, double penWidth)
{
    const QRectF covered = output.normalized().intersected(QRectF(m_image.rect()));
    const double width = std::max(1.0, penWidth);
    m_painted += qint64((covered.width() + covered.height()) * std::min(width, kMaxPenWidth)) + 1;
}

bool Player::showClip(bool hasClip, const QPainterPath &clip, bool cut)
{
    if (hasClip == m_clipApplied && (!hasClip || clip == m_clipShown))
        return true;
    m_painter.resetTransform();
    if (hasClip) {
        const QPainterPath shown = cut ? withinReach(clip, QTransform(), true, 0) : clip;
        if (!affordToSetClip(shown))
            return false;
        m_painter.setClipPath(shown);
    } else {
        m_painter.setClipping(false);
    }
    m_clipApplied = hasClip;
    m_clipShown = clip;
    return true;
}

bool Player::prepare(bool usePen, bool useBrush)
{
    const QTransform t = full();
    if (!finite(t) || !t.isInvertible())
        return false;
    if (!showClip(m_dc.hasClip, m_dc.clip, true))
        return false;
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
    if (prepare(true, fill)) {
        chargeArea(full().mapRect(logical.boundingRect()));
        drawPath(logical, fill);
    }
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
        chargeLine(full().mapRect(QRectF(m_dc.position, p)));
        drawPolyline(QPolygonF{m_dc.position, p});
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
    if (prepare(true, false)) {
        chargeLine(full().mapRect(points.boundingRect()));
        drawPolyline(points);
    }
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
    if (prepare(true, false)) {
        chargeLine(full().mapRect(path.boundingRect()));
        drawPath(path, false);
    }
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
    if (opaqueBox && prepare(false, false)) {
        chargeArea(full().mapRect(*opaqueBox));
        m_painter.fillRect(*opaqueBox, m_dc.bkColor);
    }
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

Dib Player::dib(Bytes info, Bytes bits, quint32 usage, bool packed)
{
    if (m_bitmapPixels > kBitmapPixelBudget)
        return {};
    Dib d = decodeDib(info, bits, usage, kMaxPixels, packed);
    m_bitmapPixels += qint64(d.image.width()) * d.image.height();
    return d;
}

void Player::bitmap(QRectF dest, QRectF source, const Dib &dib, quint32 rop)
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
    chargeArea(full().mapRect(dest));
    m_painter.drawImage(QPointF(0, 0), img, source);
    m_painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    m_painter.setRenderHint(QPainter::Antialiasing, true);
}

void Player::patBlt(QRectF dest, quint32 rop)
{
    // The destination kept as it is: GDI+ ends its files with such a
    // transfer over the whole picture, which must not paint it over.
    if (rop == 0x00AA0029)
        return;
    if (m_inPath || !prepare(false, false))
        return;
    chargeArea(full().mapRect(dest));
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

std::optional<QPainterPath> Player::combinedClip(bool hasClip, const QPainterPath &clip,
                                                 const QPainterPath &p, quint32 op)
{
    if (op < 1 || op > 4)
        return p;
    QPainterPath current = clip;
    if (!hasClip) {
        current = QPainterPath();
        current.addRect(QRectF(m_image.rect()));
    }
    if (!affordToCombineClips(current, p))
        return std::nullopt;
    switch (op) {
    case 1:
        return current.intersected(p);
    case 2:
        return current.united(p);
    case 3:
        return current.united(p).subtracted(current.intersected(p));
    default:
        return current.subtracted(p);
    }
}

// Region modes: 1 AND, 2 OR, 3 XOR, 4 DIFF, 5 COPY.
void Player::setClip(const QPainterPath &p, quint32 mode)
{
    if (std::optional<QPainterPath> clip = combinedClip(m_dc.hasClip, m_dc.clip, p, mode)) {
        m_dc.clip = std::move(*clip);
        m_dc.hasClip = true;
    }
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
        chargeArea(m_path.boundingRect());
        drawPath(m_path, fill);
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

GdiObject readLogFont(Bytes r, qint64 at, qint64 size, bool wide)
{
    // height, width, escapement, orientation, weight, then the one-byte flags
    const qint64 field = wide ? 4 : 2;
    const auto number = [&](int index) -> double {
        const qint64 pos = at + index * field;
        return wide ? double(r.i32(pos)) : double(r.i16(pos));
    };
    GdiObject o;
    o.type = GdiObject::Type::Font;
    o.font.height = number(0);
    o.font.escapement = number(2);
    o.font.weight = int(number(4));
    const qint64 flags = at + 5 * field;
    o.font.italic = r.u8(flags) != 0;
    o.font.underline = r.u8(flags + 1) != 0;
    o.font.strikeOut = r.u8(flags + 2) != 0;
    const qint64 faceAt = flags + 8;
    QString face = wide ? utf16(r, faceAt, std::min<qint64>(32, (size - faceAt) / 2))
                        : latin1(r, faceAt, std::min<qint64>(32, size - faceAt));
    const qsizetype end = face.indexOf(QChar(0));
    if (end >= 0)
        face.truncate(end);
    o.font.face = face;
    return o;
}

} // namespace imaging::metafile::detail
