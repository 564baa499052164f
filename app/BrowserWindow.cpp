// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/BrowserWindow.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QPalette>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>
#include <QtConcurrent>

#include "app/BrowserLayout.h"
#include "app/SingleInstance.h"
#include "app/SkinEngine.h"
#include "app/Splash.h"
#include "core/Formats.h"
#include "core/Paths.h"
#include "core/Process.h"
#include "core/ScreenArea.h"
#include "core/Twips.h"
#include "dialogs/DestinationDialog.h"
#include "dialogs/FolderTree.h"
#include "explorer/ThumbnailExplorer.h"
#include "imaging/ImageView.h"
#include "shell/Wallpaper.h"
#include "viewer/ViewerInstance.h"
#include "viewer/ViewerWindow.h"

namespace app {

namespace {

using core::twipsToPixelsX;
using core::twipsToPixelsY;

// Design geometry in twips: left, top, width, height.
struct Twips
{
    int left, top, width, height;
};

QRect toPixels(const Twips &t)
{
    return {twipsToPixelsX(t.left), twipsToPixelsY(t.top), twipsToPixelsX(t.width),
            twipsToPixelsY(t.height)};
}

constexpr int kClientWidth = 9510;
constexpr int kClientHeight = 8085;
constexpr Twips kMainSplitter{60, 90, 9465, 7575};
constexpr Twips kFolderTree{30, 30, 3030, 7515};
constexpr Twips kContainer{3150, 30, 6285, 7515};
constexpr Twips kToolbar{90, 45, 5670, 525};
constexpr Twips kPreviewSplitter{75, 630, 5685, 6705};
constexpr Twips kPreview{0, 0, 5685, 3135};
constexpr Twips kExplorer{0, 3225, 5685, 3480};

constexpr int kButtonSize = 450;
constexpr int kButtonTop = 45;

QIcon buttonIcon(const char *key)
{
    const QString base = QStringLiteral(":/browser/icons/") + QLatin1String(key);
    QIcon icon;
    icon.addFile(base + QStringLiteral(".png"), {}, QIcon::Normal);
    icon.addFile(base + QStringLiteral("_hover.png"), {}, QIcon::Active);
    return icon;
}

} // namespace

BrowserWindow::BrowserWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    m_skin = new SkinEngine(this);
    m_skin->setObjectName(QStringLiteral("Skin1"));
    m_splash = new Splash(this);
    m_splash->setObjectName(QStringLiteral("Splash1"));
    m_splash->keepAbove(this);
    createControls();
}

BrowserWindow::~BrowserWindow() = default;

