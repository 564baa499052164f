// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmMain.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QGuiApplication>
#include <QPalette>
#include <QResizeEvent>
#include <QSplitter>
#include <QToolBar>
#include <QToolButton>
#include <QtConcurrent>

#include <cmath>

#include "app/SingleInstance.h"
#include "app/Splash.h"
#include "dialogs/FolderTree.h"
#include "dialogs/DestinationDialog.h"
#include "explorer/ThumbnailExplorer.h"
#include "core/Formats.h"
#include "imaging/ImageView.h"
#include "core/Process.h"
#include "core/Paths.h"
#include "core/Twips.h"
#include "app/SkinEngine.h"
#include "shell/Wallpaper.h"
#include "viewer/ViewerInstance.h"
#include "viewer/frmViwer.h"

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
constexpr Twips kSplitter2{60, 90, 9465, 7575};
constexpr Twips kTV1{30, 30, 3030, 7515};
constexpr Twips kContainer{3150, 30, 6285, 7515};
constexpr Twips kToolbar{90, 45, 5670, 525};
constexpr Twips kSplitter1{75, 630, 5685, 6705};
constexpr Twips kImgX{0, 0, 5685, 3135};
constexpr Twips kImageExplore1{0, 3225, 5685, 3480};

constexpr int kMinWindowWidth = 3700;
constexpr int kMinWindowHeight = 2400;
constexpr int kButtonSize = 450;
constexpr int kButtonTop = 45;

struct Button
{
    const char *name;
    int left;
    const char *tooltip;
    const char *icon;
};
constexpr Button kButtons[] = {
    {"cmdPrev", 15, "Previous", "prev"},
    {"cmdNext", 480, "Next", "next"},
    {"cmdZoomIn", 945, "Zoom In", "zoomin"},
    {"cmdZoomOut", 1425, "Zoom Out", "zoomout"},
    {"cmdWallPaper", 1890, "Set as wallpaper", "wallpaper"},
    {"cmdView", 2355, "View Image", "view"},
};

QIcon buttonIcon(const char *key)
{
    const QString base = QStringLiteral(":/browser/icons/") + QLatin1String(key);
    QIcon icon;
    icon.addFile(base + QStringLiteral(".png"), {}, QIcon::Normal);
    icon.addFile(base + QStringLiteral("_hover.png"), {}, QIcon::Active);
    return icon;
}

} // namespace

namespace app {

QSize snapWindowSize(QSize outerTwips)
{
    return {std::max(outerTwips.width(), kMinWindowWidth),
            std::max(outerTwips.height(), kMinWindowHeight)};
}

QSize outerSplitterSize(QSize outerTwips)
{
    return {outerTwips.width() - 300, outerTwips.height() - 1000};
}

ContainerLayout containerLayout(QSize innerTwips, int toolbarHeightTwips, int previewWidthTwips)
{
    return {{innerTwips.width() - 20, innerTwips.height() - toolbarHeightTwips - 80},
            previewWidthTwips};
}

bool previewZoomStep(double &zoom, bool zoomIn)
{
    if (zoomIn ? zoom * 100 > 1600 : zoom * 100 < 0.5)
        return false;
    zoom *= zoomIn ? 1.25 : 0.75;
    return true;
}

imaging::ViewAlignment previewFitAlignment(QSizeF controlTwips, QSize image, double zoom,
                                           double tx, double ty)
{
    const float wide = float(zoom * image.width() * tx);
    const float high = float(zoom * image.height() * ty);
    return controlTwips.width() < wide || controlTwips.height() < high
               ? imaging::ViewAlignment::Panned
               : imaging::ViewAlignment::Plain;
}

} // namespace app

QString commandTextOf(const QStringList &arguments)
{
    return arguments.mid(1).join(QLatin1Char(' '));
}

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    Skin1 = new app::SkinEngine(this);
    Skin1->setObjectName(QStringLiteral("Skin1"));
    Splash1 = new app::Splash(this);
    Splash1->setObjectName(QStringLiteral("Splash1"));
    Splash1->keepAbove(this);
    createControls();
    unloadViewer = [] {
        if (viewer::viewerLoaded())
            viewer::unloadViewer();
    };
}

