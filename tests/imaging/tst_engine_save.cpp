// SPDX-License-Identifier: GPL-3.0-or-later
// The imaging engine's saving in the ten formats, and what it tells of the
// image it holds.

#include <QApplication>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <cerrno>
#include <sys/stat.h>

#include "EngineFixtures.h"
#include "imaging/Codecs.h"
#include "imaging/ImageEngine.h"
#include "imaging/MagickClient.h"
#include "imaging/SafeFile.h"
#include "support/TestSupport.h"

using namespace imaging;
using namespace enginetest;

class TestEngineSave : public EngineTest
{
    Q_OBJECT

private slots:
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
        QVERIFY_THROWS_EXCEPTION(ImageError, engine.resizeCanvas(10, 10, Qt::white, 0, 0));
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

    void writeErrorsSayWhy_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("reason");
        QTest::newRow("ENOSPC") << ENOSPC << "the disk is full";
        QTest::newRow("EDQUOT") << EDQUOT << "the disk is full";
        QTest::newRow("EACCES") << EACCES << "the folder cannot be written";
        QTest::newRow("EROFS") << EROFS << "the disk is read-only";
        QTest::newRow("ENAMETOOLONG") << ENAMETOOLONG << "the file name is too long";
        QTest::newRow("other") << ENXIO << "no such device or address";
    }
    void writeErrorsSayWhy()
    {
        QFETCH(int, error);
        QFETCH(QString, reason);
        QCOMPARE(describeWriteError(error), reason);
    }

    // A replaced file keeps its permissions; through a link, the file it
    // points to is replaced and the link stays a link.
    void replacingKeepsPermissionsAndLinks()
    {
        const QString real = path("real.png");
        const QString link = path("link.png");
        QVERIFY(writeFile(real, "old"));
        QVERIFY(
            QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QFile::remove(link);
        QVERIFY(QFile::link(real, link));
        ImageEngine engine;
        engine.loadPicture(photoLike(5, 5));
        engine.save(link, core::FormatPNG);
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(readFile(real).startsWith("\x89PNG"));
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(real).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QCOMPARE(replaceFile(path("fresh.bin"), "new"), QString());
        QCOMPARE(readFile(path("fresh.bin")), QByteArray("new"));
    }

    // Only regular files are replaced: a folder, a pipe or a link to nothing
    // under the chosen name is refused before anything is written.
    void targetsThatAreNotFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder") << "folder"
                                << "it is a folder";
        QTest::newRow("pipe") << "pipe"
                              << "it is not a regular file";
        QTest::newRow("dangling link") << "dangling"
                                       << "it is a link to nothing";
        QTest::newRow("empty name") << "empty"
                                    << "the file name is empty";
    }
    void targetsThatAreNotFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString target = kind == "empty" ? m_dir.path() + "/" : path("odd-" + kind);
        if (kind == "folder")
            QVERIFY(QDir().mkpath(target));
        else if (kind == "pipe")
            QVERIFY(QFileInfo::exists(target) ||
                    ::mkfifo(QFile::encodeName(target).constData(), 0600) == 0);
        else if (kind == "dangling")
            QVERIFY(QFileInfo(target).isSymLink() || QFile::link(path("nowhere"), target));
        QCOMPARE(checkWriteTarget(target), reason);
        ImageEngine engine;
        engine.loadPicture(photoLike(4, 4));
        QVERIFY_THROWS_EXCEPTION(ImageError, engine.save(target, core::FormatPNG));
        QVERIFY(!QFileInfo::exists(path("nowhere")));
    }
};

PICTAVO_TEST_MAIN(TestEngineSave)
#include "tst_engine_save.moc"
