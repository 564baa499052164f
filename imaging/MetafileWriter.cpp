// SPDX-License-Identifier: GPL-3.0-or-later
#include <QIODevice>
#include <QtEndian>

#include <cmath>

#include "imaging/Metafile.h"
#include "imaging/MetafileDib.h"

namespace imaging::metafile {

namespace {

// Little-endian record builder.
class Out
{
public:
    void u16(quint16 v) { put(v); }
    void i16(qint16 v) { put(v); }
    void u32(quint32 v) { put(v); }
    void i32(qint32 v) { put(v); }
    const QByteArray &data() const { return m_data; }

private:
    template <typename T> void put(T v)
    {
        uchar b[sizeof(T)];
        qToLittleEndian<T>(v, b);
        m_data.append(reinterpret_cast<const char *>(b), sizeof(T));
    }
    QByteArray m_data;
};

constexpr quint32 kSrcCopy = 0x00CC0020;

// The reference device of the EMF: 96 dpi, so that a logical unit is a pixel.
constexpr qint32 kDevicePixels = 960;
constexpr qint32 kDeviceMillimetres = 254;

// The records around the DIB: everything before it and everything after.
struct Parts
{
    QByteArray head;
    QByteArray tail;
};

Parts emf(const QImage &image, qint64 dibSize)
{
    Parts parts;
    const qint32 w = image.width();
    const qint32 h = image.height();
    const quint32 bitsSize = quint32(dibSize - detail::kDibHeaderSize);
    const quint32 headerSize = 108;
    const quint32 blitSize = 80 + quint32(dibSize);
    const quint32 eofSize = 20;
    const quint32 total = headerSize + blitSize + eofSize;

    Out o;
    // EMR_HEADER with the extension that gives the device size in micrometres.
    o.u32(1);
    o.u32(headerSize);
    o.i32(0); // bounds, device pixels, inclusive
    o.i32(0);
    o.i32(w - 1);
    o.i32(h - 1);
    o.i32(0); // frame, 0.01 mm
    o.i32(0);
    o.i32(qint32(std::lround(w * 2540.0 / 96.0)));
    o.i32(qint32(std::lround(h * 2540.0 / 96.0)));
    o.u32(0x464D4520); // " EMF"
    o.u32(0x00010000);
    o.u32(total);
    o.u32(3); // records
    o.u16(1); // handles: only the reserved one
    o.u16(0);
    o.u32(0); // no description
    o.u32(0);
    o.u32(0); // no palette
    o.i32(kDevicePixels);
    o.i32(kDevicePixels);
    o.i32(kDeviceMillimetres);
    o.i32(kDeviceMillimetres);
    o.u32(0); // no pixel format
    o.u32(0);
    o.u32(0); // not OpenGL
    o.i32(kDeviceMillimetres * 1000);
    o.i32(kDeviceMillimetres * 1000);

    // EMR_STRETCHDIBITS covering the whole picture.
    o.u32(81);
    o.u32(blitSize);
    o.i32(0); // bounds
    o.i32(0);
    o.i32(w - 1);
    o.i32(h - 1);
    o.i32(0); // xDest, yDest
    o.i32(0);
    o.i32(0); // xSrc, ySrc
    o.i32(0);
    o.i32(w); // cxSrc, cySrc
    o.i32(h);
    o.u32(80); // offBmiSrc
    o.u32(detail::kDibHeaderSize);
    o.u32(80 + detail::kDibHeaderSize); // offBitsSrc
    o.u32(bitsSize);
    o.u32(0); // DIB_RGB_COLORS
    o.u32(kSrcCopy);
    o.i32(w); // cxDest, cyDest
    o.i32(h);
    parts.head = o.data();

    // EMR_EOF without a palette.
    Out t;
    t.u32(14);
    t.u32(eofSize);
    t.u32(0);
    t.u32(16);
    t.u32(eofSize);
    parts.tail = t.data();
    return parts;
}

Parts wmf(const QImage &image, qint64 dibSize)
{
    Parts parts;
    const qint16 w = qint16(image.width());
    const qint16 h = qint16(image.height());

    Out o;
    // Placeable header: the picture spans w x h units at 96 units per inch.
    const quint16 placeable[10] = {0xCDD7, 0x9AC6, 0, 0, 0, quint16(w), quint16(h), 96, 0, 0};
    quint16 checksum = 0;
    for (quint16 word : placeable) {
        o.u16(word);
        checksum ^= word;
    }
    o.u16(checksum);

    const quint32 blitWords = quint32((28 + dibSize) / 2);
    const quint32 records[] = {5, 5, 4, blitWords, 3}; // org, ext, map mode, blit, eof
    quint32 totalWords = 9;
    quint32 largest = 0;
    for (quint32 r : records) {
        totalWords += r;
        largest = std::max(largest, r);
    }
    o.u16(1); // in memory
    o.u16(9);
    o.u16(0x0300);
    o.u32(totalWords);
    o.u16(0); // no objects
    o.u32(largest);
    o.u16(0);

    o.u32(5); // SETWINDOWORG
    o.u16(0x020B);
    o.i16(0);
    o.i16(0);
    o.u32(5); // SETWINDOWEXT
    o.u16(0x020C);
    o.i16(h);
    o.i16(w);
    o.u32(4); // SETMAPMODE anisotropic, so that players stretch the window
    o.u16(0x0103);
    o.u16(8);
    o.u32(blitWords); // STRETCHDIB
    o.u16(0x0F43);
    o.u32(kSrcCopy);
    o.u16(0); // DIB_RGB_COLORS
    o.i16(h); // source height, width, y, x
    o.i16(w);
    o.i16(0);
    o.i16(0);
    o.i16(h); // destination height, width, y, x
    o.i16(w);
    o.i16(0);
    o.i16(0);
    parts.head = o.data();
    Out t;
    t.u32(3); // EOF
    t.u16(0);
    parts.tail = t.data();
    return parts;
}

} // namespace

bool write(const QImage &image, Kind kind, QIODevice &out, QString *error)
{
    QString ignored;
    QString &err = error ? *error : ignored;
    if (image.isNull()) {
        err = QStringLiteral("there is no image to save");
        return false;
    }
    if (kind == Kind::None) {
        err = QStringLiteral("no metafile kind chosen");
        return false;
    }
    // A WMF states its size in 16-bit units; the records hold 32-bit sizes.
    const qint64 dibSize = detail::encodedDibSize(image.width(), image.height(), 24);
    if (image.width() > kMaxSide || image.height() > kMaxSide || dibSize < 0 ||
        dibSize > 0x7FFFFF00LL) {
        err = QStringLiteral("the image is too large for a metafile (%1 x %2 pixels)")
                  .arg(image.width())
                  .arg(image.height());
        return false;
    }
    const Parts parts = kind == Kind::Emf ? emf(image, dibSize) : wmf(image, dibSize);
    if (out.write(parts.head) != parts.head.size() || !detail::writeDib(image, out) ||
        out.write(parts.tail) != parts.tail.size()) {
        err = out.errorString().isEmpty() ? QStringLiteral("the file could not be written")
                                          : out.errorString();
        return false;
    }
    return true;
}

} // namespace imaging::metafile
