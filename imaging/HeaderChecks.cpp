// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/HeaderChecks.h"

#include <QByteArrayView>

#include <algorithm>

#include "imaging/Codecs.h"
#include "imaging/JpegMarkers.h"

namespace imaging::codecs {

quint32 le16(const QByteArray &d, qsizetype i)
{
    if (i < 0 || i + 1 >= d.size())
        return 0;
    return quint32(quint8(d.at(i))) | quint32(quint8(d.at(i + 1))) << 8;
}

quint32 le32(const QByteArray &d, qsizetype i)
{
    return le16(d, i) | le16(d, i + 2) << 16;
}

// TGA files Qt reads itself: uncompressed true colour of 24 or 32 bits with
// the version 2 footer.
bool qtReadsTga(const QByteArray &data)
{
    if (data.size() < 44 || !data.endsWith(QByteArrayView("TRUEVISION-XFILE.\0", 18)))
        return false;
    const quint8 colourMapType = quint8(data.at(1));
    const quint8 imageType = quint8(data.at(2));
    const quint8 depth = quint8(data.at(16));
    return colourMapType == 0 && imageType == 2 && (depth == 24 || depth == 32);
}

namespace {

// GIF: walk the blocks; a file that ends inside a block was cut short (one
// that ends between blocks without the trailer still has whole frames).
bool gifIsComplete(const QByteArray &d)
{
    const qsizetype size = d.size();
    if (size < 13)
        return false;
    qsizetype pos = 13;
    const quint8 flags = quint8(d.at(10));
    if (flags & 0x80)
        pos += 3 * (qsizetype(2) << (flags & 7));
    const auto skipSubBlocks = [&]() {
        while (pos < size) {
            const quint8 length = quint8(d.at(pos++));
            if (length == 0)
                return true;
            pos += length;
        }
        return false;
    };
    while (pos < size) {
        const quint8 block = quint8(d.at(pos++));
        if (block == 0x3b)
            return true;
        if (block == 0x21) {
            if (++pos > size || !skipSubBlocks())
                return false;
        } else if (block == 0x2c) {
            if (pos + 9 > size)
                return false;
            const quint8 local = quint8(d.at(pos + 8));
            pos += 9;
            if (local & 0x80)
                pos += 3 * (qsizetype(2) << (local & 7));
            if (++pos > size || !skipSubBlocks()) // LZW code size, then the data
                return false;
        } else {
            return true; // stray bytes after the last frame
        }
    }
    return pos == size;
}

// BMP: an uncompressed bitmap must hold all its rows.
bool bmpIsComplete(const QByteArray &d)
{
    const quint32 headerSize = le32(d, 14);
    const quint32 offset = le32(d, 10);
    qint64 width = 0, height = 0;
    quint32 bits = 0, compression = 0;
    if (headerSize == 12) {
        width = le16(d, 18);
        height = le16(d, 20);
        bits = le16(d, 24);
    } else {
        width = qint32(le32(d, 18));
        height = qint32(le32(d, 22));
        bits = le16(d, 28);
        compression = le32(d, 30);
    }
    if (compression != 0 && compression != 3 && compression != 6)
        return true; // run-length and embedded formats: the reader checks
    height = height < 0 ? -height : height;
    if (width <= 0 || height <= 0 || bits == 0)
        return true;
    const qint64 stride = (width * bits + 31) / 32 * 4;
    const qint64 needed = qint64(offset) + stride * (height - 1) + (width * bits + 7) / 8;
    return d.size() >= needed;
}

} // namespace

quint32 be16(const QByteArray &d, qsizetype i)
{
    if (i < 0 || i + 1 >= d.size())
        return 0;
    return quint32(quint8(d.at(i))) << 8 | quint32(quint8(d.at(i + 1)));
}

// The size a file's header claims, read before any decoder runs, so that an
// absurd size is refused by name whatever the decoder would make of it.
// Invalid when unknown.
QSize claimedSize(const char *qtFormat, const QByteArray &d)
{
    const QByteArrayView f(qtFormat);
    const auto size = [](qint64 w, qint64 h) {
        w = std::abs(w);
        h = std::abs(h);
        return QSize(int(std::min<qint64>(w, INT_MAX)), int(std::min<qint64>(h, INT_MAX)));
    };
    if (f == "png" && d.size() >= 24)
        return size(qint64(be16(d, 16)) << 16 | be16(d, 18),
                    qint64(be16(d, 20)) << 16 | be16(d, 22));
    if (f == "bmp" && d.size() >= 26) {
        if (le32(d, 14) == 12)
            return size(le16(d, 18), le16(d, 20));
        return size(qint32(le32(d, 18)), qint32(le32(d, 22)));
    }
    if (f == "gif" && d.size() >= 10)
        return size(le16(d, 6), le16(d, 8));
    if (f == "jpeg") {
        qsizetype pos = 2;
        while (pos + 9 <= d.size() && quint8(d.at(pos)) == 0xff) {
            const quint8 marker = quint8(d.at(pos + 1));
            if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 &&
                marker != 0xcc)
                return size(be16(d, pos + 7), be16(d, pos + 5));
            if (marker == 0xda || marker == 0xd9)
                break;
            pos += 2 + be16(d, pos + 2);
        }
    }
    return {};
}

