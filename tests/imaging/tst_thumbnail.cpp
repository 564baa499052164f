// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "imaging/Thumbnail.h"
#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

using namespace imaging;

class TestThumbnail : public QObject
{
    Q_OBJECT

private slots:
    void roundsHalfToEven_data();
    void roundsHalfToEven();
    void geometry_data();
    void geometry();
    void fromFile_data();
    void fromFile();
    void canvasIsWhiteAroundTheStrip();
    void reducedDecodeKeepsTrueGeometry();
    void unreadableFiles_data();
    void unreadableFiles();
    void oneBitKeepsItsColours_data();
    void oneBitKeepsItsColours();
};

void TestThumbnail::roundsHalfToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");
    QTest::newRow("0.5") << 0.5 << 0.0;
    QTest::newRow("1.5") << 1.5 << 2.0;
    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("34.5") << 34.5 << 34.0;
    QTest::newRow("35.5") << 35.5 << 36.0;
    QTest::newRow("2.49") << 2.49 << 2.0;
    QTest::newRow("2.51") << 2.51 << 3.0;
    QTest::newRow("233.33") << 233.33 << 233.0;
}

void TestThumbnail::roundsHalfToEven()
{
    QFETCH(double, value);
    QFETCH(double, expected);
    QCOMPARE(roundHalfEven(value), expected);
}

void TestThumbnail::geometry_data()
{
    QTest::addColumn<QSize>("original");
    QTest::addColumn<QSize>("scaled");
    QTest::addColumn<bool>("canvas");
    QTest::addColumn<QPoint>("offset");
    QTest::newRow("1000x600 landscape") << QSize(1000, 600) << QSize(140, 84) << false << QPoint();
    QTest::newRow("600x1000 portrait") << QSize(600, 1000) << QSize(140, 233) << false << QPoint();
    QTest::newRow("1000x500 wide strip")
        << QSize(1000, 500) << QSize(140, 70) << true << QPoint(0, 35);
    QTest::newRow("300x600 tall strip")
        << QSize(300, 600) << QSize(70, 140) << true << QPoint(35, 0);
    QTest::newRow("900x500 ratio exactly 1.8")
        << QSize(900, 500) << QSize(140, 78) << true << QPoint(0, 31);
    QTest::newRow("500x900 tall, ratio 1.8")
        << QSize(500, 900) << QSize(78, 140) << true << QPoint(31, 0);
    QTest::newRow("179x100 just under 1.8")
        << QSize(179, 100) << QSize(140, 78) << false << QPoint();
    QTest::newRow("half rounds down to even")
        << QSize(112, 66) << QSize(140, 82) << false << QPoint();
    QTest::newRow("half rounds up to even")
        << QSize(1000, 925) << QSize(140, 130) << false << QPoint();
    QTest::newRow("square enlarged") << QSize(10, 10) << QSize(140, 140) << false << QPoint();
    QTest::newRow("portrait up to 252") << QSize(100, 179) << QSize(140, 251) << false << QPoint();
    QTest::newRow("hairline keeps a pixel")
        << QSize(1, 5000) << QSize(1, 140) << true << QPoint(70, 0);
    QTest::newRow("max side") << QSize(32767, 1) << QSize(140, 1) << true << QPoint(0, 70);
}

void TestThumbnail::geometry()
{
    QFETCH(QSize, original);
    QFETCH(QSize, scaled);
    QFETCH(bool, canvas);
    QFETCH(QPoint, offset);
    const ThumbnailGeometry g = thumbnailGeometry(original);
    QCOMPARE(g.scaled, scaled);
    QCOMPARE(g.canvas, canvas);
    QCOMPARE(g.offset, offset);
}

void TestThumbnail::fromFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QSize>("thumbnail");
    QTest::newRow("jpg landscape") << "a.jpg" << QSize(1000, 600) << QSize(140, 84);
    QTest::newRow("png portrait") << "b.png" << QSize(600, 1000) << QSize(140, 233);
    QTest::newRow("bmp strip on canvas") << "c.bmp" << QSize(1000, 500) << QSize(140, 140);
    QTest::newRow("small gif enlarged") << "d.gif" << QSize(20, 15) << QSize(140, 105);
    QTest::newRow("ico not resized") << "e.ico" << QSize(32, 32) << QSize(32, 32);
    QTest::newRow("ICO in capitals not resized") << "f.ICO" << QSize(48, 48) << QSize(48, 48);
}

