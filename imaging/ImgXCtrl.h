// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "imaging/ImageEngine.h"

#include <QAbstractScrollArea>
#include <QColor>

class QMimeData;

// The imaging control: an engine plus the view that draws its current image.
// The browser's preview and the viewer each hold one named ImgX; the members
// read as the windows use them (ImgX->Loader.LoadFile(...), ImgX->Zoom()).
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

    // Display scale, 1.0 = 100 %.
    double Zoom() const { return m_zoom; }
    void setZoom(double zoom);
    // 0 plain, 2 larger than the view (panned, scroll bars), 3 fitted.
    int ViewAlignment() const { return m_viewAlignment; }
    void setViewAlignment(int mode);
    bool AntiAlias() const { return m_antiAlias; }
    void setAntiAlias(bool on);
    int ScrollX() const;
    void setScrollX(int x);
    int ScrollY() const;
    void setScrollY(int y);
    bool FileLoadFlag() const { return m_fileLoadFlag; }
    void setFileLoadFlag(bool on) { m_fileLoadFlag = on; }

    // Display settings of the preview.
    void setImageCentered(bool on);
    void setBackgroundColor(const QColor &color);
    void setBorderThickness(int pixels);

signals:
    void DblClick();
    void KeyDown(int keyCode, int shift);
    void MouseDown(int button, int shift, int x, int y);
    void Change();
    void FileDrop(const QMimeData *data, int button, int shift, int x, int y);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void imageChanged();
    void updateScrollBars();
    QRectF imageRect() const; // where the image is drawn, in viewport coordinates

    double m_zoom = 1.0;
    int m_viewAlignment = 0;
    bool m_antiAlias = true;
    bool m_fileLoadFlag = true;
    bool m_centered = true;
    int m_border = 0;
    QColor m_background = Qt::white;
};
