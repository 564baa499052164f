// SPDX-License-Identifier: GPL-3.0-or-later
// Damaged, hostile and oversized metafiles end cleanly; readers on several threads.
#include <QApplication>
#include <QElapsedTimer>
#include <QtTest>

#include <limits>

#include "MetafileChecks.h"
#include "imaging/Metafile.h"
#include "support/TestSupport.h"

using namespace imaging;
using namespace metafiletest;

class TestMetafileDamaged : public QObject
{
    Q_OBJECT

private slots:
    void damaged_data();
    void damaged();
    void tooLarge_data();
    void tooLarge();
    void workerThreads();
};

void TestMetafileDamaged::damaged_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("fails");

    Emf good;
    withBrush(good, 1, kRed)
        .rec(43, {10, 10, 50, 50})
        .stretchDib({0, 0, 10, 10}, {0, 0, 2, 2}, dib24(quadrants()));
    const QByteArray emf = good.bytes();
    Wmf goodWmf = wmf100();
    wmfRedNoPen(goodWmf).rec(0x041B, {500, 500, 100, 100});
    const QByteArray wmf = goodWmf.bytes();

    QTest::newRow("zero bytes") << QByteArray() << true;
    QTest::newRow("emf header cut at 20") << emf.left(20) << true;
    QTest::newRow("emf header cut at 60") << emf.left(60) << true;
    QTest::newRow("emf header cut at 100") << emf.left(100) << true;
    // Cut before anything was drawn the file fails; cut later it shows what
    // was drawn up to the damage.
    for (int cut : {112, 140, 150, 200, 230, 260})
        QTest::addRow("emf cut at %d", cut) << emf.left(cut) << (cut < 200);
    QTest::newRow("wmf header cut at 30") << wmf.left(30) << true;
    for (int cut : {45, 50, 60, 70, 80, 115})
        QTest::addRow("wmf cut at %d", cut) << wmf.left(cut) << (cut != 50 && cut != 60);

    QByteArray zero = Emf().bytes();
    zero.insert(108, QByteArray("\x0e\0\0\0\0\0\0\0", 8)); // an EOF record of size 0
    QTest::newRow("emf record size 0") << zero << true;
    QByteArray outside = Emf().rec(43, {0, 0, 1, 1}).bytes();
    qToLittleEndian<quint32>(0x7FFFFFF0, outside.data() + 112);
    QTest::newRow("emf record size beyond the file") << outside << true;
    QByteArray odd = Emf().rec(43, {0, 0, 1, 1}).bytes();
    qToLittleEndian<quint32>(27, odd.data() + 112);
    QTest::newRow("emf record size not a multiple of 4") << odd << true;
    QByteArray header = Emf().bytes();
    qToLittleEndian<quint32>(0xFFFFFFF0, header.data() + 4);
    QTest::newRow("emf header size beyond the file") << header << true;
    QByteArray wmfZero = wmf100().bytes();
    qToLittleEndian<quint32>(0, wmfZero.data() + 40);
    QTest::newRow("wmf record size 0") << wmfZero << true;
    QByteArray wmfOutside = wmf100().bytes();
    qToLittleEndian<quint32>(0x7FFFFFFF, wmfOutside.data() + 40);
    QTest::newRow("wmf record size beyond the file") << wmfOutside << true;

    QTest::newRow("emf polygon claiming 4G points")
        << Emf().rec(3, {0, 0, 0, 0, -1, 1, 2}).bytes() << false;
    QTest::newRow("emf polypolygon claiming 4G polygons")
        << Emf().rec(8, {0, 0, 0, 0, -1, 3, 1, 2}).bytes() << false;
    QTest::newRow("emf polypolygon counts above the total")
        << Emf().rec(91, {0, 0, 0, 0, 2, 2, 1000, 1000, 0, 0}).bytes() << false;
    QTest::newRow("emf text with 4G characters")
        << Emf().rec(84, {0, 0, 0, 0, 1, 0, 0, 1, 1, -1, 76, 0, 0, 0, 0, 0, 0}).bytes() << false;
    QTest::newRow("emf text string outside the record")
        << Emf().rec(84, {0, 0, 0, 0, 1, 0, 0, 1, 1, 4, 0x7FFFFFFF, 0, 0, 0, 0, 0, 76}).bytes()
        << false;
    QTest::newRow("emf huge font")
        << Emf().font(1, -2000000000).rec(37, {1}).textW(0, 0, QStringLiteral("big")).bytes()
        << false;
    {
        QByteArray x;
        for (float v : {std::nanf(""), 0.0f, 0.0f, 1e30f, 0.0f, 0.0f})
            putFloat(x, v);
        QTest::newRow("emf world transform NaN")
            << Emf().raw(35, x).rec(43, {0, 0, 50, 50}).bytes() << false;
    }
    QTest::newRow("emf pen wider than any picture") << Emf()
                                                           .rec(38, {1, 0, 2000000000, 0, 0})
                                                           .rec(37, {1})
                                                           .rec(27, {0, 0})
                                                           .rec(54, {9, 9})
                                                           .bytes()
                                                    << false;
    QTest::newRow("emf zero window extent")
        << Emf().rec(17, {8}).rec(9, {0, 0}).rec(43, {0, 0, 50, 50}).bytes() << false;
    QTest::newRow("emf select and delete unknown objects") << Emf()
                                                                  .rec(37, {77})
                                                                  .rec(40, {77})
                                                                  .rec(40, {77})
                                                                  .rec(37, {qint32(0x800000FF)})
                                                                  .rec(43, {0, 0, 1, 1})
                                                                  .bytes()
                                                           << false;

    auto badDib = [](quint32 headerSize, qint32 w, qint32 h, quint16 bits, quint32 compression) {
        QByteArray b;
        put32(b, headerSize);
        put32(b, quint32(w));
        put32(b, quint32(h));
        put16(b, 1);
        put16(b, bits);
        put32(b, compression);
        b.append(QByteArray(20, '\0'));
        b.append(QByteArray(64, '\x55'));
        return b;
    };
    QTest::newRow("dib 100000 x 100000")
        << Emf().stretchDib({0, 0, 10, 10}, {0, 0, 1, 1}, badDib(40, 100000, 100000, 24, 0)).bytes()
        << false;
    QTest::newRow("dib 30000 x 30000 with few bits")
        << Emf().stretchDib({0, 0, 10, 10}, {0, 0, 1, 1}, badDib(40, 30000, 30000, 24, 0)).bytes()
        << false;
    QTest::newRow("dib rle8 bomb")
        << Emf().stretchDib({0, 0, 10, 10}, {0, 0, 1, 1}, badDib(40, 10000, 10000, 8, 1)).bytes()
        << false;
    QTest::newRow("dib negative width")
        << Emf().stretchDib({0, 0, 10, 10}, {0, 0, 1, 1}, badDib(40, -5, 5, 24, 0)).bytes()
        << false;
    QTest::newRow("dib header size huge")
        << Emf().stretchDib({0, 0, 10, 10}, {0, 0, 1, 1}, badDib(0xFFFFFFF0, 2, 2, 24, 0)).bytes()
        << false;
    QTest::newRow("dib bit count 7")
        << Emf().stretchDib({0, 0, 10, 10}, {0, 0, 1, 1}, badDib(40, 2, 2, 7, 0)).bytes() << false;
    QTest::newRow("dib bitfields without masks")
        << Emf().stretchDib({0, 0, 10, 10}, {0, 0, 1, 1}, badDib(40, 2, 2, 16, 3).left(40)).bytes()
        << false;
    QTest::newRow("dib embedded png that is not one")
        << Emf().stretchDib({0, 0, 10, 10}, {0, 0, 1, 1}, badDib(40, 2, 2, 0, 5)).bytes() << false;
    {
        QByteArray p;
        for (int v :
             {0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0x7FFFFFF0, 40, -8, 1000000, 0, 0x00CC0020, 10, 10})
            put32(p, quint32(v));
        QTest::newRow("stretchdibits offsets outside the record")
            << Emf().raw(81, p).bytes() << false;
    }
    {
        Emf e;
        for (int i = 0; i < 20000; ++i)
            e.rec(33, {});
        e.rec(34, {-20000}).rec(34, {5}).rec(34, {-2147483647 - 1}).rec(43, {0, 0, 10, 10});
        QTest::newRow("emf savedc bomb") << e.bytes() << false;
    }
    {
        Wmf w = wmf100();
        for (int i = 0; i < 20000; ++i)
            w.rec(0x001E, {});
        w.rec(0x0127, {-32768}).rec(0x0127, {32767}).rec(0x041B, {10, 10, 0, 0});
        QTest::newRow("wmf savedc bomb") << w.bytes() << false;
    }
    {
        Wmf w = wmf100();
        for (int i = 0; i < 70000; ++i)
            w.brush(kRed);
        w.rec(0x012D, {-1}).rec(0x041B, {10, 10, 0, 0});
        QTest::newRow("wmf object table overflow") << w.bytes() << false;
    }
    QTest::newRow("wmf polygon claiming 65535 points")
        << wmf100().rec(0x0324, {-1, 1, 2}).bytes() << false;
    QTest::newRow("wmf polypolygon claiming 65535 polygons")
        << wmf100().rec(0x0538, {-1, 3, 1, 2}).bytes() << false;
    QTest::newRow("wmf textout longer than the record")
        << wmf100().rec(0x0521, {-1, 0x4141}).bytes() << false;
    QTest::newRow("wmf exttextout longer than the record")
        << wmf100().rec(0x0A32, {0, 0, 30000, 6, 0, 0}).bytes() << false;
    QTest::newRow("wmf stretchdib with a truncated dib")
        << wmf100()
               .rec(0x0F43, {0x20, 0xCC, 0, 2, 2, 0, 0, 100, 100, 0, 0, 40, 0, 9999, 0, 9999})
               .bytes()
        << false;
    QTest::newRow("wmf records cut short") << wmf100()
                                                  .rec(0x041B, {})
                                                  .rec(0x0418, {1})
                                                  .rec(0x061C, {})
                                                  .rec(0x0817, {})
                                                  .rec(0x020C, {})
                                                  .bytes()
                                           << false;

    // EMF+ records that lie about their sizes and counts draw nothing wrong.
    const auto plus = [](const char *name, const EmfPlus &records) {
        QTest::newRow(name) << Emf().plus(EmfPlus().header()).plus(records).bytes() << false;
    };
    const quint32 red = 0xFFFF0000;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    plus("emf+ rectangles claiming 2^30", EmfPlus().floats(0x400A, 0x8000, {red, 1u << 30}, {0}));
    plus("emf+ polygon claiming 2^31 points",
         EmfPlus().floats(0x400C, 0x8000, {red, 0x80000000u}, {0, 0, 10, 10}));
    plus("emf+ relative points cut short",
         EmfPlus().rec(0x400D, 0x0801, QByteArray("\x10\0\0\0\x01\x81", 6)));
    plus("emf+ lines with 16-bit points cut short",
         EmfPlus().pen(1, 2, red).floats(0x400D, 0x4001, {1000}, {}));
    plus("emf+ path claiming more points than it holds",
         EmfPlus()
             .object(1, 3, QByteArray("\x02\x10\xc0\xdb\xff\xff\xff\x0f\0\0\0\0", 12))
             .floats(0x4014, 0x8001, {red}, {}));
    {
        // Eight points, run-length coded types that cover only one of them.
        QByteArray path;
        for (quint32 v : {EmfPlus::kVersion, 8u, 0x1000u})
            put32(path, v);
        path.append(QByteArray(64, '\0'));
        path.append("\x01\x01", 2);
        plus("emf+ path with run-length types cut short",
             EmfPlus().object(1, 3, path).floats(0x4014, 0x8001, {red}, {}));
    }
    plus("emf+ object ids past the table",
         EmfPlus().brush(200, red).floats(0x400A, 200, {200, 1}, {0, 0, 50, 50}));
    plus("emf+ continued object claiming 4 GB",
         EmfPlus().floats(0x4008, 0x8101, {0xFFFFFFFFu, 0x11223344u}, {}));
    plus("emf+ continued pieces beyond their total", EmfPlus()
                                                         .floats(0x4008, 0x8101, {8, 1, 2, 3}, {})
                                                         .floats(0x4008, 0x8101, {8, 1, 2, 3}, {})
                                                         .floats(0x4008, 0x0101, {1, 2, 3}, {}));
    plus("emf+ transforms of NaN and infinity", EmfPlus()
                                                    .floats(0x402A, 0, {}, {nan, 0, 0, 1, 0, 0})
                                                    .floats(0x402C, 0, {}, {inf, 0, 0, inf, 0, 0})
                                                    .floats(0x402E, 0, {}, {1e30f, 1e30f})
                                                    .floats(0x402F, 0, {}, {nan})
                                                    .floats(0x4030, 6, {}, {-1})
                                                    .fillRect(red, nan, 0, inf, 10)
                                                    .fillRect(red, 0, 0, 3e38f, 3e38f));
    plus("emf+ huge scale then drawing", EmfPlus()
                                             .floats(0x402E, 0, {}, {1e6f, 1e6f})
                                             .floats(0x402E, 0, {}, {1e6f, 1e6f})
                                             .fillRect(red, 0, 0, 10, 10)
                                             .pen(1, 1e9f, red)
                                             .floats(0x400D, 1, {2}, {0, 0, 1, 1}));
    {
        EmfPlus bomb;
        for (quint32 i = 0; i < 5000; ++i)
            bomb.floats(0x4025, 0, {i}, {});
        bomb.floats(0x4026, 0, {1}, {}).floats(0x4029, 0, {999999}, {});
        plus("emf+ save bomb", bomb);
    }
    plus("emf+ image of 100000 x 100000 pixels",
         EmfPlus()
             .floats(0x4008, 0x0501, {EmfPlus::kVersion, 1, 100000, 100000, 400000, 0x00026200u, 0},
                     {})
             .floats(0x401A, 1, {0, 2}, {0, 0, 10, 10, 0, 0, 10, 10}));
    plus("emf+ image whose stride is past its pixels",
         EmfPlus()
             .floats(0x4008, 0x0501, {EmfPlus::kVersion, 1, 4, 4, 0x7FFFFFF0u, 0x00026200u, 0}, {})
             .floats(0x401A, 1, {0, 2}, {0, 0, 4, 4, 0, 0, 10, 10}));
    plus("emf+ compressed image that is not one",
         EmfPlus()
             .floats(0x4008, 0x0501, {EmfPlus::kVersion, 1, 4, 4, 16, 0x00026200u, 1, 0x474E5089u},
                     {})
             .floats(0x401A, 1, {0, 2}, {0, 0, 4, 4, 0, 0, 10, 10}));
    plus("emf+ string longer than its record",
         EmfPlus().font(1, 20).floats(0x401C, 0x8001, {red, 0, 0x40000000u}, {0, 0, 50, 50}));
    plus("emf+ font family longer than its record",
         EmfPlus()
             .floats(0x4008, 0x0601, {EmfPlus::kVersion, 0x41A00000u, 2, 0, 0, 0x7FFFFFFFu}, {})
             .drawString(1, red, 0, 0, 50, 50, QStringLiteral("x")));
    plus("emf+ driver string claiming 2^30 glyphs",
         EmfPlus().font(1, 20).floats(0x4036, 0x8001, {red, 1, 0, 1u << 30}, {}));
    plus("emf+ curve with a far offset and many segments",
         EmfPlus().pen(1, 2, red).floats(0x4018, 1, {0x3F000000u, 0x7FFFFFFFu, 0x7FFFFFFFu, 3},
                                         {0, 0, 50, 50, 100, 0}));
    plus("emf+ pen with lying optional parts",
         EmfPlus()
             .floats(0x4008, 0x0201,
                     {EmfPlus::kVersion, 0, 0x1FFF, 0, 0x40000000u, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                      0x7FFFFFFFu},
                     {})
             .floats(0x400D, 1, {2}, {0, 0, 50, 50}));
    {
        QByteArray comment = Emf().plus(EmfPlus().header().fillRect(red, 0, 0, 9, 9)).bytes();
        qToLittleEndian<quint32>(0xFFFFFFF0, comment.data() + 108 + 8);
        QTest::newRow("emf+ comment claiming more than its record") << comment << false;
        QByteArray record = Emf().plus(EmfPlus().header().fillRect(red, 0, 0, 9, 9)).bytes();
        qToLittleEndian<quint32>(0x7FFFFFF0, record.data() + 108 + 16 + 4);
        QTest::newRow("emf+ record larger than its comment") << record << false;
    }
}

