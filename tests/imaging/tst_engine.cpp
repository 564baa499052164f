// SPDX-License-Identifier: GPL-3.0-or-later
// The imaging engine's formats: reading by content, pages, orientation,
// reduced-size decoding, damaged input, saving and the helper process.

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <QtConcurrent>

#include "support/TestSupport.h"
#include "imaging/Codecs.h"
#include "imaging/ImageEngine.h"
#include "imaging/MagickClient.h"

using namespace imaging;

namespace {

// A photo-like test image: gradients plus noise, so no format can cheat
// with flat colour and palette formats get many colours.
QImage photoLike(int w, int h, bool alpha = false)
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

QImage blackWhite(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, ((x / 3 + y / 2) % 2) ? 0xffffffff : 0xff000000);
    return image;
}

QByteArray encodeQt(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.write(image);
    return bytes;
}

quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xffffffffu;
    for (char c : data) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void putBe32(QByteArray &d, qsizetype at, quint32 v)
{
    d[at] = char(v >> 24);
    d[at + 1] = char(v >> 16);
    d[at + 2] = char(v >> 8);
    d[at + 3] = char(v);
}

void putLe32(QByteArray &d, qsizetype at, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        d[at + i] = char(v >> (8 * i));
}

void putBe16(QByteArray &d, qsizetype at, quint32 v)
{
    d[at] = char(v >> 8);
    d[at + 1] = char(v);
}

QByteArray pngClaiming(quint32 w, quint32 h)
{
    QByteArray png = encodeQt(photoLike(8, 8), "png");
    putBe32(png, 16, w);
    putBe32(png, 20, h);
    putBe32(png, 29, crc32(png.mid(12, 17)));
    return png;
}

QByteArray bmpClaiming(quint32 w, quint32 h)
{
    QByteArray bmp = encodeQt(photoLike(8, 8), "bmp");
    putLe32(bmp, 18, w);
    putLe32(bmp, 22, h);
    return bmp;
}

QByteArray jpegClaiming(quint32 w, quint32 h)
{
    QByteArray jpg = encodeQt(photoLike(16, 16), "jpeg");
    const qsizetype sof = jpg.indexOf("\xff\xc0");
    putBe16(jpg, sof + 5, h);
    putBe16(jpg, sof + 7, w);
    return jpg;
}

QByteArray gifClaiming(quint32 w, quint32 h)
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
QByteArray tiffClaiming(quint32 w, quint32 h)
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

QByteArray psdHeader(quint32 channels, quint32 w, quint32 h, quint16 version = 1)
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

QByteArray pcxHeader(quint32 w, quint32 h)
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
QByteArray jpegWithOrientation(const QImage &image, quint16 orientation)
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

