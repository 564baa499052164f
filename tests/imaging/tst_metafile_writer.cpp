// SPDX-License-Identifier: GPL-3.0-or-later
// Writing metafiles: the round trip through our reader and another reader.
#include <QApplication>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "MetafileChecks.h"
#include "imaging/Metafile.h"
#include "support/TestSupport.h"

using namespace imaging;
using namespace metafiletest;

class TestMetafileWriter : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void writeRejects();
    void imageMagickReadsWmf();
};

void TestMetafileWriter::roundTrip_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("kind");
    for (auto kind : {metafile::Kind::Emf, metafile::Kind::Wmf}) {
        const char *name = kind == metafile::Kind::Emf ? "emf" : "wmf";
        QTest::addRow("%s 1x1", name) << noise(1, 1, false, 1) << int(kind);
        QTest::addRow("%s 7x5, padded rows", name) << noise(7, 5, false, 2) << int(kind);
        QTest::addRow("%s 64x48", name) << noise(64, 48, false, 3) << int(kind);
        QTest::addRow("%s 333x1", name) << noise(333, 1, false, 4) << int(kind);
        QTest::addRow("%s 1x250", name) << noise(1, 250, false, 5) << int(kind);
        QTest::addRow("%s indexed", name)
            << noise(9, 9, false, 6).convertToFormat(QImage::Format_Indexed8) << int(kind);
        QTest::addRow("%s with alpha", name) << noise(13, 11, true, 7) << int(kind);
    }
}

void TestMetafileWriter::roundTrip()
{
    QFETCH(QImage, image);
    QFETCH(int, kind);
    const QByteArray bytes = writeToBytes(image, metafile::Kind(kind));
    saveSeed(bytes);
    QCOMPARE(int(metafile::detect(bytes)), kind);
    QCOMPARE(metafile::frameSize(bytes), image.size());
    QString error;
    const QImage back = metafile::render(bytes, &error);
    QVERIFY2(!back.isNull(), qPrintable(error));
    QCOMPARE(back.size(), image.size());
    // Alpha is composed over white.
    QImage expected(image.size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    {
        QPainter painter(&expected);
        painter.drawImage(0, 0, image);
    }
    const bool exact = !image.hasAlphaChannel();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb want = expected.pixel(x, y);
            const QRgb got = back.pixel(x, y);
            if (exact ? (got | 0xFF000000u) != (want | 0xFF000000u) : !near(got, want, 2))
                QFAIL(qPrintable(QStringLiteral("at %1,%2: %3, expected %4")
                                     .arg(x)
                                     .arg(y)
                                     .arg(describe(got), describe(want))));
        }
}

void TestMetafileWriter::writeRejects()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QString error;
    QVERIFY(!metafile::write(QImage(), metafile::Kind::Emf, buffer, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!metafile::write(QImage(40000, 1, QImage::Format_RGB32), metafile::Kind::Wmf, buffer,
                             &error));
    QCOMPARE(error, QStringLiteral("the image is too large for a metafile (40000 x 1 pixels)"));
    QBuffer readOnly(&bytes);
    readOnly.open(QIODevice::ReadOnly);
    QTest::ignoreMessage(QtWarningMsg, "QIODevice::write (QBuffer): ReadOnly device");
    QVERIFY(!metafile::write(noise(4, 4, false, 1), metafile::Kind::Emf, readOnly, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(bytes.isEmpty());
}

// An independent reader opens the written WMF with the same size and colours.

void TestMetafileWriter::imageMagickReadsWmf()
{
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (convert.isEmpty())
        QSKIP("ImageMagick is not installed");
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(kBlue);
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 20; ++x)
            image.setPixel(x, y, kRed);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("picture.wmf")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QString error;
    QVERIFY2(metafile::write(image, metafile::Kind::Wmf, file, &error), qPrintable(error));
    file.close();
    const QString png = dir.filePath(QStringLiteral("picture.png"));
    QProcess process;
    process.start(convert,
                  {QStringLiteral("-density"), QStringLiteral("96"), file.fileName(), png});
    QVERIFY(process.waitForFinished(60000));
    if (process.exitCode() != 0 && process.readAllStandardError().contains("delegate"))
        QSKIP("ImageMagick has no WMF delegate");
    QCOMPARE(process.exitCode(), 0);
    const QImage out(png);
    QCOMPARE(out.size(), image.size());
    QVERIFY(near(out.pixel(5, 5), kRed, 16));
    QVERIFY(near(out.pixel(30, 25), kBlue, 16));
}

// Rendering holds no shared state: pictures render at once on several threads.

PICTAVO_TEST_MAIN(TestMetafileWriter)
#include "tst_metafile_writer.moc"