// Damaged input fails with a message or draws what it can, without a crash
// or a long stall.

void TestMetafileDamaged::damaged()
{
    QFETCH(QByteArray, data);
    saveSeed(data);
    QFETCH(bool, fails);
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    QElapsedTimer timer;
    timer.start();
    QString error;
    const QImage image = metafile::render(data, &error);
    QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    if (fails) {
        QVERIFY(image.isNull());
        QVERIFY(!error.isEmpty());
    } else {
        QVERIFY2(!image.isNull(), qPrintable(error));
    }
    metafile::frameSize(data); // never crashes either
}

void TestMetafileDamaged::tooLarge_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size");
    // A vector picture has no fixed pixel size: one whose frame is beyond the
    // limits is drawn smaller, keeping its shape.
    QTest::newRow("emf 2^31 frame")
        << Emf().frame(0, 0, 0x7FFFFFFF, 100).bytes() << QSize(metafile::kMaxSide, 1);
    QTest::newRow("emf side above 32767") << Emf(40000, 10).bytes() << QSize(32767, 8);
    QTest::newRow("emf above 100 megapixels") << Emf(20000, 20000).bytes() << QSize(10000, 10000);
    QTest::newRow("emf frame of a real 12047 x 15591 picture")
        << Emf(100, 100).frame(0, 0, 318744, 412512).bytes() << QSize(8790, 11376);
    QTest::newRow("emf bounds, negative frame") << Emf().frame(0, 0, -5, -5).bytes() << QSize();
    QTest::newRow("wmf one unit per inch") << Wmf(32767, 32767, 1).bytes() << QSize(10000, 10000);
}