// Bits per pixel as the file stores them (first image), 0 when unknown.
int headerBitsPerPixel(const char *qtFormat, const QByteArray &d)
{
    const QByteArrayView f(qtFormat);
    if (f == "gif")
        return d.size() > 10 && (quint8(d.at(10)) & 0x80) ? (quint8(d.at(10)) & 7) + 1 : 0;
    if (f == "png" && d.size() >= 26) {
        const int depth = quint8(d.at(24));
        switch (quint8(d.at(25))) {
        case 0:
        case 3:
            return depth;
        case 2:
            return 3 * depth;
        case 4:
            return 2 * depth;
        case 6:
            return 4 * depth;
        default:
            return 0;
        }
    }
    if (f == "bmp" && d.size() >= 30)
        return int(le32(d, 14) == 12 ? le16(d, 24) : le16(d, 28));
    if (f == "jpeg") {
        qsizetype pos = 2;
        while (pos + 10 <= d.size() && quint8(d.at(pos)) == 0xff) {
            const quint8 marker = quint8(d.at(pos + 1));
            if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 &&
                marker != 0xcc)
                return quint8(d.at(pos + 4)) * quint8(d.at(pos + 9)); // precision x components
            if (marker == 0xda || marker == 0xd9)
                break;
            pos += 2 + be16(d, pos + 2);
        }
        return 0;
    }
    if (f == "tiff") {
        const bool little = d.startsWith("II*");
        if (!little && !d.startsWith("MM\0*"))
            return 0;
        const auto u16 = [&](qint64 at) {
            return little ? le16(d, qsizetype(at)) : be16(d, qsizetype(at));
        };
        const auto u32 = [&](qint64 at) {
            return little ? le32(d, qsizetype(at))
                          : (be16(d, qsizetype(at)) << 16 | be16(d, qsizetype(at + 2)));
        };
        const qint64 ifd = u32(4);
        if (ifd <= 0 || ifd + 2 > d.size())
            return 0;
        const qint64 entries = u16(ifd);
        quint32 bits = 1, samples = 1;
        for (qint64 i = 0; i < entries && ifd + 2 + 12 * (i + 1) <= d.size(); ++i) {
            const qint64 e = ifd + 2 + 12 * i;
            const quint32 tag = u16(e), count = u32(e + 4);
            if (tag == 258) // bits per sample: inline for up to two values, else at an offset
                bits = count <= 2 ? u16(e + 8) : u16(u32(e + 8));
            else if (tag == 277)
                samples = u16(e + 8);
        }
        return bits > 0 && bits <= 64 && samples > 0 && samples <= 8 ? int(bits * samples) : 0;
    }
    return 0;
}

