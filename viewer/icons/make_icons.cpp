// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the viewer's toolbar pictures: eight buttons, each with a normal and
// a hover picture, at 32 and 64 pixels. Build the viewer_icons target and run
// it with the icons folder as argument to redraw them.

#include "IconKit.h"

namespace {

using namespace iconkit;

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
         monitor(p, c);
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

} // namespace

int main(int argc, char *argv[])
{
    return iconkit::writeAll(argc, argv, kGlyphs);
}
