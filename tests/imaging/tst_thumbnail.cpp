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

PICTAVO_TEST_MAIN(TestThumbnail)
#include "tst_thumbnail.moc"
