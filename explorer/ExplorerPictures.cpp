// SPDX-License-Identifier: GPL-3.0-or-later
// The explorer's built-in pictures: folder, loading and "cannot read".
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include "explorer/ExplorerShared.h"
#include "explorer/ThumbnailExplorer.h"

namespace explorer {

using detail::kCellSize;

QPixmap ThumbnailExplorer::folderPicture()
{
    QPixmap pm(kCellSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(41, 38, 68, 50);
    const QColor outline(176, 124, 28);

    // Back of the folder with its tab.
    QPainterPath back;
    back.moveTo(body.left(), body.top() + 3);
    back.lineTo(body.left(), body.top() - 4);
    back.quadTo(body.left(), body.top() - 7, body.left() + 3, body.top() - 7);
    back.lineTo(body.left() + 22, body.top() - 7);
    back.lineTo(body.left() + 27, body.top() - 2);
    back.lineTo(body.right() - 3, body.top() - 2);
    back.quadTo(body.right(), body.top() - 2, body.right(), body.top() + 1);
    back.lineTo(body.right(), body.bottom() - 3);
    back.lineTo(body.left(), body.bottom() - 3);
    back.closeSubpath();
    QLinearGradient backFill(body.topLeft(), body.bottomLeft());
    backFill.setColorAt(0, QColor(238, 184, 62));
    backFill.setColorAt(1, QColor(214, 152, 36));
    p.setPen(QPen(outline, 1));
    p.setBrush(backFill);
    p.drawPath(back);

    // A sheet of paper peeking out.
    p.setPen(QPen(QColor(200, 200, 200), 1));
    p.setBrush(QColor(252, 252, 248));
    p.drawRect(QRectF(body.left() + 6, body.top() + 1, body.width() - 12, 14));

    // Front flap.
    const QRectF front(body.left(), body.top() + 8, body.width(), body.height() - 8);
    QLinearGradient frontFill(front.topLeft(), front.bottomLeft());
    frontFill.setColorAt(0, QColor(255, 222, 110));
    frontFill.setColorAt(1, QColor(246, 190, 50));
    p.setPen(QPen(outline, 1));
    p.setBrush(frontFill);
    p.drawRoundedRect(front, 3, 3);
    p.setPen(QPen(QColor(255, 240, 180), 1));
    p.drawLine(QPointF(front.left() + 3, front.top() + 1.5),
               QPointF(front.right() - 3, front.top() + 1.5));
    return pm;
}

// The light cell, framed, that the loading and unreadable pictures draw on.
static QPixmap emptyCell()
{
    QPixmap pm(125, 125);
    pm.fill(QColor(244, 245, 247));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(214, 217, 222), 1));
    p.drawRect(QRectF(0.5, 0.5, 124, 124));
    return pm;
}

QPixmap ThumbnailExplorer::loadingPicture()
{
    QPixmap pm = emptyCell();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font = p.font();
    font.setPointSizeF(9.5);
    p.setFont(font);
    p.setPen(QColor(128, 132, 140));
    p.drawText(QRect(0, 0, 125, 125), Qt::AlignCenter, QStringLiteral("Loading..."));
    return pm;
}

QPixmap ThumbnailExplorer::unreadablePicture()
{
    QPixmap pm = emptyCell();
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // A picture torn in two: a frame with a hill and a sun, split by a
    // jagged line, the right half dropped a little.
    const QColor frame(150, 156, 166);
    const auto half = [&](const QPolygonF &clip, QPointF shift) {
        p.save();
        p.translate(shift);
        QPainterPath clipPath;
        clipPath.addPolygon(clip);
        p.setClipPath(clipPath);
        const QRectF r(37, 30, 51, 40);
        p.setPen(QPen(frame, 1.5));
        p.setBrush(QColor(255, 255, 255));
        p.drawRect(r);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(232, 190, 90));
        p.drawEllipse(QPointF(50, 42), 5, 5);
        QPainterPath hill;
        hill.moveTo(r.left() + 1, r.bottom() - 1);
        hill.lineTo(62, 48);
        hill.lineTo(74, 58);
        hill.lineTo(80, 53);
        hill.lineTo(r.right() - 1, r.bottom() - 8);
        hill.lineTo(r.right() - 1, r.bottom() - 1);
        hill.closeSubpath();
        p.setBrush(QColor(150, 176, 204));
        p.drawPath(hill);
        p.restore();
    };
    const QList<QPointF> tear = {{64, 26}, {60, 38}, {66, 46}, {59, 56}, {65, 64}, {61, 74}};
    QPolygonF left{QPointF(30, 26)};
    QPolygonF right{QPointF(96, 26)};
    for (const QPointF &pt : tear) {
        left.append(pt);
        right.append(pt);
    }
    left.append(QPointF(30, 74));
    right.append(QPointF(96, 74));
    half(left, QPointF(-2, 0));
    half(right, QPointF(3, 3));

    QFont font = p.font();
    font.setPointSizeF(9.5);
    p.setFont(font);
    p.setPen(QColor(160, 60, 60));
    p.drawText(QRect(0, 80, 125, 24), Qt::AlignCenter, QStringLiteral("Cannot read"));
    return pm;
}

QString ThumbnailExplorer::unreadableKey()
{
    return detail::kUnreadableKey;
}

} // namespace explorer
