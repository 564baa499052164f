// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/MetafileDib.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <bit>
#include <vector>

namespace imaging::metafile::detail {

namespace {

enum Compression : quint32
{
    BiRgb = 0,
    BiRle8 = 1,
    BiRle4 = 2,
    BiBitfields = 3,
    BiJpeg = 4,
    BiPng = 5,
    BiAlphaBitfields = 6,
};

struct Channel
{
    quint32 mask = 0;
    int shift = 0;
    quint32 max = 0;

    explicit Channel(quint32 m = 0) : mask(m)
    {
        if (mask != 0) {
            shift = std::countr_zero(mask);
            const int bits = std::countr_one(mask >> shift);
            max = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1u);
        }
    }
    int value(quint32 px, int none) const
    {
        if (mask == 0 || max == 0)
            return none;
        const quint64 v = ((px & mask) >> shift) & max;
        return int(v * 255u / max);
    }
};

constexpr qint64 kCompressedBasePixels = 4'000'000;

qint64 strideFor(qint64 width, int bitCount)
{
    return ((width * bitCount + 31) / 32) * 4;
}

QImage decodeEmbedded(Bytes bits, qint64 maxPixels)
{
    QByteArray copy(reinterpret_cast<const char *>(bits.data()), bits.size());
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > maxPixels)
        return {};
    return reader.read();
}

void decodeRle(Bytes src, bool rle8, int width, int height, const std::vector<QRgb> &palette,
               QImage &out)
{
    const QRgb fallback = palette.empty() ? qRgb(0, 0, 0) : palette[0];
    auto colour = [&](uint index) { return index < palette.size() ? palette[index] : fallback; };
    qint64 i = 0;
    int x = 0;
    int y = 0; // rows counted from the bottom
    auto put = [&](uint index) {
        if (x >= 0 && x < width && y >= 0 && y < height)
            reinterpret_cast<QRgb *>(out.scanLine(height - 1 - y))[x] = colour(index);
        ++x;
    };
    const qint64 n = src.size();
    while (i + 1 < n && y < height) {
        const uint count = src.u8(i);
        const uint value = src.u8(i + 1);
        i += 2;
        if (count > 0) {
            for (uint k = 0; k < count && x < width; ++k)
                put(rle8 ? value : ((k % 2 == 0) ? (value >> 4) : (value & 0x0F)));
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            x += src.u8(i);
            y += src.u8(i + 1);
            i += 2;
        } else { // absolute run of `value` pixels
            const qint64 bytes = rle8 ? value : (value + 1) / 2;
            for (uint k = 0; k < value && x < width; ++k) {
                const uint b = src.u8(i + (rle8 ? k : k / 2));
                put(rle8 ? b : ((k % 2 == 0) ? (b >> 4) : (b & 0x0F)));
            }
            i += (bytes + 1) & ~qint64(1);
        }
    }
}

} // namespace

