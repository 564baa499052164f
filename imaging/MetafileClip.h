// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Cutting geometry down to a rectangle before it is drawn. Qt's rasterizer
// works in proportion to a shape's size on the device, not to the part that
// shows: a few polygons a million pixels wide took minutes to fill into a
// picture of a thousand. The player cuts such geometry to the picture and a
// margin first; its members that do so, and that charge each shape's
// rasterizing work to the drawing budget, are in MetafileClip.cpp.

#include <QList>
#include <QPolygonF>
#include <QRectF>
#include <QRegion>

#include <optional>
#include <vector>

namespace imaging::metafile::detail {

// The part of a closed polygon inside rect, as a closed polygon (the edges
// the cut adds run along rect's border). Inside rect every point keeps its
// winding number, so the fill is the same there under either fill rule.
QPolygonF clipPolygon(const QPolygonF &polygon, const QRectF &rect);

// The pieces of an open polyline inside rect, in order. A closed outline
// (last point equal to the first) whose start is inside stays joined there.
std::vector<QPolygonF> clipPolyline(const QPolygonF &polyline, const QRectF &rect);

// The pixel cells an antialiasing rasterizer visits along the edges of a
// polyline (closed: with the edge back to its start) inside rect: for each
// edge, the rows and columns it crosses there.
double edgeCells(const QPolygonF &polyline, const QRectF &rect, bool closed);

// How many times the edges of the given closed outlines cross one another;
// edges that only touch, or meet at a corner, do not count. Pairs of edges
// whose extents overlap are compared one by one, so a tangle costs the
// square of its edges: the count stops, and the result is -1, past
// maxTests comparisons or maxCrossings crossings.
qint64 edgeCrossings(const QList<QPolygonF> &outlines, qint64 maxTests, qint64 maxCrossings);

// The union of rectangles as a region, made by joining them two by two so
// that the work stays near n log n. Coordinates are held within a range
// that whole pixels can express. Nothing when the union falls apart into
// more than maxPieces rectangles (overlapping strips make a grid).
std::optional<QRegion> unitedRects(const std::vector<QRectF> &rects, int maxPieces);

} // namespace imaging::metafile::detail
