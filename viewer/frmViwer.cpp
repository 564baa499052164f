// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/frmViwer.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include "core/Formats.h"
#include "imaging/ImageView.h"
#include "core/Process.h"
#include "core/Twips.h"
#include "core/Prompts.h"
#include "settings/SettingsStore.h"
#include "viewer/Prefetcher.h"
#include "viewer/ViewerRules.h"

#include <cmath>
#include <limits>

using namespace viewer;

namespace {

// Design positions and sizes, in twips.
constexpr double kToolbarLeft = 30, kToolbarTop = 30, kToolbarHeight = 495;
constexpr double kImgXLeft = 75, kImgXTop = 570;
constexpr double kMenuContainerWidth = 9765;
constexpr double kDesignClientWidth = 7710, kDesignClientHeight = 7680;
constexpr int kFullScreenTopOffset = 510;

QString section()
{
    return QString::fromUtf16(settings::kPreferencesSection);
}

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

struct ButtonSpec
{
    const char *key;
    const char *tooltip;
};
// Index order of the toolbar (1-based in Toolbar_ButtonClick).
constexpr ButtonSpec kButtons[] = {
    {"open32", "Open"},         {"browsed32", "Browse"},         {"previous32", "Prevoius"},
    {"next32", "Next"},         {"slidshow32", "Slide Show"},    {"zoomin32", "Zoom In"},
    {"zoomiout32", "Zoom Out"}, {"fullscreen32", "Full Screen"},
};

} // namespace

frmViwer::frmViwer(BrowserLink *link, QWidget *parent) : QMainWindow(parent), m_link(link)
{
    setObjectName(QStringLiteral("frmViwer"));
    setWindowTitle(QStringLiteral("Caption will be set at run time.."));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("ViewerClient"));
    setCentralWidget(central);
    central->installEventFilter(this);

    ImgX = new imaging::ImageView(central);
    ImgX->setObjectName(QStringLiteral("ImgX"));
    ImgX->setBackgroundColor(Qt::white);
    ImgX->setImageCentered(true);
    ImgX->setBorderThickness(1);
    ImgX->installEventFilter(this);
    connect(ImgX, &imaging::ImageView::doubleClicked, this, &frmViwer::ImgX_DblClick);
    connect(ImgX, &imaging::ImageView::keyPressed, this, &frmViwer::ImgX_KeyDown);
    connect(ImgX, &imaging::ImageView::changed, this, &frmViwer::ImgX_Change);
    connect(ImgX, &imaging::ImageView::mousePressed, this, &frmViwer::ImgX_MouseDown);
    connect(ImgX, &imaging::ImageView::filesDropped, this,
            [this](const QList<QUrl> &urls) { ImgX_FileDrop(urls); });

    MenuContainer = new QFrame(central);
    MenuContainer->setObjectName(QStringLiteral("MenuContainer"));

    tmrSlideShow = new QTimer(this);
    tmrSlideShow->setObjectName(QStringLiteral("tmrSlideShow"));
    tmrSlideShow->setInterval(1000);
    connect(tmrSlideShow, &QTimer::timeout, this, &frmViwer::tmrSlideShow_Timer);

    m_prefetch = new Prefetcher(this);
    connect(m_prefetch, &Prefetcher::ready, this, [this](const QString &path) {
        if (m_slideWaiting && m_timerEnabled && path == slidePath())
            tmrSlideShow_Timer();
    });

    buildToolbar();
    buildMenus();
    buildStatusBar();

    resize(core::twipsToPixelsX(kDesignClientWidth),
           core::twipsToPixelsY(kDesignClientHeight));
    create(); // the window system's frame is known before the window is first shown
    Form_Load();
}

frmViwer::~frmViwer() = default;

// --- building the window ------------------------------------------------

