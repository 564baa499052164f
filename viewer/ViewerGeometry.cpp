// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer window's size and place: the resize rules, sizing the window
// around an image, and full screen.
#include <QFrame>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <limits>

#include "core/Twips.h"
#include "imaging/ImageView.h"
#include "viewer/ViewerRules.h"
#include "viewer/ViewerStatusBar.h"
#include "viewer/ViewerWindow.h"

namespace viewer {

namespace {

// Design positions and sizes, in twips.
constexpr double kToolbarLeft = 30, kToolbarTop = 30;
constexpr double kViewLeft = 75, kViewTop = 570;
constexpr double kMenuStripWidth = 9765;
constexpr int kFullScreenTopOffset = 510;

double tppX()
{
    return core::twipsPerPixelX();
}

double tppY()
{
    return core::twipsPerPixelY();
}

// A twips value as a 16-bit field: false when it does not fit.
bool toInt16(double twips, qint16 *out)
{
    const qint64 v = roundHalfEven(twips);
    if (v < std::numeric_limits<qint16>::min() || v > std::numeric_limits<qint16>::max())
        return false;
    *out = qint16(v);
    return true;
}

} // namespace

QSizeF ViewerWindow::screenSizeTwips() const
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize px = s ? s->geometry().size() : QSize(1024, 768);
    return {px.width() * tppX(), px.height() * tppY()};
}

// The window's outer rectangle in pixels: its frame as far as the window
// system has told it, even while the window is hidden.
QRect ViewerWindow::outerGeometry() const
{
    const QMargins m = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    return geometry().marginsAdded(m);
}

QSizeF ViewerWindow::windowSizeTwips() const
{
    if (windowState() & Qt::WindowFullScreen)
        return screenSizeTwips();
    const QSize px = outerGeometry().size();
    return {px.width() * tppX(), px.height() * tppY()};
}

double ViewerWindow::toolbarHeightTwips() const
{
    return m_toolbar->height() * tppY();
}

bool ViewerWindow::isMinimizedOrMaximized() const
{
    return windowState() & (Qt::WindowMinimized | Qt::WindowMaximized);
}

void ViewerWindow::setWindowSizeTwips(double width, double height)
{
    // A window never grows beyond the screen's free area; the later steps
    // work with the size as finally set.
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    QSize px(core::twipsToPixelsX(width), core::twipsToPixelsY(height));
    if (s)
        px = px.boundedTo(s->availableGeometry().size());
    const QSize frameExtra = outerGeometry().size() - geometry().size();
    resize((px - frameExtra).expandedTo(QSize(1, 1)));
    applyResizeRules();
}

void ViewerWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    applyResizeRules();
}

void ViewerWindow::applyResizeRules()
{
    if (m_sizing)
        return;
    const ViewLayout layout = resizeLayout(windowSizeTwips(), toolbarHeightTwips());
    m_viewTwips.setWidth(layout.viewWidth);
    if (layout.viewHeight >= 0) // a window too small for the view keeps the old height
        m_viewTwips.setHeight(layout.viewHeight);
    applyViewGeometry();
    updateViewMode();
}

// Places the controls at their design positions. The view is kept inside
// the area between the toolbar and the status bar, so that its scroll bars
// stay on screen whatever the window frame measures.
void ViewerWindow::applyViewGeometry()
{
    const QWidget *client = centralWidget();
    const int x = core::twipsToPixelsX(kViewLeft);
    const int y = core::twipsToPixelsY(kViewTop);
    const int viewWidth = core::twipsToPixelsX(m_viewTwips.width());
    const int w = std::clamp(viewWidth, 0, std::max(0, client->width() - 2 * x));
    const int h = std::clamp(core::twipsToPixelsY(m_viewTwips.height()), 0,
                             std::max(0, client->height() - y));
    m_imageView->setGeometry(x, y, w, h);
    const int tx = core::twipsToPixelsX(kToolbarLeft);
    m_toolbar->setGeometry(tx, core::twipsToPixelsY(kToolbarTop),
                           std::max(0, std::min(viewWidth, client->width() - tx)),
                           m_toolbar->height());
    // The strip under the menu bar spans the window (at its design width it
    // would end in the middle of a wider window).
    m_menuStrip->setGeometry(0, 0, std::max(core::twipsToPixelsX(kMenuStripWidth), client->width()),
                             2);
}