void TestThumbnail::fromFile()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);
    QFETCH(QSize, thumbnail);
    QTemporaryDir dir;
    const QString ext = name.section(QLatin1Char('.'), -1).toLower();
    const QString path = fixtures::writeImage(dir.path(), name, size.width(), size.height(),
                                              ext.toLatin1().constData());
    const ThumbnailResult r = makeThumbnail(path);
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.picture.size(), thumbnail);
}

void TestThumbnail::canvasIsWhiteAroundTheStrip()
{
    QTemporaryDir dir;
    const QString path = fixtures::writeImage(dir.path(), "strip.png", 1000, 500);
    const ThumbnailResult r = makeThumbnail(path);
    QVERIFY(r.ok());
    QCOMPARE(r.picture.pixelColor(70, 10), QColor(Qt::white));
    QCOMPARE(r.picture.pixelColor(70, 130), QColor(Qt::white));
    QVERIFY(r.picture.pixelColor(70, 70) != QColor(Qt::white));
    QVERIFY(r.picture.pixelColor(70, 36) != QColor(Qt::white));
}

void TestThumbnail::reducedDecodeKeepsTrueGeometry()
{
    // A large JPEG is decoded at a reduced scale; the result still follows
    // the file's true size.
    QTemporaryDir dir;
    const QString path = fixtures::writeImage(dir.path(), "big.jpg", 4000, 2300);
    const ThumbnailResult r = makeThumbnail(path);
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.picture.size(), QSize(140, 81));
}

void TestThumbnail::unreadableFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty file") << "empty";
    QTest::newRow("damaged jpeg") << "damaged";
    QTest::newRow("not an image") << "text";
    QTest::newRow("side above 32767") << "oversize";
    QTest::newRow("named pipe") << "fifo";
    QTest::newRow("missing") << "missing";
}

void TestThumbnail::unreadableFiles()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    QString path = dir.filePath("x.jpg");
    if (kind == "empty")
        fixtures::writeBytes(dir.path(), "x.jpg", {});
    else if (kind == "damaged")
        fixtures::writeDamagedJpeg(dir.path(), "x.jpg");
    else if (kind == "text")
        fixtures::writeBytes(dir.path(), "x.jpg", "just some words\n");
    else if (kind == "oversize")
        path = fixtures::writeImage(dir.path(), "x.png", 32768, 1);
    else if (kind == "fifo")
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    const ThumbnailResult r = makeThumbnail(path);
    QVERIFY(!r.ok());
    QVERIFY(!r.error.isEmpty());
}

namespace {

// How far the most colourful pixel is from grey.
int mostColour(const QImage &image)
{
    int most = 0;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb p = rgb.pixel(x, y);
            most = std::max(most, std::max({qRed(p), qGreen(p), qBlue(p)}) -
                                      std::min({qRed(p), qGreen(p), qBlue(p)}));
        }
    return most;
}