void frmViwer::buildToolbar()
{
    Toolbar = new QWidget(centralWidget());
    Toolbar->setObjectName(QStringLiteral("Toolbar"));
    Toolbar->setFixedHeight(core::twipsToPixelsY(kToolbarHeight));
    auto *row = new QHBoxLayout(Toolbar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    int index = 0;
    for (const ButtonSpec &spec : kButtons) {
        ++index;
        auto *b = new PictureButton(Toolbar);
        const QString key = QString::fromLatin1(spec.key);
        b->setObjectName(key);
        b->setToolTip(QString::fromLatin1(spec.tooltip));
        QIcon icon;
        icon.addFile(QStringLiteral(":/viewer/icons/%1.png").arg(key), {}, QIcon::Normal);
        icon.addFile(QStringLiteral(":/viewer/icons/%1_hover.png").arg(key), {}, QIcon::Active);
        b->setIcon(icon);
        b->setIconSize(QSize(32, 32));
        b->setFixedSize(Toolbar->height(), Toolbar->height());
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setCheckable(index == 5);
        connect(b, &QToolButton::clicked, this, [this, index] { Toolbar_ButtonClick(index); });
        row->addWidget(b);
        m_buttons << b;
    }
    row->addStretch(1);
}

void frmViwer::buildMenus()
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

    QMenu *file = topMenu("mnufile", QStringLiteral("File"));
    entry(file, "mnuopen", QStringLiteral("Open     "), QKeySequence(Qt::CTRL | Qt::Key_O),
          [this] { LoadImage(); });
    entry(file, "mnuBrowse", QStringLiteral("Browse     "), QKeySequence(Qt::CTRL | Qt::Key_B),
          [this] { ReturnToBrowser(); });
    entry(file, "mnuSaveAs", QStringLiteral("Save As     "), QKeySequence(Qt::CTRL | Qt::Key_S),
          [this] { SaveAs(); });
    entry(file, "mnuPageSetup", QStringLiteral("Page Setup"), none, [this] { PageSetup(); });
    QMenu *print = subMenu(file, "mnuPrint", QStringLiteral("Print"));
    entry(print, "mnuTopLeft", QStringLiteral("Top Left"), none, [this] { PrintImage(0); });
    entry(print, "mnuCentered", QStringLiteral("Centered"), none, [this] { PrintImage(1); });
    entry(print, "mnuFitToPage", QStringLiteral("Fit To Page"), none, [this] { PrintImage(2); });
    entry(file, "mnuExit", QStringLiteral("Exit         "), QKeySequence(Qt::CTRL | Qt::Key_Q),
          [this] { ReturnToBrowser(); });

    QMenu *edit = topMenu("mnuEdit", QStringLiteral("Edit"));
    entry(edit, "mnuCopyTo", QStringLiteral("Copy To"), QKeySequence(Qt::CTRL | Qt::Key_C),
          [this] { FileOperation(1); });
    entry(edit, "mnuMoveTo", QStringLiteral("Move To"), QKeySequence(Qt::CTRL | Qt::Key_M),
          [this] { FileOperation(4); });
    entry(edit, "mnuCopyImage", QStringLiteral("Copy Image"), QKeySequence(Qt::CTRL | Qt::Key_G),
          [this] { CopyImage(); });
    entry(edit, "mnuDelete", QStringLiteral("Delete     "), QKeySequence(Qt::Key_Delete),
          [this] { DeleteImage(); });
    entry(edit, "mnuRename", QStringLiteral("Rename"), QKeySequence(Qt::Key_F2),
          [this] { FileOperation(5); });

    QMenu *view = topMenu("mnuView", QStringLiteral("View"));
    entry(view, "mnuFullScreen", QStringLiteral("Full Screen"), QKeySequence(Qt::CTRL | Qt::Key_F),
          [this] { ToggleFullScreen(); });
    entry(view, "mnuZoomIn", QStringLiteral("Zoom In     "), QKeySequence(Qt::CTRL | Qt::Key_N),
          [this] { ZoomIn(); });
    entry(view, "mnuZoomOut", QStringLiteral("Zoom Out     "), QKeySequence(Qt::CTRL | Qt::Key_U),
          [this] { ZoomOut(); });
    QMenu *image = subMenu(view, "mnuImage", QStringLiteral("Image"));
    entry(image, "mnuNext", QStringLiteral("Next"), none, [this] { NextImage(); });
    entry(image, "mnuPrevious", QStringLiteral("Previous"), none, [this] { PrevImage(); });

    QMenu *tools = topMenu("mnuTools", QStringLiteral("Tools"));
    entry(tools, "mnuSlideShow", QStringLiteral("Slide Show"), none, [this] { ToggleSlideShow(); });
    entry(tools, "mnuSlideShowDelay", QStringLiteral("Slide Show Delay"), none,
          [this] { SetSlideShowDelay(); });
    QAction *aa = entry(tools, "mnuAntiAliasDisplay", QStringLiteral("AntiAlias Display"), none,
                        [this] { ToggleAntiAlias(); });
    aa->setCheckable(true);
    entry(tools, "mnuRotate1", QStringLiteral("Rotate +90"), none, [this] { RotatePlus90(); });
    entry(tools, "mnuRotate2", QStringLiteral("Rotate -90"), none, [this] { RotateMinus90(); });
    entry(tools, "mnuSetAsWallpaper", QStringLiteral("Set As Wallpaper"), none,
          [this] { SetAsWallpaper(); });

    QMenu *help = topMenu("mnuHelp", QStringLiteral("Help"));
    entry(help, "mnuAbout", QStringLiteral("About"), none, [this] { ShowAbout(); });
    entry(help, "mnuHelpIndex", QStringLiteral("Help Index"), none, [this] { HelpIndex(); });
    entry(help, "mnuupdate", QStringLiteral("update"), none, [this] { RunUpdate(); });
}

