// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/FormatDetection.h"

#include <QByteArray>

#include <cstring>

#include "core/Formats.h"

namespace imaging {

using namespace core;

namespace {

quint8 byteAt(const QByteArray &d, qsizetype i)
{
    return i < d.size() ? quint8(d.at(i)) : 0;
}

quint32 le16(const QByteArray &d, qsizetype i)
{
    return quint32(byteAt(d, i)) | quint32(byteAt(d, i + 1)) << 8;
}

quint32 le32(const QByteArray &d, qsizetype i)
{
    return le16(d, i) | le16(d, i + 2) << 16;
}

bool startsWith(const QByteArray &d, const char *magic, qsizetype length, qsizetype at = 0)
{
    return d.size() >= at + length && memcmp(d.constData() + at, magic, size_t(length)) == 0;
}

// Type 0 WBMP: two zero bytes, width and height as base-128 numbers, then
// exactly one bit per pixel with rows padded to a byte. The weak header is
// only believed when the length matches.
bool looksLikeWbmp(const QByteArray &d)
{
    if (byteAt(d, 0) != 0 || byteAt(d, 1) != 0 || d.size() < 4)
        return false;
    qsizetype pos = 2;
    quint64 side[2] = {0, 0};
    for (quint64 &value : side) {
        int bytes = 0;
        for (;;) {
            if (pos >= d.size() || ++bytes > 4)
                return false;
            const quint8 b = byteAt(d, pos++);
            value = value << 7 | (b & 0x7f);
            if (!(b & 0x80))
                break;
        }
        if (value == 0)
            return false;
    }
    const quint64 expected = quint64(pos) + (side[0] + 7) / 8 * side[1];
    return quint64(d.size()) == expected;
}

bool looksLikeTga(const QByteArray &d)
{
    if (d.size() < 18)
        return false;
    const quint8 colorMapType = byteAt(d, 1);
    const quint8 imageType = byteAt(d, 2);
    const quint8 depth = byteAt(d, 16);
    if (colorMapType > 1)
        return false;
    switch (imageType) {
    case 1:
    case 9: // colour-mapped
        if (colorMapType != 1 || (depth != 8 && depth != 16))
            return false;
        {
            const quint8 entryBits = byteAt(d, 7);
            if (entryBits != 15 && entryBits != 16 && entryBits != 24 && entryBits != 32)
                return false;
        }
        break;
    case 2:
    case 10: // true colour
        if (depth != 15 && depth != 16 && depth != 24 && depth != 32)
            return false;
        break;
    case 3:
    case 11: // grey
        if (depth != 8 && depth != 16)
            return false;
        break;
    default:
        return false;
    }
    return le16(d, 12) > 0 && le16(d, 14) > 0;
}

bool hasTgaFooter(const QByteArray &d)
{
    static const char footer[] = "TRUEVISION-XFILE.";
    return d.size() >= 44 && startsWith(d, footer, 18, d.size() - 18);
}

// A device-independent bitmap without the "BM" file header: it starts with
// the size of its info header.
bool looksLikeDib(const QByteArray &d)
{
    const quint32 headerSize = le32(d, 0);
    if (headerSize == 12)
        return d.size() > 26 && le16(d, 8) == 1 && le16(d, 10) >= 1 && le16(d, 10) <= 32;
    if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 64 &&
        headerSize != 108 && headerSize != 124)
        return false;
    const quint32 bits = le16(d, 14);
    return d.size() > qsizetype(headerSize) && le16(d, 12) == 1 &&
           (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32) &&
           le32(d, 16) <= 6;
}

bool looksLikePcx(const QByteArray &d)
{
    const quint8 version = byteAt(d, 1);
    const quint8 bits = byteAt(d, 3);
    return d.size() >= 128 && byteAt(d, 0) == 0x0a &&
           (version == 0 || version == 2 || version == 3 || version == 4 || version == 5) &&
           byteAt(d, 2) <= 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8) &&
           le16(d, 8) >= le16(d, 4) && le16(d, 10) >= le16(d, 6);
}

} // namespace

int detectFormat(const QByteArray &d, const QString &extension)
{
    if (startsWith(d, "\xff\xd8\xff", 3))
        return FormatJPG;
    if (startsWith(d, "\x89PNG\r\n\x1a\n", 8))
        return FormatPNG;
    if (startsWith(d, "GIF87a", 6) || startsWith(d, "GIF89a", 6))
        return FormatGIF;
    if (startsWith(d, "II*\0", 4) || startsWith(d, "MM\0*", 4) || startsWith(d, "II+\0", 4) ||
        startsWith(d, "MM\0+", 4))
        return FormatTIF;
    if (startsWith(d, "8BPS", 4) && (le16(d, 4) == 0x100 || le16(d, 4) == 0x200))
        return FormatPSD;
    if (startsWith(d, "BM", 2) && d.size() >= 26)
        return FormatBMP;
    if (startsWith(d, "\0\0\1\0", 4) && le16(d, 4) > 0)
        return FormatICO;
    if (startsWith(d, "\0\0\2\0", 4) && le16(d, 4) > 0)
        return FormatCUR;
    if (startsWith(d, "\xd7\xcd\xc6\x9a", 4) ||
        ((startsWith(d, "\1\0\x09\0", 4) || startsWith(d, "\2\0\x09\0", 4)) &&
         (le16(d, 4) == 0x100 || le16(d, 4) == 0x300)))
        return FormatWMF;
    if (le32(d, 0) == 1 && startsWith(d, " EMF", 4, 40))
        return FormatEMF;
    if (startsWith(d, "PCD_IPI", 7, 2048) || startsWith(d, "PCD_OPA", 7))
        return FormatPCD;
    if (looksLikePcx(d))
        return FormatPCX;
    if (looksLikeWbmp(d))
        return FormatWBMP;

    // Weak headers: the extension decides first, then the TGA footer.
    const QString ext = extension.toLower();
    const bool tga = looksLikeTga(d);
    const bool dib = looksLikeDib(d);
    if (ext == QLatin1String("dib") && dib)
        return FormatDIB;
    if ((ext == QLatin1String("tga") || hasTgaFooter(d)) && tga)
        return FormatTGA;
    if (dib)
        return FormatDIB;
    if (tga)
        return FormatTGA;
    return FormatUnknown;
}

} // namespace imaging