// An uncompressed 1-bit palette TIFF of the image (Qt writes 1-bit TIFFs in
// black and white only).
QByteArray paletteTiff(const QImage &image)
{
    const int w = image.width(), h = image.height(), stride = (w + 7) / 8;
    QByteArray out("II*\0", 4);
    const auto put16 = [&out](quint16 v) { out.append(char(v & 0xFF)).append(char(v >> 8)); };
    const auto put32 = [&put16](quint32 v) {
        put16(quint16(v & 0xFFFF));
        put16(quint16(v >> 16));
    };
    const quint32 pixelsAt = 8, mapAt = pixelsAt + quint32(stride * h);
    const quint32 ifdAt = mapAt + 12;
    put32(ifdAt);
    for (int y = 0; y < h; ++y)
        for (int b = 0; b < stride; ++b) {
            uchar byte = 0;
            for (int bit = 0; bit < 8 && b * 8 + bit < w; ++bit)
                if (image.pixelIndex(b * 8 + bit, y))
                    byte |= uchar(0x80 >> bit);
            out.append(char(byte));
        }
    const QRgb a = image.color(0), c = image.color(1);
    for (int v : {qRed(a), qRed(c), qGreen(a), qGreen(c), qBlue(a), qBlue(c)})
        put16(quint16(v * 257));
    // Tag, type (3 short, 4 long), count, value.
    const quint32 tags[][4] = {
        {256, 4, 1, quint32(w)}, {257, 4, 1, quint32(h)}, {258, 3, 1, 1},
        {259, 3, 1, 1},          {262, 3, 1, 3},          {273, 4, 1, pixelsAt},
        {277, 3, 1, 1},          {278, 4, 1, quint32(h)}, {279, 4, 1, quint32(stride * h)},
        {320, 3, 6, mapAt}};
    put16(quint16(std::size(tags)));
    for (const auto &t : tags) {
        put16(quint16(t[0]));
        put16(quint16(t[1]));
        put32(t[2]);
        if (t[1] == 3 && t[2] == 1) {
            put16(quint16(t[3]));
            put16(0);
        } else {
            put32(t[3]);
        }
    }
    put32(0);
    return out;
}

} // namespace

void TestThumbnail::oneBitKeepsItsColours_data()
{
    QTest::addColumn<QString>("file"); // a real file, or generated when it has no folder
    QTest::addColumn<QRgb>("one");
    QTest::addColumn<QRgb>("other");
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255);
    // Large enough to be read at a reduced size.
    for (const char *ext : {"bmp", "png", "tif"})
        QTest::addRow("red and green %s", ext)
            << QStringLiteral("redgreen.%1").arg(ext) << red << green;
    QTest::newRow("one colour png") << "blue.png" << blue << blue;
    for (const char *file : {"onebit/pal1bg.bmp", "onebit/pal1bg.png", "onebit/pal1p1.png",
                             "onebit/palette-1c-1b.tiff", "onebit/multi-page-1.tiff"})
        QTest::newRow(file) << QString::fromLatin1(file) << QRgb(0) << QRgb(0);
}

void TestThumbnail::oneBitKeepsItsColours()
{
    QFETCH(QString, file);
    QFETCH(QRgb, one);
    QFETCH(QRgb, other);
    QTemporaryDir dir;
    QString path = qEnvironmentVariable("PICTAVO_SOURCE_DIR") +
                   QStringLiteral("/tests/imaging/corpus/real/") + file;
    if (!file.contains(QLatin1Char('/'))) {
        QImage image(800, 600, QImage::Format_Mono);
        image.setColorTable({one, other});
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, (x / 100 + y / 100) % 2);
        path = dir.filePath(file);
        if (file.endsWith(QLatin1String(".tif"))) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(paletteTiff(image));
        } else {
            QVERIFY(image.save(path));
        }
        QCOMPARE(QImage(path).pixel(150, 50), other);
    }
    const QImage full(path);
    QVERIFY2(!full.isNull(), qPrintable(path));
    const ThumbnailResult r = makeThumbnail(path);
    QVERIFY2(r.ok(), qPrintable(r.error));
    // A grey thumbnail of a coloured picture lost its colours.
    QVERIFY2(mostColour(r.picture) >= mostColour(full) / 2,
             qPrintable(
                 QStringLiteral("%1 against %2").arg(mostColour(r.picture)).arg(mostColour(full))));
    if (one == 0)
        return;
    for (const QRgb expected : {one, other}) {
        bool found = false;
        for (int y = 0; y < r.picture.height() && !found; ++y)
            for (int x = 0; x < r.picture.width() && !found; ++x)
                found = r.picture.pixel(x, y) == expected;
        QVERIFY2(found, qPrintable(QString::number(expected, 16)));
    }
}

PICTAVO_TEST_MAIN(TestThumbnail)
#include "tst_thumbnail.moc"