Dib decodeDib(Bytes info, Bytes bits, quint32 usage, qint64 maxPixels, bool packed)
{
    Dib result;
    const quint32 headerSize = info.u32(0);
    qint64 width = 0;
    qint64 height = 0;
    int bitCount = 0;
    quint32 compression = BiRgb;
    quint32 colorsUsed = 0;
    bool core = false;
    if (headerSize == 12 && info.has(0, 12)) {
        core = true;
        width = info.u16(4);
        height = info.u16(6);
        bitCount = info.u16(10);
    } else if (headerSize >= 40 && info.has(0, headerSize)) {
        width = info.i32(4);
        height = info.i32(8);
        bitCount = info.u16(14);
        compression = info.u32(16);
        colorsUsed = info.u32(32);
    } else {
        return result;
    }
    if (width <= 0 || height == 0)
        return result;
    result.bottomUp = height > 0;
    const qint64 rows = height < 0 ? -height : height;
    if (width > 65535 || rows > 65535 || width * rows > maxPixels)
        return result;
    // Compressed bits may claim far more pixels than they describe; allow a
    // generous expansion of the bytes present but no bomb.
    const bool compressed = compression == BiRle8 || compression == BiRle4 ||
                            compression == BiJpeg || compression == BiPng;
    const qint64 available = packed ? info.size() : bits.size();
    if (compressed && width * rows > kCompressedBasePixels + available * 512)
        return result;

    if (compression == BiJpeg || compression == BiPng) {
        if (packed)
            bits = info.from(headerSize);
        result.image = decodeEmbedded(bits, maxPixels);
        result.bottomUp = false;
        if (!result.image.isNull())
            result.image = result.image.convertToFormat(QImage::Format_ARGB32);
        return result;
    }

    switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return result;
    }
    const bool bitfields = compression == BiBitfields || compression == BiAlphaBitfields;
    if ((compression == BiRle8 && bitCount != 8) || (compression == BiRle4 && bitCount != 4) ||
        (bitfields && bitCount != 16 && bitCount != 32) || compression > BiAlphaBitfields)
        return result;
    if ((compression == BiRle8 || compression == BiRle4) && !result.bottomUp)
        return result;

    Channel red(0x7C00), green(0x03E0), blue(0x001F), alpha;
    qint64 paletteOffset = headerSize;
    if (bitCount == 32) {
        red = Channel(0x00FF0000);
        green = Channel(0x0000FF00);
        blue = Channel(0x000000FF);
    }
    if (bitfields) {
        const bool inHeader = headerSize >= 52;
        const qint64 at = inHeader ? 40 : headerSize;
        if (!info.has(at, 12))
            return result;
        red = Channel(info.u32(at));
        green = Channel(info.u32(at + 4));
        blue = Channel(info.u32(at + 8));
        if (compression == BiAlphaBitfields || headerSize >= 56)
            alpha = Channel(info.u32(at + 12));
        if (!inHeader)
            paletteOffset += compression == BiAlphaBitfields ? 16 : 12;
    }

    std::vector<QRgb> palette;
    const int entrySize = usage == 1 ? 2 : (core ? 3 : 4);
    if (packed) {
        // Higher bit counts may carry an (unused) table too.
        qint64 tableEntries = bitCount <= 8 ? (qint64(1) << bitCount) : 0;
        if (colorsUsed != 0 && (bitCount > 8 || colorsUsed < quint32(tableEntries)))
            tableEntries = colorsUsed;
        bits = info.from(paletteOffset + tableEntries * entrySize);
    }
    if (bitCount <= 8) {
        qint64 entries = qint64(1) << bitCount;
        if (colorsUsed != 0 && colorsUsed < entries)
            entries = colorsUsed;
        palette.resize(size_t(entries), qRgb(0, 0, 0));
        for (qint64 k = 0; k < entries; ++k) {
            const qint64 at = paletteOffset + k * entrySize;
            if (!info.has(at, entrySize))
                break;
            if (usage == 1) {
                const int grey = int(info.u16(at) & 0xFF);
                palette[size_t(k)] = qRgb(grey, grey, grey);
            } else {
                palette[size_t(k)] = qRgb(info.u8(at + 2), info.u8(at + 1), info.u8(at));
            }
        }
    }

    const int w = int(width);
    const int h = int(rows);
    QImage image(w, h, QImage::Format_ARGB32);
    if (image.isNull())
        return result;

    if (compression == BiRle8 || compression == BiRle4) {
        image.fill(palette.empty() ? qRgb(0, 0, 0) : palette[0]);
        decodeRle(bits, compression == BiRle8, w, h, palette, image);
        result.image = image;
        return result;
    }

    const qint64 stride = strideFor(width, bitCount);
    if (!bits.has(0, stride * rows))
        return result;
    bool anyAlpha = false;
    for (int row = 0; row < h; ++row) {
        const int target = result.bottomUp ? h - 1 - row : row;
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(target));
        const Bytes src = bits.mid(stride * row, stride);
        const uchar *p = src.data();
        switch (bitCount) {
        case 1:
        case 4:
        case 8: {
            const int perByte = 8 / bitCount;
            const uint mask = (1u << bitCount) - 1u;
            for (int x = 0; x < w; ++x) {
                const uint byte = p[x / perByte];
                const int shift = 8 - bitCount * (x % perByte + 1);
                const uint index = (byte >> shift) & mask;
                line[x] = index < palette.size() ? palette[index] : qRgb(0, 0, 0);
            }
            break;
        }
        case 16:
            for (int x = 0; x < w; ++x) {
                const quint32 px = qFromLittleEndian<quint16>(p + 2 * qsizetype(x));
                line[x] = qRgba(red.value(px, 0), green.value(px, 0), blue.value(px, 0),
                                alpha.value(px, 255));
            }
            break;
        case 24:
            for (int x = 0; x < w; ++x)
                line[x] =
                    qRgb(p[3 * qsizetype(x) + 2], p[3 * qsizetype(x) + 1], p[3 * qsizetype(x)]);
            break;
        case 32:
            for (int x = 0; x < w; ++x) {
                const quint32 px = qFromLittleEndian<quint32>(p + 4 * qsizetype(x));
                if (alpha.mask == 0 && (px >> 24) != 0)
                    anyAlpha = true;
                line[x] = qRgba(red.value(px, 0), green.value(px, 0), blue.value(px, 0),
                                alpha.value(px, 255));
            }
            break;
        }
    }
    // A plain 32-bit DIB keeps its fourth byte unused, except that writers
    // which know about alpha store it there; a non-zero byte anywhere means
    // the image carries alpha.
    if (bitCount == 32 && alpha.mask == 0 && anyAlpha) {
        for (int row = 0; row < h; ++row) {
            const int target = result.bottomUp ? h - 1 - row : row;
            QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(target));
            const uchar *p = bits.mid(stride * row, stride).data();
            for (int x = 0; x < w; ++x)
                line[x] = (line[x] & 0x00FFFFFFu) | (quint32(p[4 * x + 3]) << 24);
        }
    }
    result.image = image;
    return result;
}