void frmViwer::buildStatusBar()
{
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(true);
    setStatusBar(StatusBar);
    // Small minimums, so that the panels never keep the window from taking
    // the size the image asks for.
    const int minimumWidths[] = {48, 60, 64, 100, 48};
    for (int i = 0; i < 5; ++i) {
        auto *panel = new QLabel(StatusBar);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setMinimumWidth(minimumWidths[i]);
        if (i == 1)
            panel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        panel->setContentsMargins(4, 0, 4, 0);
        StatusBar->addPermanentWidget(panel, i == 1 ? 1 : 0);
        m_panels << panel;
    }
}

QAction *frmViwer::action(const char *name) const
{
    return findChild<QAction *>(QString::fromLatin1(name));
}

// Every skin element the viewer uses is applied here, at load and when it
// leaves full screen.
void frmViwer::applySkin()
{
    Toolbar->setStyleSheet(
        QStringLiteral("#Toolbar { background: transparent; }"
                       "QToolButton { border: none; padding: 0; background: transparent; }"
                       "QToolButton:checked { background: #d8e4f2; border-radius: 4px; }"));
    MenuContainer->setStyleSheet(QStringLiteral("background: #c9d3df;"));
    StatusBar->setStyleSheet(
        QStringLiteral("QStatusBar { background: #eef1f5; border-top: 1px solid #c9d3df; }"
                       "QStatusBar::item { border: none; }"
                       "QLabel { color: #33404f; border-left: 1px solid #d5dbe3; }"));
}

// --- lifecycle -------------------------------------------------------------

void frmViwer::Form_Load()
{
    applySkin();
    LoadSettings();
    FilePaths.clear();
}

void frmViwer::LoadSettings()
{
    const settings::SettingsStore reg;
    const QString sec = section();
    const QString aaDefault = QString::fromUtf16(kAntiAliasDefault);
    const bool aa = settingToBool(
        reg.value(settings::Root::LocalMachine, sec, QString::fromUtf16(kAntiAliasKey), aaDefault),
        aaDefault);
    ImgX->setAntiAlias(aa);
    action("mnuAntiAliasDisplay")->setChecked(aa);

    const QString delayDefault = QString::fromUtf16(kSlideShowDelayDefault);
    tmrSlideShow->setInterval(
        settingToDelay(reg.value(settings::Root::LocalMachine, sec,
                                         QString::fromUtf16(kSlideShowDelayKey), delayDefault),
                       delayDefault));

    const QString fsDefault = QString::fromUtf16(kFullScreenDefault);
    bFullScreen = settingToBool(
        reg.value(settings::Root::LocalMachine, sec, QString::fromUtf16(kFullScreenKey), fsDefault),
        fsDefault);
}

void frmViwer::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_unloaded)
        return;
    try {
        Form_QueryUnload();
    } catch (const core::ProcessEnded &) {
        // Only a test's end-of-process handler returns; it has recorded the end.
    }
}

// What every unload does first: keep the full-screen choice for the next
// start, drop the list and its background decodes, stop the slide show.
void frmViwer::storeAndRelease()
{
    settings::SettingsStore().setValue(settings::Root::LocalMachine, section(), QString::fromUtf16(kFullScreenKey),
                               boolToSetting(bFullScreen));
    FilePaths.clear();
    m_prefetch->newGeneration();
    stopSlideTimer();
}

void frmViwer::unloadForShutdown()
{
    if (m_unloaded)
        return;
    storeAndRelease();
    m_unloaded = true;
    hide();
    deleteLater();
}

void frmViwer::Form_QueryUnload()
{
    if (m_unloaded)
        return;
    storeAndRelease();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    if (bCommand)
        core::endProcess(0);
    m_unloaded = true;
    hide();
    deleteLater();
    if (m_link)
        m_link->showBrowser();
}

void frmViwer::ReturnToBrowser()
{
    hide();
    if (!m_link)
        return;
    m_link->showBrowser();
    if (CurrentIndex >= 0 && CurrentIndex < FilePaths.size())
        m_link->CheckPath(FilePaths.at(CurrentIndex));
}

QSizeF frmViwer::screenSizeTwips() const
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QSize px = s ? s->geometry().size() : QSize(1024, 768);
    return {px.width() * tppX(), px.height() * tppY()};
}

// The window's outer rectangle in pixels: its frame as far as the window
// system has told it, even while the window is hidden.
QRect frmViwer::outerGeometry() const
{
    const QMargins m = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    return geometry().marginsAdded(m);
}

QSizeF frmViwer::windowSizeTwips() const
{
    if (windowState() & Qt::WindowFullScreen)
        return screenSizeTwips();
    const QSize px = outerGeometry().size();
    return {px.width() * tppX(), px.height() * tppY()};
}

