// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Image files the engine's tests make in code: photo-like pictures, and
// headers that claim a size their data does not hold.

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include "imaging/ImageEngine.h"
#include "imaging/MagickClient.h"
#include "imaging/Startup.h"

namespace enginetest {

// A photo-like test image: gradients plus noise, so no format can cheat
// with flat colour and palette formats get many colours.
inline QImage photoLike(int w, int h, bool alpha = false)
{
    QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QRandomGenerator rng(42);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = int(rng.bounded(24));
            line[x] = qRgba((x * 255 / std::max(1, w - 1) + n) & 0xff,
                            (y * 255 / std::max(1, h - 1) + n) & 0xff, ((x + y) * 3 + n) & 0xff,
                            alpha ? (x * 7 + 40) & 0xff : 255);
        }
    }
    return image;
}

inline QImage blackWhite(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, ((x / 3 + y / 2) % 2) ? 0xffffffff : 0xff000000);
    return image;
}

inline QByteArray encodeQt(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(image);
    return bytes;
}

inline quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xffffffffu;
    for (char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

inline void putBe32(QByteArray &d, qsizetype at, quint32 v)
{
    d[at] = char(v >> 24);
    d[at + 1] = char(v >> 16);
    d[at + 2] = char(v >> 8);
    d[at + 3] = char(v);
}

inline void putLe32(QByteArray &d, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        d[at + i] = char(v >> (8 * i));
}

inline void putBe16(QByteArray &d, qsizetype at, quint32 v)
{
    d[at] = char(v >> 8);
    d[at + 1] = char(v);
}

inline QByteArray pngClaiming(quint32 w, quint32 h)
{
    QByteArray png = encodeQt(photoLike(8, 8), "png");
    putBe32(png, 16, w);
    putBe32(png, 20, h);
    putBe32(png, 29, crc32(png.mid(12, 17)));
    return png;
}

inline QByteArray bmpClaiming(quint32 w, quint32 h)
{
    QByteArray bmp = encodeQt(photoLike(8, 8), "bmp");
    putLe32(bmp, 18, w);
    putLe32(bmp, 22, h);
    return bmp;
}

inline QByteArray jpegClaiming(quint32 w, quint32 h)
{
    QByteArray jpg = encodeQt(photoLike(16, 16), "jpeg");
    const qsizetype sof = jpg.indexOf("\xff\xc0");
    putBe16(jpg, sof + 5, h);
    putBe16(jpg, sof + 7, w);
    return jpg;
}

inline QByteArray gifClaiming(quint32 w, quint32 h)
{
    QByteArray gif("GIF89a", 6);
    gif += char(w & 0xff);
    gif += char(w >> 8);
    gif += char(h & 0xff);
    gif += char(h >> 8);
    gif += QByteArray("\x00\x00\x00"
                      "\x2c\x00\x00\x00\x00",
                      8);
    gif += char(w & 0xff);
    gif += char(w >> 8);
    gif += char(h & 0xff);
    gif += char(h >> 8);
    gif += QByteArray("\x00\x02\x02\x4c\x01\x00\x3b", 7);
    return gif;
}

// A minimal little-endian TIFF whose only directory claims w x h.
inline QByteArray tiffClaiming(quint32 w, quint32 h)
{
    QByteArray t("II*\0\x08\0\0\0", 8);
    const quint16 entries[][2] = {{256, 4}, {257, 4}, {258, 3}, {259, 3}, {262, 3},
                                  {273, 4}, {277, 3}, {278, 4}, {279, 4}};
    const quint32 values[] = {w, h, 8, 1, 1, 200, 1, h, w};
    QByteArray ifd;
    ifd += char(9);
    ifd += char(0);
    for (int i = 0; i < 9; ++i) {
        QByteArray e(12, 0);
        e[0] = char(entries[i][0]);
        e[1] = char(entries[i][0] >> 8);
        e[2] = char(entries[i][1]);
        e[4] = 1;
        putLe32(e, 8, values[i]);
        ifd += e;
    }
    ifd += QByteArray(4, 0);
    return t + ifd + QByteArray(64, '\x55');
}

inline QByteArray psdHeader(quint32 channels, quint32 w, quint32 h, quint16 version = 1)
{
    QByteArray p("8BPS", 4);
    p += QByteArray(22, 0);
    putBe16(p, 4, version);
    putBe16(p, 12, channels);
    putBe32(p, 14, h);
    putBe32(p, 18, w);
    putBe16(p, 22, 8);
    putBe16(p, 24, 3);
    p += QByteArray(12, 0); // empty colour mode, resources, layers
    p += QByteArray(64, '\x11');
    return p;
}

inline QByteArray pcxHeader(quint32 w, quint32 h)
{
    QByteArray p(128, 0);
    p[0] = 0x0a;
    p[1] = 5;
    p[2] = 1;
    p[3] = 8;
    p[8] = char((w - 1) & 0xff);
    p[9] = char((w - 1) >> 8);
    p[10] = char((h - 1) & 0xff);
    p[11] = char((h - 1) >> 8);
    p[65] = 3;
    p[66] = char(w & 0xff);
    p[67] = char(w >> 8);
    return p + QByteArray(100, '\x01');
}

// EXIF APP1 segment with one orientation entry, big-endian.
inline QByteArray jpegWithOrientation(const QImage &image, quint16 orientation)
{
    const QByteArray jpg = encodeQt(image, "jpeg");
    QByteArray exif("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01", 24);
    exif += char(0);
    exif += char(orientation);
    exif += QByteArray(2 + 4, 0);
    QByteArray app1("\xff\xe1", 2);
    app1 += char((exif.size() + 2) >> 8);
    app1 += char((exif.size() + 2) & 0xff);
    return jpg.left(2) + app1 + exif + jpg.mid(2);
}

inline bool samePixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return false;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    for (int row = 0; row < x.height(); ++row)
        if (memcmp(x.constScanLine(row), y.constScanLine(row), size_t(x.width()) * 4) != 0)
            return false;
    return true;
}

inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs ImageMagick's convert; the test is skipped where it is missing.
inline bool magickConvert(const QStringList &args)
{
    return QProcess::execute(QStringLiteral("convert"), args) == 0;
}

// What every engine test class starts from: a scratch folder, the imaging
// limits set, and the helper back to its defaults after each test.
class EngineTest : public QObject
{
    Q_OBJECT

protected:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    bool m_haveMagick = false;

private slots:
    void initTestCase()
    {
        imaging::initializeImaging(imaging::ProgramKind::CommandLine);
        QVERIFY(m_dir.isValid());
        m_haveMagick = !QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty();
    }
    void cleanup() { imaging::magick::setHelperPath({}), imaging::magick::setTimeoutMs(0); }
};

} // namespace enginetest