qint64 encodedDibSize(qint64 width, qint64 height, int bitCount)
{
    const qint64 size = kDibHeaderSize + strideFor(width, bitCount) * height;
    return size > 0xFFFFFF00LL ? -1 : size;
}

bool writeDib(const QImage &source, QIODevice &out)
{
    const int bitCount = 24;
    const int w = source.width();
    const int h = source.height();
    const qint64 total = encodedDibSize(w, h, bitCount);
    if (source.isNull() || total < 0)
        return false;
    const qint64 stride = strideFor(w, bitCount);
    uchar header[kDibHeaderSize] = {};
    qToLittleEndian<quint32>(kDibHeaderSize, header);
    qToLittleEndian<qint32>(w, header + 4);
    qToLittleEndian<qint32>(h, header + 8); // positive: bottom row first
    qToLittleEndian<quint16>(1, header + 12);
    qToLittleEndian<quint16>(quint16(bitCount), header + 14);
    qToLittleEndian<quint32>(BiRgb, header + 16);
    qToLittleEndian<quint32>(quint32(stride * h), header + 20);
    qToLittleEndian<qint32>(3780, header + 24); // 96 dpi in pixels per metre
    qToLittleEndian<qint32>(3780, header + 28);
    if (out.write(reinterpret_cast<const char *>(header), kDibHeaderSize) != kDibHeaderSize)
        return false;
    // Bands of rows, bottom first, made opaque on white and written as they
    // are made: a large picture is never copied whole.
    constexpr int kBand = 64;
    QByteArray rows;
    for (int bottom = h; bottom > 0; bottom -= kBand) {
        const int top = std::max(0, bottom - kBand);
        QImage band(w, bottom - top, QImage::Format_RGB32);
        if (band.isNull())
            return false;
        if (source.hasAlphaChannel()) {
            band.fill(Qt::white);
            QPainter painter(&band);
            painter.drawImage(QPoint(0, 0), source, QRect(0, top, w, bottom - top));
        } else {
            band = source.copy(0, top, w, bottom - top).convertToFormat(QImage::Format_RGB32);
        }
        rows.resize(qsizetype(stride) * band.height());
        uchar *p = reinterpret_cast<uchar *>(rows.data());
        for (int y = band.height() - 1; y >= 0; --y) {
            const QRgb *line = reinterpret_cast<const QRgb *>(band.constScanLine(y));
            uchar *const rowEnd = p + stride;
            for (int x = 0; x < w; ++x) {
                const QRgb px = line[x];
                *p++ = uchar(qBlue(px));
                *p++ = uchar(qGreen(px));
                *p++ = uchar(qRed(px));
            }
            std::fill(p, rowEnd, uchar(0)); // row padding
            p = rowEnd;
        }
        if (out.write(rows) != rows.size())
            return false;
    }
    return true;
}

} // namespace imaging::metafile::detail