frmMain::~frmMain() = default;

void frmMain::createControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);
    resize(twipsToPixelsX(kClientWidth), twipsToPixelsY(kClientHeight));

    // Outer split: folder tree left, container right. The panes take the
    // design widths; the gap between them is the splitter's handle.
    Splitter2 = new QSplitter(Qt::Horizontal, client);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setChildrenCollapsible(false);
    Splitter2->setGeometry(toPixels(kSplitter2));
    Splitter2->setHandleWidth(twipsToPixelsX(kContainer.left - kTV1.left - kTV1.width - kTV1.left));

    TV1 = new dialogs::FolderTree(Splitter2);
    TV1->setObjectName(QStringLiteral("TV1"));

    container = new QWidget(Splitter2);
    container->setObjectName(QStringLiteral("container"));
    container->setAutoFillBackground(true);
    QPalette grey = container->palette();
    grey.setColor(QPalette::Window, QColor(224, 224, 224));
    container->setPalette(grey);
    container->installEventFilter(this);

    Splitter2->addWidget(TV1);
    Splitter2->addWidget(container);
    Splitter2->setSizes({twipsToPixelsX(kTV1.left + kTV1.width + kTV1.left),
                         twipsToPixelsX(kSplitter2.width - kContainer.left)});

    Toolbar = new QToolBar(container);
    Toolbar->setObjectName(QStringLiteral("Toolbar"));
    Toolbar->setMovable(false);
    Toolbar->setFloatable(false);
    Toolbar->setGeometry(toPixels(kToolbar));

    // Inner split: preview above, thumbnails below.
    Splitter1 = new QSplitter(Qt::Vertical, container);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    Splitter1->setGeometry(toPixels(kSplitter1));
    Splitter1->setHandleWidth(twipsToPixelsY(kImageExplore1.top - kImgX.height));

    ImgX = new imaging::ImageView(Splitter1);
    ImgX->setObjectName(QStringLiteral("ImgX"));
    ImgX->setImageCentered(true);
    ImgX->setAntiAlias(true);
    ImgX->setBackgroundColor(Qt::white);
    ImgX->setBorderThickness(1);
    ImgX->setDoubleBuffered(true);
    ImgX->setClickLock(false);
    ImgX->setSelectionLineType(4);

    ImageExplore1 = new explorer::ThumbnailExplorer(Splitter1);
    ImageExplore1->setObjectName(QStringLiteral("ImageExplore1"));

    Splitter1->addWidget(ImgX);
    Splitter1->addWidget(ImageExplore1);
    Splitter1->setSizes({twipsToPixelsY(kImgX.height), twipsToPixelsY(kImageExplore1.height)});
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 1);
    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);

    createButtons();

    connect(TV1, &dialogs::FolderTree::clicked, this, &frmMain::TV1_Click);
    connect(TV1, &dialogs::FolderTree::nodeActivated, this, [this] { TV1_NodeClick(); });
    connect(TV1, &dialogs::FolderTree::folderSelected, this, [this] { TV1_FolderSelected(); });
    connect(TV1, &dialogs::FolderTree::desktopRootClicked, this, &frmMain::TV1_DesktopRootClick);
    connect(ImageExplore1, &explorer::ThumbnailExplorer::selectedImageChanged, this,
            &frmMain::ImageExplore1_CurrSelectedImage);
    connect(ImageExplore1, &explorer::ThumbnailExplorer::openRequested, this,
            [this](const QStringList &paths, int index, const QString &folder) {
                ImageExplore1_OpenItem(paths, index, folder);
            });
    connect(ImgX, &imaging::ImageView::doubleClicked, this, &frmMain::ImgX_DblClick);
}