double frmViwer::toolbarHeightTwips() const
{
    return Toolbar->height() * tppY();
}

bool frmViwer::isMinimizedOrMaximized() const
{
    return windowState() & (Qt::WindowMinimized | Qt::WindowMaximized);
}

void frmViwer::setWindowSizeTwips(double width, double height)
{
    // A window never grows beyond the screen's free area; the later steps
    // work with the size as finally set.
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    QSize px(core::twipsToPixelsX(width), core::twipsToPixelsY(height));
    if (s)
        px = px.boundedTo(s->availableGeometry().size());
    const QSize frameExtra = outerGeometry().size() - geometry().size();
    resize((px - frameExtra).expandedTo(QSize(1, 1)));
    Form_Resize();
}

void frmViwer::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmViwer::Form_Resize()
{
    if (bSizing)
        return;
    const ViewLayout layout = resizeLayout(windowSizeTwips(), toolbarHeightTwips());
    m_imgX.setWidth(layout.imgXWidth);
    if (layout.imgXHeight >= 0) // a window too small for the view keeps the old height
        m_imgX.setHeight(layout.imgXHeight);
    applyViewGeometry();
    UpdateViewMode();
}

// Places the controls at their design positions. The view is kept inside
// the area between the toolbar and the status bar, so that its scroll bars
// stay on screen whatever the window frame measures.
void frmViwer::applyViewGeometry()
{
    const QWidget *client = centralWidget();
    const int x = core::twipsToPixelsX(kImgXLeft);
    const int y = core::twipsToPixelsY(kImgXTop);
    const int w = std::clamp(core::twipsToPixelsX(m_imgX.width()), 0,
                             std::max(0, client->width() - 2 * x));
    const int h =
        std::clamp(core::twipsToPixelsY(m_imgX.height()), 0, std::max(0, client->height() - y));
    ImgX->setGeometry(x, y, w, h);
    const int tx = core::twipsToPixelsX(kToolbarLeft);
    Toolbar->setGeometry(
        tx, core::twipsToPixelsY(kToolbarTop),
        std::max(0, std::min(core::twipsToPixelsX(m_imgX.width()), client->width() - tx)),
        Toolbar->height());
    // The strip under the menu bar spans the window (at its design width it
    // would end in the middle of a wider window).
    MenuContainer->setGeometry(
        0, 0, std::max(core::twipsToPixelsX(kMenuContainerWidth), client->width()), 2);
}

bool frmViwer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        applyViewGeometry();
    } else if (watched == ImgX && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            return false; // the view keeps these and reports them
        default:
            Form_KeyDown(key->key(), int(key->modifiers()));
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmViwer::keyPressEvent(QKeyEvent *event)
{
    Form_KeyDown(event->key(), int(event->modifiers()));
}

void frmViwer::setBarsVisible(bool visible)
{
    for (QMenu *m : std::as_const(m_topMenus))
        m->menuAction()->setVisible(visible);
    // A hidden menu bar also switches the menu shortcuts off.
    menuBar()->setVisible(visible);
    Toolbar->setVisible(visible);
    StatusBar->setVisible(visible);
    MenuContainer->setVisible(visible);
}

void frmViwer::ToggleFullScreen()
{
    if (!bFullScreen) {
        bFullScreen = true;
        // Entering again while already full screen (moving to another image)
        // keeps the windowed position and size saved before, so that leaving
        // gives the user's window back.
        if (!(windowState() & Qt::WindowFullScreen)) {
            const QRect g = outerGeometry();
            qint16 v = 0;
            if (toInt16(g.x() * tppX(), &v))
                SavedLeft = v;
            if (toInt16(g.y() * tppY(), &v))
                SavedTop = v;
            SavedWidth = qint32(roundHalfEven(g.width() * tppX()));
            SavedHeight = qint32(roundHalfEven(g.height() * tppY()));
        }
        if (windowState() & Qt::WindowMaximized)
            setWindowState(windowState() & ~Qt::WindowMaximized);
        // Presenting an image in full screen loaded it a moment ago: reading
        // the same file again would only double the wait for every image.
        if (!m_presenting)
            ReloadCurrentImage();
        setBarsVisible(false);
        setWindowState((windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized)) |
                       Qt::WindowFullScreen);
        Form_Resize();
        return;
    }
    bFullScreen = false;
    setWindowState(windowState() & ~Qt::WindowFullScreen);
    applySkin();
    setWindowTitle(QString());
    setBarsVisible(true);
    const int top = int(SavedTop) + kFullScreenTopOffset;
    const int left = core::twipsToPixelsX(SavedLeft);
    if (top <= std::numeric_limits<qint16>::max())
        move(left, core::twipsToPixelsY(top));
    else
        move(left, pos().y());
    setWindowSizeTwips(SavedWidth, SavedHeight);
    ReloadCurrentImage();
    Form_Resize();
}

