// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the metafile tests share: colour checks, the fuzzer's seed corpus,
// and a few ready-made metafiles.

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QtTest>

#include "imaging/Metafile.h"
#include "support/MetafileBuilders.h"

namespace metafiletest {

using Samples = QList<QPair<QPoint, QRgb>>;

constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kGreen = qRgb(0, 255, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kBlack = qRgb(0, 0, 0);

constexpr qint32 kNullPen = qint32(0x80000008);

inline bool near(QRgb a, QRgb b, int tolerance = 8)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

// With PICTAVO_METAFILE_CORPUS set to a folder, every generated metafile is
// also saved there, as the fuzzer's seed corpus.
inline void saveSeed(const QByteArray &data)
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

inline QString describe(QRgb c)
{
    return QStringLiteral("#%1").arg(c & 0xFFFFFF, 6, 16, QLatin1Char('0'));
}

// An EMF solid brush in handle `h`, selected, with the null pen.
inline Emf &withBrush(Emf &e, quint32 h, QRgb c)
{
    e.rec(39, {qint32(h), 0, qint32(qRed(c) | (qGreen(c) << 8) | (qBlue(c) << 16)), 0});
    e.rec(37, {qint32(h)});
    e.rec(37, {kNullPen});
    return e;
}

// A placeable WMF of 100 x 100 pixels with a window of 1000 x 1000 units.
inline Wmf wmf100()
{
    Wmf w(1000, 1000, 960);
    w.rec(0x020B, {0, 0});
    w.rec(0x020C, {1000, 1000});
    return w;
}

// The same size with one unit per pixel.
inline Wmf wmfPixels()
{
    Wmf w(100, 100, 96);
    w.rec(0x020B, {0, 0});
    w.rec(0x020C, {100, 100});
    return w;
}

// A WMF red brush selected with a null pen (slots 0 and 1).
inline Wmf &wmfRedNoPen(Wmf &w)
{
    w.brush(kRed).rec(0x012D, {0});
    w.pen(5, 0, 0).rec(0x012D, {1});
    return w;
}

inline QByteArray writeToBytes(const QImage &image, imaging::metafile::Kind kind)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QString error;
    if (!imaging::metafile::write(image, kind, buffer, &error))
        qWarning() << error;
    return bytes;
}

inline QImage noise(int w, int h, bool alpha, quint32 seed)
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

} // namespace metafiletest
