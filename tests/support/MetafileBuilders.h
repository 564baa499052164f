// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small builders for hand-made metafiles, shared by the metafile test and the
// fuzzer's seed generator.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QtEndian>

#include <cmath>
#include <initializer_list>

namespace metafiletest {

inline void put16(QByteArray &b, quint16 v)
{
    uchar x[2];
    qToLittleEndian(v, x);
    b.append(reinterpret_cast<const char *>(x), 2);
}

inline void put32(QByteArray &b, quint32 v)
{
    uchar x[4];
    qToLittleEndian(v, x);
    b.append(reinterpret_cast<const char *>(x), 4);
}

inline void putFloat(QByteArray &b, float v)
{
    uchar x[4];
    qToLittleEndian(v, x);
    b.append(reinterpret_cast<const char *>(x), 4);
}

// A 40-byte header and bottom-up 24-bit rows of `image`.
inline QByteArray dib24(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    QByteArray b;
    put32(b, 40);
    put32(b, quint32(image.width()));
    put32(b, quint32(image.height()));
    put16(b, 1);
    put16(b, 24);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    const int stride = ((image.width() * 24 + 31) / 32) * 4;
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            row.append(char(qBlue(p)));
            row.append(char(qGreen(p)));
            row.append(char(qRed(p)));
        }
        row.resize(stride, '\0');
        b.append(row);
    }
    return b;
}

// A 2 x 2 picture: red, green on top; blue, white below.
inline QImage quadrants()
{
    QImage image(2, 2, QImage::Format_RGB32);
    image.setPixel(0, 0, qRgb(255, 0, 0));
    image.setPixel(1, 0, qRgb(0, 255, 0));
    image.setPixel(0, 1, qRgb(0, 0, 255));
    image.setPixel(1, 1, qRgb(255, 255, 255));
    return image;
}

