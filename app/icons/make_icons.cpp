// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the browser's button pictures in the viewer's style: six buttons,
// each with a normal and a hover picture, at 32 and 64 pixels. Build the
// browser_icons target and run it with the icons folder as argument to
// redraw them.

#include "IconKit.h"

namespace {

using namespace iconkit;

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
         monitor(p, c);
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

} // namespace

int main(int argc, char *argv[])
{
    return iconkit::writeAll(argc, argv, kGlyphs);
}