void frmMain::createButtons()
{
    for (const Button &b : kButtons) {
        auto *button = new QToolButton(Toolbar);
        button->setObjectName(QLatin1String(b.name));
        button->setToolTip(QLatin1String(b.tooltip));
        button->setIcon(buttonIcon(b.icon));
        button->setAutoRaise(true);
        button->setFixedSize(twipsToPixelsX(kButtonSize), twipsToPixelsY(kButtonSize));
        button->setIconSize(button->size() - QSize(4, 4));
        // The strip has no layout of its own: the buttons keep their design
        // places however wide it becomes.
        button->move(twipsToPixelsX(b.left), twipsToPixelsY(kButtonTop));
    }
    cmdPrev = Toolbar->findChild<QToolButton *>(QStringLiteral("cmdPrev"));
    cmdNext = Toolbar->findChild<QToolButton *>(QStringLiteral("cmdNext"));
    cmdZoomIn = Toolbar->findChild<QToolButton *>(QStringLiteral("cmdZoomIn"));
    cmdZoomOut = Toolbar->findChild<QToolButton *>(QStringLiteral("cmdZoomOut"));
    cmdWallPaper = Toolbar->findChild<QToolButton *>(QStringLiteral("cmdWallPaper"));
    cmdView = Toolbar->findChild<QToolButton *>(QStringLiteral("cmdView"));
    connect(cmdPrev, &QToolButton::clicked, ImageExplore1, &explorer::ThumbnailExplorer::selectPrevious);
    connect(cmdNext, &QToolButton::clicked, ImageExplore1, &explorer::ThumbnailExplorer::selectNext);
    connect(cmdZoomIn, &QToolButton::clicked, this, &frmMain::PreviewZoomIn);
    connect(cmdZoomOut, &QToolButton::clicked, this, &frmMain::PreviewZoomOut);
    connect(cmdWallPaper, &QToolButton::clicked, this, &frmMain::cmdWallPaper_Click);
    connect(cmdView, &QToolButton::clicked, this, &frmMain::ImgX_DblClick);
}

// --- layout rules ------------------------------------------------------------

void frmMain::Form_Resize()
{
    if (isMinimized() || !Splitter2)
        return;
    const QSize frame = frameGeometry().size();
    const QSize extra = frame - size();
    const QSize outer(qRound(core::pixelsToTwipsX(frame.width())),
                      qRound(core::pixelsToTwipsY(frame.height())));
    const QSize snapped = app::snapWindowSize(outer);
    if (snapped != outer) {
        // The resize comes back here with the new size.
        resize(QSize(twipsToPixelsX(snapped.width()), twipsToPixelsY(snapped.height())) - extra);
        return;
    }
    const QSize splitter = app::outerSplitterSize(snapped);
    Splitter2->setGeometry(toPixels({kSplitter2.left, kSplitter2.top, splitter.width(),
                                     splitter.height()}));
}