void BrowserWindow::createControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    resize(twipsToPixelsX(kClientWidth), twipsToPixelsY(kClientHeight));

    // Outer split: folder tree left, container right. The panes take the
    // design widths; the gap between them is the splitter's handle.
    m_mainSplitter = new QSplitter(Qt::Horizontal, client);
    m_mainSplitter->setObjectName(QStringLiteral("Splitter2"));
    m_mainSplitter->setChildrenCollapsible(false);
    m_mainSplitter->setGeometry(toPixels(kMainSplitter));
    m_mainSplitter->setHandleWidth(
        twipsToPixelsX(kContainer.left - kFolderTree.left - kFolderTree.width - kFolderTree.left));

    m_folderTree = new dialogs::FolderTree(m_mainSplitter);
    m_folderTree->setObjectName(QStringLiteral("TV1"));

    m_container = new QWidget(m_mainSplitter);
    m_container->setObjectName(QStringLiteral("container"));
    m_container->setAutoFillBackground(true);
    QPalette grey = m_container->palette();
    grey.setColor(QPalette::Window, QColor(224, 224, 224));
    m_container->setPalette(grey);
    m_container->installEventFilter(this);

    m_mainSplitter->addWidget(m_folderTree);
    m_mainSplitter->addWidget(m_container);
    m_mainSplitter->setSizes(
        {twipsToPixelsX(kFolderTree.left + kFolderTree.width + kFolderTree.left),
         twipsToPixelsX(kMainSplitter.width - kContainer.left)});

    m_toolbar = new QToolBar(m_container);
    m_toolbar->setObjectName(QStringLiteral("Toolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->setFloatable(false);
    m_toolbar->setGeometry(toPixels(kToolbar));

    // Inner split: preview above, thumbnails below.
    m_previewSplitter = new QSplitter(Qt::Vertical, m_container);
    m_previewSplitter->setObjectName(QStringLiteral("Splitter1"));
    m_previewSplitter->setChildrenCollapsible(false);
    m_previewSplitter->setGeometry(toPixels(kPreviewSplitter));
    m_previewSplitter->setHandleWidth(twipsToPixelsY(kExplorer.top - kPreview.height));

    m_preview = new imaging::ImageView(m_previewSplitter);
    m_preview->setObjectName(QStringLiteral("ImgX"));
    m_preview->setImageCentered(true);
    m_preview->setAntiAlias(true);
    m_preview->setBackgroundColor(Qt::white);
    m_preview->setBorderThickness(1);
    m_preview->setDoubleBuffered(true);
    m_preview->setClickLock(false);
    m_preview->setSelectionLineType(4);

    m_explorer = new explorer::ThumbnailExplorer(m_previewSplitter);
    m_explorer->setObjectName(QStringLiteral("ImageExplore1"));
    m_explorer->setDestinationChooser([this](core::FileOperation operation, const QString &source) {
        return chooseDestination(operation, source);
    });

    m_previewSplitter->addWidget(m_preview);
    m_previewSplitter->addWidget(m_explorer);
    m_previewSplitter->setSizes(
        {twipsToPixelsY(kPreview.height), twipsToPixelsY(kExplorer.height)});
    m_previewSplitter->setStretchFactor(0, 1);
    m_previewSplitter->setStretchFactor(1, 1);
    m_mainSplitter->setStretchFactor(0, 0);
    m_mainSplitter->setStretchFactor(1, 1);

    createButtons();

    connect(m_folderTree, &dialogs::FolderTree::clicked, this, &BrowserWindow::onTreeClicked);
    connect(m_folderTree, &dialogs::FolderTree::nodeActivated, this, [this] { listTreeFolder(); });
    connect(m_folderTree, &dialogs::FolderTree::folderSelected, this,
            [this] { onTreeFolderSelected(); });
    connect(m_folderTree, &dialogs::FolderTree::desktopRootClicked, this,
            &BrowserWindow::onDesktopRootClicked);
    connect(m_explorer, &explorer::ThumbnailExplorer::selectedImageChanged, this,
            &BrowserWindow::showPreview);
    connect(m_explorer, &explorer::ThumbnailExplorer::openRequested, this,
            &BrowserWindow::openItem);
    connect(m_preview, &imaging::ImageView::doubleClicked, this,
            &BrowserWindow::openPreviewInViewer);
}

void BrowserWindow::createButtons()
{
    struct Button
    {
        const char *name;
        int left;
        const char *tooltip;
        const char *icon;
        void (BrowserWindow::*action)();
    };
    static constexpr Button buttons[] = {
        {"cmdPrev", 15, "Previous", "prev", &BrowserWindow::previewPreviousItem},
        {"cmdNext", 480, "Next", "next", &BrowserWindow::previewNextItem},
        {"cmdZoomIn", 945, "Zoom In", "zoomin", &BrowserWindow::zoomPreviewIn},
        {"cmdZoomOut", 1425, "Zoom Out", "zoomout", &BrowserWindow::zoomPreviewOut},
        {"cmdWallPaper", 1890, "Set as wallpaper", "wallpaper",
         &BrowserWindow::setPreviewAsWallpaper},
        {"cmdView", 2355, "View Image", "view", &BrowserWindow::openPreviewInViewer},
    };
    for (const Button &b : buttons) {
        auto *button = new QToolButton(m_toolbar);
        button->setObjectName(QLatin1String(b.name));
        button->setToolTip(QLatin1String(b.tooltip));
        button->setIcon(buttonIcon(b.icon));
        button->setAutoRaise(true);
        button->setFixedSize(twipsToPixelsX(kButtonSize), twipsToPixelsY(kButtonSize));
        button->setIconSize(button->size() - QSize(4, 4));
        // The strip has no layout of its own: the buttons keep their design
        // places however wide it becomes.
        button->move(twipsToPixelsX(b.left), twipsToPixelsY(kButtonTop));
        connect(button, &QToolButton::clicked, this, b.action);
    }
}

void BrowserWindow::previewPreviousItem()
{
    m_explorer->selectPrevious();
}

void BrowserWindow::previewNextItem()
{
    m_explorer->selectNext();
}

// --- layout rules ------------------------------------------------------------

void BrowserWindow::applyResizeRules()
{
    if (isMinimized() || !m_mainSplitter)
        return;
    const QSize frame = frameGeometry().size();
    const QSize extra = frame - size();
    const QSize outer(qRound(core::pixelsToTwipsX(frame.width())),
                      qRound(core::pixelsToTwipsY(frame.height())));
    const QSize snapped = snapWindowSize(outer);
    if (snapped != outer) {
        // The resize comes back here with the new size.
        resize(QSize(twipsToPixelsX(snapped.width()), twipsToPixelsY(snapped.height())) - extra);
        return;
    }
    const QSize splitter = outerSplitterSize(snapped);
    m_mainSplitter->setGeometry(
        toPixels({kMainSplitter.left, kMainSplitter.top, splitter.width(), splitter.height()}));
}

void BrowserWindow::layoutContainer(int widthTwips, int heightTwips)
{
    const int toolbarHeight = qRound(core::pixelsToTwipsY(m_toolbar->height()));
    // The preview fills the inner splitter's width, so its width after the
    // splitter's resize is the splitter's.
    const int previewWidth = widthTwips - 20;
    const ContainerLayout layout =
        containerLayout({widthTwips, heightTwips}, toolbarHeight, previewWidth);
    m_previewSplitter->resize(std::max(0, twipsToPixelsX(layout.previewSplitter.width())),
                              std::max(0, twipsToPixelsY(layout.previewSplitter.height())));
    m_toolbar->resize(std::max(0, twipsToPixelsX(layout.toolbarWidth)), m_toolbar->height());
}

void BrowserWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    applyResizeRules();
}