void frmViwer::Toolbar_ButtonClick(int index)
{
    switch (index) {
    case 1:
        LoadImage();
        break;
    case 2:
        ReturnToBrowser();
        break;
    case 3:
        PrevImage();
        break;
    case 4:
        NextImage();
        break;
    case 5:
        ToggleSlideShow();
        break;
    case 6:
        ZoomIn();
        break;
    case 7:
        ZoomOut();
        break;
    case 8:
        ToggleFullScreen();
        break;
    default:
        break;
    }
}

// --- loading and presentation -----------------------------------------------

bool frmViwer::LoadIntoEngine(const QString &path, QString *error)
{
    try {
        if (core::usesPictureLoader(path)) {
            QString reason;
            const QImage picture = imaging::loadPicture(path, &reason);
            if (picture.isNull())
                throw imaging::ImageError(reason);
            Image1 = picture;
            ImgX->setFileLoadFlag(false);
            ImgX->engine().loadPicture(Image1);
        } else {
            ImgX->setFileLoadFlag(true);
            std::optional<imaging::Decoded> ready;
            if (m_prefetchEnabled)
                ready = m_prefetch->take(path);
            if (ready)
                ImgX->engine().loadDecoded(*ready);
            else
                ImgX->engine().loadFile(path);
        }
        m_lastError.clear();
        return true;
    } catch (const imaging::ImageError &e) {
        m_lastError = e.description();
    } catch (const std::exception &e) {
        m_lastError = QStringLiteral("Cannot read %1: %2")
                          .arg(fileNamePart(path), QString::fromLocal8Bit(e.what()));
    }
    if (error)
        *error = m_lastError;
    ImgX->engine().clear();
    return false;
}