// Pages of a classic TIFF: the length of its directory chain (Qt's count is
// unreliable when reading from memory). 0 when unknown.
int tiffPageCount(const QByteArray &d)
{
    const bool little = d.startsWith("II*");
    if (!little && !d.startsWith("MM\0*"))
        return 0;
    const auto u16 = [&](qint64 at) {
        return little ? le16(d, qsizetype(at)) : be16(d, qsizetype(at));
    };
    const auto u32 = [&](qint64 at) {
        return little ? le32(d, qsizetype(at))
                      : (be16(d, qsizetype(at)) << 16 | be16(d, qsizetype(at + 2)));
    };
    qint64 offset = u32(4);
    int pages = 0;
    while (offset > 0 && offset + 2 <= d.size() && pages < 4096) {
        ++pages;
        const qint64 next = offset + 2 + 12 * qint64(u16(offset));
        if (next + 4 > d.size())
            break;
        const qint64 following = u32(next);
        if (following <= offset) // a loop or a backwards chain: stop
            break;
        offset = following;
    }
    return pages;
}

// PSD: Magick reads a file cut short in its merged image data without a
// word, so the sections and the raw or run-length pixel data are measured
// here first.
bool psdIsComplete(const QByteArray &d)
{
    const qint64 size = d.size();
    const auto u32 = [&](qint64 at) {
        return qint64(be16(d, qsizetype(at))) << 16 | be16(d, qsizetype(at + 2));
    };
    if (size < 26)
        return false;
    const bool big = be16(d, 4) == 2;
    const qint64 channels = be16(d, 12), rows = u32(14), columns = u32(18), depth = be16(d, 22);
    qint64 pos = 26;
    for (int section = 0; section < 3; ++section) {
        if (pos + 4 > size)
            return false;
        qint64 length = u32(pos);
        pos += 4;
        if (section == 2 && big) { // 64-bit length in the large format
            if (pos + 4 > size)
                return false;
            length = length << 32 | u32(pos);
            pos += 4;
        }
        // A 64-bit length with its top bit set reads as negative.
        if (length < 0 || length > size)
            return false;
        pos += length;
    }
    if (pos + 2 > size)
        return false;
    const quint32 compression = be16(d, qsizetype(pos));
    pos += 2;
    if (channels == 0 || rows == 0 || columns == 0 || channels > 56 || rows > kMaxImageSide ||
        columns > kMaxImageSide)
        return true; // refused on its own merits by the decoder
    const qint64 lines = channels * rows;
    if (compression == 0) {
        const qint64 lineBytes =
            depth == 1 ? (columns + 7) / 8 : columns * std::max<qint64>(1, depth / 8);
        return pos + lines * lineBytes <= size;
    }
    if (compression == 1) {
        const qint64 countBytes = big ? 4 : 2;
        if (pos + lines * countBytes > size)
            return false;
        qint64 total = 0;
        for (qint64 i = 0; i < lines; ++i)
            total += big ? u32(pos + i * 4) : be16(d, qsizetype(pos + i * 2));
        return pos + lines * countBytes + total <= size;
    }
    return true; // zip-compressed: the decoder finds out
}

bool isComplete(const char *qtFormat, const QByteArray &data)
{
    const QByteArrayView f(qtFormat);
    if (f == "jpeg")
        return jpegIsComplete(data);
    if (f == "gif")
        return gifIsComplete(data);
    if (f == "bmp")
        return bmpIsComplete(data);
    if (f == "png")
        return data.lastIndexOf("IEND") >= 0;
    return true;
}

bool jpegIsComplete(const QByteArray &data)
{
    // Walk the marker segments up to the first scan, then look for the end
    // marker in the entropy-coded data, where 0xFF is always stuffed, so an
    // EOI inside an embedded thumbnail is skipped with its segment.
    qsizetype pos = 2;
    const qsizetype size = data.size();
    while (pos + 4 <= size) {
        if (quint8(data.at(pos)) != 0xff)
            return false;
        const quint8 marker = quint8(data.at(pos + 1));
        if (marker == 0xff) {
            ++pos;
            continue;
        }
        if (marker == 0xd9)
            return false; // end before any scan
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7)) {
            pos += 2;
            continue;
        }
        const qsizetype length =
            qsizetype(quint8(data.at(pos + 2))) << 8 | quint8(data.at(pos + 3));
        if (marker == 0xda)
            return findJpegMarker(data, 0xd9, pos + 2 + length) >= 0;
        pos += 2 + length;
    }
    return false;
}

} // namespace imaging::codecs
