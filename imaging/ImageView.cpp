// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/ImageView.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QtConcurrent>

#include <algorithm>
#include <cmath>

namespace imaging {

namespace {

// Keeps absurd zoom factors from overflowing the integer geometry.
constexpr double kMaxDisplaySide = 1 << 24;

int roundedSide(double side)
{
    return int(std::lround(std::clamp(side, 1.0, kMaxDisplaySide)));
}

// Position along one axis: centred or at the start when the image is no
// larger than the view; otherwise panned, centred or at the start.
int place(int size, int view, bool centered, bool pan, int scroll)
{
    if (pan && size > view)
        return -std::clamp(scroll, 0, size - view);
    return centered ? (view - size) / 2 : 0;
}

} // namespace

ViewGeometry computeViewGeometry(QSize image, QSize view, double zoom, ViewAlignment alignment,
                                 bool centered, QPoint scroll)
{
    ViewGeometry g;
    if (image.isEmpty())
        return g;
    QSizeF size(image.width() * zoom, image.height() * zoom);
    if (alignment == ViewAlignment::Fitted &&
        (size.width() > view.width() || size.height() > view.height()))
        size = size.scaled(QSizeF(std::max(1, view.width()), std::max(1, view.height())),
                           Qt::KeepAspectRatio);
    const QSize display(roundedSide(size.width()), roundedSide(size.height()));
    const bool pan = alignment == ViewAlignment::Panned;
    g.displaySize = display;
    g.topLeft = QPointF(place(display.width(), view.width(), centered, pan, scroll.x()),
                        place(display.height(), view.height(), centered, pan, scroll.y()));
    if (pan)
        g.scrollRange = QSize(std::max(0, display.width() - view.width()),
                              std::max(0, display.height() - view.height()));
    return g;
}

namespace {

// Below this many pixels a scaled copy is made at once; above it on a worker.
constexpr qint64 kScaleInlinePixels = 2'000'000;
// Shrunk displays larger than this are drawn straight from the image instead
// of keeping a whole scaled copy in memory.
constexpr qint64 kMaxCopyPixels = 16'000'000;

QImage scaleForDisplay(const QImage &source, QSize size, bool smooth)
{
    QImage scaled = source.scaled(size, Qt::IgnoreAspectRatio,
                                  smooth ? Qt::SmoothTransformation : Qt::FastTransformation);
    // The painter blits these two formats without converting on each repaint.
    return scaled.convertToFormat(scaled.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                           : QImage::Format_RGB32);
}

} // namespace

bool ImageView::keepsKey(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

ImageView::ImageView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The view paints every pixel itself.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&m_engine, &ImageEngine::changed, this, &ImageView::imageChanged);
    connect(&m_scaler, &QFutureWatcher<QImage>::finished, this, &ImageView::scalingFinished);
}

ImageView::~ImageView()
{
    m_engine.disconnect(this);
    // A running scale only reads its own copy of the image; its result is
    // simply dropped.
    m_scaler.disconnect(this);
}

void ImageView::setZoom(double zoom)
{
    setZoom(zoom, m_viewAlignment);
}

void ImageView::setZoom(double zoom, ViewAlignment alignment)
{
    if (!(zoom > 0) || !std::isfinite(zoom) || (zoom == m_zoom && alignment == m_viewAlignment))
        return;
    // The point of the image in the middle of the view stays there: taken
    // as a fraction of the image as drawn now (wherever it is placed), and
    // put back in the middle once the image is drawn at the new size.
    const QSize view = viewport()->size();
    const QPointF middle(view.width() / 2.0, view.height() / 2.0);
    const ViewGeometry before = viewGeometry();
    const auto fraction = [](double at, double start, double size) {
        return size > 0 ? std::clamp((at - start) / size, 0.0, 1.0) : 0.5;
    };
    const double fx = fraction(middle.x(), before.topLeft.x(), before.displaySize.width());
    const double fy = fraction(middle.y(), before.topLeft.y(), before.displaySize.height());
    m_zoom = zoom;
    m_viewAlignment = alignment;
    updateScrollBars();
    if (m_viewAlignment == ViewAlignment::Panned) {
        const ViewGeometry after = viewGeometry();
        setScrollX(int(std::lround(fx * after.displaySize.width() - middle.x())));
        setScrollY(int(std::lround(fy * after.displaySize.height() - middle.y())));
    }
    viewport()->update();
    emit changed();
}