void frmViwer::FitWindowToImage()
{
    const QSize first = ImgX->engine().pageSize(0);
    const int w = first.isValid() ? first.width() : 0;
    const int h = first.isValid() ? first.height() : 0;
    const WindowFit fit = fitWindowToImage(w, h, tppX(), tppY(), toolbarHeightTwips());
    m_fittedMargins = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    m_imgX = QSizeF(fit.imgXWidth, fit.imgXHeight);
    if (isMinimizedOrMaximized()) {
        Form_Resize();
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

void frmViwer::FitZoomToWindow()
{
    // In full-screen presentation the window is, or is about to be, the
    // whole screen.
    const QSizeF window = bFullScreen ? screenSizeTwips() : windowSizeTwips();
    const double zoom = fitZoom(ImgX->zoom(), ImgX->engine().width(), ImgX->engine().height(),
                                window, tppX(), tppY());
    if (zoom != ImgX->zoom()) {
        ImgX->setZoom(zoom);
        m_panels[4]->setText(zoomPanelText(zoom)); // the zoom on screen, not the one loaded with
    }
}

void frmViwer::ViewImage(const QStringList &paths, int index)
{
    qint16 i = qint16(std::clamp(index, -1, int(std::numeric_limits<qint16>::max())));
    ViewImage(paths, i);
}

void frmViwer::ViewImage(const QStringList &paths, qint16 &index)
{
    if (&paths != &FilePaths && paths != FilePaths) {
        FilePaths = paths;
        m_prefetch->newGeneration();
    }
    const int count = int(FilePaths.size());
    const int wrapped = wrapIndex(index, count);
    if (wrapped >= 0 && wrapped <= std::numeric_limits<qint16>::max())
        index = qint16(wrapped);
    // An empty entry, an empty list or a position out of range shows an
    // empty view and changes nothing else.
    if (wrapped < 0 || wrapped >= count || wrapped > std::numeric_limits<qint16>::max() ||
        FilePaths.at(wrapped).isEmpty()) {
        ImgX->engine().clear();
        return;
    }
    CurrentIndex = index;
    const QString path = FilePaths.at(wrapped);
    LoadIntoEngine(path);
    setWindowTitle(imageTitle(path));
    // A shown window is sized in place: unmapping it for that would flicker
    // and lose the keyboard focus.
    const bool wasVisible = isVisible();
    if (!bFullScreen)
        FitWindowToImage();
    FitZoomToWindow();
    if (bFullScreen) {
        bFullScreen = false;
        m_presenting = true;
        ToggleFullScreen();
        m_presenting = false;
    }
    if (!wasVisible) {
        show();
        raise();
        activateWindow();
        // Some window systems tell the frame's size only once the window is
        // on screen; fit the window again then, so that its title bar is not
        // pushed off the screen.
        if (!bFullScreen)
            QTimer::singleShot(200, this, [this] {
                if (!bFullScreen && isVisible() && !isMinimizedOrMaximized() && windowHandle() &&
                    windowHandle()->frameMargins() != m_fittedMargins) {
                    FitWindowToImage();
                    FitZoomToWindow();
                }
            });
    }
    ImgX->setFocus();
    schedulePrefetch();
    if (!m_lastError.isEmpty())
        UpdateStatusBar();
}

void frmViwer::ReloadCurrentImage()
{
    const int count = int(FilePaths.size());
    const int k = wrapIndex(CurrentIndex, count);
    if (k < 0 || k >= count) {
        ImgX->engine().clear();
        return;
    }
    LoadIntoEngine(FilePaths.at(k));
}

bool frmViwer::LoadImage()
{
    core::FileDialogRequest request;
    request.mode = core::FileDialogRequest::Mode::OpenMultiple;
    request.nameFilters = qtNameFilters(openFilter());
    request.fileMustExist = true;
    const core::FileDialogResult chosen = core::prompts().fileDialog(request);
    if (!chosen.accepted || chosen.files.isEmpty())
        return false;
    // The first chosen file is shown and becomes the current entry, so that
    // the title, the status bar and the file commands all name the image on
    // screen.
    const QString first = chosen.files.first();
    ImgX->engine().clear();
    LoadIntoEngine(first);
    const qsizetype firstIndex = FilePaths.size();
    FilePaths += chosen.files;
    if (firstIndex <= std::numeric_limits<qint16>::max())
        CurrentIndex = qint16(firstIndex);
    if (ImgX->engine().pageCount() > 0)
        ImgX->engine().selectPage(0);
    setWindowTitle(imageTitle(first));
    UpdateStatusBar();
    schedulePrefetch();
    return true;
}

// --- status bar --------------------------------------------------------------

QString frmViwer::panelText(int panel) const
{
    return panel >= 1 && panel <= m_panels.size() ? m_panels.at(panel - 1)->text() : QString();
}

void frmViwer::UpdateStatusBar()
{
    const int k = (slideShowRunning() ? SlidePosition : CurrentIndex) + 1;
    m_panels[0]->setText(QStringLiteral("%1/%2").arg(k).arg(FilePaths.size()));
    if (CurrentIndex < 0 || CurrentIndex >= FilePaths.size())
        return;
    const QString p = FilePaths.at(CurrentIndex);
    if (ImgX->engine().pageCount() == 0) {
        // Nothing on screen: name the entry, or say why it is not shown.
        m_panels[1]->setText(m_lastError.isEmpty() ? fileNamePart(p) : m_lastError);
        m_panels[2]->clear();
        m_panels[3]->clear();
    } else if (core::usesPictureLoader(p)) {
        m_panels[1]->setText(fileNamePart(p));
        m_panels[2]->setText(FormatFileSize(float(QFileInfo(p).size())));
        m_panels[3]->clear();
    } else {
        const QString full = ImgX->engine().filePath();
        m_panels[1]->setText(ImgX->engine().fileName());
        m_panels[2]->setText(FormatFileSize(float(QFileInfo(full).size())));
        m_panels[3]->setText(QStringLiteral("%1x%2x%3b %4")
                                 .arg(ImgX->engine().width())
                                 .arg(ImgX->engine().height())
                                 .arg(ImgX->engine().bitsPerPixel())
                                 .arg(core::extensionOf(full)));
    }
    m_panels[4]->setText(zoomPanelText(ImgX->zoom()));
}

// --- keys and mouse --------------------------------------------------------------

void frmViwer::Form_KeyDown(int keyCode, int shift)
{
    Q_UNUSED(shift) // Shift, Ctrl and Alt act like the plain key
    switch (keyCode) {
    case Qt::Key_Escape:
        close();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ReturnToBrowser();
        break;
    case Qt::Key_Space:
    case Qt::Key_PageDown:
        NextImage();
        for (int i = 0; i < 8; ++i)
            QCoreApplication::processEvents();
        break;
    case Qt::Key_Backspace:
    case Qt::Key_PageUp:
        PrevImage();
        for (int i = 0; i < 2; ++i)
            QCoreApplication::processEvents();
        break;
    case Qt::Key_Delete:
        // In a window the Delete shortcut of the Edit menu acts; the menus
        // and their shortcuts are off in full screen.
        if (bFullScreen)
            DeleteImage();
        break;
    case Qt::Key_F:
        ToggleFullScreen();
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomIn();
        break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        ZoomOut();
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (ImgX->viewAlignment() == imaging::ViewAlignment::Panned)
            ImgX->setScrollX(ImgX->scrollX() + (keyCode == Qt::Key_Left ? -5 : 5));
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (ImgX->viewAlignment() == imaging::ViewAlignment::Panned)
            ImgX->setScrollY(ImgX->scrollY() + (keyCode == Qt::Key_Up ? -5 : 5));
        break;
    default:
        break;
    }
}

void frmViwer::ImgX_KeyDown(int keyCode, Qt::KeyboardModifiers shift)
{
    switch (keyCode) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        Form_KeyDown(keyCode, int(shift));
        break;
    default:
        break;
    }
}

void frmViwer::ImgX_DblClick()
{
    ReturnToBrowser();
}

void frmViwer::ImgX_Change()
{
    UpdateViewMode();
    UpdateStatusBar();
}

bool frmViwer::IsFolder(const QString &path)
{
    return QFileInfo(path).isDir();
}

void frmViwer::ImgX_FileDrop(const QList<QUrl> &urls)
{
    QStringList list;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (!QFileInfo::exists(path)) // attributes that cannot be read: skip the path
            continue;
        if (!IsFolder(path) && core::isSupportedImageFile(path))
            list << path;
    }
    if (list.isEmpty())
        return; // nothing usable was dropped: the viewer stays as it was
    ViewImage(list, 0);
}

