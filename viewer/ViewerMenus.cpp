// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer window's menus and toolbar, and the skin of its bars.
#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

#include "core/Twips.h"
#include "viewer/BrowserLink.h"
#include "viewer/ViewerStatusBar.h"
#include "viewer/ViewerWindow.h"

namespace viewer {

// A toolbar picture button: a normal and a hover picture, and a check state
// that only the program changes (a click does not flip it).
class PictureButton : public QToolButton
{
    Q_OBJECT

public:
    using QToolButton::QToolButton;

protected:
    void nextCheckState() override {}
};

namespace {

constexpr double kToolbarHeight = 495;

struct ButtonSpec
{
    ToolbarButton button;
    const char *key;
    const char *tooltip;
};
// In the toolbar's order, left to right.
constexpr ButtonSpec kButtons[] = {
    {ToolbarButton::Open, "open32", "Open"},
    {ToolbarButton::Browse, "browsed32", "Browse"},
    {ToolbarButton::Previous, "previous32", "Prevoius"},
    {ToolbarButton::Next, "next32", "Next"},
    {ToolbarButton::SlideShow, "slidshow32", "Slide Show"},
    {ToolbarButton::ZoomIn, "zoomin32", "Zoom In"},
    {ToolbarButton::ZoomOut, "zoomiout32", "Zoom Out"},
    {ToolbarButton::FullScreen, "fullscreen32", "Full Screen"},
};

} // namespace

void ViewerWindow::buildToolbar()
{
    m_toolbar = new QWidget(centralWidget());
    m_toolbar->setObjectName(QStringLiteral("Toolbar"));
    m_toolbar->setFixedHeight(core::twipsToPixelsY(kToolbarHeight));
    auto *row = new QHBoxLayout(m_toolbar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    for (const ButtonSpec &spec : kButtons) {
        auto *b = new PictureButton(m_toolbar);
        const QString key = QString::fromLatin1(spec.key);
        b->setObjectName(key);
        b->setToolTip(QString::fromLatin1(spec.tooltip));
        QIcon icon;
        icon.addFile(QStringLiteral(":/viewer/icons/%1.png").arg(key), {}, QIcon::Normal);
        icon.addFile(QStringLiteral(":/viewer/icons/%1_hover.png").arg(key), {}, QIcon::Active);
        b->setIcon(icon);
        b->setIconSize(QSize(32, 32));
        b->setFixedSize(m_toolbar->height(), m_toolbar->height());
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setCheckable(spec.button == ToolbarButton::SlideShow);
        connect(b, &QToolButton::clicked, this,
                [this, button = spec.button] { runToolbarCommand(button); });
        row->addWidget(b);
        m_buttons << b;
    }
    row->addStretch(1);
}

void ViewerWindow::runToolbarCommand(ToolbarButton button)
{
    switch (button) {
    case ToolbarButton::Open:
        openFiles();
        break;
    case ToolbarButton::Browse:
        returnToBrowser();
        break;
    case ToolbarButton::Previous:
        previousImage();
        break;
    case ToolbarButton::Next:
        nextImage();
        break;
    case ToolbarButton::SlideShow:
        toggleSlideShow();
        break;
    case ToolbarButton::ZoomIn:
        zoomIn();
        break;
    case ToolbarButton::ZoomOut:
        zoomOut();
        break;
    case ToolbarButton::FullScreen:
        toggleFullScreen();
        break;
    }
}

void ViewerWindow::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MenuBar"));
    auto topMenu = [&](const char *name, const QString &caption) {
        QMenu *m = bar->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        m_topMenus << m;
        return m;
    };
    auto entry = [&](QMenu *menu, const char *name, const QString &caption, const QKeySequence &key,
                     auto &&slot) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        if (!key.isEmpty())
            a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    auto subMenu = [&](QMenu *menu, const char *name, const QString &caption) {
        QMenu *m = menu->addMenu(caption);
        m->setObjectName(QString::fromLatin1(name));
        m->menuAction()->setObjectName(QString::fromLatin1(name));
        return m;
    };
    const QKeySequence none;
    using core::FileOperation;
    using imaging::PrintPlacement;

    QMenu *file = topMenu("mnufile", QStringLiteral("File"));
    entry(file, "mnuopen", QStringLiteral("Open     "), QKeySequence(Qt::CTRL | Qt::Key_O),
          [this] { openFiles(); });
    entry(file, "mnuBrowse", QStringLiteral("Browse     "), QKeySequence(Qt::CTRL | Qt::Key_B),
          [this] { returnToBrowser(); });
    entry(file, "mnuSaveAs", QStringLiteral("Save As     "), QKeySequence(Qt::CTRL | Qt::Key_S),
          [this] { saveAs(); });
    entry(file, "mnuPageSetup", QStringLiteral("Page Setup"), none, [this] { pageSetup(); });
    QMenu *print = subMenu(file, "mnuPrint", QStringLiteral("Print"));
    entry(print, "mnuTopLeft", QStringLiteral("Top Left"), none,
          [this] { printImage(PrintPlacement::TopLeft); });
    entry(print, "mnuCentered", QStringLiteral("Centered"), none,
          [this] { printImage(PrintPlacement::Centered); });
    entry(print, "mnuFitToPage", QStringLiteral("Fit To Page"), none,
          [this] { printImage(PrintPlacement::FitToPage); });
    entry(file, "mnuExit", QStringLiteral("Exit         "), QKeySequence(Qt::CTRL | Qt::Key_Q),
          [this] { returnToBrowser(); });

    QMenu *edit = topMenu("mnuEdit", QStringLiteral("Edit"));
    entry(edit, "mnuCopyTo", QStringLiteral("Copy To"), QKeySequence(Qt::CTRL | Qt::Key_C),
          [this] { runFileOperation(FileOperation::CopyTo); });
    entry(edit, "mnuMoveTo", QStringLiteral("Move To"), QKeySequence(Qt::CTRL | Qt::Key_M),
          [this] { runFileOperation(FileOperation::MoveTo); });
    entry(edit, "mnuCopyImage", QStringLiteral("Copy Image"), QKeySequence(Qt::CTRL | Qt::Key_G),
          [this] { copyImage(); });
    entry(edit, "mnuDelete", QStringLiteral("Delete     "), QKeySequence(Qt::Key_Delete),
          [this] { deleteImage(); });
    entry(edit, "mnuRename", QStringLiteral("Rename"), QKeySequence(Qt::Key_F2),
          [this] { runFileOperation(FileOperation::Rename); });

    QMenu *view = topMenu("mnuView", QStringLiteral("View"));
    entry(view, "mnuFullScreen", QStringLiteral("Full Screen"), QKeySequence(Qt::CTRL | Qt::Key_F),
          [this] { toggleFullScreen(); });
    entry(view, "mnuZoomIn", QStringLiteral("Zoom In     "), QKeySequence(Qt::CTRL | Qt::Key_N),
          [this] { zoomIn(); });
    entry(view, "mnuZoomOut", QStringLiteral("Zoom Out     "), QKeySequence(Qt::CTRL | Qt::Key_U),
          [this] { zoomOut(); });
    QMenu *image = subMenu(view, "mnuImage", QStringLiteral("Image"));
    entry(image, "mnuNext", QStringLiteral("Next"), none, [this] { nextImage(); });
    entry(image, "mnuPrevious", QStringLiteral("Previous"), none, [this] { previousImage(); });

    QMenu *tools = topMenu("mnuTools", QStringLiteral("Tools"));
    entry(tools, "mnuSlideShow", QStringLiteral("Slide Show"), none, [this] { toggleSlideShow(); });
    entry(tools, "mnuSlideShowDelay", QStringLiteral("Slide Show Delay"), none,
          [this] { chooseSlideShowDelay(); });
    QAction *aa = entry(tools, "mnuAntiAliasDisplay", QStringLiteral("AntiAlias Display"), none,
                        [this] { toggleAntiAlias(); });
    aa->setCheckable(true);
    entry(tools, "mnuRotate1", QStringLiteral("Rotate +90"), none, [this] { rotatePlus90(); });
    entry(tools, "mnuRotate2", QStringLiteral("Rotate -90"), none, [this] { rotateMinus90(); });
    entry(tools, "mnuSetAsWallpaper", QStringLiteral("Set As Wallpaper"), none,
          [this] { setAsWallpaper(); });

    QMenu *help = topMenu("mnuHelp", QStringLiteral("Help"));
    entry(help, "mnuAbout", QStringLiteral("About"), none, [this] { showAbout(); });
    entry(help, "mnuHelpIndex", QStringLiteral("Help Index"), none, [this] { showHelpIndex(); });
    entry(help, "mnuupdate", QStringLiteral("update"), none, [this] { runUpdate(); });
}

QAction *ViewerWindow::action(const char *name) const
{
    return findChild<QAction *>(QString::fromLatin1(name));
}

// The viewer borrows the browser's skin: the window, its status bar and
// the strip under the menu bar; at load and when it leaves full screen.
void ViewerWindow::applySkin()
{
    if (!m_link)
        return;
    m_link->applySkin(this);
    m_link->applySkinElement(m_statusBar, QStringLiteral("StatusBar"));
    m_link->applySkinElement(m_menuStrip, QStringLiteral("Toolbar"));
}

} // namespace viewer

#include "ViewerMenus.moc"