// The quadrants picture as an 8-bit DIB with a four-colour table, either
// uncompressed or run-length encoded; returns header and table in *bmiSize.
inline QByteArray dib8(bool rle, int *bmiSize)
{
    QByteArray b;
    put32(b, 40);
    put32(b, 2);
    put32(b, 2);
    put16(b, 1);
    put16(b, 8);
    put32(b, rle ? 1 : 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put32(b, 4);
    put32(b, 0);
    for (quint32 bgr : {0xFF0000u, 0x00FF00u, 0x0000FFu, 0xFFFFFFu}) // red, green, blue, white
        put32(b, bgr);
    *bmiSize = int(b.size());
    const char rows[] = {2, 3, 0, 0, 0, 1, 0, 0};             // bottom row first, padded
    const char runs[] = {1, 2, 1, 3, 0, 0, 1, 0, 1, 1, 0, 1}; // runs, end of line, end
    if (rle)
        b.append(runs, sizeof runs);
    else
        b.append(rows, sizeof rows);
    return b;
}

// EMF+ records, to be carried in the comment records of an Emf (Emf::plus).
// Objects and colours as GDI+ writes them: ARGB colours, float coordinates.
class EmfPlus
{
public:
    static constexpr quint32 kVersion = 0xDBC01002;

    EmfPlus &rec(quint16 type, quint16 flags, const QByteArray &data)
    {
        put16(m_data, type);
        put16(m_data, flags);
        put32(m_data, quint32(12 + data.size()));
        put32(m_data, quint32(data.size()));
        m_data.append(data);
        return *this;
    }
    // The first record: dual asks for the plain records to be played too.
    EmfPlus &header(bool dual = false, quint32 dpi = 96)
    {
        QByteArray d;
        for (quint32 v : {kVersion, 0u, dpi, dpi})
            put32(d, v);
        return rec(0x4001, dual ? 1 : 0, d);
    }
    EmfPlus &object(quint8 id, quint8 kind, const QByteArray &data)
    {
        return rec(0x4008, quint16(kind << 8 | id), data);
    }
    static QByteArray solid(QRgb argb)
    {
        QByteArray d;
        for (quint32 v : {kVersion, 0u, quint32(argb)})
            put32(d, v);
        return d;
    }
    EmfPlus &brush(quint8 id, QRgb argb) { return object(id, 1, solid(argb)); }
    // A pen of `width` world units, solid colour.
    EmfPlus &pen(quint8 id, float width, QRgb argb)
    {
        QByteArray d;
        for (quint32 v : {kVersion, 0u, 0u, 0u})
            put32(d, v);
        putFloat(d, width);
        d.append(solid(argb));
        return object(id, 2, d);
    }
    // A path of float points; types as GDI+ writes them (0 start, 1 line,
    // 3 Bézier, 0x80 closes the figure).
    EmfPlus &path(quint8 id, std::initializer_list<float> xy, std::initializer_list<quint8> types)
    {
        QByteArray d;
        for (quint32 v : {kVersion, quint32(types.size()), 0u})
            put32(d, v);
        for (float v : xy)
            putFloat(d, v);
        for (quint8 t : types)
            d.append(char(t));
        while (d.size() % 4)
            d.append('\0');
        return object(id, 3, d);
    }
    EmfPlus &font(quint8 id, float emPixels, const QString &family = QStringLiteral("DejaVu Sans"))
    {
        QByteArray d;
        put32(d, kVersion);
        putFloat(d, emPixels);
        for (quint32 v : {2u, 0u, 0u, quint32(family.size())})
            put32(d, v);
        for (QChar c : family)
            put16(d, c.unicode());
        while (d.size() % 4)
            d.append('\0');
        return object(id, 6, d);
    }
    // A 32-bit ARGB bitmap image object.
    EmfPlus &image(quint8 id, const QImage &source)
    {
        const QImage img = source.convertToFormat(QImage::Format_ARGB32);
        QByteArray d;
        for (quint32 v : {kVersion, 1u, quint32(img.width()), quint32(img.height()),
                          quint32(img.width() * 4), 0x00026200u, 0u})
            put32(d, v);
        for (int y = 0; y < img.height(); ++y)
            d.append(reinterpret_cast<const char *>(img.constScanLine(y)),
                     qsizetype(img.width()) * 4);
        return object(id, 5, d);
    }
    // Records whose data is all 32-bit values or floats.
    EmfPlus &floats(quint16 type, quint16 flags, std::initializer_list<quint32> ints,
                    std::initializer_list<float> values)
    {
        QByteArray d;
        for (quint32 v : ints)
            put32(d, v);
        for (float v : values)
            putFloat(d, v);
        return rec(type, flags, d);
    }
    // FillRects of one rectangle in an ARGB colour.
    EmfPlus &fillRect(QRgb argb, float x, float y, float w, float h)
    {
        return floats(0x400A, 0x8000, {quint32(argb), 1}, {x, y, w, h});
    }
    EmfPlus &drawString(quint8 font, QRgb argb, float x, float y, float w, float h,
                        const QString &text)
    {
        QByteArray d;
        for (quint32 v : {quint32(argb), 0xFFFFFFFFu, quint32(text.size())})
            put32(d, v);
        for (float v : {x, y, w, h})
            putFloat(d, v);
        for (QChar c : text)
            put16(d, c.unicode());
        while (d.size() % 4)
            d.append('\0');
        return rec(0x401C, quint16(0x8000 | font), d);
    }
    QByteArray bytes() const { return m_data; }

private:
    QByteArray m_data;
};

class Emf
{
public:
    // A picture of width x height pixels at 96 dpi, recorded on a 96 dpi device.
    explicit Emf(int width = 100, int height = 100)
    {
        put32(m_data, 1);
        put32(m_data, 108);
        for (int v : {0, 0, width - 1, height - 1})
            put32(m_data, quint32(v));
        for (long v : {0L, 0L, std::lround(width * 2540.0 / 96), std::lround(height * 2540.0 / 96)})
            put32(m_data, quint32(v));
        put32(m_data, 0x464D4520);
        put32(m_data, 0x10000);
        put32(m_data, 0); // bytes, set by bytes()
        put32(m_data, 0); // records
        put16(m_data, 16);
        put16(m_data, 0);
        for (int v : {0, 0, 0, 960, 960, 254, 254, 0, 0, 0, 254000, 254000})
            put32(m_data, quint32(v));
        m_records = 1;
    }
    // Header bounds and frame, raw.
    Emf &frame(qint32 l, qint32 t, qint32 r, qint32 b)
    {
        qToLittleEndian<qint32>(l, m_data.data() + 24);
        qToLittleEndian<qint32>(t, m_data.data() + 28);
        qToLittleEndian<qint32>(r, m_data.data() + 32);
        qToLittleEndian<qint32>(b, m_data.data() + 36);
        return *this;
    }
    Emf &rec(quint32 type, std::initializer_list<qint32> params)
    {
        QByteArray p;
        for (qint32 v : params)
            put32(p, quint32(v));
        return raw(type, p);
    }
    Emf &raw(quint32 type, QByteArray payload)
    {
        while (payload.size() % 4)
            payload.append('\0');
        put32(m_data, type);
        put32(m_data, quint32(8 + payload.size()));
        m_data.append(payload);
        ++m_records;
        return *this;
    }
    // Points as 16-bit pairs after bounds and count (POLYGON16 and friends).
    Emf &poly16(quint32 type, std::initializer_list<qint16> xy)
    {
        QByteArray p;
        for (int i = 0; i < 4; ++i)
            put32(p, 0);
        put32(p, quint32(xy.size() / 2));
        for (qint16 v : xy)
            put16(p, quint16(v));
        return raw(type, p);
    }
    Emf &font(quint32 handle, qint32 height, const QString &face = QStringLiteral("DejaVu Sans"))
    {
        QByteArray p;
        put32(p, handle);
        for (qint32 v : {height, 0, 0, 0, 400})
            put32(p, quint32(v));
        p.append(QByteArray(8, '\0'));
        for (int i = 0; i < 32; ++i)
            put16(p, i < face.size() ? face.at(i).unicode() : 0);
        return raw(82, p);
    }
    Emf &textW(qint32 x, qint32 y, const QString &s)
    {
        QByteArray p;
        for (int i = 0; i < 4; ++i)
            put32(p, 0);
        put32(p, 1); // GM_COMPATIBLE
        putFloat(p, 1);
        putFloat(p, 1);
        put32(p, quint32(x));
        put32(p, quint32(y));
        put32(p, quint32(s.size()));
        put32(p, 76); // string right after the fixed part
        put32(p, 0);
        for (int i = 0; i < 4; ++i)
            put32(p, 0);
        put32(p, 0); // no spacing array
        for (QChar c : s)
            put16(p, c.unicode());
        return raw(84, p);
    }
    Emf &stretchDib(QRect dest, QRect src, const QByteArray &dib, int bmiSize = 40)
    {
        QByteArray p;
        for (int i = 0; i < 4; ++i)
            put32(p, 0);
        for (int v : {dest.x(), dest.y(), src.x(), src.y(), src.width(), src.height()})
            put32(p, quint32(v));
        put32(p, 80);
        put32(p, quint32(bmiSize));
        put32(p, quint32(80 + bmiSize));
        put32(p, quint32(dib.size() - bmiSize));
        put32(p, 0);
        put32(p, 0x00CC0020);
        put32(p, quint32(dest.width()));
        put32(p, quint32(dest.height()));
        p.append(dib);
        return raw(81, p);
    }
    // A comment record that carries EMF+ records.
    Emf &plus(const EmfPlus &records)
    {
        QByteArray p;
        put32(p, quint32(4 + records.bytes().size()));
        p.append("EMF+", 4);
        p.append(records.bytes());
        return raw(70, p);
    }
    QByteArray bytes() const
    {
        QByteArray out = m_data;
        put32(out, 14);
        put32(out, 20);
        put32(out, 0);
        put32(out, 16);
        put32(out, 20);
        qToLittleEndian<quint32>(quint32(out.size()), out.data() + 48);
        qToLittleEndian<quint32>(quint32(m_records + 1), out.data() + 52);
        return out;
    }

private:
    QByteArray m_data;
    int m_records = 0;
};

class Wmf
{
public:
    // Placeable: the bounds in logical units and their units per inch.
    Wmf(qint16 right, qint16 bottom, quint16 inch, bool placeable = true)
    {
        if (placeable) {
            const quint16 words[10] = {0xCDD7,         0x9AC6,          0,    0, 0,
                                       quint16(right), quint16(bottom), inch, 0, 0};
            quint16 sum = 0;
            for (quint16 w : words) {
                put16(m_data, w);
                sum ^= w;
            }
            put16(m_data, sum);
        }
        m_headerAt = int(m_data.size());
        for (quint16 v : {1, 9, 0x300})
            put16(m_data, v);
        put32(m_data, 0);
        put16(m_data, 0);
        put32(m_data, 0);
        put16(m_data, 0);
    }
    // Parameters in file order (which lists the last argument first).
    Wmf &rec(quint16 function, std::initializer_list<qint16> params)
    {
        QByteArray p;
        for (qint16 v : params)
            put16(p, quint16(v));
        return raw(function, p);
    }
    Wmf &raw(quint16 function, QByteArray payload)
    {
        if (payload.size() % 2)
            payload.append('\0');
        put32(m_data, quint32(3 + payload.size() / 2));
        put16(m_data, function);
        m_data.append(payload);
        return *this;
    }
    Wmf &brush(QRgb c)
    {
        QByteArray p;
        put16(p, 0);
        put32(p, quint32(qRed(c) | (qGreen(c) << 8) | (qBlue(c) << 16)));
        put16(p, 0);
        return raw(0x02FC, p);
    }
    Wmf &pen(quint16 style, qint16 width, QRgb c)
    {
        QByteArray p;
        put16(p, style);
        put16(p, quint16(width));
        put16(p, 0);
        put32(p, quint32(qRed(c) | (qGreen(c) << 8) | (qBlue(c) << 16)));
        return raw(0x02FA, p);
    }
    QByteArray bytes() const
    {
        QByteArray out = m_data;
        put32(out, 3);
        put16(out, 0);
        qToLittleEndian<quint32>(quint32((out.size() - m_headerAt) / 2),
                                 out.data() + m_headerAt + 6);
        return out;
    }

private:
    QByteArray m_data;
    int m_headerAt = 0;
};

} // namespace metafiletest