void frmMain::container_Resize(int widthTwips, int heightTwips)
{
    const int toolbarHeight = qRound(core::pixelsToTwipsY(Toolbar->height()));
    // The preview fills the inner splitter's width, so its width after the
    // splitter's resize is the splitter's.
    const int previewWidth = widthTwips - 20;
    const app::ContainerLayout layout =
        app::containerLayout({widthTwips, heightTwips}, toolbarHeight, previewWidth);
    Splitter1->resize(std::max(0, twipsToPixelsX(layout.splitter1.width())),
                      std::max(0, twipsToPixelsY(layout.splitter1.height())));
    Toolbar->resize(std::max(0, twipsToPixelsX(layout.toolbarWidth)), Toolbar->height());
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == container && event->type() == QEvent::Resize) {
        const QSize inner = static_cast<QResizeEvent *>(event)->size();
        container_Resize(qRound(core::pixelsToTwipsX(inner.width())),
                         qRound(core::pixelsToTwipsY(inner.height())));
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- buttons and preview zoom ----------------------------------------------------

void frmMain::Toolbar_ButtonClick(int index)
{
    switch (index) {
    case 4:
        PreviewZoomIn();
        break;
    case 5:
        PreviewZoomOut();
        break;
    case 7:
        cmdWallPaper_Click();
        break;
    default:
        break;
    }
}

void frmMain::PreviewZoomIn()
{
    previewZoom(true);
}

void frmMain::PreviewZoomOut()
{
    previewZoom(false);
}

void frmMain::previewZoom(bool zoomIn)
{
    if (ImgX->engine().pageCount() == 0)
        return;
    double zoom = ImgX->zoom();
    if (!app::previewZoomStep(zoom, zoomIn))
        return;
    ImgX->setZoom(zoom);
    const double tx = core::twipsPerPixelX();
    const double ty = core::twipsPerPixelY();
    const QSizeF control(ImgX->width() * tx, ImgX->height() * ty);
    const QSize image(ImgX->engine().width(), ImgX->engine().height());
    ImgX->setViewAlignment(app::previewFitAlignment(control, image, ImgX->zoom(), tx, ty));
}

void frmMain::cmdWallPaper_Click()
{
    shell::setWallpaper(ImgX->engine());
}

// --- folder tree -------------------------------------------------------------

void frmMain::listTreeFolder()
{
    const QString folder = TV1->path();
    if (!folder.isEmpty())
        ImageExplore1->explorePath(folder);
}

void frmMain::TV1_Click()
{
    if (TV1->path().isEmpty())
        return;
    listTreeFolder();
    bTreeUsed = true;
}

void frmMain::TV1_NodeClick()
{
    listTreeFolder();
}

void frmMain::TV1_FolderSelected()
{
    if (bTreeUsed)
        listTreeFolder();
}

void frmMain::TV1_DesktopRootClick()
{
    ImageExplore1->explorePath(core::desktopFolder());
}

// --- preview -------------------------------------------------------------------

void frmMain::clearPreview()
{
    m_picturePath.clear();
    ImgX->engine().clear();
}

void frmMain::ImageExplore1_CurrSelectedImage(const QString &path)
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
        ImgX->setFileLoadFlag(false);
        try {
            ImgX->engine().loadPicture(picture);
            m_picturePath = path;
            ImgX->setViewAlignment(imaging::ViewAlignment::Plain);
        } catch (const imaging::ImageError &) {
            clearPreview();
        }
        emit previewSettled();
        return;
    }
    // Photos decode on a worker so that stepping through a folder of large
    // images keeps the window responsive; the full image is decoded so that
    // zooming the preview shows every pixel.
    ImgX->setFileLoadFlag(true);
    m_previewPending = true;
    auto *watcher = new QFutureWatcher<imaging::Decoded>(this);
    connect(watcher, &QFutureWatcher<imaging::Decoded>::finished, this,
            [this, watcher, generation] {
                watcher->deleteLater();
                if (generation != m_previewGeneration)
                    return;
                m_previewPending = false;
                try {
                    ImgX->engine().loadDecoded(watcher->result());
                    m_picturePath.clear();
                    ImgX->setViewAlignment(imaging::ViewAlignment::Plain);
                } catch (const imaging::ImageError &) {
                    clearPreview();
                }
                emit previewSettled();
            });
    watcher->setFuture(QtConcurrent::run([path] { return imaging::decodeFile(path); }));
}

void frmMain::ImgX_DblClick()
{
    QString name = ImgX->engine().filePath();
    if (name.isEmpty() && ImgX->engine().pageCount() > 0)
        name = m_picturePath;
    if (name.isEmpty())
        return;
    hide();
    try {
        frmViwer *view = Viewer();
        view->ImgX->setZoom(1.0);
        view->ViewImage(QStringList{name}, 0);
    } catch (const std::exception &) {
        // Nothing to show: the browser must not stay hidden with no window
        // left on the screen.
        showBrowser();
    }
}

void frmMain::ImageExplore1_OpenItem(const QStringList &ImagePaths, int Index, const QString &sFolderPath)
{
    if (!sFolderPath.isEmpty()) {
        TV1->setPath(sFolderPath);
        listTreeFolder();
        return;
    }
    if (Index >= 0 && Index < ImagePaths.size() && !ImagePaths.at(Index).isEmpty()) {
        hide();
        try {
            frmViwer *view = Viewer();
            view->ImgX->setZoom(1.0);
            view->bCommand = false;
            view->ViewImage(ImagePaths, Index);
        } catch (const std::exception &) {
            showBrowser();
        }
        return;
    }
    clearPreview();
}