// --- zoom, rotation, view mode ---------------------------------------------------

void frmViwer::ZoomIn()
{
    applyZoomStep(zoomInStep(ImgX->zoom()));
}

void frmViwer::ZoomOut()
{
    applyZoomStep(zoomOutStep(ImgX->zoom()));
}

// A step the limits refused leaves everything as it was.
void frmViwer::applyZoomStep(double zoom)
{
    if (zoom == ImgX->zoom())
        return;
    ImgX->setZoom(zoom);
    UpdateViewMode();
    m_panels[4]->setText(zoomPanelText(zoom));
}

void frmViwer::UpdateViewMode()
{
    const imaging::ViewAlignment mode = viewModeFor(ImgX->zoom(), ImgX->engine().width(), ImgX->engine().height(),
                                 windowSizeTwips(), tppX(), tppY());
    if (mode != ImgX->viewAlignment())
        ImgX->setViewAlignment(mode);
}

void frmViwer::RotatePlus90()
{
    if (ImgX->engine().pageCount() == 0)
        return; // nothing to turn
    ImgX->engine().rotate(90.0);
}

void frmViwer::RotateMinus90()
{
    if (ImgX->engine().pageCount() == 0)
        return;
    ImgX->engine().rotate(-90.0);
}

void frmViwer::ToggleAntiAlias()
{
    ImgX->setAntiAlias(!ImgX->antiAlias());
    action("mnuAntiAliasDisplay")->setChecked(ImgX->antiAlias());
    settings::SettingsStore().setValue(settings::Root::LocalMachine, section(), QString::fromUtf16(kAntiAliasKey),
                               boolToSetting(ImgX->antiAlias()));
}

// --- navigation and slide show -------------------------------------------------

void frmViwer::NextImage()
{
    const int count = int(FilePaths.size());
    if (count == 0 || CurrentIndex == count - 1)
        return;
    int target = CurrentIndex + 1;
    if (target > count - 1)
        target = 0;
    if (target >= 0 && target < count && FilePaths.at(target).isEmpty())
        ++target; // one empty entry is skipped, never more
    if (target > std::numeric_limits<qint16>::max())
        return;
    ImgX->setZoom(1.0);
    m_direction = 1;
    ViewImage(FilePaths, target);
}

void frmViwer::PrevImage()
{
    const int count = int(FilePaths.size());
    if (count == 0 || CurrentIndex == 0)
        return;
    int target = CurrentIndex - 1;
    if (target == -1)
        target = count - 1;
    if (target >= 0 && target < count && FilePaths.at(target).isEmpty())
        --target;
    ImgX->setZoom(1.0);
    m_direction = -1;
    ViewImage(FilePaths, target);
}

bool frmViwer::slideShowRunning() const
{
    return m_buttons.at(4)->isChecked();
}

int frmViwer::slideShowDelay() const
{
    return tmrSlideShow->interval();
}

void frmViwer::startSlideTimer()
{
    m_timerEnabled = true;
    // A delay of 0 never fires, as with a window timer.
    if (tmrSlideShow->interval() > 0)
        tmrSlideShow->start();
    else
        tmrSlideShow->stop();
}

void frmViwer::stopSlideTimer()
{
    m_timerEnabled = false;
    m_slideWaiting = false;
    tmrSlideShow->stop();
}

void frmViwer::ToggleSlideShow()
{
    PictureButton *button = m_buttons.at(4);
    button->setChecked(!button->isChecked());
    Toolbar->update();
    if (!button->isChecked()) {
        stopSlideTimer();
        return;
    }
    ShowSlide(true);
}

QString frmViwer::slidePath() const
{
    const int count = int(FilePaths.size());
    int pos = wrapIndex(SlidePosition, count);
    if (pos < 0 || pos >= count)
        pos = 0;
    return count > 0 ? FilePaths.at(pos) : QString();
}

