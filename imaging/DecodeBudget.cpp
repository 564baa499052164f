// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/DecodeBudget.h"

#include <QByteArrayView>

#include <algorithm>
#include <mutex>

#include "imaging/ImageEngine.h"
#include "imaging/JpegMarkers.h"

// Self-contained (no decoder is linked in), so that the metafile reader and
// its fuzzer can use the budget alone.

namespace imaging {

namespace {

std::mutex g_mutex;
DecodeBudget g_budget;

quint32 be16(const QByteArray &d, qint64 i)
{
    if (i < 0 || i + 1 >= d.size())
        return 0;
    return quint32(quint8(d.at(qsizetype(i)))) << 8 | quint8(d.at(qsizetype(i + 1)));
}

quint32 be32(const QByteArray &d, qint64 i)
{
    return be16(d, i) << 16 | be16(d, i + 2);
}

quint32 le16(const QByteArray &d, qint64 i)
{
    if (i < 0 || i + 1 >= d.size())
        return 0;
    return quint32(quint8(d.at(qsizetype(i)))) | quint32(quint8(d.at(qsizetype(i + 1)))) << 8;
}

quint32 le32(const QByteArray &d, qint64 i)
{
    return le16(d, i) | le16(d, i + 2) << 16;
}

// The size in a JPEG's frame header, invalid when there is none.
QSize jpegSize(const QByteArray &d)
{
    qsizetype pos = 2;
    while (pos + 9 <= d.size() && quint8(d.at(pos)) == 0xff) {
        const quint8 marker = quint8(d.at(pos + 1));
        if (marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc)
            return QSize(int(be16(d, pos + 7)), int(be16(d, pos + 5)));
        if (marker == 0xda || marker == 0xd9)
            break;
        pos += 2 + be16(d, pos + 2);
    }
    return {};
}

QString tooLarge(QSize size)
{
    return QStringLiteral("the image is too large (%1 x %2 pixels)")
        .arg(size.width())
        .arg(size.height());
}

} // namespace

const DecodeBudget &decodeBudget()
{
    // Set once at start-up, before any decode runs; read from every thread.
    return g_budget;
}

void setDecodeBudget(const DecodeBudget &budget)
{
    const std::lock_guard lock(g_mutex);
    g_budget = budget;
}

namespace budget {

qint64 pixelBytes(QSize size, int bitsPerPixel)
{
    const qint64 bytes = bitsPerPixel > 32 ? 8 : 4;
    return qint64(std::max(0, size.width())) * std::max(0, size.height()) * bytes;
}

qint64 jpegCoefficientBytes(const QByteArray &d)
{
    // The frame header gives the size and each component's sampling; a
    // progressive frame, or more than one scan, makes libjpeg keep a
    // coefficient buffer for the whole picture (64 two-byte values a block).
    qsizetype pos = 2;
    while (pos + 4 <= d.size() && quint8(d.at(pos)) == 0xff) {
        const quint8 marker = quint8(d.at(pos + 1));
        if (marker == 0xff) {
            ++pos;
            continue;
        }
        const bool frame =
            marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame) {
            const qint64 height = be16(d, pos + 5);
            const qint64 width = be16(d, pos + 7);
            const int components = pos + 9 < d.size() ? quint8(d.at(pos + 9)) : 0;
            const bool progressive = (marker & 0x03) == 0x02; // C2, C6, CA, CE
            // A baseline file with more than one scan is buffered too. The
            // scan marker never appears inside entropy-coded data.
            const qsizetype firstScan = findJpegMarker(d, 0xda, pos);
            const bool multiScan = firstScan >= 0 && findJpegMarker(d, 0xda, firstScan + 2) >= 0;
            if ((!progressive && !multiScan) || components <= 0)
                return 0;
            int hMax = 1, vMax = 1;
            for (int c = 0; c < components; ++c) {
                const qsizetype at = pos + 10 + 3 * qsizetype(c) + 1;
                if (at >= d.size())
                    return 0;
                hMax = std::max(hMax, quint8(d.at(at)) >> 4);
                vMax = std::max(vMax, quint8(d.at(at)) & 0x0f);
            }
            qint64 bytes = 0;
            for (int c = 0; c < components; ++c) {
                const quint8 sampling = quint8(d.at(pos + 10 + 3 * qsizetype(c) + 1));
                const qint64 h = std::max(1, sampling >> 4), v = std::max(1, sampling & 0x0f);
                const qint64 blocksWide = (width * h / hMax + 7) / 8;
                const qint64 blocksHigh = (height * v / vMax + 7) / 8;
                bytes += blocksWide * blocksHigh * 128;
            }
            return bytes;
        }
        if (marker == 0xda || marker == 0xd9)
            return 0;
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) {
            pos += 2;
            continue;
        }
        pos += 2 + be16(d, pos + 2);
    }
    return 0;
}

