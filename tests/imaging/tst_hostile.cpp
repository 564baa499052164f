// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures made to hurt: a few bytes that claim gigabytes, chunks longer
// than their file, icons larger than their directory says, files of
// hundreds of pages, metafiles that paint the same huge area again and
// again. Each is refused, or read in part, quickly and within the memory
// budget, with a message that says what is wrong.

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>
#include <utility>

#include "EngineFixtures.h"
#include "imaging/DecodeBudget.h"
#include "imaging/ImageEngine.h"
#include "imaging/Metafile.h"
#include "imaging/Startup.h"
#include "imaging/Thumbnail.h"
#include "support/MetafileBuilders.h"
#include "support/TestSupport.h"

using namespace enginetest;
using imaging::DecodeOptions;

namespace {

// Each bomb must be dealt with in well under this.
constexpr qint64 kQuickMs = 3000;

QByteArray progressiveJpegClaiming(quint32 w, quint32 h)
{
    QByteArray jpg;
    QBuffer buffer(&jpg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(photoLike(32, 32));
    const qsizetype sof = jpg.indexOf("\xff\xc2");
    if (sof < 0)
        return {};
    putBe16(jpg, sof + 5, h);
    putBe16(jpg, sof + 7, w);
    return jpg;
}

// A PNG with a text chunk after its header that claims `length` bytes.
QByteArray pngWithChunkClaiming(quint32 length)
{
    const QByteArray png = encodeQt(photoLike(2, 2), "png");
    QByteArray chunk(8, '\0');
    putBe32(chunk, 0, length);
    chunk.replace(4, 4, "tEXt");
    chunk += QByteArray("k\0v", 3);
    return png.left(33) + chunk + png.mid(33);
}

// A 16-bit RGBA PNG whose header claims w x h.
QByteArray png16Claiming(quint32 w, quint32 h)
{
    QImage image = photoLike(8, 8, true).convertToFormat(QImage::Format_RGBA64);
    QByteArray png = encodeQt(image, "png");
    putBe32(png, 16, w);
    putBe32(png, 20, h);
    putBe32(png, 29, crc32(png.mid(12, 17)));
    return png;
}

// An icon file of `count` entries that all point at the same picture.
QByteArray iconOf(const QByteArray &picture, int count)
{
    QByteArray ico(6, '\0');
    ico[2] = 1;
    ico[4] = char(count & 0xff);
    ico[5] = char(count >> 8);
    const quint32 offset = quint32(6 + 16 * count);
    for (int i = 0; i < count; ++i) {
        QByteArray entry(16, '\0');
        entry[4] = 1;  // planes
        entry[6] = 32; // bits
        putLe32(entry, 8, quint32(picture.size()));
        putLe32(entry, 12, offset);
        ico += entry;
    }
    return ico + picture;
}

// A little-endian TIFF of `pages` pages of side x side 8-bit grey, every
// page's one strip the same run-length coded black.
QByteArray tiffPages(int pages, int side)
{
    QByteArray row;
    for (int x = 0; x < side; x += 128) {
        const int run = std::min(128, side - x);
        row += char(1 - run); // repeat the next byte `run` times
        row += '\0';
    }
    const QByteArray strip = row.repeated(side);
    QByteArray t("II*\0\0\0\0\0", 8);
    const quint32 stripAt = 8;
    t += strip;
    const quint16 tags[][3] = {{256, 4, 0}, {257, 4, 0}, {258, 3, 8}, {259, 3, 32773}, {262, 3, 1},
                               {273, 4, 0}, {277, 3, 1}, {278, 4, 0}, {279, 4, 0}};
    putLe32(t, 4, quint32(t.size()));
    for (int p = 0; p < pages; ++p) {
        const qsizetype ifd = t.size();
        QByteArray dir(2 + 12 * 9 + 4, '\0');
        dir[0] = 9;
        for (int i = 0; i < 9; ++i) {
            const qsizetype e = 2 + 12 * i;
            dir[e] = char(tags[i][0] & 0xff);
            dir[e + 1] = char(tags[i][0] >> 8);
            dir[e + 2] = char(tags[i][1]);
            dir[e + 4] = 1; // count
            quint32 value = tags[i][2];
            if (tags[i][0] == 256 || tags[i][0] == 257 || tags[i][0] == 278)
                value = quint32(side);
            if (tags[i][0] == 273)
                value = stripAt;
            if (tags[i][0] == 279)
                value = quint32(strip.size());
            if (tags[i][1] == 3) {
                dir[e + 8] = char(value & 0xff);
                dir[e + 9] = char(value >> 8);
            } else {
                putLe32(dir, e + 8, value);
            }
        }
        if (p + 1 < pages)
            putLe32(dir, 2 + 12 * 9, quint32(ifd + dir.size()));
        t += dir;
    }
    return t;
}

// A GIF with a side x side screen and `frames` one-pixel frames.
QByteArray gifFrames(int frames, int side)
{
    QByteArray gif("GIF89a", 6);
    gif += char(side & 0xff);
    gif += char(side >> 8);
    gif += char(side & 0xff);
    gif += char(side >> 8);
    gif += QByteArray("\x80\x00\x00\x00\x00\x00\xff\xff\xff", 9); // two colours
    for (int i = 0; i < frames; ++i)
        gif += QByteArray("\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00", 15);
    gif += ';';
    return gif;
}

// A metafile of side x side pixels that fills the whole of it `count` times.
QByteArray emfFilling(int side, int count)
{
    metafiletest::Emf emf(side, side);
    for (int i = 0; i < count; ++i)
        emf.rec(43, {0, 0, side, side}); // RECTANGLE
    return emf.bytes();
}

QByteArray wmfFilling(int side, int count)
{
    metafiletest::Wmf wmf{qint16(side), qint16(side), 96};
    wmf.rec(0x020B, {0, 0});                       // window origin
    wmf.rec(0x020C, {qint16(side), qint16(side)}); // window extent
    for (int i = 0; i < count; ++i)
        wmf.rec(0x041B, {qint16(side), qint16(side), 0, 0}); // RECTANGLE
    return wmf.bytes();
}

// Thin zigzag slivers side by side, `count` of them in one record, over the
// whole height of a 1000 x 1000 picture. Qt's antialiasing rasterizer takes
// more than linear time in their number: 256 took 7.5 s.
QByteArray overlappingSlivers(int count)
{
    metafiletest::Emf emf(1000, 1000);
    emf.rec(39, {2, 0, 0xFF0000, 0}).rec(37, {2}).rec(37, {qint32(0x80000008)});
    QByteArray p(16, '\0');
    metafiletest::put32(p, quint32(count));
    metafiletest::put32(p, quint32(count * 5));
    for (int i = 0; i < count; ++i)
        metafiletest::put32(p, 5);
    for (int i = 0; i < count; ++i) {
        for (int k = 0; k < 5; ++k) {
            metafiletest::put16(p, quint16((i * 14) % 900 + 10 * k));
            metafiletest::put16(p, k % 2 ? 1000 : 0);
        }
    }
    emf.raw(91, p); // POLYPOLYGON16
    return emf.bytes();
}

// Two self-crossing outlines of `points` corners each, one made the clip and
// the other intersected with it, then a rectangle drawn through them.
// Combining such outlines exactly took Qt 5.5 s for 1,600 corners.
QByteArray tangledClips(int points)
{
    metafiletest::Emf emf(1000, 1000);
    for (const auto &[shift, mode] : {std::pair{0, 5}, std::pair{7, 1}}) {
        QByteArray polygon(16, '\0'); // bounds
        metafiletest::put32(polygon, quint32(points));
        for (int i = 0; i < points; ++i) {
            metafiletest::put32(polygon, quint32(i % 2 ? 0 : 1000));
            metafiletest::put32(polygon, quint32((i * 1000 / points + shift) % 1000));
        }
        emf.rec(59, {});     // BEGINPATH
        emf.raw(3, polygon); // POLYGON
        emf.rec(60, {});     // ENDPATH
        emf.rec(67, {mode}); // SELECTCLIPPATH: copy, then and
    }
    emf.rec(43, {0, 0, 1000, 1000}); // RECTANGLE
    return emf.bytes();
}

// A clip region of thin strips, half across and half down: their union
// falls apart into a grid of count^2 / 4 pieces.
QByteArray crossingStripsRegion(int count)
{
    metafiletest::Emf emf(1000, 1000);
    QByteArray region;
    metafiletest::put32(region, quint32(32 + 16 * count)); // region bytes
    metafiletest::put32(region, 5);                        // copy
    metafiletest::put32(region, 32);                       // header size
    metafiletest::put32(region, 1);                        // rectangles
    metafiletest::put32(region, quint32(count));
    metafiletest::put32(region, quint32(16 * count));
    for (int v : {0, 0, 1000, 1000}) // bounds
        metafiletest::put32(region, quint32(v));
    for (int i = 0; i < count; ++i) {
        const int at = (i / 2) * 4; // a pixel wide, three apart
        const bool across = i % 2 != 0;
        for (int v :
             {across ? 0 : at, across ? at : 0, across ? 1000 : at + 1, across ? at + 1 : 1000})
            metafiletest::put32(region, quint32(v));
    }
    emf.raw(75, region); // EXTSELECTCLIPRGN
    emf.rec(43, {0, 0, 1000, 1000});
    return emf.bytes();
}

// Eight zigzags stretched 4096 times upwards, so that they reach hundreds
// of thousands of pixels beyond a 1000 x 1000 picture: filled blue, or
// outlined with a green pen two units wide (stretched too).
QByteArray stretchedZigzags(bool outlined)
{
    metafiletest::Emf emf(1000, 1000);
    QByteArray world;
    for (float v : {1.0f, 0.0f, 0.0f, 4096.0f, 0.0f, -200000.0f})
        metafiletest::putFloat(world, v);
    metafiletest::put32(world, 4); // set
    emf.raw(36, world);            // MODIFYWORLDTRANSFORM
    if (outlined) {
        // EXTCREATEPEN: geometric, bevel joins, flat ends.
        emf.rec(95, {1, 0, 0, 0, 0, 0x00011200, 2, 0, 0x00FF00, 0, 0}).rec(37, {1});
        emf.rec(37, {qint32(0x80000005)}); // no brush
    } else {
        emf.rec(39, {2, 0, 0xFF0000, 0}).rec(37, {2}).rec(37, {qint32(0x80000008)});
    }
    QByteArray p(16, '\0');
    metafiletest::put32(p, 8);
    metafiletest::put32(p, 40);
    for (int i = 0; i < 8; ++i)
        metafiletest::put32(p, 5);
    for (int x = 100; x < 900; x += 100) {
        for (int k = 0; k < 5; ++k) {
            metafiletest::put32(p, quint32(x + 10 * k));
            metafiletest::put32(p, k % 2 ? 90 : 10);
        }
    }
    emf.raw(8, p); // POLYPOLYGON
    return emf.bytes();
}

QImage blank(int side)
{
    QImage image(side, side, QImage::Format_Mono);
    image.fill(0);
    return image;
}

qint64 peakKilobytes()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

class tst_Hostile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &data)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            return {};
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        imaging::initializeImaging(imaging::ProgramKind::CommandLine);
    }

    // A bomb is refused with a message that names the problem, by the
    // decoder, the thumbnail path and the picture loader alike.
    void bombsAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("reason");

        QTest::newRow("progressive JPEG claiming 32000 x 32000")
            << "p.jpg" << progressiveJpegClaiming(32000, 32000) << "too large";
        QTest::newRow("progressive JPEG claiming 16000 x 16000")
            << "q.jpg" << progressiveJpegClaiming(16000, 16000) << "too large";
        QTest::newRow("PNG chunk claiming 2 GB")
            << "c.png" << pngWithChunkClaiming(0x7fffffff) << "damaged";
        QTest::newRow("PNG chunk claiming 4 GB")
            << "d.png" << pngWithChunkClaiming(0xfffffff0) << "damaged";
        QTest::newRow("16-bit PNG of 11000 x 11000")
            << "w.png" << png16Claiming(11000, 11000) << "too large";
        QTest::newRow("icon holding a 40000 x 3000 PNG")
            << "i.ico" << iconOf(pngClaiming(40000, 3000), 1) << "too large";
        QTest::newRow("icon holding a 20000 x 20000 PNG")
            << "j.ico" << iconOf(pngClaiming(20000, 20000), 1) << "too large";
        // Found by the fuzzer: a large-format PSD whose 64-bit section length
        // reads as negative sent the completeness check before the file.
        QTest::newRow("PSD section of negative length")
            << "n.psd"
            << QByteArray::fromBase64(
                   "OEJQUwACFAD+EQgAAAAAAAAAAAASOAAAAAAAAAAMAAAAAAAAAAAAEjgAAAAAAPX1"
                   "9fX19fX19fX19fX19fX19fX19fX19fX19fX19fX19fX19fX19fX19fX19fUAAA"
                   "AMAAD//wAAAAAA")
            << "truncated";
        QTest::newRow("EMF filling 4000 x 4000 two thousand times")
            << "f.emf" << emfFilling(4000, 2000) << "too complex";
        QTest::newRow("WMF filling 4000 x 4000 two thousand times")
            << "f.wmf" << wmfFilling(4000, 2000) << "too complex";
        QTest::newRow("EMF of 256 overlapping slivers")
            << "s.emf" << overlappingSlivers(256) << "too complex";
        QTest::newRow("EMF clipped by two tangled outlines")
            << "t.emf" << tangledClips(1600) << "too complex";
        QTest::newRow("EMF clip region of 2048 crossing strips")
            << "r.emf" << crossingStripsRegion(2048) << "too complex";
    }

    void bombsAreRefused()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(QString, reason);
        QVERIFY(data.size() > 0 && data.size() < qsizetype(64) * 1024);
        const QString path = write(name, data);
        QVERIFY(!path.isEmpty());

        QElapsedTimer timer;
        timer.start();
        const imaging::Decoded d = imaging::decodeFile(path);
        QVERIFY2(!d.ok(), "a bomb was decoded");
        QVERIFY2(d.error.contains(reason), qPrintable(d.error));
        // (A metafile's thumbnail is drawn small, and cheap: see below.)
        if (!name.endsWith(".emf") && !name.endsWith(".wmf")) {
            const imaging::ThumbnailResult thumb = imaging::makeThumbnail(path);
            QVERIFY2(!thumb.ok(), "a bomb got a thumbnail");
            QVERIFY2(thumb.error.contains(reason), qPrintable(thumb.error));
        }
        QVERIFY2(timer.elapsed() < kQuickMs, qPrintable(QString::number(timer.elapsed())));
    }

    // A metafile that is costly only at full size still gets its (cheap)
    // thumbnail; below the budget it draws at full size too.
    void metafileBudgetCountsWhatIsDrawn()
    {
        const QString big = write("big.emf", emfFilling(4000, 2000));
        QElapsedTimer timer;
        timer.start();
        QVERIFY2(imaging::makeThumbnail(big).ok(), "the thumbnail of a costly metafile failed");
        QVERIFY(timer.elapsed() < kQuickMs);

        const QString few = write("few.emf", emfFilling(1000, 20));
        const imaging::Decoded d = imaging::decodeFile(few);
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.pages.first().size(), QSize(1000, 1000));

        // The count of records has its own bound.
        imaging::DecodeBudget budget = imaging::decodeBudget();
        const imaging::DecodeBudget saved = budget;
        budget.metafileRecords = 100;
        imaging::setDecodeBudget(budget);
        const imaging::Decoded many = imaging::decodeFile(write("many.emf", emfFilling(10, 200)));
        imaging::setDecodeBudget(saved);
        QVERIFY(many.error.contains("too complex"));
        QVERIFY(imaging::decodeFile(write("fine.emf", emfFilling(10, 200))).ok());
    }

    // Shapes that reach far beyond the picture cost no more than what shows
    // of them (they took from 20 s to minutes), and what shows is drawn.
    void farReachingShapesDrawWhatShows_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QPoint>("drawn");
        QTest::addColumn<QPoint>("empty");
        QTest::addColumn<QRgb>("colour");
        // Half-way up, the first zigzag covers x 105 to 115 and 125 to 135.
        QTest::newRow("filled") << stretchedZigzags(false) << QPoint(110, 500) << QPoint(120, 500)
                                << qRgb(0, 0, 255);
        QTest::newRow("outlined") << stretchedZigzags(true) << QPoint(104, 500) << QPoint(110, 500)
                                  << qRgb(0, 255, 0);
    }

    void farReachingShapesDrawWhatShows()
    {
        QFETCH(QByteArray, data);
        QFETCH(QPoint, drawn);
        QFETCH(QPoint, empty);
        QFETCH(QRgb, colour);
        QElapsedTimer timer;
        timer.start();
        const imaging::Decoded d = imaging::decodeFile(write("far.emf", data));
        QVERIFY2(d.ok(), qPrintable(d.error));
        QVERIFY2(timer.elapsed() < kQuickMs, qPrintable(QString::number(timer.elapsed())));
        const QImage picture = d.pages.constFirst();
        QCOMPARE(QColor(picture.pixel(drawn)), QColor(colour));
        QCOMPARE(QColor(picture.pixel(empty)), QColor(Qt::white));
    }

    // A small progressive JPEG (within the budget) still decodes, reduced
    // or whole.
    void progressiveJpegWithinBudget()
    {
        const QByteArray data = progressiveJpegClaiming(32, 32);
        QVERIFY(imaging::budget::jpegCoefficientBytes(data) > 0);
        const QString path = write("ok.jpg", data);
        QVERIFY(imaging::decodeFile(path).ok());
        QVERIFY(imaging::makeThumbnail(path).ok());
    }

    // Files of many pages: only the page asked for is decoded; the others
    // wait until they are selected.
    void pagesAreDecodedWhenAskedFor_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QSize>("size");

        QTest::newRow("TIFF of 256 pages")
            << "t.tif" << tiffPages(256, 2048) << 256 << QSize(2048, 2048);
        QTest::newRow("GIF of 300 frames")
            << "g.gif" << gifFrames(300, 4000) << 300 << QSize(4000, 4000);
        QTest::newRow("icon of 200 entries")
            << "m.ico" << iconOf(encodeQt(blank(2000), "png"), 200) << 200 << QSize(2000, 2000);
    }

    void pagesAreDecodedWhenAskedFor()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(int, pages);
        QFETCH(QSize, size);
        QVERIFY(data.size() < qsizetype(512) * 1024);
        const QString path = write(name, data);

        QElapsedTimer timer;
        timer.start();
        const imaging::Decoded d = imaging::decodeFile(path);
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.pages.size(), 1);
        QCOMPARE(d.pageCount, pages);
        QCOMPARE(d.originalSize, size);

        imaging::ImageEngine engine;
        engine.loadFile(path);
        QCOMPARE(engine.pageCount(), pages);
        QCOMPARE(engine.width(), size.width());
        QVERIFY2(timer.elapsed() < kQuickMs, qPrintable(QString::number(timer.elapsed())));

        // A later page on request (a GIF reads on to it).
        const int later = name.endsWith(".gif") ? 5 : pages - 1;
        engine.selectPage(later);
        QCOMPARE(engine.pageSize(later).width(), name.endsWith(".gif") ? 4000 : size.width());
        QVERIFY_THROWS_EXCEPTION(imaging::ImageError, engine.selectPage(pages));
    }

    void fuzzFindingsEndCleanly_data()
    {
        QTest::addColumn<QString>("file");
        // Headers for which Qt's readers leave the picture's format unset.
        QTest::newRow("JPEG") << "jpeg-format-unset.jpg";
        QTest::newRow("PNG") << "png-format-unset.png";
        // Polygons stretched by an uneven world transform, outlined with a
        // wide pen: four minutes of drawing before.
        QTest::newRow("EMF") << "metafile-anisotropic-pen.emf";
        // A clip region of overlapping rectangles: over two minutes to join.
        QTest::newRow("EMF clip region") << "metafile-overlapping-clip-region.emf";
    }

    // Files the fuzzer found: each decodes or fails with a message, quickly.
    void fuzzFindingsEndCleanly()
    {
        QFETCH(QString, file);
        const QString path = qEnvironmentVariable("PICTAVO_SOURCE_DIR") +
                             QStringLiteral("/tests/imaging/corpus/fuzz/") + file;
        QVERIFY(QFileInfo::exists(path));
        QElapsedTimer timer;
        timer.start();
        const imaging::Decoded d = imaging::decodeFile(path);
        QVERIFY(d.ok() || !d.error.isEmpty());
        const imaging::ThumbnailResult thumb = imaging::makeThumbnail(path);
        QVERIFY(thumb.ok() || !thumb.error.isEmpty());
        QVERIFY2(timer.elapsed() < kQuickMs, qPrintable(QString::number(timer.elapsed())));
    }

    // The whole run, bombs included, stays far below a gigabyte.
    void cleanupTestCase()
    {
        const qint64 peak = peakKilobytes();
        QVERIFY2(peak < qint64(1024) * 1024, qPrintable(QString::number(peak) + " KB"));
    }
};

PICTAVO_TEST_MAIN(tst_Hostile)
#include "tst_hostile.moc"
