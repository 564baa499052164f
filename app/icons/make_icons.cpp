// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the browser's button pictures in the viewer's style: six buttons,
// each with a normal and a hover picture, at 32 and 64 pixels. Build the
// browser_icons target and run it with the icons folder as argument to
// redraw them.

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>

#include <functional>

namespace {

const QColor kInk(0x33, 0x40, 0x4f);
const QColor kAccent(0x1f, 0x6f, 0xd1);
const QColor kHoverTile(0xdd, 0xe9, 0xf8);

using Glyph = std::function<void(QPainter &, const QColor &)>;

QPen pen(const QColor &c, double w = 2.4)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void magnifier(QPainter &p, const QColor &c)
{
    p.setPen(pen(c, 2.6));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(13.5, 13.5), 7.5, 7.5);
    p.setPen(pen(c, 4.0));
    p.drawLine(QPointF(19.3, 19.3), QPointF(26, 26));
    p.setPen(pen(c, 2.4));
}

const std::pair<const char *, Glyph> kGlyphs[] = {
    {"prev",
     [](QPainter &p, const QColor &c) {
         p.setPen(pen(c, 3.0));
         p.drawLine(QPointF(19, 7), QPointF(10, 16));
         p.drawLine(QPointF(10, 16), QPointF(19, 25));
     }},
    {"next",
     [](QPainter &p, const QColor &c) {
         p.setPen(pen(c, 3.0));
         p.drawLine(QPointF(13, 7), QPointF(22, 16));
         p.drawLine(QPointF(22, 16), QPointF(13, 25));
     }},
    {"zoomin",
     [](QPainter &p, const QColor &c) {
         magnifier(p, c);
         p.drawLine(QPointF(10, 13.5), QPointF(17, 13.5));
         p.drawLine(QPointF(13.5, 10), QPointF(13.5, 17));
     }},
    {"zoomout",
     [](QPainter &p, const QColor &c) {
         magnifier(p, c);
         p.drawLine(QPointF(10, 13.5), QPointF(17, 13.5));
     }},
    {"wallpaper",
     [](QPainter &p, const QColor &c) {
         // A monitor showing a landscape.
         p.setPen(pen(c, 2.2));
         p.setBrush(Qt::NoBrush);
         p.drawRoundedRect(QRectF(4, 6, 24, 17), 2, 2);
         p.drawLine(QPointF(16, 23), QPointF(16, 27));
         p.drawLine(QPointF(11, 27), QPointF(21, 27));
         QPainterPath hills;
         hills.moveTo(6.5, 21);
         hills.lineTo(12.5, 14);
         hills.lineTo(16.5, 18);
         hills.lineTo(19.5, 15.5);
         hills.lineTo(25.5, 21);
         hills.closeSubpath();
         p.setPen(Qt::NoPen);
         p.setBrush(c);
         p.drawPath(hills);
         p.drawEllipse(QPointF(21, 10.5), 1.8, 1.8);
     }},
    {"view",
     [](QPainter &p, const QColor &c) {
         // A framed picture with an arrow opening it large.
         p.setPen(pen(c, 2.2));
         p.setBrush(Qt::NoBrush);
         p.drawRoundedRect(QRectF(4, 8, 20, 18), 2, 2);
         QPainterPath hill;
         hill.moveTo(6.5, 23.5);
         hill.lineTo(12, 16.5);
         hill.lineTo(16, 20.5);
         hill.lineTo(21.5, 23.5);
         hill.closeSubpath();
         p.setPen(Qt::NoPen);
         p.setBrush(c);
         p.drawPath(hill);
         p.setPen(pen(c, 2.4));
         p.drawLine(QPointF(18, 14), QPointF(27, 5));
         p.drawPolyline(QPolygonF({QPointF(21, 5), QPointF(27, 5), QPointF(27, 11)}));
     }},
};

QImage draw(const Glyph &glyph, bool hover, int size)
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

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    for (const auto &[name, glyph] : kGlyphs) {
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
