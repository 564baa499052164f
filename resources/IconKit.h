// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the programs that draw the browser's and the viewer's button
// pictures, so that both sets keep one style: the ink and hover colours, the
// pen, the magnifier, and the writing of each picture at 32 and 64 pixels,
// normal and hover.
#pragma once

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <functional>
#include <utility>

namespace iconkit {

inline const QColor kInk(0x33, 0x40, 0x4f);
inline const QColor kAccent(0x1f, 0x6f, 0xd1);
inline const QColor kHoverTile(0xdd, 0xe9, 0xf8);

using Glyph = std::function<void(QPainter &, const QColor &)>;

inline QPen pen(const QColor &c, double w = 2.4)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

inline void magnifier(QPainter &p, const QColor &c)
{
    p.setPen(pen(c, 2.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(13.5, 13.5), 7.5, 7.5);
    p.setPen(pen(c, 4.0));
    p.drawLine(QPointF(19.3, 19.3), QPointF(26, 26));
    p.setPen(pen(c, 2.4));
}

// A screen on its stand, for the slide show and the wallpaper.
inline void monitor(QPainter &p, const QColor &c)
{
    p.setPen(pen(c, 2.2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(4, 6, 24, 17), 2, 2);
    p.drawLine(QPointF(16, 23), QPointF(16, 27));
    p.drawLine(QPointF(11, 27), QPointF(21, 27));
}

inline QImage draw(const Glyph &glyph, bool hover, int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    if (hover) {
        p.setPen(Qt::NoPen);
        p.setBrush(kHoverTile);
        p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 6, 6);
    }
    glyph(p, hover ? kAccent : kInk);
    return img;
}

// Writes every glyph as name.png, name@2x.png, name_hover.png and
// name_hover@2x.png into the folder given as the first argument.
template <std::size_t N>
int writeAll(int argc, char *argv[], const std::pair<const char *, Glyph> (&glyphs)[N])
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    for (const auto &[name, glyph] : glyphs) {
        for (bool hover : {false, true}) {
            const QString base = dir + QLatin1Char('/') + QString::fromLatin1(name) +
                                 (hover ? QStringLiteral("_hover") : QString());
            if (!draw(glyph, hover, 32).save(base + QStringLiteral(".png")) ||
                !draw(glyph, hover, 64).save(base + QStringLiteral("@2x.png")))
                return 1;
        }
    }
    return 0;
}

} // namespace iconkit
