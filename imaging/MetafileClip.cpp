// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/MetafileClip.h"

#include <QPainterPathStroker>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

#include "imaging/MetafilePlayer.h"

namespace imaging::metafile::detail {

namespace {

// The rasterizer's work, as painted area, for filling or outlining shapes
// with `shape` cells along their edges and drawing thin lines over `lines`
// cells.
double rasterWork(double shape, double lines)
{
    return (shape + lines) * kPixelsPerCell +
           shape * shape / kCellsBeforeOverflow * kPixelsPerOverflowCell;
}

// One border of the rectangle: which side of it is inside, and where an
// edge crosses it.
struct Border
{
    enum Side
    {
        Left,
        Right,
        Top,
        Bottom
    } side;
    double at;

    bool inside(QPointF p) const
    {
        switch (side) {
        case Left:
            return p.x() >= at;
        case Right:
            return p.x() <= at;
        case Top:
            return p.y() >= at;
        case Bottom:
            return p.y() <= at;
        }
        return false;
    }

    QPointF crossing(QPointF a, QPointF b) const
    {
        const bool vertical = side == Left || side == Right;
        const double from = vertical ? a.x() : a.y();
        const double to = vertical ? b.x() : b.y();
        const double t = (at - from) / (to - from);
        const QPointF p = a + (b - a) * t;
        return vertical ? QPointF(at, p.y()) : QPointF(p.x(), at);
    }
};

std::array<Border, 4> bordersOf(const QRectF &r)
{
    return {Border{Border::Left, r.left()}, Border{Border::Right, r.right()},
            Border{Border::Top, r.top()}, Border{Border::Bottom, r.bottom()}};
}

// Liang-Barsky: the part of segment a-b inside rect, if any.
std::optional<std::pair<QPointF, QPointF>> clipSegment(QPointF a, QPointF b, const QRectF &r)
{
    double t0 = 0, t1 = 1;
    const QPointF d = b - a;
    const double p[] = {-d.x(), d.x(), -d.y(), d.y()};
    const double q[] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return std::nullopt;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return std::nullopt;
    }
    return std::make_pair(a + d * t0, a + d * t1);
}

} // namespace

QPolygonF clipPolygon(const QPolygonF &polygon, const QRectF &rect)
{
    // Sutherland-Hodgman, one border at a time.
    QPolygonF current = polygon;
    if (current.size() > 1 && current.first() == current.last())
        current.removeLast();
    for (const Border &border : bordersOf(rect)) {
        if (current.isEmpty())
            break;
        QPolygonF next;
        next.reserve(current.size() + 4);
        QPointF previous = current.last();
        bool previousInside = border.inside(previous);
        for (const QPointF &point : std::as_const(current)) {
            const bool inside = border.inside(point);
            if (inside != previousInside)
                next << border.crossing(previous, point);
            if (inside)
                next << point;
            previous = point;
            previousInside = inside;
        }
        current = next;
    }
    return current;
}

std::vector<QPolygonF> clipPolyline(const QPolygonF &polyline, const QRectF &rect)
{
    std::vector<QPolygonF> pieces;
    if (polyline.size() == 1 && rect.contains(polyline.first()))
        pieces.push_back(polyline);
    for (qsizetype i = 1; i < polyline.size(); ++i) {
        const auto part = clipSegment(polyline[i - 1], polyline[i], rect);
        if (!part)
            continue;
        // A segment that starts where the last piece ended goes on with it.
        if (!pieces.empty() && pieces.back().last() == part->first &&
            part->first == polyline[i - 1])
            pieces.back() << part->second;
        else
            pieces.push_back(QPolygonF{part->first, part->second});
    }
    const bool closed = polyline.size() > 2 && polyline.first() == polyline.last();
    if (closed && pieces.size() > 1 && pieces.front().first() == polyline.first() &&
        pieces.back().last() == polyline.last()) {
        // The outline's start and end meet inside: one piece through it.
        QPolygonF joined = pieces.back();
        joined.removeLast();
        joined << pieces.front();
        pieces.front() = joined;
        pieces.pop_back();
    }
    return pieces;
}

double edgeCells(const QPolygonF &polyline, const QRectF &rect, bool closed)
{
    double cells = 0;
    const qsizetype n = polyline.size();
    for (qsizetype i = 1; i < n + (closed && n > 2 ? 1 : 0); ++i) {
        if (const auto part = clipSegment(polyline[i - 1], polyline[i % n], rect)) {
            const QPointF d = part->second - part->first;
            cells += std::abs(d.x()) + std::abs(d.y()) + 1;
        }
    }
    return cells;
}

double Player::penReach() const
{
    const QPen pen = m_painter.pen();
    if (pen.style() == Qt::NoPen)
        return 0;
    if (pen.isCosmetic())
        return std::max(1.0, pen.widthF());
    // The pen's width in the direction the transform stretches most (the
    // larger singular value of its linear part); a miter join reaches up to
    // its limit times the width.
    const QTransform &t = m_painter.transform();
    const double squares =
        t.m11() * t.m11() + t.m12() * t.m12() + t.m21() * t.m21() + t.m22() * t.m22();
    const double det = t.m11() * t.m22() - t.m12() * t.m21();
    const double stretch =
        std::sqrt((squares + std::sqrt(std::max(0.0, squares * squares - 4 * det * det))) / 2);
    const double miter = pen.joinStyle() == Qt::MiterJoin ? std::max(1.0, pen.miterLimit()) : 1.0;
    return std::max(1.0, pen.widthF() * stretch * miter);
}