void ViewerWindow::setBarsVisible(bool visible)
{
    for (QMenu *m : std::as_const(m_topMenus))
        m->menuAction()->setVisible(visible);
    // A hidden menu bar also switches the menu shortcuts off.
    menuBar()->setVisible(visible);
    m_toolbar->setVisible(visible);
    m_statusBar->setVisible(visible);
    m_menuStrip->setVisible(visible);
}

void ViewerWindow::toggleFullScreen()
{
    if (!m_fullScreen) {
        m_fullScreen = true;
        // Entering again while already full screen (moving to another image)
        // keeps the windowed position and size saved before, so that leaving
        // gives the user's window back.
        if (!(windowState() & Qt::WindowFullScreen)) {
            const QRect g = outerGeometry();
            qint16 v = 0;
            if (toInt16(g.x() * tppX(), &v))
                m_saved.left = v;
            if (toInt16(g.y() * tppY(), &v))
                m_saved.top = v;
            m_saved.width = qint32(roundHalfEven(g.width() * tppX()));
            m_saved.height = qint32(roundHalfEven(g.height() * tppY()));
        }
        if (windowState() & Qt::WindowMaximized)
            setWindowState(windowState() & ~Qt::WindowMaximized);
        // Presenting an image in full screen loaded it a moment ago: reading
        // the same file again would only double the wait for every image.
        if (!m_presenting)
            reloadCurrentImage();
        setBarsVisible(false);
        setWindowState((windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized)) |
                       Qt::WindowFullScreen);
        applyResizeRules();
        return;
    }
    m_fullScreen = false;
    setWindowState(windowState() & ~Qt::WindowFullScreen);
    applySkin();
    setWindowTitle(QString());
    setBarsVisible(true);
    // The top is a 16-bit sum: beyond it the window keeps its height on
    // screen.
    const int top = int(m_saved.top) + kFullScreenTopOffset;
    const int left = core::twipsToPixelsX(m_saved.left);
    if (top <= std::numeric_limits<qint16>::max())
        move(left, core::twipsToPixelsY(top));
    else
        move(left, pos().y());
    setWindowSizeTwips(m_saved.width, m_saved.height);
    reloadCurrentImage();
    applyResizeRules();
}

void ViewerWindow::sizeWindowToImage()
{
    const QSize first = m_imageView->engine().pageSize(0);
    const int w = first.isValid() ? first.width() : 0;
    const int h = first.isValid() ? first.height() : 0;
    const WindowFit fit = fitWindowToImage(w, h, tppX(), tppY(), toolbarHeightTwips());
    m_fittedMargins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    m_viewTwips = QSizeF(fit.viewWidth, fit.viewHeight);
    if (isMinimizedOrMaximized()) {
        applyResizeRules();
        return;
    }
    setWindowSizeTwips(fit.window.width(), windowSizeTwips().height());
    setWindowSizeTwips(windowSizeTwips().width(), fit.window.height());
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect area = s->availableGeometry();
    const QPointF pos = centredPosition(outerGeometry().size().toSizeF(), area.size().toSizeF());
    move(area.topLeft() + QPoint(int(pos.x()), int(pos.y())));
}

// Some window systems tell the frame's size only once the window is on
// screen; the window is fitted again then, so that its title bar is not
// pushed off the screen.
void ViewerWindow::refitOnceFramed()
{
    QTimer::singleShot(200, this, [this] {
        if (!m_fullScreen && isVisible() && !isMinimizedOrMaximized() && windowHandle() &&
            windowHandle()->frameMargins() != m_fittedMargins) {
            sizeWindowToImage();
            zoomImageToWindow();
        }
    });
}

void ViewerWindow::zoomImageToWindow()
{
    // In full-screen presentation the window is, or is about to be, the
    // whole screen.
    const QSizeF window = m_fullScreen ? screenSizeTwips() : windowSizeTwips();
    const imaging::ImageEngine &engine = m_imageView->engine();
    const double zoom =
        fitZoom(m_imageView->zoom(), engine.width(), engine.height(), window, tppX(), tppY());
    if (zoom != m_imageView->zoom()) {
        m_imageView->setZoom(zoom);
        m_statusBar->showZoom(zoom); // the zoom on screen, not the one loaded with
    }
}

} // namespace viewer
