// SPDX-License-Identifier: GPL-3.0-or-later
// The imaging engine's reading: by content, pages, orientation, reduced-size
// decoding, real files, worker threads.

#include <QApplication>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <sys/stat.h>

#include "EngineFixtures.h"
#include "imaging/Codecs.h"
#include "imaging/ImageEngine.h"
#include "imaging/MagickClient.h"
#include "support/TestSupport.h"

using namespace imaging;
using namespace enginetest;

class TestEngine : public EngineTest
{
    Q_OBJECT

private slots:
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
        QTest::newRow("bmp named dib")
            << "k.dib" << bmp << int(core::FormatBMP) << QSize(33, 21) << 24;
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
        QTest::newRow("psd") << "a.psd" << QStringList{src} << int(core::FormatPSD) << QSize(40, 30)
                             << 1 << true;
        QTest::newRow("psd named png") << "psd.png" << QStringList{src, "PSD:"}
                                       << int(core::FormatPSD) << QSize(40, 30) << 1 << true;
        QTest::newRow("pcx") << "a.pcx" << QStringList{src} << int(core::FormatPCX) << QSize(40, 30)
                             << 1 << true;
        QTest::newRow("pcx 8-bit")
            << "b.pcx" << QStringList{src, "-colors", "200", "-type", "Palette"}
            << int(core::FormatPCX) << QSize(40, 30) << 1 << false;
        QTest::newRow("gif animation") << "anim.gif" << QStringList{src, src, "-rotate", "180", src}
                                       << int(core::FormatGIF) << QSize(40, 30) << 3 << false;
        QTest::newRow("tiff pages")
            << "pages.tif" << QStringList{src, "(", src, "-resize", "20x15!", ")"}
            << int(core::FormatTIF) << QSize(40, 30) << 2 << true;
        QTest::newRow("pcd") << "a.pcd" << QStringList{src} << int(core::FormatPCD)
                             << QSize(768, 512) << 1 << false;
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
        QTest::newRow("tiff") << "python.tiff" << int(core::FormatTIF) << QSize(16, 16) << 32
                              << true;
        QTest::newRow("bmp 4-bit")
            << "liquid.bmp" << int(core::FormatBMP) << QSize(172, 132) << 4 << true;
        QTest::newRow("bmp 3 colours")
            << "asprite.bmp" << int(core::FormatBMP) << QSize(32, 32) << 4 << true;
        QTest::newRow("gif") << "explosion1.gif" << int(core::FormatGIF) << QSize(90, 90) << 8
                             << true;
        QTest::newRow("gif 64 colours")
            << "python.gif" << int(core::FormatGIF) << QSize(16, 16) << 6 << true;
        QTest::newRow("png palette")
            << "python.png" << int(core::FormatPNG) << QSize(16, 16) << 8 << true;
        QTest::newRow("jpeg") << "alien1.jpg" << int(core::FormatJPG) << QSize(80, 71) << 24
                              << false;
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

    // TIFF variants that Qt's reader refuses go to the Magick helper before
    // the file is called damaged.
    void readsTiffVariantsQtRefuses_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("varied"); // Magick shows the floating-point one all white
        QTest::newRow("12-bit grey") << "12bit.cropped.tif" << QSize(100, 100) << true;
        QTest::newRow("64-bit float grey, predictor")
            << "test_float64_predictor2_le_lzw.tif" << QSize(20, 20) << false;
        QTest::newRow("16-bit RGB") << "tiff_16bit_RGB.tiff" << QSize(100, 40) << true;
        QTest::newRow("16-bit CMYK, JPEG")
            << "tiff_strip_cmyk_16l_jpeg.tif" << QSize(100, 100) << true;
        QTest::newRow("16-bit RGBA, tiled and planar")
            << "tiff_tiled_planar_16bit_RGBa.tiff" << QSize(100, 40) << true;
    }

    void readsTiffVariantsQtRefuses()
    {
        QFETCH(QString, file);
        QFETCH(QSize, size);
        QFETCH(bool, varied);
        const QString source = qEnvironmentVariable("PICTAVO_SOURCE_DIR",
                                                    QStringLiteral(PICTAVO_SOURCE_DIR_FALLBACK)) +
                               QStringLiteral("/tests/imaging/corpus/real/tiff/") + file;
        const Decoded d = decodeFile(source);
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.formatCode, int(core::FormatTIF));
        QCOMPARE(d.originalSize, size);
        QCOMPARE(d.pages.first().size(), size);
        const QImage &page = d.pages.first();
        bool several = false;
        for (int y = 0; y < page.height() && !several; ++y)
            for (int x = 0; x < page.width() && !several; ++x)
                several = page.pixel(x, y) != page.pixel(0, 0);
        QCOMPARE(several, varied);
        DecodeOptions small;
        small.boundingSize = QSize(10, 10);
        const Decoded t = decodeFile(source, small);
        QVERIFY2(t.ok(), qPrintable(t.error));
        QCOMPARE(t.originalSize, size);
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
