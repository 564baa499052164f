// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QCursor>
#include <QFutureWatcher>
#include <QImage>
#include <QList>
#include <QUrl>

#include "imaging/ImageEngine.h"

namespace imaging {

// How the view places its image:
//   Plain   the image at the zoom, centred when asked to be, never scrolled;
//   Panned  the image at the zoom with scroll bars when it is larger than
//           the view, panned by the scroll offsets or the scroll bars;
//   Fitted  the image at the zoom, but shrunk (keeping its aspect) when it
//           would not fit, so that the whole image is always visible.
// The values are the ones the windows' rules compute with.
enum class ViewAlignment
{
    Plain = 0,
    Panned = 2,
    Fitted = 3,
};

// Where and how large the image is drawn in a view of the given size. Plain
// arithmetic, kept apart from the widget so that it can be tested directly.
struct ViewGeometry
{
    QSizeF displaySize{0, 0}; // the image's size on screen
    QPointF topLeft;          // position of the image's top-left corner in the view
    QSize scrollRange{0, 0};  // largest scroll offsets (0 when not panning)
};

// scroll is clamped to the scroll range.
ViewGeometry computeViewGeometry(QSize image, QSize view, double zoom, ViewAlignment alignment,
                                 bool centered, QPoint scroll);

// The image view: an engine plus the widget that draws its current image.
// The browser's preview and the viewer each hold one. Enter and the arrow
// keys are reported through keyPressed and do not pan by themselves: the
// viewer pans with the scroll offsets as its key table says.
class ImageView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit ImageView(QWidget *parent = nullptr);
    ~ImageView() override;

    ImageEngine &engine() { return m_engine; }
    const ImageEngine &engine() const { return m_engine; }

    // Display scale, 1.0 = 100 %. Values that are not positive and finite
    // are refused (the zoom stays as it was).
    double zoom() const { return m_zoom; }
    void setZoom(double zoom);
    // A new zoom and the alignment that goes with it, in one step, so that
    // the point in the middle of the view stays where it is.
    void setZoom(double zoom, ViewAlignment alignment);
    ViewAlignment viewAlignment() const { return m_viewAlignment; }
    void setViewAlignment(ViewAlignment alignment);
    bool antiAlias() const { return m_antiAlias; }
    void setAntiAlias(bool on);
    // Pan offsets in pixels of the zoomed image; only Panned scrolls, the
    // other alignments keep them at 0. Values are clamped to the scroll range.
    int scrollX() const;
    void setScrollX(int x);
    int scrollY() const;
    void setScrollY(int y);
    // Whether the image on show came from a file (or from the picture loader).
    bool fileLoadFlag() const { return m_fileLoadFlag; }
    void setFileLoadFlag(bool on) { m_fileLoadFlag = on; }

    // Display settings of the preview and the viewer.
    bool imageCentered() const { return m_centered; }
    void setImageCentered(bool on);
    QColor backgroundColor() const { return m_background; }
    void setBackgroundColor(const QColor &color);
    int borderThickness() const { return m_border; }
    void setBorderThickness(int pixels);
    // Settings the windows hand over that have no visible effect here; they
    // are kept so that the windows can set and read them.
    bool doubleBuffered() const { return m_doubleBuffered; }
    void setDoubleBuffered(bool on) { m_doubleBuffered = on; }
    bool clickLock() const { return m_clickLock; }
    void setClickLock(bool on) { m_clickLock = on; }
    int selectionLineType() const { return m_selectionLineType; }
    void setSelectionLineType(int type) { m_selectionLineType = type; }
    int mouseTool() const { return m_mouseTool; }
    void setMouseTool(int tool) { m_mouseTool = tool; }
    int scrollBarSetting() const { return m_scrollBarSetting; }
    void setScrollBarSetting(int setting) { m_scrollBarSetting = setting; }
    // The pointer shown over the image.
    void setMousePointer(const QCursor &cursor);
    // A short text drawn in the middle of the view while it shows no image:
    // why the file on show could not be read, say. Empty draws nothing.
    QString emptyNote() const { return m_emptyNote; }
    void setEmptyNote(const QString &note);

    // Where the image is drawn now, in viewport coordinates (empty when no
    // image is shown).
    QRectF displayRect() const;
    // True while a scaled copy for the current display size is being made
    // in the background; the view meanwhile draws a quick approximation.
    bool scalingPending() const { return m_scaling; }

    // The keys the view keeps for its host: Enter and the arrows, reported
    // through keyPressed and not passed on to the window.
    static bool keepsKey(int key);

signals:
    void doubleClicked();
    void keyPressed(int key, Qt::KeyboardModifiers modifiers);
    // position in pixels of the view.
    void mousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);
    // After the view changed: image loaded, cleared or transformed, zoom or
    // alignment changed.
    void changed();
    // Files dropped on the view; button is the right one when it was held,
    // else the left one.
    void filesDropped(const QList<QUrl> &urls, Qt::MouseButton button,
                      Qt::KeyboardModifiers modifiers, QPoint position);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Scaled
    {
        qint64 key = 0;
        QSize size;
        bool smooth = false;
        QImage image;
    };

    void imageChanged();
    void updateScrollBars();
    ViewGeometry viewGeometry() const;
    // The scaled copy for drawing at size, or nullptr while it is not ready.
    const QImage *scaledCopy(const QImage &source, QSize size);
    void scalingFinished();

    ImageEngine m_engine;
    double m_zoom = 1.0;
    ViewAlignment m_viewAlignment = ViewAlignment::Plain;
    bool m_antiAlias = true;
    bool m_fileLoadFlag = true;
    bool m_centered = true;
    int m_border = 0;
    QColor m_background = Qt::white;
    QString m_emptyNote;
    bool m_doubleBuffered = true;
    bool m_clickLock = false;
    int m_selectionLineType = 0;
    int m_mouseTool = 0;
    int m_scrollBarSetting = 1;

    // The display copy for shrunk images, so that a repaint does not resample
    // the whole image each time. Made on a worker for large images, one at a
    // time: while the window is being resized only the latest size matters.
    Scaled m_scaled;
    bool m_scaling = false;
    Scaled m_pendingSpec;
    QFutureWatcher<QImage> m_scaler;
};

} // namespace imaging
