// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Pieces shared by the metafile reader and writer: a bounds-checked view of
// little-endian bytes and the device-independent bitmap (DIB) codec.

#include <QByteArray>
#include <QImage>
#include <QtEndian>

#include <cstdint>

class QIODevice;

namespace imaging::metafile::detail {

// A window onto bytes that never reads outside itself: every read of a
// value outside the window yields 0, and has() tells whether a range fits.
class Bytes
{
public:
    Bytes() = default;
    Bytes(const uchar *data, qint64 size) : m_data(data), m_size(size < 0 ? 0 : size) {}

    qint64 size() const { return m_size; }
    const uchar *data() const { return m_data; }
    bool has(qint64 offset, qint64 length) const
    {
        return offset >= 0 && length >= 0 && offset <= m_size && length <= m_size - offset;
    }
    Bytes mid(qint64 offset, qint64 length) const
    {
        return has(offset, length) ? Bytes(m_data + offset, length) : Bytes();
    }
    Bytes from(qint64 offset) const
    {
        return has(offset, 0) ? Bytes(m_data + offset, m_size - offset) : Bytes();
    }
    quint8 u8(qint64 o) const { return has(o, 1) ? m_data[o] : 0; }
    quint16 u16(qint64 o) const { return has(o, 2) ? qFromLittleEndian<quint16>(m_data + o) : 0; }
    qint16 i16(qint64 o) const { return has(o, 2) ? qFromLittleEndian<qint16>(m_data + o) : 0; }
    quint32 u32(qint64 o) const { return has(o, 4) ? qFromLittleEndian<quint32>(m_data + o) : 0; }
    qint32 i32(qint64 o) const { return has(o, 4) ? qFromLittleEndian<qint32>(m_data + o) : 0; }
    float f32(qint64 o) const { return has(o, 4) ? qFromLittleEndian<float>(m_data + o) : 0.0f; }

private:
    const uchar *m_data = nullptr;
    qint64 m_size = 0;
};

struct Dib
{
    QImage image;          // top row first
    bool bottomUp = false; // rows were stored bottom row first
};

// Decodes a DIB from its BITMAPINFO (header and colour table) and its bits.
// usage 1 (DIB_PAL_COLORS) has palette indexes in the colour table; they are
// shown as a grey ramp since the logical palette is not tracked. Returns a
// null image for anything malformed, truncated or larger than maxPixels.
// A packed DIB holds its bits right after the colour table: pass the same
// bytes as info and leave bits empty.
Dib decodeDib(Bytes info, Bytes bits, quint32 usage, qint64 maxPixels, bool packed = false);

inline constexpr int kDibHeaderSize = 40;

// The size writeDib() writes for a w x h image, or -1 when it would not fit
// a 32-bit size field.
qint64 encodedDibSize(qint64 width, qint64 height, int bitCount);

// Writes an image as a 40-byte BITMAPINFOHEADER followed by bottom-up 24-bit
// rows; an image with alpha is composed over white first. False when the
// device refuses a write or there is no memory for a band of rows.
bool writeDib(const QImage &image, QIODevice &out);

} // namespace imaging::metafile::detail
