// SPDX-License-Identifier: GPL-3.0-or-later
// The EMF+ objects the records refer to by id: brushes, pens, paths, images,
// fonts and string formats, read from object records that may come in pieces.
#include <QBuffer>
#include <QImageReader>

#include <algorithm>

#include "imaging/MetafileEmfPlusParse.h"
#include "imaging/MetafilePlayer.h"

namespace imaging::metafile::detail {

namespace {

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

} // namespace imaging::metafile::detail
