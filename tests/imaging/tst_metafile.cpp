// SPDX-License-Identifier: GPL-3.0-or-later
// Reading metafiles: telling them apart, their size, and what their records draw.
#include <QApplication>
#include <QPainter>
#include <QtTest>

#include "MetafileChecks.h"
#include "imaging/Metafile.h"
#include "support/TestSupport.h"

using namespace imaging;
using namespace metafiletest;

class TestMetafile : public QObject
{
    Q_OBJECT

private slots:
    void detect_data();
    void detect();
    void frameSize_data();
    void frameSize();
    void drawing_data();
    void drawing();
    void text_data();
    void text();
    void boundingSize();
    void realFiles_data();
    void realFiles();

private:
    static void addEmfPlusRows();
};

void TestMetafile::detect_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("kind");
    QTest::newRow("emf") << Emf().bytes().left(44) << int(metafile::Kind::Emf);
    QTest::newRow("placeable wmf") << wmf100().bytes().left(22) << int(metafile::Kind::Wmf);
    QTest::newRow("plain wmf") << Wmf(0, 0, 0, false).bytes() << int(metafile::Kind::Wmf);
    QTest::newRow("empty") << QByteArray() << int(metafile::Kind::None);
    QTest::newRow("png") << QByteArray("\x89PNG\r\n\x1a\n0000000000000000000000000000000000000", 44)
                         << int(metafile::Kind::None);
    QTest::newRow("emf without signature") << Emf().bytes().left(40) << int(metafile::Kind::None);
}

void TestMetafile::detect()
{
    QFETCH(QByteArray, head);
    QFETCH(int, kind);
    QCOMPARE(int(metafile::detect(head)), kind);
}

void TestMetafile::frameSize_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size");
    QTest::newRow("emf 100x100") << Emf().bytes() << QSize(100, 100);
    QTest::newRow("emf 320x17") << Emf(320, 17).bytes() << QSize(320, 17);
    QTest::newRow("emf frame 10 x 5 cm")
        << Emf().frame(0, 0, 10000, 5000).bytes() << QSize(378, 189);
    QTest::newRow("emf empty frame uses bounds")
        << Emf(64, 32).frame(0, 0, 0, 0).bytes() << QSize(64, 32);
    QTest::newRow("wmf one inch by half") << Wmf(1440, 720, 1440).bytes() << QSize(96, 48);
    QTest::newRow("wmf 100 px") << wmf100().bytes() << QSize(100, 100);
    QTest::newRow("wmf without placeable header")
        << Wmf(0, 0, 0, false).rec(0x020C, {100, 200}).bytes() << QSize(200, 100);
    QTest::newRow("wmf without any size") << Wmf(0, 0, 0, false).bytes() << QSize();
    QTest::newRow("not a metafile") << QByteArray("GIF89a") << QSize();
}

void TestMetafile::frameSize()
{
    QFETCH(QByteArray, data);
    saveSeed(data);
    QFETCH(QSize, size);
    QCOMPARE(metafile::frameSize(data), size);
    QString error;
    const QImage image = metafile::render(data, &error);
    if (size.isValid())
        QCOMPARE(image.size(), size);
    else
        QVERIFY(image.isNull() && !error.isEmpty());
}

