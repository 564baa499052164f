// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the viewer's toolbar pictures: eight buttons, each with a normal and
// a hover picture, at 32 and 64 pixels. Build the viewer_icons target and run
// it with the icons folder as argument to redraw them.

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
    {"open32",
     [](QPainter &p, const QColor &c) {
         QPainterPath folder;
         folder.moveTo(4, 9);
         folder.lineTo(12, 9);
         folder.lineTo(14.5, 11.5);
         folder.lineTo(27, 11.5);
         folder.lineTo(27, 25);
         folder.lineTo(4, 25);
         folder.closeSubpath();
         p.setPen(pen(c));
         p.setBrush(Qt::NoBrush);
         p.drawPath(folder);
         p.drawLine(QPointF(15.5, 22), QPointF(15.5, 15));
         p.drawLine(QPointF(12.5, 18), QPointF(15.5, 15));
         p.drawLine(QPointF(18.5, 18), QPointF(15.5, 15));
     }},
    {"browsed32",
     [](QPainter &p, const QColor &c) {
         p.setPen(pen(c, 2.0));
         p.setBrush(Qt::NoBrush);
         for (int r = 0; r < 2; ++r)
             for (int k = 0; k < 2; ++k)
                 p.drawRoundedRect(QRectF(5 + k * 12, 5 + r * 12, 9, 9), 1.5, 1.5);
     }},
    {"previous32",
     [](QPainter &p, const QColor &c) {
         p.setPen(pen(c, 3.0));
         p.drawLine(QPointF(19, 7), QPointF(10, 16));
         p.drawLine(QPointF(10, 16), QPointF(19, 25));
     }},
    {"next32",
     [](QPainter &p, const QColor &c) {
         p.setPen(pen(c, 3.0));
         p.drawLine(QPointF(13, 7), QPointF(22, 16));
         p.drawLine(QPointF(22, 16), QPointF(13, 25));
     }},
    {"slidshow32",
     [](QPainter &p, const QColor &c) {
         p.setPen(pen(c, 2.2));
         p.setBrush(Qt::NoBrush);
         p.drawRoundedRect(QRectF(4, 6, 24, 17), 2, 2);
         p.drawLine(QPointF(16, 23), QPointF(16, 27));
         p.drawLine(QPointF(11, 27), QPointF(21, 27));
         QPainterPath play;
         play.moveTo(13.5, 10.5);
         play.lineTo(20.5, 14.5);
         play.lineTo(13.5, 18.5);
         play.closeSubpath();
         p.setPen(Qt::NoPen);
         p.setBrush(c);
         p.drawPath(play);
     }},
    {"zoomin32",
     [](QPainter &p, const QColor &c) {
         magnifier(p, c);
         p.drawLine(QPointF(10, 13.5), QPointF(17, 13.5));
         p.drawLine(QPointF(13.5, 10), QPointF(13.5, 17));
     }},
    {"zoomiout32",
     [](QPainter &p, const QColor &c) {
         magnifier(p, c);
         p.drawLine(QPointF(10, 13.5), QPointF(17, 13.5));
     }},
    {"fullscreen32",
     [](QPainter &p, const QColor &c) {
         p.setPen(pen(c, 2.6));
         const double a = 6, b = 26, l = 6;
         p.drawPolyline(QPolygonF({QPointF(a, a + l), QPointF(a, a), QPointF(a + l, a)}));
         p.drawPolyline(QPolygonF({QPointF(b - l, a), QPointF(b, a), QPointF(b, a + l)}));
         p.drawPolyline(QPolygonF({QPointF(a, b - l), QPointF(a, b), QPointF(a + l, b)}));
         p.drawPolyline(QPolygonF({QPointF(b - l, b), QPointF(b, b), QPointF(b, b - l)}));
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
