// SPDX-License-Identifier: GPL-3.0-or-later
// The imaging engine with damaged, lying or missing input, and a helper
// process that crashes or hangs.

#include <QApplication>
#include <QDir>
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

class TestEngineDamaged : public EngineTest
{
    Q_OBJECT

private slots:
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

        // Saving through the same helper fails the same way, in the
        // encoder's words, and leaves no file behind.
        try {
            engine.save(path("out.tga"), core::FormatTGA);
            QFAIL("saving through a failing helper succeeded");
        } catch (const ImageError &e) {
            QVERIFY2(e.description().startsWith("Cannot write out.tga: "),
                     qPrintable(e.description()));
            if (!reason.isEmpty())
                QVERIFY2(e.description().endsWith(QString(reason).replace("decoder", "encoder")),
                         qPrintable(e.description()));
        }
        QCOMPARE(QDir(m_dir.path()).entryList({"*out.tga*"}, QDir::Files | QDir::Hidden),
                 QStringList());

        magick::setHelperPath({});
        magick::setTimeoutMs(0);
        const Decoded good = decodeFile(path("ok.psd"));
        QVERIFY2(good.ok(), qPrintable(good.error));
        QVERIFY(samePixels(good.pages.first(), source));
    }
};

PICTAVO_TEST_MAIN(TestEngineDamaged)
#include "tst_engine_damaged.moc"