void TestMetafileDamaged::tooLarge()
{
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);
    saveSeed(data);
    QString error;
    if (!size.isValid()) {
        const QImage image = metafile::render(data, &error);
        QVERIFY(image.isNull() || image.width() * qint64(image.height()) <= metafile::kMaxPixels);
        return;
    }
    QCOMPARE(metafile::frameSize(data), size);
    QVERIFY(size.width() <= metafile::kMaxSide && size.height() <= metafile::kMaxSide);
    QVERIFY(qint64(size.width()) * size.height() <= metafile::kMaxPixels);
    // Drawing at full size is left to the rows whose picture is small in
    // memory; a bounding size keeps the shape of every other one.
    if (qint64(size.width()) * size.height() <= 1'000'000) {
        const QImage image = metafile::render(data, &error);
        QCOMPARE(image.size(), size);
    }
    const QImage small = metafile::render(data, &error, QSize(64, 64));
    QCOMPARE(small.size(), size.scaled(64, 64, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
}

void TestMetafileDamaged::workerThreads()
{
    Emf e;
    withBrush(e, 1, kRed)
        .rec(42, {0, 0, 100, 100})
        .font(2, -20)
        .rec(37, {2})
        .textW(5, 5, QStringLiteral("x"));
    const QByteArray data = e.bytes();
    const QImage reference = metafile::render(data, nullptr);
    QList<QImage> results(8);
    QList<QThread *> threads;
    for (QImage &result : results)
        threads.append(
            QThread::create([&data, &result] { result = metafile::render(data, nullptr); }));
    for (QThread *t : threads)
        t->start();
    for (QThread *t : threads) {
        QVERIFY(t->wait(60000));
        delete t;
    }
    for (const QImage &r : results)
        QCOMPARE(r, reference);
}

PICTAVO_TEST_MAIN(TestMetafileDamaged)
#include "tst_metafile_damaged.moc"
