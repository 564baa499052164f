// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "support/TestSupport.h"
#include "support/MetafileBuilders.h"
#include "imaging/Metafile.h"

using namespace imaging;
using namespace metafiletest;

namespace {

using Samples = QList<QPair<QPoint, QRgb>>;

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kBlack = qRgb(0, 0, 0);

constexpr qint32 kNullPen = qint32(0x80000008);

bool near(QRgb a, QRgb b, int tolerance = 8)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// With PICTAVO_METAFILE_CORPUS set to a folder, every generated metafile is
// also saved there, as the fuzzer's seed corpus.
void saveSeed(const QByteArray &data)
{
    const QString folder = qEnvironmentVariable("PICTAVO_METAFILE_CORPUS");
    if (folder.isEmpty() || data.isEmpty())
        return;
    QString name = QStringLiteral("%1-%2").arg(QString::fromLatin1(QTest::currentTestFunction()),
                                               QString::fromLatin1(QTest::currentDataTag()));
    name.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    QFile file(QDir(folder).filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(data);
}

QString describe(QRgb c)
{
    return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

// An EMF solid brush in handle `h`, selected, with the null pen.
Emf &withBrush(Emf &e, quint32 h, QRgb c)
{
    e.rec(39, {qint32(h), 0, qint32(qRed(c) | (qGreen(c) << 8) | (qBlue(c) << 16)), 0});
    e.rec(37, {qint32(h)});
    e.rec(37, {kNullPen});
    return e;
}

// A placeable WMF of 100 x 100 pixels with a window of 1000 x 1000 units.
Wmf wmf100()
{
    Wmf w(1000, 1000, 960);
    w.rec(0x020B, {0, 0});
    w.rec(0x020C, {1000, 1000});
    return w;
}

// The same size with one unit per pixel.
Wmf wmfPixels()
{
    Wmf w(100, 100, 96);
    w.rec(0x020B, {0, 0});
    w.rec(0x020C, {100, 100});
    return w;
}

// A WMF red brush selected with a null pen (slots 0 and 1).
Wmf &wmfRedNoPen(Wmf &w)
{
    w.brush(kRed).rec(0x012D, {0});
    w.pen(5, 0, 0).rec(0x012D, {1});
    return w;
}

QByteArray writeToBytes(const QImage &image, metafile::Kind kind)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QString error;
    if (!metafile::write(image, kind, buffer, &error))
        qWarning() << error;
    return bytes;
}

QImage noise(int w, int h, bool alpha, quint32 seed)
{
    QImage image(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    quint32 s = seed;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            image.setPixel(x, y,
                           alpha ? qRgba(int(s >> 24), int(s >> 16) & 255, int(s >> 8) & 255,
                                         (x + y) % 3 == 0 ? 255 : int(s & 255))
                                 : (s >> 8) | 0xFF000000u);
        }
    return image;
}

} // namespace

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
    void damaged_data();
    void damaged();
    void tooLarge_data();
    void tooLarge();
    void roundTrip_data();
    void roundTrip();
    void writeRejects();
    void imageMagickReadsWmf();
    void workerThreads();
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

void TestMetafile::damaged_data()
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
}

// Damaged input fails with a message or draws what it can, without a crash
// or a long stall.
void TestMetafile::damaged()
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

void TestMetafile::tooLarge_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("message");
    QTest::newRow("emf 2^31 frame")
        << Emf().frame(0, 0, 0x7FFFFFFF, 100).bytes()
        << QStringLiteral("the image is too large (81164736 x 4 pixels)");
    QTest::newRow("emf side above 32767")
        << Emf(40000, 10).bytes() << QStringLiteral("the image is too large (40000 x 10 pixels)");
    QTest::newRow("emf above 100 megapixels")
        << Emf(20000, 20000).bytes()
        << QStringLiteral("the image is too large (20000 x 20000 pixels)");
    QTest::newRow("emf bounds, negative frame") << Emf().frame(0, 0, -5, -5).bytes() << QString();
    QTest::newRow("wmf one unit per inch")
        << Wmf(32767, 32767, 1).bytes()
        << QStringLiteral("the image is too large (3145632 x 3145632 pixels)");
}

void TestMetafile::tooLarge()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, message);
    QString error;
    const QImage image = metafile::render(data, &error);
    if (message.isEmpty()) {
        QVERIFY(image.isNull() || image.width() * qint64(image.height()) <= metafile::kMaxPixels);
        return;
    }
    QVERIFY(image.isNull());
    QCOMPARE(error, message);
    // A bounding size brings the same picture within reach.
    QVERIFY(!metafile::render(data, &error, QSize(64, 64)).isNull());
}

void TestMetafile::roundTrip_data()
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

void TestMetafile::roundTrip()
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

void TestMetafile::writeRejects()
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
void TestMetafile::imageMagickReadsWmf()
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
void TestMetafile::workerThreads()
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
    for (int i = 0; i < results.size(); ++i)
        threads.append(QThread::create([&, i] { results[i] = metafile::render(data, nullptr); }));
    for (QThread *t : threads)
        t->start();
    for (QThread *t : threads) {
        QVERIFY(t->wait(60000));
        delete t;
    }
    for (const QImage &r : results)
        QCOMPARE(r, reference);
}

PICTAVO_TEST_MAIN(TestMetafile)
#include "tst_metafile.moc"