void TestMetafile::drawing_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<Samples>("samples");

    const QByteArray dib = dib24(quadrants());
    const Samples quads{
        {{25, 25}, kRed}, {{75, 25}, kGreen}, {{25, 75}, kBlue}, {{75, 75}, kWhite}};

    {
        Emf e;
        withBrush(e, 1, kRed).rec(43, {10, 10, 50, 50});
        QTest::newRow("emf rectangle")
            << e.bytes() << Samples{{{30, 30}, kRed}, {{70, 70}, kWhite}, {{5, 30}, kWhite}};
    }
    {
        Emf e;
        withBrush(e, 1, kBlue).rec(42, {0, 0, 100, 100});
        QTest::newRow("emf ellipse")
            << e.bytes()
            << Samples{{{50, 50}, kBlue}, {{50, 5}, kBlue}, {{3, 3}, kWhite}, {{97, 97}, kWhite}};
    }
    {
        Emf e;
        withBrush(e, 1, kRed).rec(44, {0, 0, 100, 100, 60, 60});
        QTest::newRow("emf round rect")
            << e.bytes() << Samples{{{50, 50}, kRed}, {{2, 2}, kWhite}, {{50, 2}, kRed}};
    }
    {
        Emf e;
        e.rec(38, {1, 0, 6, 0, 0x00FF00}).rec(37, {1}).rec(27, {0, 50}).rec(54, {100, 50});
        QTest::newRow("emf line with wide pen")
            << e.bytes() << Samples{{{50, 50}, kGreen}, {{10, 52}, kGreen}, {{50, 40}, kWhite}};
    }
    {
        Emf e;
        e.rec(95, {1, 0, 0, 0, 0, 0x00010000, 4, 0, 0xFF0000, 0, 0}).rec(37, {1});
        e.rec(4, {0, 0, 0, 0, 3, 10, 90, 90, 90, 90, 50}); // POLYLINE
        QTest::newRow("emf polyline, extended pen")
            << e.bytes()
            << Samples{{{10, 89}, kBlue}, {{30, 90}, kBlue}, {{90, 60}, kBlue}, {{50, 50}, kWhite}};
    }
    {
        Emf e;
        withBrush(e, 1, kRed).poly16(86, {10, 10, 90, 10, 10, 90});
        QTest::newRow("emf polygon16")
            << e.bytes() << Samples{{{20, 20}, kRed}, {{80, 80}, kWhite}};
    }
    {
        Emf e;
        withBrush(e, 1, kRed).rec(3, {0, 0, 0, 0, 4, 60, 60, 95, 60, 95, 95, 60, 95});
        QTest::newRow("emf polygon 32-bit")
            << e.bytes() << Samples{{{80, 80}, kRed}, {{40, 40}, kWhite}};
    }
    {
        Emf e;
        withBrush(e, 1, kBlue);
        QByteArray p;
        for (int i = 0; i < 4; ++i)
            put32(p, 0);
        put32(p, 2);
        put32(p, 8);
        put32(p, 4);
        put32(p, 4);
        for (qint16 v : {0, 0, 40, 0, 40, 40, 0, 40, 60, 60, 100, 60, 100, 100, 60, 100})
            put16(p, quint16(v));
        e.raw(91, p);
        QTest::newRow("emf polypolygon16")
            << e.bytes()
            << Samples{
                   {{20, 20}, kBlue}, {{80, 80}, kBlue}, {{50, 50}, kWhite}, {{80, 20}, kWhite}};
    }
    {
        Emf e;
        withBrush(e, 1, kRed).rec(47, {0, 0, 100, 100, 100, 50, 50, 0}); // PIE, upper right quarter
        QTest::newRow("emf pie") << e.bytes()
                                 << Samples{
                                        {{70, 30}, kRed}, {{30, 70}, kWhite}, {{30, 30}, kWhite}};
    }
    QTest::newRow("emf stretchdibits")
        << Emf().stretchDib({0, 0, 100, 100}, {0, 0, 2, 2}, dib).bytes() << quads;
    for (bool rle : {false, true}) {
        int bmiSize = 0;
        const QByteArray indexed = dib8(rle, &bmiSize);
        QTest::addRow("emf stretchdibits, 8-bit%s", rle ? " rle" : "")
            << Emf().stretchDib({0, 0, 100, 100}, {0, 0, 2, 2}, indexed, bmiSize).bytes() << quads;
    }
    QTest::newRow("emf stretchdibits, part of the source")
        << Emf().stretchDib({0, 0, 100, 100}, {1, 1, 1, 1}, dib).bytes()
        << Samples{{{50, 50}, kGreen}, {{5, 95}, kGreen}};
    QTest::newRow("emf stretchdibits, mirrored")
        << Emf().stretchDib({100, 0, -100, 100}, {0, 0, 2, 2}, dib).bytes()
        << Samples{{{25, 25}, kGreen}, {{75, 25}, kRed}, {{75, 75}, kBlue}};
    {
        QByteArray p;
        for (int v : {0, 0, 0, 0, 10, 20, 2, 2, 0x00CC0020, 0, 0})
            put32(p, quint32(v));
        for (int i = 0; i < 6; ++i)
            put32(p, 0);
        for (int v : {0, 0, 100, 40, 140, int(dib.size() - 40)})
            put32(p, quint32(v));
        p.append(dib);
        QTest::newRow("emf bitblt") << Emf().raw(76, p).bytes()
                                    << Samples{{{10, 20}, kRed},
                                               {{11, 20}, kGreen},
                                               {{10, 21}, kBlue},
                                               {{12, 22}, kWhite},
                                               {{9, 20}, kWhite}};
    }
    {
        QByteArray p;
        for (int v : {0, 0, 0, 0, 50, 50, 0, 0, 2, 2, 76, 40, 116, int(dib.size() - 40), 0, 0, 2})
            put32(p, quint32(v));
        p.append(dib);
        QTest::newRow("emf setdibitstodevice")
            << Emf().raw(80, p).bytes()
            << Samples{{{50, 50}, kRed}, {{51, 51}, kWhite}, {{51, 50}, kGreen}};
    }
    {
        Emf e;
        e.rec(17, {8}).rec(9, {1000, 1000}).rec(11, {100, 100});
        withBrush(e, 1, kRed).rec(43, {100, 100, 500, 500});
        QTest::newRow("emf anisotropic")
            << e.bytes() << Samples{{{30, 30}, kRed}, {{5, 5}, kWhite}, {{60, 60}, kWhite}};
    }
    {
        Emf e;
        e.rec(17, {7}).rec(9, {1000, 500}).rec(11, {100, 100});
        withBrush(e, 1, kRed).rec(43, {0, 0, 500, 500});
        QTest::newRow("emf isotropic keeps the aspect")
            << e.bytes() << Samples{{{25, 25}, kRed}, {{25, 75}, kWhite}, {{75, 25}, kWhite}};
    }
    {
        Emf e;
        e.rec(17, {2}); // 0.1 mm, y upwards
        withBrush(e, 1, kRed).rec(43, {0, 0, 100, -100});
        QTest::newRow("emf lometric")
            << e.bytes()
            << Samples{{{5, 5}, kRed}, {{35, 35}, kRed}, {{41, 41}, kWhite}, {{5, 60}, kWhite}};
    }
    {
        Emf e;
        e.rec(17, {3}).rec(12, {0, 100}); // 0.01 mm from the bottom left
        withBrush(e, 1, kBlue).rec(43, {0, 0, 2645, 1323});
        QTest::newRow("emf himetric with viewport origin")
            << e.bytes() << Samples{{{50, 75}, kBlue}, {{50, 25}, kWhite}};
    }
    {
        Emf e;
        e.rec(17, {6}); // twips
        withBrush(e, 1, kBlue).rec(43, {0, 0, 720, -720});
        QTest::newRow("emf twips") << e.bytes() << Samples{{{40, 40}, kBlue}, {{52, 52}, kWhite}};
    }
    {
        Emf e;
        e.rec(12, {50, 50}).rec(10, {10, 10});
        withBrush(e, 1, kRed).rec(43, {10, 10, 30, 30});
        QTest::newRow("emf window and viewport origins")
            << e.bytes() << Samples{{{60, 60}, kRed}, {{20, 20}, kWhite}};
    }
    {
        Emf e;
        QByteArray x;
        for (float v : {2.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f})
            putFloat(x, v);
        e.raw(35, x);
        withBrush(e, 1, kRed).rec(43, {10, 10, 20, 20});
        QTest::newRow("emf world transform")
            << e.bytes() << Samples{{{30, 30}, kRed}, {{15, 15}, kWhite}};
    }
    {
        Emf e;
        withBrush(e, 1, kRed);
        e.rec(33, {});
        e.rec(39, {2, 0, 0xFF0000, 0}).rec(37, {2});
        e.rec(34, {-1});
        e.rec(43, {0, 0, 100, 100});
        QTest::newRow("emf savedc restores the brush") << e.bytes() << Samples{{{50, 50}, kRed}};
    }
    {
        Emf e;
        withBrush(e, 1, kRed).rec(37, {qint32(0x80000004)}).rec(43, {0, 0, 50, 100});
        e.rec(37, {1}).rec(43, {50, 0, 100, 100});
        QTest::newRow("emf stock brush and reselect")
            << e.bytes() << Samples{{{25, 50}, kBlack}, {{75, 50}, kRed}};
    }
    {
        Emf e;
        withBrush(e, 1, kRed).rec(30, {0, 0, 50, 100}).rec(43, {0, 0, 100, 100});
        QTest::newRow("emf clip rectangle")
            << e.bytes() << Samples{{{25, 50}, kRed}, {{75, 50}, kWhite}};
    }
    {
        Emf e;
        withBrush(e, 1, kRed).rec(59, {}).rec(27, {10, 10}).rec(54, {90, 10}).rec(54, {90, 90});
        e.rec(61, {}).rec(60, {}).rec(62, {0, 0, 0, 0});
        QTest::newRow("emf filled path")
            << e.bytes() << Samples{{{80, 20}, kRed}, {{20, 80}, kWhite}};
    }
    {
        Emf e;
        e.rec(19, {2}); // winding: the inner square is filled too
        withBrush(e, 1, kRed);
        QByteArray p;
        for (int i = 0; i < 4; ++i)
            put32(p, 0);
        put32(p, 2);
        put32(p, 8);
        put32(p, 4);
        put32(p, 4);
        for (qint16 v : {0, 0, 100, 0, 100, 100, 0, 100, 25, 25, 75, 25, 75, 75, 25, 75})
            put16(p, quint16(v));
        e.raw(91, p);
        QTest::newRow("emf winding fill")
            << e.bytes() << Samples{{{50, 50}, kRed}, {{10, 10}, kRed}};
    }
    {
        Wmf w = wmf100();
        wmfRedNoPen(w).rec(0x041B, {500, 500, 100, 100}); // bottom, right, top, left
        QTest::newRow("wmf rectangle")
            << w.bytes() << Samples{{{30, 30}, kRed}, {{5, 5}, kWhite}, {{60, 60}, kWhite}};
    }
    {
        Wmf w = wmf100();
        wmfRedNoPen(w).rec(0x0418, {1000, 1000, 0, 0});
        QTest::newRow("wmf ellipse") << w.bytes() << Samples{{{50, 50}, kRed}, {{3, 3}, kWhite}};
    }
    {
        Wmf w = wmf100();
        wmfRedNoPen(w).rec(0x061C, {600, 600, 1000, 1000, 0, 0});
        QTest::newRow("wmf round rect") << w.bytes() << Samples{{{50, 50}, kRed}, {{2, 2}, kWhite}};
    }
    {
        Wmf w = wmf100();
        w.pen(0, 60, kBlue).rec(0x012D, {0}).rec(0x0214, {500, 0}).rec(0x0213, {500, 1000});
        QTest::newRow("wmf line") << w.bytes()
                                  << Samples{
                                         {{50, 50}, kBlue}, {{20, 52}, kBlue}, {{50, 20}, kWhite}};
    }
    {
        Wmf w = wmf100();
        wmfRedNoPen(w).rec(0x0324, {3, 100, 100, 900, 100, 100, 900});
        QTest::newRow("wmf polygon") << w.bytes() << Samples{{{20, 20}, kRed}, {{80, 80}, kWhite}};
    }
    {
        Wmf w = wmf100();
        w.pen(0, 40, kGreen).rec(0x012D, {0}).rec(0x0325, {3, 100, 500, 900, 500, 900, 900});
        QTest::newRow("wmf polyline")
            << w.bytes() << Samples{{{50, 50}, kGreen}, {{90, 70}, kGreen}, {{50, 70}, kWhite}};
    }
    {
        Wmf w = wmf100();
        wmfRedNoPen(w).rec(0x0538, {2, 4, 4, 0, 0, 400, 0, 400, 400, 0, 400, 600, 600, 1000, 600,
                                    1000, 1000, 600, 1000});
        QTest::newRow("wmf polypolygon")
            << w.bytes() << Samples{{{20, 20}, kRed}, {{80, 80}, kRed}, {{50, 50}, kWhite}};
    }
    {
        Wmf w = wmf100();
        QByteArray p;
        put32(p, 0x00CC0020);
        put16(p, 0);
        for (qint16 v : {2, 2, 0, 0, 1000, 1000, 0, 0})
            put16(p, quint16(v));
        p.append(dib);
        QTest::newRow("wmf stretchdib") << w.raw(0x0F43, p).bytes() << quads;
    }
    {
        Wmf w = wmf100();
        QByteArray p;
        put32(p, 0x00CC0020);
        for (qint16 v : {2, 2, 0, 0, 1000, 1000, 0, 0})
            put16(p, quint16(v));
        p.append(dib);
        QTest::newRow("wmf dibstretchblt") << w.raw(0x0B41, p).bytes() << quads;
    }
    {
        Wmf w = wmfPixels();
        QByteArray p;
        put32(p, 0x00CC0020);
        for (qint16 v : {0, 0, 2, 2, 0, 0}) // source y, x, height, width, dest y, x
            put16(p, quint16(v));
        p.append(dib);
        QTest::newRow("wmf dibbitblt")
            << w.raw(0x0940, p).bytes()
            << Samples{{{0, 0}, kRed}, {{1, 0}, kGreen}, {{0, 1}, kBlue}, {{5, 5}, kWhite}};
    }
    {
        Wmf w = wmfPixels();
        QByteArray p;
        for (qint16 v : {0, 2, 0, 0, 0, 2, 2, 10, 10})
            put16(p, quint16(v));
        p.append(dib);
        QTest::newRow("wmf setdibtodev")
            << w.raw(0x0D33, p).bytes()
            << Samples{{{10, 10}, kRed}, {{11, 11}, kWhite}, {{9, 10}, kWhite}};
    }
    {
        Wmf w = wmf100();
        w.brush(kRed).brush(kBlue).pen(5, 0, 0).rec(0x012D, {2}); // slots 0, 1, 2
        w.rec(0x01F0, {0}).brush(kGreen);                         // green takes slot 0
        w.rec(0x012D, {0}).rec(0x041B, {1000, 500, 0, 0});
        w.rec(0x012D, {1}).rec(0x041B, {1000, 1000, 0, 500});
        QTest::newRow("wmf object slots are reused")
            << w.bytes() << Samples{{{25, 50}, kGreen}, {{75, 50}, kBlue}};
    }
    {
        Wmf w = wmf100();
        wmfRedNoPen(w).rec(0x001E, {}).brush(kBlue).rec(0x012D, {2}).rec(0x0127, {-1});
        w.rec(0x041B, {1000, 1000, 0, 0});
        QTest::newRow("wmf savedc restores the brush") << w.bytes() << Samples{{{50, 50}, kRed}};
    }
    {
        Wmf w(1000, 1000, 960);
        w.rec(0x020B, {-500, -500}).rec(0x020C, {1000, 1000});
        wmfRedNoPen(w).rec(0x041B, {0, 0, -500, -500});
        QTest::newRow("wmf window origin")
            << w.bytes() << Samples{{{25, 25}, kRed}, {{75, 75}, kWhite}};
    }
    {
        Wmf w(1000, 1000, 960);
        w.rec(0x020B, {1000, 0}).rec(0x020C, {-1000, 1000}); // y counts upwards
        wmfRedNoPen(w).rec(0x041B, {500, 1000, 0, 0});
        QTest::newRow("wmf flipped window")
            << w.bytes() << Samples{{{50, 75}, kRed}, {{50, 25}, kWhite}};
    }
    {
        Wmf w = wmf100();
        wmfRedNoPen(w).rec(0x0416, {1000, 500, 0, 0}).rec(0x041B, {1000, 1000, 0, 0});
        QTest::newRow("wmf clip rectangle")
            << w.bytes() << Samples{{{25, 50}, kRed}, {{75, 50}, kWhite}};
    }
    {
        // GDI+ closes its files with a transfer that keeps the destination.
        Emf e;
        withBrush(e, 1, kRed).rec(43, {0, 0, 100, 100});
        e.rec(76,
              {0, 0, 99, 99, 0, 0, 100, 100, 0x00AA0029, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        QTest::newRow("emf bitblt that keeps the destination")
            << e.bytes() << Samples{{{50, 50}, kRed}};
    }
    addEmfPlusRows();
}

// EMF+ records, each in a picture whose plain records draw nothing.
void TestMetafile::addEmfPlusRows()
{
    const QRgb red = 0xFFFF0000, blue = 0xFF0000FF;
    const auto row = [](const char *name, const EmfPlus &records, const Samples &samples) {
        QTest::newRow(name) << Emf().plus(records).bytes() << samples;
    };
    row("emf+ fill rectangle, colour", EmfPlus().header().fillRect(red, 10, 10, 40, 40),
        {{{30, 30}, kRed}, {{70, 70}, kWhite}});
    {
        QByteArray d;
        for (quint32 v : {2u, 1u}) // brush 2, one rectangle of 16-bit values
            put32(d, v);
        for (quint16 v : {50, 50, 40, 40})
            put16(d, v);
        row("emf+ fill rectangle, brush object, 16-bit",
            EmfPlus().header().brush(2, blue).rec(0x400A, 0x4000, d),
            {{{70, 70}, kBlue}, {{30, 30}, kWhite}});
    }
    row("emf+ fill polygon",
        EmfPlus().header().floats(0x400C, 0x8000, {red, 3}, {0, 0, 100, 0, 0, 100}),
        {{{20, 20}, kRed}, {{80, 80}, kWhite}});
    row("emf+ fill ellipse", EmfPlus().header().floats(0x400E, 0x8000, {red}, {0, 0, 100, 100}),
        {{{50, 50}, kRed}, {{3, 3}, kWhite}});
    row("emf+ draw lines",
        EmfPlus().header().pen(1, 10, blue).floats(0x400D, 1, {2}, {0, 50, 100, 50}),
        {{{50, 50}, kBlue}, {{50, 20}, kWhite}});
    row("emf+ draw rectangle",
        EmfPlus().header().pen(1, 10, blue).floats(0x400B, 1, {1}, {20, 20, 60, 60}),
        {{{20, 50}, kBlue}, {{50, 50}, kWhite}});
    row("emf+ fill path",
        EmfPlus()
            .header()
            .path(3, {10, 10, 90, 10, 90, 90, 10, 90}, {0, 1, 1, 0x81})
            .floats(0x4014, 0x8003, {red}, {}),
        {{{50, 50}, kRed}, {{5, 5}, kWhite}});
    row("emf+ draw path",
        EmfPlus()
            .header()
            .pen(1, 8, blue)
            .path(3, {10, 10, 90, 10, 90, 90, 10, 90}, {0, 1, 1, 0x81})
            .floats(0x4015, 3, {1}, {}),
        {{{10, 50}, kBlue}, {{50, 50}, kWhite}});
    row("emf+ translate",
        EmfPlus().header().floats(0x402D, 0, {}, {50, 50}).fillRect(red, 0, 0, 20, 20),
        {{{60, 60}, kRed}, {{10, 10}, kWhite}});
    row("emf+ set world transform, scale",
        EmfPlus().header().floats(0x402A, 0, {}, {2, 0, 0, 2, 0, 0}).fillRect(red, 10, 10, 10, 10),
        {{{35, 35}, kRed}, {{15, 15}, kWhite}, {{45, 45}, kWhite}});
    row("emf+ save and restore",
        EmfPlus()
            .header()
            .floats(0x402D, 0, {}, {50, 0})
            .floats(0x4025, 0, {7}, {})
            .floats(0x402D, 0, {}, {0, 50})
            .floats(0x4026, 0, {7}, {})
            .fillRect(red, 0, 0, 20, 20),
        {{{60, 10}, kRed}, {{60, 60}, kWhite}});
    row("emf+ page unit millimetre",
        EmfPlus().header().floats(0x4030, 6, {}, {1}).fillRect(red, 0, 0, 10, 10),
        {{{35, 35}, kRed}, {{42, 42}, kWhite}});
    row("emf+ clip rectangle",
        EmfPlus().header().floats(0x4032, 0, {}, {0, 0, 50, 100}).fillRect(red, 0, 0, 100, 100),
        {{{25, 50}, kRed}, {{75, 50}, kWhite}});
    row("emf+ draw image",
        EmfPlus()
            .header()
            .image(4, quadrants())
            .floats(0x401A, 4, {0, 2}, {0, 0, 2, 2, 0, 0, 100, 100}),
        {{{25, 25}, kRed}, {{75, 25}, kGreen}, {{25, 75}, kBlue}, {{75, 75}, kWhite}});
    {
        // Corners to the upper-left, upper-right and lower-left points.
        QByteArray d;
        for (quint32 v : {0u, 2u})
            put32(d, v);
        for (float v : {0.f, 0.f, 2.f, 2.f})
            putFloat(d, v);
        put32(d, 3);
        for (float v : {100.f, 0.f, 0.f, 0.f, 100.f, 100.f})
            putFloat(d, v);
        row("emf+ draw image points, mirrored",
            EmfPlus().header().image(4, quadrants()).rec(0x401B, 4, d),
            {{{25, 25}, kGreen}, {{75, 25}, kRed}});
    }
    {
        // A brush object in two pieces, each led by the total size.
        const QByteArray brush = EmfPlus::solid(red);
        QByteArray first, second;
        put32(first, quint32(brush.size()));
        first.append(brush.left(8));
        second = brush.mid(8);
        row("emf+ object in two records",
            EmfPlus()
                .header()
                .rec(0x4008, 0x8105, first)
                .rec(0x4008, 0x0105, second)
                .floats(0x400A, 0, {5, 1}, {0, 0, 50, 50}),
            {{{25, 25}, kRed}, {{75, 75}, kWhite}});
    }

    // Which plain records play beside EMF+ records.
    {
        Emf e;
        e.plus(EmfPlus().header(false).fillRect(red, 0, 0, 50, 100));
        withBrush(e, 1, kBlue).rec(43, {50, 0, 100, 100});
        QTest::newRow("emf+ only: plain records left out")
            << e.bytes() << Samples{{{25, 50}, kRed}, {{75, 50}, kWhite}};
    }
    {
        Emf e;
        e.plus(EmfPlus().header(true).fillRect(red, 0, 0, 50, 100));
        withBrush(e, 1, kBlue).rec(43, {50, 0, 100, 100});
        QTest::newRow("emf+ dual: plain records played too")
            << e.bytes() << Samples{{{25, 50}, kRed}, {{75, 50}, kBlue}};
    }
    {
        Emf e;
        e.plus(EmfPlus().header(false).fillRect(red, 0, 0, 50, 100).rec(0x4004, 0, {}));
        withBrush(e, 1, kBlue).rec(43, {50, 0, 100, 100});
        QTest::newRow("emf+ only: plain records after GetDC")
            << e.bytes() << Samples{{{25, 50}, kRed}, {{75, 50}, kBlue}};
    }
}

void TestMetafile::drawing()
{
    QFETCH(QByteArray, data);
    saveSeed(data);
    QFETCH(Samples, samples);
    QString error;
    const QImage image = metafile::render(data, &error);
    QVERIFY2(!image.isNull(), qPrintable(error));
    QCOMPARE(image.size(), QSize(100, 100));
    for (const auto &[at, expected] : samples) {
        const QRgb got = image.pixel(at);
        QVERIFY2(near(got, expected), qPrintable(QStringLiteral("at %1,%2: %3, expected %4")
                                                     .arg(at.x())
                                                     .arg(at.y())
                                                     .arg(describe(got), describe(expected))));
    }
}

void TestMetafile::text_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QRect>("inside");

    {
        Emf e(200, 100);
        e.font(1, -40).rec(37, {1}).rec(24, {0x0000FF}).rec(18, {1});
        e.textW(10, 20, QStringLiteral("HHHH"));
        QTest::newRow("emf exttextoutw, top aligned") << e.bytes() << QRect(10, 20, 120, 40);
    }
    {
        Emf e(200, 100);
        e.font(1, -40).rec(37, {1}).rec(24, {0x0000FF}).rec(18, {1}).rec(22, {24 | 6});
        e.textW(100, 80, QStringLiteral("HH"));
        QTest::newRow("emf centred on the baseline") << e.bytes() << QRect(60, 45, 80, 36);
    }
    {
        Emf e(200, 100);
        e.rec(17, {2}); // 0.1 mm, y upwards: text still reads upright, downwards from its top
        e.font(1, -100).rec(37, {1}).rec(24, {0x0000FF}).rec(18, {1});
        e.textW(100, -100, QStringLiteral("HH"));
        QTest::newRow("emf lometric text") << e.bytes() << QRect(37, 37, 80, 45);
    }
    {
        Wmf w(2000, 1000, 960);
        w.rec(0x020B, {0, 0}).rec(0x020C, {1000, 2000});
        QByteArray font;
        put16(font, quint16(-400));
        font.append(QByteArray(16, '\0'));
        font.append("DejaVu Sans");
        w.raw(0x02FB, font).rec(0x012D, {0});
        QByteArray p;
        put16(p, 4);
        p.append("HHHH");
        put16(p, 200); // y, x
        put16(p, 100);
        w.rec(0x0209, {0xFF, 0}).rec(0x0102, {1}).raw(0x0521, p);
        QTest::newRow("wmf textout") << w.bytes() << QRect(10, 20, 120, 40);
    }
    {
        Wmf w(2000, 1000, 960);
        w.rec(0x020B, {0, 0}).rec(0x020C, {1000, 2000});
        QByteArray font;
        put16(font, quint16(-400));
        font.append(QByteArray(16, '\0'));
        font.append("DejaVu Sans");
        w.raw(0x02FB, font).rec(0x012D, {0});
        QByteArray p;
        put16(p, 200); // y, x
        put16(p, 100);
        put16(p, 4);
        put16(p, 0);
        p.append("HHHH");
        w.rec(0x0209, {0xFF, 0}).rec(0x0102, {1}).raw(0x0A32, p);
        QTest::newRow("wmf exttextout") << w.bytes() << QRect(10, 20, 120, 40);
    }
    {
        Emf e(200, 100);
        e.plus(EmfPlus().header().font(1, 40).drawString(1, 0xFFFF0000, 10, 20, 180, 60,
                                                         QStringLiteral("HHHH")));
        QTest::newRow("emf+ draw string") << e.bytes() << QRect(5, 15, 150, 50);
    }
    {
        // Driver strings given as characters, each at its own position.
        QByteArray d;
        for (quint32 v : {0xFFFF0000u, 1u, 0u, 2u})
            put32(d, v);
        put16(d, 'H');
        put16(d, 'H');
        for (float v : {20.f, 50.f, 60.f, 50.f})
            putFloat(d, v);
        Emf e(200, 100);
        e.plus(EmfPlus().header().font(1, 40).rec(0x4036, 0x8001, d));
        QTest::newRow("emf+ draw driver string") << e.bytes() << QRect(15, 15, 85, 45);
    }
}