void ImageView::setViewAlignment(ViewAlignment alignment)
{
    if (alignment == m_viewAlignment)
        return;
    m_viewAlignment = alignment;
    updateScrollBars();
    viewport()->update();
    emit changed();
}

void ImageView::setAntiAlias(bool on)
{
    if (on == m_antiAlias)
        return;
    m_antiAlias = on;
    viewport()->update();
}

int ImageView::scrollX() const
{
    return horizontalScrollBar()->value();
}
void ImageView::setScrollX(int x)
{
    horizontalScrollBar()->setValue(x);
}
int ImageView::scrollY() const
{
    return verticalScrollBar()->value();
}
void ImageView::setScrollY(int y)
{
    verticalScrollBar()->setValue(y);
}

void ImageView::setImageCentered(bool on)
{
    m_centered = on;
    viewport()->update();
}

void ImageView::setBackgroundColor(const QColor &color)
{
    m_background = color;
    viewport()->update();
}

void ImageView::setBorderThickness(int pixels)
{
    m_border = std::max(0, pixels);
    viewport()->update();
}

void ImageView::setMousePointer(const QCursor &cursor)
{
    viewport()->setCursor(cursor);
}

void ImageView::setEmptyNote(const QString &note)
{
    if (note == m_emptyNote)
        return;
    m_emptyNote = note;
    viewport()->update();
}

void ImageView::imageChanged()
{
    updateScrollBars();
    viewport()->update();
    emit changed();
}

ViewGeometry ImageView::viewGeometry() const
{
    return computeViewGeometry(m_engine.currentImage().size(), viewport()->size(), m_zoom,
                               m_viewAlignment, m_centered, QPoint(scrollX(), scrollY()));
}

QRectF ImageView::displayRect() const
{
    if (m_engine.currentImage().isNull())
        return {};
    const ViewGeometry g = viewGeometry();
    return {g.topLeft, g.displaySize};
}

void ImageView::updateScrollBars()
{
    // Showing a scroll bar narrows the viewport; the resize that follows
    // comes back here and settles the ranges for the new size.
    const auto policy =
        m_viewAlignment == ViewAlignment::Panned ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    if (horizontalScrollBarPolicy() != policy)
        setHorizontalScrollBarPolicy(policy);
    if (verticalScrollBarPolicy() != policy)
        setVerticalScrollBarPolicy(policy);
    const QSize view = viewport()->size();
    const ViewGeometry g = computeViewGeometry(m_engine.currentImage().size(), view, m_zoom,
                                               m_viewAlignment, m_centered, {});
    horizontalScrollBar()->setPageStep(std::max(1, view.width()));
    verticalScrollBar()->setPageStep(std::max(1, view.height()));
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setRange(0, g.scrollRange.width());
    verticalScrollBar()->setRange(0, g.scrollRange.height());
}

const QImage *ImageView::scaledCopy(const QImage &source, QSize size)
{
    const qint64 key = source.cacheKey();
    if (m_scaled.key == key && m_scaled.size == size && m_scaled.smooth == m_antiAlias)
        return &m_scaled.image;
    if (qint64(source.width()) * source.height() <= kScaleInlinePixels) {
        m_scaled = {key, size, m_antiAlias, scaleForDisplay(source, size, m_antiAlias)};
        return &m_scaled.image;
    }
    // Resampling 12 megapixels takes long enough to stall the window, so a
    // worker does it on its own shallow copy of the image. While one runs, no
    // other starts; when it ends, the next repaint asks for what it needs then.
    if (!m_scaling) {
        m_scaling = true;
        m_pendingSpec = {key, size, m_antiAlias, {}};
        const bool smooth = m_antiAlias;
        m_scaler.setFuture(QtConcurrent::run(
            [source, size, smooth] { return scaleForDisplay(source, size, smooth); }));
    }
    return nullptr;
}

