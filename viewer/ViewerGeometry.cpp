// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer window's size and place: the resize rules, sizing the window
// around an image, and full screen.
#include <QFrame>
#include <QGuiApplication>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <limits>

#include "core/ScreenArea.h"
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
    QSize px(core::twipsToPixelsX(width), core::twipsToPixelsY(height));
    const QRect area = core::availableArea(this);
    if (!area.isEmpty())
        px = px.boundedTo(area.size());
    const QSize frameExtra = outerGeometry().size() - geometry().size();
    resize((px - frameExtra).expandedTo(QSize(1, 1)));
    layOutNow();
    applyResizeRules();
}

// A hidden window lays out its bars and client only when it is shown; the
// sizing rules need the view's real size before that.
void ViewerWindow::layOutNow()
{
    if (QLayout *l = layout()) {
        l->invalidate();
        l->activate();
    }
    applyViewGeometry();
}

// Where the view lies in a client area of the given size: at its design
// place, filling the area between the toolbar and the status bar. (The
// resize rule's height, the window's less the toolbar's and 600 twips, is
// never less than that area with a menu bar and a status bar above and
// below; taking the area itself keeps the view and the fit test on one size
// whatever the window frame measures.)
QRect ViewerWindow::viewRectIn(QSize client)
{
    const int x = core::twipsToPixelsX(kViewLeft);
    const int y = core::twipsToPixelsY(kViewTop);
    return {x, y, std::max(0, client.width() - 2 * x), std::max(0, client.height() - y)};
}

QSizeF ViewerWindow::shownViewTwips() const
{
    QSize px = m_imageView->size();
    if (m_fullScreen) {
        // The bars are hidden: the client area is the whole screen.
        const QSizeF screenTwips = screenSizeTwips();
        px = viewRectIn(QSize(core::twipsToPixelsX(screenTwips.width()),
                              core::twipsToPixelsY(screenTwips.height())))
                 .size();
    }
    return {px.width() * tppX(), px.height() * tppY()};
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
    const int viewWidth = core::twipsToPixelsX(m_viewTwips.width());
    m_imageView->setGeometry(viewRectIn(client->size()));
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
        if (m_shownWindowed && !(windowState() & Qt::WindowFullScreen)) {
            m_hasSavedPlacement = true;
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
    m_shownWindowed = true;
    reloadCurrentImage();
    if (!m_hasSavedPlacement) {
        // The viewer has never been a window (it started in full screen):
        // there is no place to go back to, so the window is sized around the
        // image as a windowed presentation would.
        sizeWindowToImage();
        zoomImageToWindow();
        refitOnceFramed();
        return;
    }
    // The top is a 16-bit sum: beyond it the window keeps its height on
    // screen.
    const int top = int(m_saved.top) + kFullScreenTopOffset;
    const int left = core::twipsToPixelsX(m_saved.left);
    if (top <= std::numeric_limits<qint16>::max())
        move(left, core::twipsToPixelsY(top));
    else
        move(left, pos().y());
    setWindowSizeTwips(m_saved.width, m_saved.height);
    // 510 twips lower may push the status bar off the bottom of the screen;
    // the frame the window system adds once the window is back is counted
    // too.
    core::keepOnScreen(this);
    applyResizeRules();
    QTimer::singleShot(200, this, [this] {
        if (!m_fullScreen)
            core::keepOnScreen(this);
    });
}

void ViewerWindow::sizeWindowToImage()
{
    const QSize first = m_imageView->engine().pageSize(0);
    const int w = first.isValid() ? first.width() : 0;
    const int h = first.isValid() ? first.height() : 0;
    m_fittedMargins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const WindowFit fit = fitWindowToImage(w, h, tppX(), tppY(), chromeTwips());
    m_viewTwips = QSizeF(fit.viewWidth, fit.viewHeight);
    if (isMinimizedOrMaximized()) {
        applyResizeRules();
        return;
    }
    m_shownWindowed = true;
    setWindowSizeTwips(fit.window.width(), windowSizeTwips().height());
    setWindowSizeTwips(windowSizeTwips().width(), fit.window.height());
    const QRect area = core::availableArea(this);
    if (area.isEmpty())
        return;
    const QPointF pos = centredPosition(outerGeometry().size().toSizeF(), area.size().toSizeF());
    move(area.topLeft() + QPoint(int(pos.x()), int(pos.y())));
}

// What the window adds around the view's area, in twips: the frame, the
// menu bar, the status bar and the view's margins in the client area.
QSizeF ViewerWindow::chromeTwips()
{
    layOutNow();
    const QSize client = centralWidget()->size();
    const QSize outer = outerGeometry().size();
    const int x = core::twipsToPixelsX(kViewLeft);
    const int y = core::twipsToPixelsY(kViewTop);
    const QSize extra = outer - client + QSize(2 * x, y);
    return {extra.width() * tppX(), extra.height() * tppY()};
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
    const imaging::ImageEngine &engine = m_imageView->engine();
    const double zoom = fitZoom(m_imageView->zoom(), engine.width(), engine.height(),
                                shownViewTwips(), tppX(), tppY());
    if (zoom != m_imageView->zoom()) {
        m_imageView->setZoom(zoom);
        m_statusBar->showZoom(zoom); // the zoom on screen, not the one loaded with
    }
}

} // namespace viewer