// Text lands in the expected box, in the text colour, and nowhere else.

void TestMetafile::text()
{
    QFETCH(QByteArray, data);
    saveSeed(data);
    QFETCH(QRect, inside);
    QString error;
    const QImage image = metafile::render(data, &error);
    QVERIFY2(!image.isNull(), qPrintable(error));
    int red = 0, stray = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (near(p, kWhite, 30))
                continue;
            if (inside.contains(x, y))
                red += qRed(p) > 200 && qGreen(p) < 60 ? 1 : 0;
            else
                ++stray;
        }
    QVERIFY2(red > 200, qPrintable(QString::number(red)));
    QCOMPARE(stray, 0);
}

void TestMetafile::boundingSize()
{
    Emf e(400, 200);
    withBrush(e, 1, kRed).rec(43, {0, 0, 200, 200});
    QString error;
    const QImage small = metafile::render(e.bytes(), &error, QSize(100, 100));
    QCOMPARE(small.size(), QSize(100, 50));
    QVERIFY(near(small.pixel(25, 25), kRed));
    QVERIFY(near(small.pixel(75, 25), kWhite));
    // A picture smaller than the bounds keeps its size.
    QCOMPARE(metafile::render(e.bytes(), &error, QSize(1000, 1000)).size(), QSize(400, 200));
}