void ImageView::scalingFinished()
{
    m_scaling = false;
    QImage result = m_scaler.result();
    // Keep it only if it was made from the image still shown.
    if (m_engine.currentImage().cacheKey() == m_pendingSpec.key &&
        result.size() == m_pendingSpec.size) {
        m_scaled = m_pendingSpec;
        m_scaled.image = std::move(result);
    }
    viewport()->update();
}

void ImageView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    painter.fillRect(event->rect(), m_background);
    const QImage &img = m_engine.currentImage();
    if (img.isNull()) {
        m_scaled = {};
        if (!m_emptyNote.isEmpty()) {
            // Dark text on a light background, light text on a dark one.
            painter.setPen(m_background.lightnessF() < 0.5 ? QColor(Qt::white) : QColor(Qt::black));
            const int margin = fontMetrics().averageCharWidth() * 2;
            painter.drawText(viewport()->rect().adjusted(margin, margin, -margin, -margin),
                             Qt::AlignCenter | Qt::TextWordWrap, m_emptyNote);
        }
        return;
    }
    const ViewGeometry g = viewGeometry();
    const QRect target(g.topLeft.toPoint(), g.displaySize.toSize());
    const QRect visible = target.intersected(event->rect());
    // On a high-density screen the copy is made in device pixels, so that a
    // shrunk image stays as sharp as the screen allows.
    const qreal dpr = viewport()->devicePixelRatioF();
    const QSize copySize = (QSizeF(target.size()) * dpr).toSize();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, m_antiAlias);
    if (!visible.isEmpty()) {
        const QRect inTarget = visible.translated(-target.topLeft());
        const double sx = double(img.width()) / target.width();
        const double sy = double(img.height()) / target.height();
        const QRectF inSource(inTarget.x() * sx, inTarget.y() * sy, inTarget.width() * sx,
                              inTarget.height() * sy);
        if (target.size() == img.size()) {
            painter.drawImage(visible.topLeft(), img, inTarget);
        } else if (copySize.width() <= img.width() && copySize.height() <= img.height() &&
                   qint64(copySize.width()) * copySize.height() <= kMaxCopyPixels) {
            if (const QImage *scaled = scaledCopy(img, copySize)) {
                painter.drawImage(
                    QRectF(visible), *scaled,
                    QRectF(QPointF(inTarget.topLeft()) * dpr, QSizeF(inTarget.size()) * dpr));
            } else {
                // Until the good copy is ready: a quick nearest-pixel sample of
                // the visible part only.
                painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
                painter.drawImage(QRectF(visible), img, inSource);
            }
        } else {
            // Enlarged (or too large to copy): sample only the visible part.
            painter.drawImage(QRectF(visible), img, inSource);
        }
    }
    if (m_border > 0) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.setPen(QPen(Qt::black, m_border, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        painter.setBrush(Qt::NoBrush);
        const qreal half = m_border / 2.0;
        painter.drawRect(QRectF(target).adjusted(-half, -half, half, half));
    }
}

void ImageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void ImageView::scrollContentsBy(int, int)
{
    viewport()->update();
}

void ImageView::mouseDoubleClickEvent(QMouseEvent *)
{
    emit doubleClicked();
}

void ImageView::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed(event->button(), event->modifiers(), event->position().toPoint());
}

void ImageView::keyPressEvent(QKeyEvent *event)
{
    emit keyPressed(event->key(), event->modifiers());
    // Every key the view does not keep goes on to the window's own key
    // handling.
    event->setAccepted(keepsKey(event->key()));
}

void ImageView::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ImageView::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ImageView::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasUrls())
        return;
    const Qt::MouseButton button =
        event->buttons() & Qt::RightButton ? Qt::RightButton : Qt::LeftButton;
    event->acceptProposedAction();
    emit filesDropped(event->mimeData()->urls(), button, event->modifiers(),
                      event->position().toPoint());
}

} // namespace imaging