bool BrowserWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_container && event->type() == QEvent::Resize) {
        const QSize inner = static_cast<QResizeEvent *>(event)->size();
        layoutContainer(qRound(core::pixelsToTwipsX(inner.width())),
                        qRound(core::pixelsToTwipsY(inner.height())));
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- buttons and preview zoom ----------------------------------------------------

void BrowserWindow::runToolbarCommand(BrowserButton button)
{
    switch (button) {
    case BrowserButton::ZoomIn:
        zoomPreviewIn();
        break;
    case BrowserButton::ZoomOut:
        zoomPreviewOut();
        break;
    case BrowserButton::Wallpaper:
        setPreviewAsWallpaper();
        break;
    }
}

void BrowserWindow::zoomPreviewIn()
{
    zoomPreview(true);
}

void BrowserWindow::zoomPreviewOut()
{
    zoomPreview(false);
}

void BrowserWindow::zoomPreview(bool zoomIn)
{
    if (m_preview->engine().pageCount() == 0)
        return;
    double zoom = m_preview->zoom();
    if (!previewZoomStep(zoom, zoomIn))
        return;
    m_preview->setZoom(zoom);
    const double tx = core::twipsPerPixelX();
    const double ty = core::twipsPerPixelY();
    const QSizeF control(m_preview->width() * tx, m_preview->height() * ty);
    const QSize image(m_preview->engine().width(), m_preview->engine().height());
    m_preview->setViewAlignment(previewFitAlignment(control, image, m_preview->zoom(), tx, ty));
}

void BrowserWindow::setPreviewAsWallpaper()
{
    shell::setWallpaper(m_preview->engine(), m_picturePath);
}

// --- folder tree -------------------------------------------------------------

void BrowserWindow::listTreeFolder()
{
    const QString folder = m_folderTree->path();
    if (!folder.isEmpty())
        m_explorer->explorePath(folder);
}

void BrowserWindow::onTreeClicked()
{
    if (m_folderTree->path().isEmpty())
        return;
    listTreeFolder();
    m_treeUsed = true;
}

void BrowserWindow::onTreeFolderSelected()
{
    if (m_treeUsed)
        listTreeFolder();
}

void BrowserWindow::onDesktopRootClicked()
{
    m_explorer->explorePath(core::desktopFolder());
}

// --- preview -------------------------------------------------------------------

void BrowserWindow::clearPreview()
{
    m_picturePath.clear();
    m_preview->engine().clear();
}

void BrowserWindow::showPreview(const QString &path)
{
    const quint64 generation = ++m_previewGeneration;
    m_previewPending = false;
    const QFileInfo info(path);
    if (path.isEmpty() || info.isDir()) {
        clearPreview();
        emit previewSettled();
        return;
    }
    if (core::usesPictureLoader(path)) {
        // Icons, cursors and DIB files are small: the picture loader reads
        // them here. One that cannot be read leaves the preview empty.
        const QImage picture = imaging::loadPicture(path);
        m_preview->setFileLoadFlag(false);
        try {
            m_preview->engine().loadPicture(picture);
            m_picturePath = path;
            m_preview->setViewAlignment(imaging::ViewAlignment::Plain);
        } catch (const imaging::ImageError &) {
            clearPreview();
        }
        emit previewSettled();
        return;
    }
    // Photos decode on a worker so that stepping through a folder of large
    // images keeps the window responsive; the full image is decoded so that
    // zooming the preview shows every pixel.
    m_preview->setFileLoadFlag(true);
    m_previewPending = true;
    auto *watcher = new QFutureWatcher<imaging::Decoded>(this);
    connect(watcher, &QFutureWatcher<imaging::Decoded>::finished, this,
            [this, watcher, generation] {
                watcher->deleteLater();
                if (generation != m_previewGeneration)
                    return;
                m_previewPending = false;
                try {
                    m_preview->engine().loadDecoded(watcher->result());
                    m_picturePath.clear();
                    m_preview->setViewAlignment(imaging::ViewAlignment::Plain);
                } catch (const imaging::ImageError &) {
                    clearPreview();
                }
                emit previewSettled();
            });
    watcher->setFuture(QtConcurrent::run([path] { return imaging::decodeFile(path); }));
}

void BrowserWindow::openPreviewInViewer()
{
    QString name = m_preview->engine().filePath();
    if (name.isEmpty() && m_preview->engine().pageCount() > 0)
        name = m_picturePath;
    if (name.isEmpty())
        return;
    hide();
    try {
        viewerWindow()->showImages(QStringList{name}, 0);
    } catch (const std::exception &) {
        // Nothing to show: the browser must not stay hidden with no window
        // left on the screen.
        showBrowser();
    }
}

void BrowserWindow::openItem(const QStringList &paths, int index, const QString &folder)
{
    if (!folder.isEmpty()) {
        m_folderTree->setPath(folder);
        listTreeFolder();
        return;
    }
    if (index >= 0 && index < paths.size() && !paths.at(index).isEmpty()) {
        hide();
        try {
            viewer::ViewerWindow *view = viewerWindow();
            view->setOpenedFromCommandLine(false);
            view->showImages(paths, index);
        } catch (const std::exception &) {
            showBrowser();
        }
        return;
    }
    clearPreview();
}

// --- start-up and shutdown -------------------------------------------------------

void BrowserWindow::setSingleInstance(std::unique_ptr<SingleInstance> instance)
{
    m_instance = std::move(instance);
}

dialogs::DestinationDialog *BrowserWindow::destinationDialog()
{
    if (!m_destinationDialog) {
        m_destinationDialog = new dialogs::DestinationDialog(this);
        m_destinationDialog->applySkin([this](QWidget *widget, const QString &element) {
            m_skin->applySkinByName(widget, element);
        });
    }
    return m_destinationDialog;
}

QString BrowserWindow::chooseDestination(core::FileOperation operation, const QString &source)
{
    return destinationDialog()->showFileForm(int(operation), source);
}

void BrowserWindow::start(const QString &commandText)
{
    // 1. A second instance ends at once, silently; the running one keeps
    // its state and is told nothing.
    emit startupStep(StartupStep::SingleInstance, {});
    if (!m_instance)
        m_instance = makeSingleInstance();
    if (!m_instance->claim())
        core::endProcess(0);

    // 2. Splash, closed once the browser is up.
    emit startupStep(StartupStep::Splash, {});
    const QString folder = core::programFolder();
    m_splash->showPicture(folder + QLatin1String("/viewer.spl"));
    m_splash->closeAfter(0);

    // 3. Application title, also the browser's caption.
    emit startupStep(StartupStep::Title, {});
    const QString title = QString::fromUtf16(core::kAppTitle);
    // Not the application's display name: the window system would append
    // that to the viewer's own title.
    core::setApplicationTitle(title);
    setWindowTitle(title);

    // 4. Skin; without a usable skin file the default look stays.
    emit startupStep(StartupStep::Skin, {});
    m_skin->loadSkin(folder + QLatin1String("/PVXMain.skn"));
    applySkin();

    // 5. The extensions the explorer lists.
    emit startupStep(StartupStep::Extensions, {});
    m_explorer->setExtensions(QString::fromUtf16(core::kSupportedExtensions));

    // 6. Command line.
    emit startupStep(StartupStep::CommandLine, commandText);
    commandline::handleCommandLine(*this, commandText);

    // 7. Show the browser unless the command line opened the viewer instead.
    if (!m_hiddenByCommandLine) {
        emit startupStep(StartupStep::Show, {});
        show();
    }
}

void BrowserWindow::applySkin()
{
    m_skin->applySkinByName(m_toolbar, QStringLiteral("Toolbar"));
    m_skin->applySkin(this);
    m_skin->applySkinByName(m_toolbar, QStringLiteral("Toolbar"));
    m_skin->applySkinByName(m_folderTree, QStringLiteral("Splitter"));
    m_skin->applySkinByName(m_mainSplitter, QStringLiteral("Splitter"));
    m_skin->applySkinByName(m_previewSplitter, QStringLiteral("Splitter"));
    m_skin->applySkinByName(m_container, QStringLiteral("Splitter"));
}

viewer::ViewerWindow *BrowserWindow::viewerWindow()
{
    return viewer::viewer(this);
}

QStringList BrowserWindow::imageList(const QString &folder) const
{
    return m_explorer->imageList(folder);
}

void BrowserWindow::openFromCommandLine(const QStringList &paths, int index)
{
    m_hiddenByCommandLine = true;
    hide();
    viewer::ViewerWindow *view = viewerWindow();
    view->setOpenedFromCommandLine(true);
    view->showImages(paths, index);
}

void BrowserWindow::applySkin(QWidget *window)
{
    m_skin->applySkin(window);
}

void BrowserWindow::applySkinElement(QWidget *child, const QString &element)
{
    m_skin->applySkinByName(child, element);
}

// The design size may be larger than a small screen or one with a large
// scale factor: the window is kept within the screen's free area, once
// before it is mapped and again when the window system has told the size of
// its frame.
void BrowserWindow::showEvent(QShowEvent *event)
{
    core::keepOnScreen(this);
    QMainWindow::showEvent(event);
    const QMargins before = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    QTimer::singleShot(200, this, [this, before] {
        if (windowHandle() && windowHandle()->frameMargins() != before)
            core::keepOnScreen(this);
    });
}

void BrowserWindow::showBrowser()
{
    show();
    raise();
    activateWindow();
}

void BrowserWindow::selectPath(const QString &path)
{
    // absolutePath gives "/" for a file in the root, so "//" never matches
    // the tree and the root is always listed again.
    const QString parent = QFileInfo(path).absolutePath();
    if (m_folderTree->path() == parent + QLatin1Char('/'))
        return;
    m_folderTree->setPath(parent);
    const QString folder = m_folderTree->path();
    if (folder.isEmpty())
        return;
    m_explorer->explorePath(folder);
    try {
        m_explorer->selectPath(path);
    } catch (const explorer::ExplorerError &) {
        // The image is gone (or the tree could not reach its folder): the
        // listing stays on its first item.
    }
}

void BrowserWindow::refreshImages(const QString &oldPath, const QString &newPath)
{
    m_explorer->updateAfterOperation(oldPath, newPath);
}

void BrowserWindow::shutdown()
{
    // The viewer's own unload may close windows that lead back here.
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    emit shutdownStarted();
    viewer::unloadViewer();
    delete m_destinationDialog.data();
    m_splash->close();
    if (m_instance)
        m_instance->release();
    core::endProcess(0);
}

void BrowserWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    try {
        shutdown();
    } catch (const core::ProcessEnded &) {
        // Only a test's end-process handler returns; the exception that
        // stands for the ended process must not cross Qt's event dispatch.
    }
}

} // namespace app