// Metafiles made by other programs, among them EMF+ ones whose plain records
// draw nothing: each shows a picture, at full and at thumbnail size.
void TestMetafile::realFiles_data()
{
    QTest::addColumn<QString>("file");
    for (const char *file :
         {"emf/ETO_PDY.emf", "emf/TestDrawImagePointsTypeBitmap.emf", "emf/TestDrawString.emf",
          "emf/TestDrawStringAlign.emf", "emf/TestEmfPlusDrawLineWithDash.emf",
          "emf/TestEmfPlusDrawPathWithMiterLimit.emf", "emf/TestEmfPlusFillClosedCurve.emf",
          "emf/TextMapMode.emf", "wmf/ETO_PDY.wmf", "wmf/tdf88163-wrong-font-size.wmf",
          "wmf/wmf-embedded-emfplus.wmf"})
        QTest::newRow(file) << QString::fromLatin1(file);
}

void TestMetafile::realFiles()
{
    QFETCH(QString, file);
    QFile in(qEnvironmentVariable("PICTAVO_SOURCE_DIR") +
             QStringLiteral("/tests/imaging/corpus/real/") + file);
    QVERIFY2(in.open(QIODevice::ReadOnly), qPrintable(in.fileName()));
    const QByteArray data = in.readAll();
    saveSeed(data);
    for (const QSize bounding : {QSize(), QSize(140, 140)}) {
        QString error;
        const QImage image = metafile::render(data, &error, bounding);
        QVERIFY2(!image.isNull(), qPrintable(error));
        QSet<QRgb> colours;
        for (int y = 0; y < image.height() && colours.size() < 2; ++y)
            for (int x = 0; x < image.width() && colours.size() < 2; ++x)
                colours.insert(image.pixel(x, y));
        QVERIFY2(colours.size() > 1, "the picture is of one colour");
    }
}

PICTAVO_TEST_MAIN(TestMetafile)
#include "tst_metafile.moc"
