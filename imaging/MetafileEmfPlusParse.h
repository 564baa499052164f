// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading the fields of EMF+ records and objects: colours, floats, rectangles,
// matrices and point lists, each checked against the bytes that hold it.
// The records are played in MetafileEmfPlus.cpp, the objects they refer to
// are read in MetafileEmfPlusObjects.cpp.

#include <QColor>
#include <QPolygonF>
#include <QRectF>
#include <QTransform>

#include "imaging/MetafileDib.h"

namespace imaging::metafile::detail {

// Point flags, in the flags of a record or of a path object.
inline constexpr quint16 kCompressed = 0x4000; // 16-bit integer coordinates
inline constexpr quint16 kRelative = 0x0800;   // relative, variable-length coordinates

QColor argb(quint32 c);
// A float read from the file, or nothing when it is not finite or beyond
// the coordinate limit.
bool number(Bytes d, qint64 at, double *out);
bool rectF(Bytes d, qint64 at, bool compressed, QRectF *out);
bool matrix(Bytes d, qint64 at, QTransform *out);
// Reads count points at `at` as the flags say; *end receives the offset past
// them. The count is checked against the bytes present before anything is
// allocated.
bool plusPoints(Bytes d, qint64 at, qint64 count, quint16 flags, QPolygonF *out,
                qint64 *end = nullptr);

} // namespace imaging::metafile::detail