namespace {

// Unlike QRectF::contains, true for a line's box too (no width or height).
bool inside(const QRectF &box, const QRectF &area)
{
    return box.left() >= area.left() && box.right() <= area.right() && box.top() >= area.top() &&
           box.bottom() <= area.bottom();
}

} // namespace

QRectF Player::reach(double penReach) const
{
    // Nothing drawn beyond the pen's reach around the picture can show; a
    // little more keeps the antialiased edges of the cut well away. The
    // margin is kept small: Qt's time grows with the size of what it draws.
    const double margin = 64.0 + std::min(penReach, kMaxReachMargin);
    return QRectF(m_image.rect()).adjusted(-margin, -margin, margin, margin);
}

QPainterPath Player::withinReach(const QPainterPath &path, const QTransform &t, bool closed,
                                 double penReach) const
{
    const QRectF area = reach(penReach);
    if (inside(t.mapRect(path.controlPointRect()), area) || !t.isInvertible())
        return path;
    const QTransform back = t.inverted();
    QPainterPath cut;
    cut.setFillRule(path.fillRule());
    for (const QPolygonF &device : path.toSubpathPolygons(t)) {
        if (closed) {
            const QPolygonF inside = clipPolygon(device, area);
            if (inside.size() > 1) {
                cut.addPolygon(back.map(inside));
                cut.closeSubpath();
            }
        } else {
            for (const QPolygonF &piece : clipPolyline(device, area))
                cut.addPolygon(back.map(piece));
        }
    }
    return cut;
}

qint64 edgeCrossings(const QList<QPolygonF> &outlines, qint64 maxTests, qint64 maxCrossings)
{
    struct Edge
    {
        QPointF a, b;
        double left, right, top, bottom;
    };
    std::vector<Edge> edges;
    for (const QPolygonF &outline : outlines) {
        const qsizetype n = outline.size();
        for (qsizetype i = 0; i < n; ++i) {
            const QPointF a = outline.at(i);
            const QPointF b = outline.at((i + 1) % n);
            if (a != b)
                edges.push_back({a, b, std::min(a.x(), b.x()), std::max(a.x(), b.x()),
                                 std::min(a.y(), b.y()), std::max(a.y(), b.y())});
        }
    }
    // A sweep from left to right: each edge is compared with the edges still
    // open where it starts.
    std::sort(edges.begin(), edges.end(),
              [](const Edge &x, const Edge &y) { return x.left < y.left; });
    const auto side = [](QPointF p, QPointF q, QPointF r) {
        const double d = (q.x() - p.x()) * (r.y() - p.y()) - (q.y() - p.y()) * (r.x() - p.x());
        return d > 0 ? 1 : (d < 0 ? -1 : 0);
    };
    std::vector<const Edge *> open;
    qint64 crossings = 0;
    qint64 tests = 0;
    for (const Edge &e : edges) {
        std::erase_if(open, [&](const Edge *o) { return o->right < e.left; });
        for (const Edge *o : open) {
            if (++tests > maxTests)
                return -1;
            if (o->bottom < e.top || e.bottom < o->top)
                continue;
            if (side(o->a, o->b, e.a) * side(o->a, o->b, e.b) < 0 &&
                side(e.a, e.b, o->a) * side(e.a, e.b, o->b) < 0 && ++crossings > maxCrossings)
                return -1;
        }
        open.push_back(&e);
    }
    return crossings;
}

std::optional<QRegion> unitedRects(const std::vector<QRectF> &rects, int maxPieces)
{
    constexpr double kLimit = 1 << 28;
    std::vector<QRegion> regions;
    regions.reserve(rects.size());
    for (const QRectF &r : rects) {
        const QRectF n = r.normalized();
        const int left = int(std::clamp(std::floor(n.left()), -kLimit, kLimit));
        const int top = int(std::clamp(std::floor(n.top()), -kLimit, kLimit));
        const int right = int(std::clamp(std::ceil(n.right()), -kLimit, kLimit));
        const int bottom = int(std::clamp(std::ceil(n.bottom()), -kLimit, kLimit));
        if (right > left && bottom > top)
            regions.emplace_back(left, top, right - left, bottom - top);
    }
    if (regions.empty())
        return QRegion();
    while (regions.size() > 1) {
        std::vector<QRegion> joined;
        joined.reserve(regions.size() / 2 + 1);
        for (size_t i = 0; i + 1 < regions.size(); i += 2) {
            joined.push_back(regions[i].united(regions[i + 1]));
            if (joined.back().rectCount() > maxPieces)
                return std::nullopt;
        }
        if (regions.size() % 2 != 0)
            joined.push_back(regions.back());
        regions.swap(joined);
    }
    return regions.front();
}