void frmViwer::ShowSlide(bool start)
{
    if (start) {
        startSlideTimer();
        SlidePosition =
            qint16(CurrentIndex < std::numeric_limits<qint16>::max() ? CurrentIndex + 1 : 0);
        schedulePrefetch();
    }
    if (!SlideTick)
        return;
    const int count = int(FilePaths.size());
    if (count == 0) {
        SlideTick = false;
        return; // nothing to show
    }
    int pos = wrapIndex(SlidePosition, count);
    if (pos < 0 || pos >= count)
        pos = 0; // the list has become shorter
    SlidePosition = qint16(pos);
    presentSlide(FilePaths.at(pos));
    SlidePosition = qint16(pos < std::numeric_limits<qint16>::max() ? pos + 1 : 0);
    SlideTick = false;
    schedulePrefetch();
}

// The presentation steps of ViewImage for a slide: the window is neither
// hidden nor shown, and the resize handling waits until the sizing is done.
// An entry that cannot be shown gives an empty view and the show goes on.
void frmViwer::presentSlide(const QString &path)
{
    LoadIntoEngine(path);
    setWindowTitle(imageTitle(path));
    if (!bFullScreen) {
        bSizing = true;
        FitWindowToImage();
        bSizing = false;
        Form_Resize();
    }
    FitZoomToWindow();
}

void frmViwer::tmrSlideShow_Timer()
{
    // A slide whose decode is still under way is shown when it is ready, so
    // that a tick never blocks the user interface.
    if (m_prefetchEnabled) {
        const QString path = slidePath();
        if (!path.isEmpty() && !core::usesPictureLoader(path)) {
            if (!m_prefetch->has(path))
                schedulePrefetch();
            if (m_prefetch->has(path) && !m_prefetch->isReady(path)) {
                m_slideWaiting = true;
                return;
            }
        }
    }
    m_slideWaiting = false;
    SlideTick = true;
    ShowSlide(false);
}

void frmViwer::SetSlideShowDelay()
{
    const std::optional<QString> answer = core::prompts().input(
        QStringLiteral("Delay in Milliseconds(1000=1 Second):"), QStringLiteral("Slide Show Delay"),
        QString::number(tmrSlideShow->interval()));
    if (!answer)
        return;
    const DelayAnswer delay = parseDelayAnswer(*answer);
    if (delay.kind == DelayAnswer::Kind::Ignored)
        return;
    if (delay.kind == DelayAnswer::Kind::Invalid) {
        core::msgBox(
            QStringLiteral("The delay must be a number of milliseconds from 0 to 32767."),
            core::MsgIcon::Exclamation);
        return;
    }
    if (slideShowRunning())
        ToggleSlideShow();
    tmrSlideShow->setInterval(delay.milliseconds);
    settings::SettingsStore().setValue(settings::Root::LocalMachine, section(),
                               QString::fromUtf16(kSlideShowDelayKey),
                               QString::number(delay.milliseconds));
}

void frmViwer::setPrefetchEnabled(bool on)
{
    m_prefetchEnabled = on;
    if (!on)
        m_prefetch->newGeneration();
}

void frmViwer::schedulePrefetch()
{
    if (!m_prefetchEnabled)
        return;
    const int count = int(FilePaths.size());
    QStringList wanted;
    auto add = [&](int i) {
        if (i < 0 || i >= count)
            return;
        const QString &p = FilePaths.at(i);
        if (!p.isEmpty() && !core::usesPictureLoader(p) && !wanted.contains(p))
            wanted << p;
    };
    if (slideShowRunning()) {
        int pos = wrapIndex(SlidePosition, count);
        if (pos < 0 || pos >= count)
            pos = 0;
        add(pos);
        add(wrapIndex(pos + 1, count));
    } else {
        // The neighbours in the direction of travel; an empty entry is
        // stepped over as Next and Previous do.
        int i = CurrentIndex + m_direction;
        if (i >= 0 && i < count && FilePaths.at(i).isEmpty())
            i += m_direction;
        add(i);
        add(i + m_direction);
    }
    m_prefetch->want(wanted);
}

// --- commands filled in by the file, save and print parts ------------------------

void frmViwer::SaveAs() {}
void frmViwer::PageSetup() {}
void frmViwer::PrintImage(qint16) {}
void frmViwer::FileOperation(int) {}

void frmViwer::DeleteImage()
{
    FileOperation(2);
}

void frmViwer::CopyImage()
{
    if (ImgX->engine().pageCount() > 0)
        ImgX->engine().copyToClipboard();
}

void frmViwer::SetAsWallpaper() {}
void frmViwer::ShowAbout() {}
void frmViwer::HelpIndex() {}
void frmViwer::RunUpdate() {}
void frmViwer::ImgX_MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, QPoint) {}