void frmMain::setSingleInstance(std::unique_ptr<app::SingleInstance> instance)
{
    m_instance = std::move(instance);
}

dialogs::DestinationDialog *frmMain::destinationDialog()
{
    if (!m_fileForm) {
        m_fileForm = new dialogs::DestinationDialog(this);
        m_fileForm->setObjectName(QStringLiteral("frmFile"));
    }
    return m_fileForm;
}

void frmMain::Form_Load(const QString &commandText)
{
    // 1. A second instance ends at once, silently; the running one keeps
    // its state and is told nothing.
    emit startupStep(StartupStep::SingleInstance, {});
    if (!m_instance)
        m_instance = app::makeSingleInstance();
    if (!m_instance->claim())
        core::endProcess(0);

    // 2. Splash, closed once the browser is up.
    emit startupStep(StartupStep::Splash, {});
    const QString folder = core::programFolder();
    Splash1->ShowSplash(folder + QLatin1String("/viewer.spl"));
    Splash1->ShowSplash(0);

    // 3. Application title, also the browser's caption.
    emit startupStep(StartupStep::Title, {});
    const QString title = QString::fromUtf16(core::kAppTitle);
    QGuiApplication::setApplicationDisplayName(title);
    setWindowTitle(title);

    // 4. Skin; without a usable skin file the default look stays.
    emit startupStep(StartupStep::Skin, {});
    Skin1->LoadSkin(folder + QLatin1String("/PVXMain.skn"));
    applySkin();

    // 5. The extensions the explorer lists.
    emit startupStep(StartupStep::Extensions, {});
    ImageExplore1->setExtensions(QString::fromUtf16(core::kSupportedExtensions));

    // 6. Command line.
    emit startupStep(StartupStep::CommandLine, commandText);
    HandleCommandLine(commandText);

    // 7. Show the browser unless the command line opened the viewer instead.
    if (!bHiddenByCommand) {
        emit startupStep(StartupStep::Show, {});
        show();
    }
}

void frmMain::applySkin()
{
    Skin1->ApplySkinByName(Toolbar, QStringLiteral("Toolbar"));
    Skin1->ApplySkin(this);
    Skin1->ApplySkinByName(Toolbar, QStringLiteral("Toolbar"));
    Skin1->ApplySkinByName(TV1, QStringLiteral("Splitter"));
    Skin1->ApplySkinByName(Splitter2, QStringLiteral("Splitter"));
    Skin1->ApplySkinByName(Splitter1, QStringLiteral("Splitter"));
    Skin1->ApplySkinByName(container, QStringLiteral("Splitter"));
}

frmViwer *frmMain::Viewer()
{
    return viewer::viewer(this);
}

void frmMain::showBrowser()
{
    show();
    raise();
    activateWindow();
}

void frmMain::CheckPath(const QString &path)
{
    // absolutePath gives "/" for a file in the root, so "//" never matches
    // the tree and the root is always listed again.
    const QString parent = QFileInfo(path).absolutePath();
    if (TV1->path() == parent + QLatin1Char('/'))
        return;
    TV1->setPath(parent);
    const QString folder = TV1->path();
    if (folder.isEmpty())
        return;
    ImageExplore1->explorePath(folder);
    try {
        ImageExplore1->selectPath(path);
    } catch (const explorer::ExplorerError &) {
        // The image is gone (or the tree could not reach its folder): the
        // listing stays on its first item.
    }
}

void frmMain::RefreshImages(QString &oldPath, QString &newPath)
{
    ImageExplore1->updateAfterOperation(oldPath, newPath);
}

void frmMain::EndMe()
{
    Form_Unload();
}

void frmMain::Form_Unload()
{
    // The viewer's own unload may close windows that lead back here.
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    emit shutdownStarted();
    if (unloadViewer)
        unloadViewer();
    delete m_fileForm.data();
    Splash1->close();
    if (m_instance)
        m_instance->release();
    core::endProcess(0);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    event->accept();
    try {
        Form_Unload();
    } catch (const core::ProcessEnded &) {
        // Only a test's end-process handler returns; the exception that
        // stands for the ended process must not cross Qt's event dispatch.
    }
}
