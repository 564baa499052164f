// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/ImgXCtrl.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

namespace {
int shiftState(Qt::KeyboardModifiers m)
{
    return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0)
         | (m & Qt::AltModifier ? 4 : 0);
}
} // namespace

ImgXCtrl::ImgXCtrl(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    setFrameShape(QFrame::NoFrame);
    engine.onChanged = [this] { imageChanged(); };
}

ImgXCtrl::~ImgXCtrl()
{
    engine.onChanged = nullptr;
}

void ImgXCtrl::setZoom(double zoom)
{
    m_zoom = zoom;
    updateScrollBars();
    viewport()->update();
}

void ImgXCtrl::setViewAlignment(int mode)
{
    m_viewAlignment = mode;
    updateScrollBars();
    viewport()->update();
}

void ImgXCtrl::setAntiAlias(bool on)
{
    m_antiAlias = on;
    viewport()->update();
}

int ImgXCtrl::ScrollX() const { return horizontalScrollBar()->value(); }
void ImgXCtrl::setScrollX(int x) { horizontalScrollBar()->setValue(x); }
int ImgXCtrl::ScrollY() const { return verticalScrollBar()->value(); }
void ImgXCtrl::setScrollY(int y) { verticalScrollBar()->setValue(y); }

void ImgXCtrl::setImageCentered(bool on)
{
    m_centered = on;
    viewport()->update();
}

void ImgXCtrl::setBackgroundColor(const QColor &color)
{
    m_background = color;
    viewport()->update();
}

void ImgXCtrl::setBorderThickness(int pixels)
{
    m_border = pixels;
    viewport()->update();
}

void ImgXCtrl::imageChanged()
{
    updateScrollBars();
    viewport()->update();
    emit Change();
}

QRectF ImgXCtrl::imageRect() const
{
    const QImage &img = engine.currentImage();
    if (img.isNull())
        return {};
    const QSizeF view = viewport()->size();
    QSizeF size = QSizeF(img.size()) * m_zoom;
    if (m_viewAlignment == 3)
        size = QSizeF(img.size()).scaled(view, Qt::KeepAspectRatio);
    QPointF topLeft;
    if (m_centered) {
        topLeft = QPointF(std::max(0.0, (view.width() - size.width()) / 2),
                          std::max(0.0, (view.height() - size.height()) / 2));
    }
    if (m_viewAlignment == 2)
        topLeft -= QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    return {topLeft, size};
}

void ImgXCtrl::updateScrollBars()
{
    const QImage &img = engine.currentImage();
    const bool pan = m_viewAlignment == 2 && !img.isNull();
    const QSize size = pan ? (QSizeF(img.size()) * m_zoom).toSize() : QSize();
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, pan ? std::max(0, size.width() - view.width()) : 0);
    verticalScrollBar()->setRange(0, pan ? std::max(0, size.height() - view.height()) : 0);
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setPageStep(view.height());
    setHorizontalScrollBarPolicy(pan ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(pan ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

void ImgXCtrl::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), m_background);
    const QImage &img = engine.currentImage();
    if (img.isNull())
        return;
    const QRectF target = imageRect();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, m_antiAlias);
    // Draw only the visible part: map the visible target back to source pixels.
    const QRectF visible = target.intersected(QRectF(viewport()->rect()));
    if (visible.isEmpty())
        return;
    const double sx = img.width() / target.width();
    const double sy = img.height() / target.height();
    const QRectF source((visible.left() - target.left()) * sx, (visible.top() - target.top()) * sy,
                        visible.width() * sx, visible.height() * sy);
    painter.drawImage(visible, img, source);
    if (m_border > 0) {
        painter.setPen(QPen(Qt::gray, m_border));
        painter.drawRect(target.adjusted(-0.5, -0.5, 0.5, 0.5));
    }
}

void ImgXCtrl::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ImgXCtrl::scrollContentsBy(int, int)
{
    viewport()->update();
}

void ImgXCtrl::mouseDoubleClickEvent(QMouseEvent *)
{
    emit DblClick();
}

void ImgXCtrl::mousePressEvent(QMouseEvent *event)
{
    const int button = event->button() == Qt::LeftButton ? 1 : event->button() == Qt::RightButton ? 2 : 4;
    emit MouseDown(button, shiftState(event->modifiers()), int(event->position().x()),
                   int(event->position().y()));
}

void ImgXCtrl::keyPressEvent(QKeyEvent *event)
{
    emit KeyDown(event->key(), shiftState(event->modifiers()));
}

void ImgXCtrl::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ImgXCtrl::dropEvent(QDropEvent *event)
{
    const int button = event->buttons() & Qt::RightButton ? 2 : 1;
    emit FileDrop(event->mimeData(), button, shiftState(event->modifiers()),
                  int(event->position().x()), int(event->position().y()));
    event->acceptProposedAction();
}