bool samePixels(const QImage &a, const QImage &b)
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

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs ImageMagick's convert; the test is skipped where it is missing.
bool magickConvert(const QStringList &args)
{
    return QProcess::execute(QStringLiteral("convert"), args) == 0;
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    bool m_haveMagick = false;

private slots:
    void initTestCase()
    {
        initializeImaging();
        QVERIFY(m_dir.isValid());
        m_haveMagick = !QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty();
    }
    void cleanup() { magick::setHelperPath({}), magick::setTimeoutMs(0); }

    void readsByContent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("format");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("bits");

        const QImage photo = photoLike(33, 21);
        QTest::newRow("jpeg") << "a.jpg" << encodeQt(photo, "jpeg") << int(core::FormatJPG)
                              << QSize(33, 21) << 24;
        QTest::newRow("png named jpg")
            << "b.jpg" << encodeQt(photo, "png") << int(core::FormatPNG) << QSize(33, 21) << 24;
        QTest::newRow("png with alpha") << "c.png" << encodeQt(photoLike(5, 7, true), "png")
                                        << int(core::FormatPNG) << QSize(5, 7) << 32;
        QTest::newRow("bmp named tif")
            << "d.tif" << encodeQt(photo, "bmp") << int(core::FormatBMP) << QSize(33, 21) << 24;
        QTest::newRow("tiff") << "e.tif" << encodeQt(photo, "tiff") << int(core::FormatTIF)
                              << QSize(33, 21) << 24;
        QTest::newRow("grey jpeg")
            << "f.jpg" << encodeQt(photo.convertToFormat(QImage::Format_Grayscale8), "jpeg")
            << int(core::FormatJPG) << QSize(33, 21) << 8;
        QTest::newRow("wbmp") << "g.wbmp"
                              << encodeQt(blackWhite(19, 5).convertToFormat(QImage::Format_Mono),
                                          "wbmp")
                              << int(core::FormatWBMP) << QSize(19, 5) << 1;
        QTest::newRow("wbmp named png")
            << "h.png" << encodeQt(blackWhite(19, 5).convertToFormat(QImage::Format_Mono), "wbmp")
            << int(core::FormatWBMP) << QSize(19, 5) << 1;
        const QByteArray ico = encodeQt(photoLike(16, 16, true), "ico");
        QTest::newRow("ico") << "i.ico" << ico << int(core::FormatICO) << QSize(16, 16) << 32;
        QByteArray cur = ico;
        cur[2] = 2;
        QTest::newRow("cur") << "j.cur" << cur << int(core::FormatCUR) << QSize(16, 16) << 32;
        const QByteArray bmp = encodeQt(photo, "bmp");
        QTest::newRow("bmp named dib") << "k.dib" << bmp << int(core::FormatBMP) << QSize(33, 21) << 24;
        QTest::newRow("headerless dib")
            << "l.dib" << bmp.mid(14) << int(core::FormatDIB) << QSize(33, 21) << 24;
        const QByteArray indexed = encodeQt(photo.convertToFormat(QImage::Format_Indexed8), "bmp");
        QTest::newRow("headerless 8-bit dib")
            << "m.dib" << indexed.mid(14) << int(core::FormatDIB) << QSize(33, 21) << 8;
    }
    void readsByContent()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(int, format);
        QFETCH(QSize, size);
        QFETCH(int, bits);
        QVERIFY(writeFile(path(name), data));
        const Decoded d = decodeFile(path(name));
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.formatCode, format);
        QCOMPARE(d.pages.first().size(), size);
        QCOMPARE(d.originalSize, size);
        QCOMPARE(d.bitsPerPixel, bits);
        QCOMPARE(d.pageCount, 1);
    }

    void headerlessDibMatchesBmp()
    {
        const QImage photo = photoLike(13, 9);
        const QByteArray bmp = encodeQt(photo, "bmp");
        QVERIFY(writeFile(path("p.dib"), bmp.mid(14)));
        const Decoded d = decodeFile(path("p.dib"));
        QVERIFY2(d.ok(), qPrintable(d.error));
        QVERIFY(samePixels(d.pages.first(), photo));
    }

    // The picture loader reads icons, cursors and .dib files by content: a
    // .dib is a whole BMP file as often as a bare bitmap.
    void pictureLoaderReadsByContent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray bmp = encodeQt(photoLike(13, 9), "bmp");
        QTest::newRow("BMP file named .dib") << "whole.dib" << bmp;
        QTest::newRow("bare bitmap .dib") << "bare.dib" << bmp.mid(14);
        QTest::newRow("icon") << "x.ico" << encodeQt(photoLike(13, 9, true), "ico");
        QTest::newRow("PNG named .cur") << "x.cur" << encodeQt(photoLike(13, 9), "png");
    }
    void pictureLoaderReadsByContent()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QVERIFY(writeFile(path(name), bytes));
        QString error;
        const QImage picture = loadPicture(path(name), &error);
        QVERIFY2(!picture.isNull(), qPrintable(error));
        QCOMPARE(picture.size(), QSize(13, 9));
    }

    // A pipe named like an image fails at once instead of blocking the reader.
    void pipeFailsWithoutBlocking()
    {
        const QString fifo = path("pipe.ico");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QString error;
        QVERIFY(loadPicture(fifo, &error).isNull());
        QCOMPARE(error, QStringLiteral("Cannot read pipe.ico: it is not a regular file"));
        QVERIFY(!decodeFile(fifo).ok());
    }

    // Formats made by ImageMagick: the TGA kinds Qt cannot read, PSD, PCX,
    // GIF animations, multi-page TIFF and ICO with several sizes.
    void readsMagickMadeFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("convertArgs");
        QTest::addColumn<int>("format");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("exact");

        const QString src = QStringLiteral("SRC");
        QTest::newRow("tga rle") << "rle.tga" << QStringList{src, "-compress", "RLE"}
                                 << int(core::FormatTGA) << QSize(40, 30) << 1 << true;
        QTest::newRow("tga raw") << "raw.tga" << QStringList{src, "-compress", "none"}
                                 << int(core::FormatTGA) << QSize(40, 30) << 1 << true;
        QTest::newRow("tga raw with footer named jpg")
            << "raw2.jpg"
            << QStringList{src, "-compress", "none", "-define", "tga:version=2", "TGA:"}
            << int(core::FormatTGA) << QSize(40, 30) << 1 << true;
        QTest::newRow("tga colour-mapped")
            << "map.tga"
            << QStringList{src, "-colors", "16", "-type", "Palette", "-compress", "none"}
            << int(core::FormatTGA) << QSize(40, 30) << 1 << false;
        QTest::newRow("tga colour-mapped rle")
            << "maprle.tga"
            << QStringList{src, "-colors", "16", "-type", "Palette", "-compress", "RLE"}
            << int(core::FormatTGA) << QSize(40, 30) << 1 << false;
        QTest::newRow("tga grey") << "grey.tga"
                                  << QStringList{src, "-colorspace", "Gray", "-compress", "none"}
                                  << int(core::FormatTGA) << QSize(40, 30) << 1 << false;
        QTest::newRow("tga grey rle")
            << "greyrle.tga" << QStringList{src, "-colorspace", "Gray", "-compress", "RLE"}
            << int(core::FormatTGA) << QSize(40, 30) << 1 << false;
        QTest::newRow("psd") << "a.psd" << QStringList{src} << int(core::FormatPSD) << QSize(40, 30) << 1
                             << true;
        QTest::newRow("psd named png") << "psd.png" << QStringList{src, "PSD:"} << int(core::FormatPSD)
                                       << QSize(40, 30) << 1 << true;
        QTest::newRow("pcx") << "a.pcx" << QStringList{src} << int(core::FormatPCX) << QSize(40, 30) << 1
                             << true;
        QTest::newRow("pcx 8-bit")
            << "b.pcx" << QStringList{src, "-colors", "200", "-type", "Palette"} << int(core::FormatPCX)
            << QSize(40, 30) << 1 << false;
        QTest::newRow("gif animation") << "anim.gif" << QStringList{src, src, "-rotate", "180", src}
                                       << int(core::FormatGIF) << QSize(40, 30) << 3 << false;
        QTest::newRow("tiff pages")
            << "pages.tif" << QStringList{src, "(", src, "-resize", "20x15!", ")"} << int(core::FormatTIF)
            << QSize(40, 30) << 2 << true;
        QTest::newRow("pcd") << "a.pcd" << QStringList{src} << int(core::FormatPCD) << QSize(768, 512)
                             << 1 << false;
        QTest::newRow("ico sizes")
            << "sizes.ico"
            << QStringList{src, "-resize", "32x32!", "-define", "icon:auto-resize=32,16"}
            << int(core::FormatICO) << QSize(32, 32) << 2 << false;
    }
    void readsMagickMadeFiles()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, convertArgs);
        QFETCH(int, format);
        QFETCH(QSize, size);
        QFETCH(int, pages);
        QFETCH(bool, exact);
        if (!m_haveMagick)
            QSKIP("ImageMagick's convert is not installed");
        const QImage source = photoLike(40, 30);
        QVERIFY(source.save(path("src.png")));
        QStringList args = convertArgs;
        args.replaceInStrings(QStringLiteral("SRC"), path("src.png"));
        if (args.last().endsWith(QLatin1Char(':')))
            args.last() += path(name);
        else
            args << path(name);
        QVERIFY(magickConvert(args));

        DecodeOptions all;
        all.allPages = true;
        const Decoded d = decodeFile(path(name), all);
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.formatCode, format);
        QCOMPARE(d.originalSize, size);
        QCOMPARE(d.pageCount, pages);
        QCOMPARE(d.pages.size(), pages);
        if (exact)
            QVERIFY(samePixels(d.pages.first(), source));

        ImageEngine engine;
        engine.loadFile(path(name));
        QCOMPARE(engine.pageCount(), pages);
        QCOMPARE(engine.formatCode(), format);
        if (pages > 1) {
            engine.selectPage(pages - 1);
            QCOMPARE(engine.width(), engine.pageSize(pages - 1).width());
        }
    }

    // Files made by other programs, compared with what ImageMagick decodes.
    void readsRealFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("format");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("exact");
        QTest::newRow("tga") << "yellow.tga" << int(core::FormatTGA) << QSize(32, 32) << 32 << true;
        QTest::newRow("pcx") << "green.pcx" << int(core::FormatPCX) << QSize(32, 32) << 24 << true;
        QTest::newRow("tif palette")
            << "turquoise.tif" << int(core::FormatTIF) << QSize(32, 32) << 4 << true;
        QTest::newRow("tiff") << "python.tiff" << int(core::FormatTIF) << QSize(16, 16) << 32 << true;
        QTest::newRow("bmp 4-bit")
            << "liquid.bmp" << int(core::FormatBMP) << QSize(172, 132) << 4 << true;
        QTest::newRow("bmp 3 colours")
            << "asprite.bmp" << int(core::FormatBMP) << QSize(32, 32) << 4 << true;
        QTest::newRow("gif") << "explosion1.gif" << int(core::FormatGIF) << QSize(90, 90) << 8 << true;
        QTest::newRow("gif 64 colours")
            << "python.gif" << int(core::FormatGIF) << QSize(16, 16) << 6 << true;
        QTest::newRow("png palette")
            << "python.png" << int(core::FormatPNG) << QSize(16, 16) << 8 << true;
        QTest::newRow("jpeg") << "alien1.jpg" << int(core::FormatJPG) << QSize(80, 71) << 24 << false;
        QTest::newRow("jpeg without jfif")
            << "python-raw.jpg" << int(core::FormatJPG) << QSize(16, 16) << 24 << false;
    }
    void readsRealFiles()
    {
        QFETCH(QString, file);
        QFETCH(int, format);
        QFETCH(QSize, size);
        QFETCH(int, bits);
        QFETCH(bool, exact);
        const QString source = qEnvironmentVariable("PICTAVO_SOURCE_DIR",
                                                    QStringLiteral(PICTAVO_SOURCE_DIR_FALLBACK)) +
                               QStringLiteral("/tests/imaging/corpus/real/") + file;
        QVERIFY2(QFile::exists(source), qPrintable(source));
        const Decoded d = decodeFile(source);
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.formatCode, format);
        QCOMPARE(d.originalSize, size);
        QCOMPARE(d.bitsPerPixel, bits);
        if (!exact || !m_haveMagick)
            return;
        QProcess convert;
        convert.start(QStringLiteral("convert"),
                      {source + QStringLiteral("[0]"), QStringLiteral("-depth"),
                       QStringLiteral("8"), QStringLiteral("RGBA:-")});
        QVERIFY(convert.waitForFinished(20000));
        const QByteArray rgba = convert.readAllStandardOutput();
        QCOMPARE(rgba.size(), qsizetype(size.width()) * size.height() * 4);
        const QImage theirs = QImage(reinterpret_cast<const uchar *>(rgba.constData()),
                                     size.width(), size.height(), QImage::Format_RGBA8888)
                                  .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QVERIFY(samePixels(d.pages.first().convertToFormat(QImage::Format_ARGB32_Premultiplied),
                           theirs));
    }

    void appliesExifOrientation_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("size");
        QTest::newRow("normal") << 1 << QSize(40, 20);
        QTest::newRow("upside down") << 3 << QSize(40, 20);
        QTest::newRow("turned right") << 6 << QSize(20, 40);
        QTest::newRow("turned left") << 8 << QSize(20, 40);
    }
    void appliesExifOrientation()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, size);
        QVERIFY(writeFile(path("exif.jpg"),
                          jpegWithOrientation(photoLike(40, 20), quint16(orientation))));
        const Decoded d = decodeFile(path("exif.jpg"));
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.pages.first().size(), size);
        QCOMPARE(d.originalSize, size);
        DecodeOptions small;
        small.boundingSize = QSize(10, 10);
        const Decoded t = decodeFile(path("exif.jpg"), small);
        QVERIFY2(t.ok(), qPrintable(t.error));
        QCOMPARE(t.originalSize, size);
        QCOMPARE(t.pages.first().size(), size.scaled(10, 10, Qt::KeepAspectRatioByExpanding));
    }

    void decodesAtReducedSize_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QSize>("bounding");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("jpeg landscape") << "jpeg" << QSize(140, 140) << QSize(186, 140);
        QTest::newRow("png landscape") << "png" << QSize(140, 140) << QSize(186, 140);
        QTest::newRow("box larger than image") << "jpeg" << QSize(4000, 4000) << QSize(800, 600);
    }
    void decodesAtReducedSize()
    {
        QFETCH(QString, format);
        QFETCH(QSize, bounding);
        QFETCH(QSize, expected);
        QVERIFY(
            writeFile(path("big." + format), encodeQt(photoLike(800, 600), qPrintable(format))));
        DecodeOptions options;
        options.boundingSize = bounding;
        const Decoded d = decodeFile(path("big." + format), options);
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.originalSize, QSize(800, 600));
        QCOMPARE(d.pages.first().size(), expected);

        ImageEngine engine;
        engine.loadFile(path("big." + format), bounding);
        QCOMPARE(engine.width(), expected.width());
    }

    // Damaged input of every kind fails with a short description, quickly,
    // without crashing (the sanitizer build checks memory safety).
    void refusesBadInput_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("reason");

        QTest::newRow("zero bytes") << "empty.jpg" << QByteArray() << "the file is empty";
        QTest::newRow("text named jpg")
            << "text.jpg" << QByteArray("This is not a picture.\n") << "not an image file";
        QRandomGenerator rng(7);
        const QStringList exts{"jpg", "gif",  "bmp", "png", "psd", "tif", "pcx",
                               "tga", "wbmp", "pcd", "ico", "cur", "dib"};
        for (const QString &ext : exts) {
            QByteArray noise(4096, 0);
            for (char &c : noise)
                c = char(rng.bounded(256));
            noise[0] = 'Z'; // not by chance a PCX signature
            QTest::addRow("random bytes .%s", qPrintable(ext))
                << "noise." + ext << noise << "not an image file";
        }

        // Whole files cut at several points.
        const QImage photo = photoLike(120, 90);
        const QList<QPair<QString, QByteArray>> samples{
            {"jpg", encodeQt(photo, "jpeg")},
            {"png", encodeQt(photo, "png")},
            {"bmp", encodeQt(photo, "bmp")},
            {"tif", encodeQt(photo, "tiff")},
            {"wbmp", encodeQt(blackWhite(120, 90).convertToFormat(QImage::Format_Mono), "wbmp")},
            {"ico", encodeQt(photoLike(32, 32, true), "ico")},
            {"dib", encodeQt(photo, "bmp").mid(14)}};
        QList<QPair<QString, QByteArray>> magickSamples;
        for (const auto &[code, ext] : QList<QPair<int, QString>>{
                 {core::FormatPSD, "psd"}, {core::FormatPCX, "pcx"}, {core::FormatTGA, "tga"}}) {
            QByteArray bytes;
            QString reason;
            if (codecs::encodeImage(photo, code, &bytes, &reason))
                magickSamples.append({ext, bytes});
        }
        for (const auto &[ext, whole] : samples + magickSamples) {
            for (int tenth : {1, 4, 7, 9}) {
                QTest::addRow("%s cut at %d/10", qPrintable(ext), tenth)
                    << "cut." + ext << whole.left(whole.size() * tenth / 10) << "";
            }
        }

        QTest::newRow("png claims 100000 x 100000")
            << "huge.png" << pngClaiming(100000, 100000)
            << "the image is too large (100000 x 100000 pixels)";
        QTest::newRow("png claims 30000 x 30000")
            << "bomb.png" << pngClaiming(30000, 30000) << "too large";
        QTest::newRow("png claims 2^31 wide") << "huge2.png" << pngClaiming(0x7fffffff, 1) << "";
        QTest::newRow("bmp claims 100000 x 100000")
            << "huge.bmp" << bmpClaiming(100000, 100000) << "too large";
        QTest::newRow("bmp claims 2^31 wide") << "huge2.bmp" << bmpClaiming(0x80000000u, 2) << "";
        QTest::newRow("dib claims 100000 x 100000")
            << "huge.dib" << bmpClaiming(100000, 100000).mid(14) << "too large";
        QTest::newRow("jpeg claims 65535 x 65535")
            << "huge.jpg" << jpegClaiming(65535, 65535) << "too large";
        QTest::newRow("gif claims 65535 x 65535") << "huge.gif" << gifClaiming(65535, 65535) << "";
        QTest::newRow("tiff claims 100000 x 100000")
            << "huge.tif" << tiffClaiming(100000, 100000) << "too large";
        QTest::newRow("tiff claims 2^31 wide") << "huge2.tif" << tiffClaiming(0x80000000u, 1) << "";
        QTest::newRow("psd claims 100000 x 100000")
            << "huge.psd" << psdHeader(3, 100000, 100000, 2) << "too large";
        QTest::newRow("psd claims 2^31 wide")
            << "huge2.psd" << psdHeader(3, 0x80000000u, 1, 2) << "";
        QTest::newRow("psd with 65535 channels") << "chan.psd" << psdHeader(65535, 64, 64) << "";
        QTest::newRow("pcx claims 65535 x 65535") << "huge.pcx" << pcxHeader(65535, 65535) << "";
        QByteArray tga(18, 0);
        tga[2] = 10;
        tga[12] = tga[13] = tga[14] = tga[15] = char(0xff);
        tga[16] = 24;
        QTest::newRow("tga rle claims 65535 x 65535")
            << "huge.tga" << tga + QByteArray(64, '\x7f') << "";
        QByteArray wbmp("\0\0\x86\x8d\x20\x86\x8d\x20", 8); // 100000 x 100000, no pixels
        QTest::newRow("wbmp claims 100000 x 100000") << "huge.wbmp" << wbmp << "";
        QByteArray ico = encodeQt(photoLike(16, 16, true), "ico");
        putLe32(ico, 18, 0x7ffffff0); // image data offset beyond the file
        QTest::newRow("ico with bad offset") << "bad.ico" << ico << "";
        QByteArray pcd(4096, 0);
        memcpy(pcd.data() + 2048, "PCD_IPI", 7);
        QTest::newRow("pcd header only") << "bad.pcd" << pcd << "";
    }
    void refusesBadInput()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(QString, reason);
        QVERIFY(writeFile(path(name), data));
        QElapsedTimer timer;
        timer.start();
        DecodeOptions all;
        all.allPages = true;
        const Decoded d = decodeFile(path(name), all);
        QVERIFY2(!d.ok(), "a damaged file was accepted");
        QVERIFY(d.pages.isEmpty());
        QVERIFY2(d.error.startsWith("Cannot read " + name + ": "), qPrintable(d.error));
        if (!reason.isEmpty())
            QVERIFY2(d.error.contains(reason), qPrintable(d.error));
        QVERIFY2(timer.elapsed() < 10000, "a damaged file took too long");

        ImageEngine engine;
        QVERIFY_THROWS_EXCEPTION(ImageError, engine.loadFile(path(name)));
        QCOMPARE(engine.pageCount(), 0);
    }

    void reportsMissingFile()
    {
        const Decoded d = decodeFile(path("nothing-here.jpg"));
        QCOMPARE(d.error, QStringLiteral("Cannot read nothing-here.jpg: the file does not exist"));
    }

    void saveRoundTrip_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("ext");
        QTest::addColumn<bool>("lossless");
        QTest::addColumn<bool>("blackAndWhite");
        QTest::newRow("1 jpg") << 1 << "jpg" << false << false;
        QTest::newRow("2 png") << 2 << "png" << true << false;
        QTest::newRow("3 tif") << 3 << "tif" << true << false;
        QTest::newRow("4 pcx") << 4 << "pcx" << true << false;
        QTest::newRow("5 tga") << 5 << "tga" << true << false;
        QTest::newRow("6 bmp") << 6 << "bmp" << true << false;
        QTest::newRow("7 wmf") << 7 << "wmf" << true << false;
        QTest::newRow("8 emf") << 8 << "emf" << true << false;
        QTest::newRow("9 psd") << 9 << "psd" << true << false;
        QTest::newRow("10 wbmp") << 10 << "wbmp" << true << true;
        QTest::newRow("10 wbmp from colour") << 10 << "wbmp" << false << false;
    }
    void saveRoundTrip()
    {
        QFETCH(int, code);
        QFETCH(QString, ext);
        QFETCH(bool, lossless);
        QFETCH(bool, blackAndWhite);
        const QImage source = blackAndWhite ? blackWhite(37, 23) : photoLike(37, 23);
        ImageEngine engine;
        engine.loadPicture(source);
        const QString target = path("saved." + ext);
        QFile::remove(target);
        engine.save(target, code);

        const Decoded d = decodeFile(target);
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.formatCode, code);
        QCOMPARE(d.originalSize, QSize(37, 23));
        if (lossless)
            QVERIFY(samePixels(d.pages.first(), source));

        if (QStandardPaths::findExecutable(QStringLiteral("identify")).isEmpty())
            QSKIP("ImageMagick's identify is not installed");
        // ImageMagick has no EMF reader on Linux; the metafile tests check
        // that format's layout instead.
        if (code == core::FormatEMF)
            return;
        QProcess identify;
        // A metafile's pixel size depends on the reader's resolution: ours is 96 dpi.
        identify.start(QStringLiteral("identify"),
                       {QStringLiteral("-density"), QStringLiteral("96"),
                        QStringLiteral("%1:%2").arg(ext.toUpper(), target)});
        QVERIFY(identify.waitForFinished(20000));
        QCOMPARE(identify.exitCode(), 0);
        QVERIFY2(identify.readAllStandardOutput().contains(" 37x23 "),
                 "identify reads another size");
    }

    void saveKeepsTargetOnFailure()
    {
        const QString target = path("keep.png");
        QVERIFY(writeFile(target, "old contents"));
        ImageEngine engine;
        engine.loadPicture(photoLike(4, 4));
        QVERIFY_THROWS_EXCEPTION(ImageError, engine.save(target, 77));
        QVERIFY_THROWS_EXCEPTION(ImageError, engine.save(target, core::FormatPNG, false));
        QCOMPARE(readFile(target), QByteArray("old contents"));
        try {
            engine.save(path("no-such-folder/x.png"), core::FormatPNG);
            QFAIL("saving into a missing folder succeeded");
        } catch (const ImageError &e) {
            QVERIFY2(e.description().startsWith("Cannot write x.png: "),
                     qPrintable(e.description()));
        }
        QCOMPARE(QDir(m_dir.path()).entryList({"keep.png*", "*.tmp"}, QDir::Files),
                 QStringList{"keep.png"});
    }

    void engineWithoutImageFailsCleanly()
    {
        ImageEngine engine;
        QVERIFY_THROWS_EXCEPTION(ImageError, engine.rotate(90));
        QVERIFY_THROWS_EXCEPTION(ImageError, engine.resize(10, 0));
        QVERIFY_THROWS_EXCEPTION(ImageError,
                                 engine.resizeCanvas(10, 10, Qt::white, 0, 0));
        QVERIFY_THROWS_EXCEPTION(ImageError, engine.save(path("none.png"), core::FormatPNG));
        QVERIFY(!QFile::exists(path("none.png")));
    }

    void imageInfoDescribesLoadedFile()
    {
        QVERIFY(writeFile(path("info.PNG"), encodeQt(photoLike(30, 20), "png")));
        ImageEngine engine;
        QSignalSpy changes(&engine, &ImageEngine::changed);
        engine.loadFile(path("info.PNG"));
        QCOMPARE(engine.width(), 30);
        QCOMPARE(engine.height(), 20);
        QCOMPARE(engine.bitsPerPixel(), 24);
        QCOMPARE(engine.formatCode(), int(core::FormatPNG));
        QCOMPARE(engine.fileName(), QStringLiteral("info.PNG"));
        QCOMPARE(engine.filePath(), path("info.PNG"));
        engine.rotate(90);
        QCOMPARE(engine.width(), 20);
        QCOMPARE(changes.count(), 2);
    }

    // A helper that hangs or crashes fails that one file, and the next
    // request starts a fresh helper.
    void helperCrashOrHangFailsOneFile_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("reason");
        QTest::newRow("hang") << "#!/bin/sh\nexec sleep 60\n"
                              << "the decoder took too long";
        QTest::newRow("crash") << "#!/bin/sh\nkill -SEGV $$\n"
                               << "the decoder stopped unexpectedly";
        QTest::newRow("garbage") << "#!/bin/sh\nhead -c 8 /dev/zero; exit 0\n"
                                 << "";
    }
    void helperCrashOrHangFailsOneFile()
    {
        QFETCH(QString, script);
        QFETCH(QString, reason);
        if (!qEnvironmentVariableIsEmpty("PICTAVO_MAGICK_HELPER"))
            QSKIP("the helper is fixed by PICTAVO_MAGICK_HELPER");
        const QImage source = photoLike(20, 10);
        ImageEngine engine;
        engine.loadPicture(source);
        engine.save(path("ok.psd"), core::FormatPSD);

        const QString fake = path("fake-helper.sh");
        QVERIFY(writeFile(fake, script.toLatin1()));
        QFile::setPermissions(fake, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        magick::setHelperPath(fake);
        magick::setTimeoutMs(1500);
        QElapsedTimer timer;
        timer.start();
        const Decoded bad = decodeFile(path("ok.psd"));
        QVERIFY(!bad.ok());
        QVERIFY2(bad.error.startsWith("Cannot read ok.psd: "), qPrintable(bad.error));
        if (!reason.isEmpty())
            QVERIFY2(bad.error.endsWith(reason), qPrintable(bad.error));
        QVERIFY(timer.elapsed() < 5000);

        magick::setHelperPath({});
        magick::setTimeoutMs(0);
        const Decoded good = decodeFile(path("ok.psd"));
        QVERIFY2(good.ok(), qPrintable(good.error));
        QVERIFY(samePixels(good.pages.first(), source));
    }

    void decodesFromWorkerThreads()
    {
        const QImage source = photoLike(50, 40);
        ImageEngine engine;
        engine.loadPicture(source);
        engine.save(path("w.pcx"), core::FormatPCX);
        engine.save(path("w.png"), core::FormatPNG);
        engine.save(path("w.jpg"), core::FormatJPG);
        QStringList files;
        for (int i = 0; i < 8; ++i)
            files << path("w.pcx") << path("w.png") << path("w.jpg");
        DecodeOptions options;
        options.boundingSize = QSize(20, 20);
        const QList<Decoded> results = QtConcurrent::blockingMapped(
            files, [options](const QString &file) { return decodeFile(file, options); });
        for (const Decoded &d : results) {
            QVERIFY2(d.ok(), qPrintable(d.error));
            QCOMPARE(d.originalSize, QSize(50, 40));
            QCOMPARE(d.pages.first().size(), QSize(25, 20));
        }
    }
};

PICTAVO_TEST_MAIN(TestEngine)
#include "tst_engine.moc"