bool Player::affordToDraw(const QPainterPath &path, bool closed)
{
    // Qt's antialiasing rasterizer works cell by cell along a shape's edges,
    // and more than in proportion once one shape's cells overflow its
    // working memory: 64 overlapping slivers across a 1000-row picture
    // (290,000 cells) take 1.8 s, 256 of them 7.6 s. Each shape is charged
    // as the area whose filling takes about as long, before it is drawn, so
    // that one record cannot take minutes.
    const QTransform &t = m_painter.transform();
    const QRectF picture(m_image.rect());
    double cells = 0;
    for (const QPolygonF &device : path.toSubpathPolygons(t))
        cells += edgeCells(device, picture, closed);
    const QPen pen = m_painter.pen();
    const bool filled = closed && m_painter.brush().style() != Qt::NoBrush;
    const bool stroked = pen.style() != Qt::NoPen;
    // A wide pen's outline runs along both sides of the line; thin lines
    // take a cheaper way, in proportion to their cells.
    const double shape = (filled ? cells : 0) + (stroked && !pen.isCosmetic() ? 2 * cells : 0);
    const double lines = stroked && pen.isCosmetic() ? cells : 0;
    return spend(rasterWork(shape, lines));
}

bool Player::affordToSetClip(const QPainterPath &clip)
{
    // The painter fills the clip path with the same rasterizer.
    const QRectF picture(m_image.rect());
    double cells = 0;
    for (const QPolygonF &outline : clip.toSubpathPolygons())
        cells += edgeCells(outline, picture, true);
    return spend(rasterWork(cells, 0));
}

bool Player::affordToCombineClips(const QPainterPath &a, const QPainterPath &b)
{
    // A self-crossing outline of 1,600 edges took 5.5 s to combine with an
    // ellipse; 4,096 overlapping rectangles over two minutes.
    QList<QPolygonF> outlines = a.toSubpathPolygons();
    outlines += b.toSubpathPolygons();
    double edges = 0;
    for (const QPolygonF &outline : outlines)
        edges += double(outline.size());
    // Counting stops once the crossings alone would go beyond the budget.
    const double left = double(m_paintBudget - m_painted) - edges * kPixelsPerClipEdge;
    const qint64 crossings =
        left < 0 ? -1
                 : edgeCrossings(outlines, kMaxCrossingTests,
                                 qint64(std::pow(left / kPixelsPerClipCrossing, 2.0 / 3.0)) + 1);
    if (crossings < 0)
        return spend(std::numeric_limits<double>::infinity());
    return spend(edges * kPixelsPerClipEdge +
                 std::pow(double(crossings), 1.5) * kPixelsPerClipCrossing);
}

bool Player::spend(double charge)
{
    if (!(double(m_painted) + charge <= double(m_paintBudget))) {
        m_painted = m_paintBudget + 1;
        return false;
    }
    m_painted += qint64(charge);
    return true;
}

void Player::drawPath(const QPainterPath &path, bool closed)
{
    const QTransform t = m_painter.transform();
    const double pen = penReach();
    if (inside(t.mapRect(path.controlPointRect()), reach(pen)) || !t.isInvertible()) {
        if (affordToDraw(path, closed))
            m_painter.drawPath(path);
        return;
    }
    // Far-reaching geometry: the fill and a wide pen's outline are made here
    // and cut to the picture, since what Qt fills costs in proportion to its
    // size; the outline is made the way Qt makes it.
    const QPainterPath cut = withinReach(path, t, closed, pen);
    if (!affordToDraw(cut, closed))
        return;
    const QPen drawn = m_painter.pen();
    const QBrush brush = m_painter.brush();
    if (closed && brush.style() != Qt::NoBrush) {
        m_painter.setPen(Qt::NoPen);
        m_painter.drawPath(withinReach(cut, t, true, 0));
    }
    if (drawn.style() != Qt::NoPen && !drawn.isCosmetic()) {
        QPainterPathStroker stroker(drawn);
        stroker.setCurveThreshold(0.25 / std::max(1e-6, std::sqrt(std::abs(t.determinant()))));
        QPainterPath outline = t.map(stroker.createStroke(cut));
        outline.setFillRule(Qt::WindingFill);
        m_painter.resetTransform();
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(drawn.brush());
        m_painter.drawPath(withinReach(outline, QTransform(), true, 0));
        m_painter.setTransform(t);
    } else if (drawn.style() != Qt::NoPen) {
        m_painter.setPen(drawn);
        m_painter.setBrush(Qt::NoBrush);
        m_painter.drawPath(cut);
    }
    m_painter.setPen(drawn);
    m_painter.setBrush(brush);
}

void Player::drawPolyline(const QPolygonF &points)
{
    const QTransform &t = m_painter.transform();
    QPainterPath path;
    path.addPolygon(points);
    if (inside(t.mapRect(points.boundingRect()), reach(penReach()))) {
        if (affordToDraw(path, false))
            m_painter.drawPolyline(points);
        return;
    }
    drawPath(path, false);
}

} // namespace imaging::metafile::detail
