// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "imaging/ImageEngine.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QCursor>
#include <QFutureWatcher>
#include <QImage>

class QMimeData;

namespace imaging {

// Where and how large the image is drawn in a view of the given size. Plain
// arithmetic, kept apart from the widget so that it can be tested directly.
struct ViewGeometry
{
    QSizeF displaySize{0, 0}; // the image's size on screen
    QPointF topLeft;          // position of the image's top-left corner in the view
    QSize scrollRange{0, 0};  // largest ScrollX / ScrollY (0 when not panning)
};

// mode: 0 plain, 2 larger than the view (panned), 3 fitted.
// scroll is clamped to the scroll range.
ViewGeometry computeViewGeometry(QSize image, QSize view, double zoom, int mode, bool centered,
                                 QPoint scroll);

} // namespace imaging

// The imaging control: an engine plus the view that draws its current image.
// The browser's preview and the viewer each hold one named ImgX; the members
// read as the windows use them (ImgX->Loader.LoadFile(...), ImgX->Zoom()).
//
// View modes (ViewAlignment):
//   0  the image at Zoom, centred when asked to be, never scrolled;
//   2  the image at Zoom with scroll bars when it is larger than the view,
//      panned by ScrollX / ScrollY (pixels) or the scroll bars;
//   3  the image at Zoom, but shrunk (keeping its aspect) when it would not
//      fit, so that the whole image is always visible.
// Arrow keys are reported through KeyDown and do not pan by themselves: the
// viewer pans with ScrollX / ScrollY as its key table says.
class ImgXCtrl : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit ImgXCtrl(QWidget *parent = nullptr);
    ~ImgXCtrl() override;

    imaging::ImageEngine engine;
    imaging::ImageEngine::LoaderT &Loader = engine.Loader;
    imaging::ImageEngine::ImagesT &Images = engine.Images;
    imaging::ImageEngine::ImageInfoT &ImageInfo = engine.ImageInfo;
    imaging::ImageEngine::TransformT &Transform = engine.Transform;
    imaging::ImageEngine::CanvasT &Canvas = engine.Canvas;
    imaging::ImageEngine::OutputT &Output = engine.Output;
    // Gives Images, ImageInfo and Output of this instance.
    imaging::ImageEngine &Utility() { return engine; }

    // Display scale, 1.0 = 100 %. Values that are not positive and finite
    // are refused (the zoom stays as it was).
    double Zoom() const { return m_zoom; }
    void setZoom(double zoom);
    // 0 plain, 2 larger than the view (panned, scroll bars), 3 fitted.
    int ViewAlignment() const { return m_viewAlignment; }
    void setViewAlignment(int mode);
    bool AntiAlias() const { return m_antiAlias; }
    void setAntiAlias(bool on);
    // Pan offsets in pixels of the zoomed image; only mode 2 scrolls, the
    // other modes keep them at 0. Values are clamped to the scroll range.
    int ScrollX() const;
    void setScrollX(int x);
    int ScrollY() const;
    void setScrollY(int y);
    bool FileLoadFlag() const { return m_fileLoadFlag; }
    void setFileLoadFlag(bool on) { m_fileLoadFlag = on; }

    // Display settings of the preview and the viewer.
    bool ImageCentered() const { return m_centered; }
    void setImageCentered(bool on);
    QColor BackgroundColor() const { return m_background; }
    void setBackgroundColor(const QColor &color);
    int BorderThickness() const { return m_border; }
    void setBorderThickness(int pixels);
    // Settings the windows hand over that have no visible effect here; they
    // are kept so that the windows can set and read them.
    bool DoubleBuffered() const { return m_doubleBuffered; }
    void setDoubleBuffered(bool on) { m_doubleBuffered = on; }
    bool ClickLock() const { return m_clickLock; }
    void setClickLock(bool on) { m_clickLock = on; }
    int SelectionLineType() const { return m_selectionLineType; }
    void setSelectionLineType(int type) { m_selectionLineType = type; }
    int MouseTool() const { return m_mouseTool; }
    void setMouseTool(int tool) { m_mouseTool = tool; }
    int ScrollBarSetting() const { return m_scrollBarSetting; }
    void setScrollBarSetting(int setting) { m_scrollBarSetting = setting; }
    // The pointer shown over the image.
    void setMousePointer(const QCursor &cursor);

    // Where the image is drawn now, in viewport coordinates (empty when no
    // image is shown).
    QRectF displayRect() const;
    // True while a scaled copy for the current display size is being made
    // in the background; the view meanwhile draws a quick approximation.
    bool scalingPending() const { return m_scaling; }

signals:
    void DblClick();
    // Qt key code; shift state: 1 Shift, 2 Ctrl, 4 Alt.
    void KeyDown(int keyCode, int shift);
    // button: 1 left, 2 right, 4 middle; x, y in pixels of the view.
    void MouseDown(int button, int shift, int x, int y);
    // After the view changed: image loaded, cleared or transformed, zoom or
    // view mode changed.
    void Change();
    // Files dropped on the view (the data offers text/uri-list).
    void FileDrop(const QMimeData *data, int button, int shift, int x, int y);

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
    imaging::ViewGeometry geometry() const;
    // The scaled copy for drawing at size, or nullptr while it is not ready.
    const QImage *scaledCopy(const QImage &source, QSize size);
    void scalingFinished();

    double m_zoom = 1.0;
    int m_viewAlignment = 0;
    bool m_antiAlias = true;
    bool m_fileLoadFlag = true;
    bool m_centered = true;
    int m_border = 0;
    QColor m_background = Qt::white;
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