QList<QSize> iconEntrySizes(const QByteArray &d)
{
    QList<QSize> sizes;
    const int count = int(le16(d, 4));
    for (int i = 0; i < count && 6 + 16 * qint64(i + 1) <= d.size(); ++i) {
        const qint64 entry = 6 + 16 * qint64(i);
        const qint64 offset = le32(d, qsizetype(entry + 12));
        QSize size;
        if (offset + 24 <= d.size() && d.mid(qsizetype(offset), 8) == "\x89PNG\r\n\x1a\n") {
            size = QSize(int(std::min<quint32>(be32(d, offset + 16), INT_MAX)),
                         int(std::min<quint32>(be32(d, offset + 20), INT_MAX)));
        } else if (offset + 16 <= d.size()) {
            const quint32 header = le32(d, qsizetype(offset));
            if (header == 12) {
                size = QSize(int(le16(d, qsizetype(offset + 4))),
                             int(le16(d, qsizetype(offset + 6)) / 2));
            } else if (header >= 40) {
                const qint64 w = qint32(le32(d, qsizetype(offset + 4)));
                const qint64 h = qint32(le32(d, qsizetype(offset + 8)));
                size = QSize(int(std::min<qint64>(std::abs(w), INT_MAX)),
                             int(std::min<qint64>(std::abs(h) / 2, INT_MAX)));
            }
        }
        sizes.append(size);
    }
    return sizes;
}

bool pngChunksFit(const QByteArray &d)
{
    qint64 pos = 8;
    while (pos + 8 <= d.size()) {
        const qint64 length = be32(d, pos);
        if (length > 0x7fffffff || pos + 12 + length > d.size())
            return false;
        if (d.mid(qsizetype(pos + 4), 4) == "IEND")
            return true;
        pos += 12 + length;
    }
    return true; // a file cut between chunks: the reader tells
}

QString check(const char *qtFormat, const QByteArray &data, int page)
{
    const QByteArrayView format(qtFormat);
    const DecodeBudget &b = decodeBudget();
    if (format == "png" && !pngChunksFit(data))
        return data.lastIndexOf("IEND") >= 0 ? QStringLiteral("the file is damaged")
                                             : QStringLiteral("the file is truncated");
    if (format == "jpeg" && jpegCoefficientBytes(data) > b.memoryBytes)
        return tooLarge(jpegSize(data));
    if (format == "ico") {
        const QList<QSize> sizes = iconEntrySizes(data);
        if (page >= 0 && page < sizes.size() && sizes.at(page).isValid()) {
            const QSize size = sizes.at(page);
            if (size.width() > kMaxImageSide || size.height() > kMaxImageSide ||
                pixelBytes(size, 32) > b.memoryBytes)
                return tooLarge(size);
        }
    }
    return {};
}

int timeAllowedMs(qint64 pixels)
{
    const DecodeBudget &b = decodeBudget();
    const qint64 extra = std::max<qint64>(0, pixels) / 1'000'000 * b.timeMsPerMegapixel;
    return int(std::min<qint64>(b.baseTimeMs + extra, 600'000));
}

} // namespace budget

} // namespace imaging
