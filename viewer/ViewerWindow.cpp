// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ViewerWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "core/Formats.h"
#include "core/Process.h"
#include "core/Prompts.h"
#include "core/Twips.h"
#include "imaging/ImageView.h"
#include "settings/SettingsStore.h"
#include "viewer/BrowserLink.h"
#include "viewer/Logging.h"
#include "viewer/Prefetcher.h"
#include "viewer/SaveFormats.h"
#include "viewer/SlideShow.h"
#include "viewer/ViewerRules.h"
#include "viewer/ViewerStatusBar.h"

namespace viewer {

namespace {

constexpr double kDesignClientWidth = 7710, kDesignClientHeight = 7680;

using settings::Root;

QString section()
{
    return QString::fromUtf16(settings::kPreferencesSection);
}

QString storedSetting(const char16_t *key, const char16_t *defaultText)
{
    return settings::SettingsStore().value(Root::LocalMachine, section(), QString::fromUtf16(key),
                                           QString::fromUtf16(defaultText));
}

void storeSetting(const char16_t *key, const QString &value)
{
    settings::SettingsStore().setValue(Root::LocalMachine, section(), QString::fromUtf16(key),
                                       value);
}

} // namespace

ViewerWindow::ViewerWindow(BrowserLink *link, QWidget *parent) : QMainWindow(parent), m_link(link)
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

    m_imageView = new imaging::ImageView(central);
    m_imageView->setObjectName(QStringLiteral("ImgX"));
    m_imageView->setBackgroundColor(Qt::white);
    m_imageView->setImageCentered(true);
    m_imageView->setBorderThickness(1);
    m_imageView->installEventFilter(this);
    connect(m_imageView, &imaging::ImageView::doubleClicked, this, &ViewerWindow::returnToBrowser);
    connect(m_imageView, &imaging::ImageView::keyPressed, this,
            [this](int key) { onViewKeyPressed(key); });
    connect(m_imageView, &imaging::ImageView::changed, this, &ViewerWindow::onViewChanged);
    connect(m_imageView, &imaging::ImageView::mousePressed, this,
            &ViewerWindow::onViewMousePressed);
    connect(m_imageView, &imaging::ImageView::filesDropped, this,
            [this](const QList<QUrl> &urls) { openDroppedFiles(urls); });

    m_menuStrip = new QFrame(central);
    m_menuStrip->setObjectName(QStringLiteral("MenuContainer"));

    m_slideShow = new SlideShow(this);
    connect(m_slideShow, &SlideShow::tick, this, &ViewerWindow::advanceSlide);

    m_prefetch = new Prefetcher(this);
    connect(m_prefetch, &Prefetcher::ready, this, [this](const QString &path) {
        if (m_slideShow->isWaiting() && m_slideShow->isTimerEnabled() && path == slidePath())
            advanceSlide();
    });

    buildToolbar();
    buildMenus();
    m_statusBar = new ViewerStatusBar(this);
    setStatusBar(m_statusBar);

    resize(core::twipsToPixelsX(kDesignClientWidth), core::twipsToPixelsY(kDesignClientHeight));
    create(); // the window system's frame is known before the window is first shown
    start();
}

ViewerWindow::~ViewerWindow() = default;

// --- lifecycle ---------------------------------------------------------------

void ViewerWindow::start()
{
    applySkin();
    loadSettings();
    m_paths.clear();
}

void ViewerWindow::loadSettings()
{
    // A stored text the rules cannot read gives the default; only the log
    // tells.
    bool fellBack = false;
    const auto warnIfUnread = [&fellBack](const char16_t *key, const char16_t *defaultText) {
        if (fellBack)
            qCWarning(lcViewer, "The stored setting \"%s\" cannot be read; using \"%s\"",
                      qUtf8Printable(QString::fromUtf16(key)),
                      qUtf8Printable(QString::fromUtf16(defaultText)));
    };
    const bool antiAlias = settingToBool(storedSetting(kAntiAliasKey, kAntiAliasDefault),
                                         QString::fromUtf16(kAntiAliasDefault), &fellBack);
    warnIfUnread(kAntiAliasKey, kAntiAliasDefault);
    m_imageView->setAntiAlias(antiAlias);
    action("mnuAntiAliasDisplay")->setChecked(antiAlias);
    m_slideShow->setDelay(settingToDelay(storedSetting(kSlideShowDelayKey, kSlideShowDelayDefault),
                                         QString::fromUtf16(kSlideShowDelayDefault), &fellBack));
    warnIfUnread(kSlideShowDelayKey, kSlideShowDelayDefault);
    m_fullScreen = settingToBool(storedSetting(kFullScreenKey, kFullScreenDefault),
                                 QString::fromUtf16(kFullScreenDefault), &fellBack);
    warnIfUnread(kFullScreenKey, kFullScreenDefault);
}

void ViewerWindow::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (m_unloaded)
        return;
    try {
        closeViewer();
    } catch (const core::ProcessEnded &) {
        // Only a test's end-of-process handler returns; it has recorded the end.
    }
}

// What every unload does first: keep the full-screen choice for the next
// start, drop the list and its background decodes, stop the slide show.
void ViewerWindow::storeAndRelease()
{
    storeSetting(kFullScreenKey, boolToSetting(m_fullScreen));
    m_paths.clear();
    m_prefetch->newGeneration();
    m_slideShow->stopTimer();
}

void ViewerWindow::unload()
{
    m_unloaded = true;
    hide();
    deleteLater();
}

void ViewerWindow::unloadForShutdown()
{
    if (m_unloaded)
        return;
    storeAndRelease();
    unload();
}

void ViewerWindow::closeViewer()
{
    if (m_unloaded)
        return;
    storeAndRelease();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    if (m_openedFromCommandLine)
        core::endProcess(0);
    unload();
    if (m_link)
        m_link->showBrowser();
}

void ViewerWindow::returnToBrowser()
{
    hide();
    if (!m_link)
        return;
    m_link->showBrowser();
    if (m_index >= 0 && m_index < m_paths.size())
        m_link->selectPath(m_paths.at(m_index));
}

// --- loading and presentation --------------------------------------------------

bool ViewerWindow::loadIntoView(const QString &path)
{
    imaging::ImageEngine &engine = m_imageView->engine();
    try {
        if (core::usesPictureLoader(path)) {
            QString reason;
            const QImage picture = imaging::loadPicture(path, &reason);
            if (picture.isNull())
                throw imaging::ImageError(reason);
            m_picture = picture;
            m_imageView->setFileLoadFlag(false);
            engine.loadPicture(m_picture);
        } else {
            m_imageView->setFileLoadFlag(true);
            std::optional<imaging::Decoded> ready;
            if (m_prefetchEnabled)
                ready = m_prefetch->take(path);
            if (ready)
                engine.loadDecoded(*ready);
            else
                engine.loadFile(path);
        }
        m_lastError.clear();
        m_imageView->setEmptyNote({});
        return true;
    } catch (const imaging::ImageError &e) {
        m_lastError = e.description();
    } catch (const std::exception &e) {
        m_lastError = QStringLiteral("Cannot read %1: %2")
                          .arg(fileNamePart(path), QString::fromLocal8Bit(e.what()));
    }
    engine.clear();
    // The reason is shown in the empty view too, since the status bar may
    // be hidden.
    m_imageView->setEmptyNote(m_lastError);
    return false;
}

void ViewerWindow::clearView()
{
    m_imageView->engine().clear();
    m_imageView->setEmptyNote({});
}

int ViewerWindow::viewImage(const QStringList &paths, int index)
{
    if (&paths != &m_paths && paths != m_paths) {
        m_paths = paths;
        m_prefetch->newGeneration();
    }
    // Positions are plain ints: a list may hold any number of images.
    const int count = int(m_paths.size());
    const int wrapped = wrapIndex(index, count);
    // An empty entry, an empty list or a position out of range shows an
    // empty view and changes nothing else.
    if (wrapped < 0 || wrapped >= count || m_paths.at(wrapped).isEmpty()) {
        clearView();
        return wrapped;
    }
    m_index = wrapped;
    // A running show goes on from the picture the user went to.
    if (m_slideShow->isRunning() && !m_slideShow->isStepping())
        m_slideShow->moveTo(wrapped + 1);
    const QString path = m_paths.at(wrapped);
    loadIntoView(path);
    setWindowTitle(imageTitle(path));
    // A shown window is sized in place: unmapping it for that would flicker
    // and lose the keyboard focus.
    const bool wasVisible = isVisible();
    if (!m_fullScreen)
        sizeWindowToImage();
    zoomImageToWindow();
    if (m_fullScreen) {
        m_fullScreen = false;
        m_presenting = true;
        toggleFullScreen();
        m_presenting = false;
    }
    if (!wasVisible) {
        show();
        raise();
        activateWindow();
        if (!m_fullScreen)
            refitOnceFramed();
    }
    m_imageView->setFocus();
    schedulePrefetch();
    if (!m_lastError.isEmpty())
        updateStatusBar();
    return wrapped;
}

void ViewerWindow::showImages(const QStringList &paths, int index)
{
    m_imageView->setZoom(1.0);
    viewImage(paths, index);
}

void ViewerWindow::reloadCurrentImage()
{
    const int count = int(m_paths.size());
    const int k = wrapIndex(m_index, count);
    if (k < 0 || k >= count) {
        clearView();
        return;
    }
    loadIntoView(m_paths.at(k));
}

bool ViewerWindow::openFiles()
{
    m_fileDialog.setOption(1);
    m_fileDialog.setFilter(openFilter());
    m_fileDialog.setFlags(kOpenDialogFlags);
    // The dialog opens in the folder of the picture shown.
    if (m_index >= 0 && m_index < m_paths.size() && !m_paths.at(m_index).isEmpty())
        m_fileDialog.setInitialFolder(QFileInfo(m_paths.at(m_index)).absolutePath());
    if (!m_fileDialog.showOpen())
        return false;
    const QStringList chosen = m_fileDialog.fileNames();
    if (chosen.isEmpty())
        return false;
    // The first chosen file is shown and becomes the current entry, so that
    // the title, the status bar and the file commands all name the image on
    // screen.
    const QString &first = chosen.first();
    clearView();
    loadIntoView(first);
    m_index = int(m_paths.size());
    m_paths += chosen;
    if (m_imageView->engine().pageCount() > 0)
        m_imageView->engine().selectPage(0);
    setWindowTitle(imageTitle(first));
    updateStatusBar();
    schedulePrefetch();
    return true;
}

// --- status bar ----------------------------------------------------------------

QString ViewerWindow::panelText(int panel) const
{
    return m_statusBar->panelText(panel);
}

void ViewerWindow::updateStatusBar()
{
    // The current entry is the picture on screen, during a slide show too.
    m_statusBar->showPosition(m_index + 1, m_paths.size());
    if (m_index < 0 || m_index >= m_paths.size())
        return;
    m_statusBar->showEntry(m_paths.at(m_index), m_imageView->engine(), m_lastError);
    m_statusBar->showZoom(m_imageView->zoom());
}

// --- keys, mouse and drops ---------------------------------------------------------

void ViewerWindow::handleKey(int key)
{
    switch (key) {
    case Qt::Key_Escape:
        close();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        returnToBrowser();
        break;
    case Qt::Key_Space:
    case Qt::Key_PageDown:
        nextImage();
        for (int i = 0; i < 8; ++i)
            QCoreApplication::processEvents();
        break;
    case Qt::Key_Backspace:
    case Qt::Key_PageUp:
        previousImage();
        for (int i = 0; i < 2; ++i)
            QCoreApplication::processEvents();
        break;
    case Qt::Key_Delete:
        // In a window the Delete shortcut of the Edit menu acts; the menus
        // and their shortcuts are off in full screen.
        if (m_fullScreen)
            deleteImage();
        break;
    case Qt::Key_F:
        toggleFullScreen();
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomIn();
        break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        zoomOut();
        break;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (m_imageView->viewAlignment() == imaging::ViewAlignment::Panned)
            m_imageView->setScrollX(m_imageView->scrollX() + (key == Qt::Key_Left ? -5 : 5));
        break;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (m_imageView->viewAlignment() == imaging::ViewAlignment::Panned)
            m_imageView->setScrollY(m_imageView->scrollY() + (key == Qt::Key_Up ? -5 : 5));
        break;
    default:
        break;
    }
}

void ViewerWindow::onViewKeyPressed(int key)
{
    if (imaging::ImageView::keepsKey(key))
        handleKey(key);
}

void ViewerWindow::keyPressEvent(QKeyEvent *event)
{
    handleKey(event->key());
}

bool ViewerWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        applyViewGeometry();
    } else if (watched == m_imageView && event->type() == QEvent::KeyPress) {
        // The window sees every key before the view, except those the view
        // keeps and reports.
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (imaging::ImageView::keepsKey(key))
            return false;
        handleKey(key);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void ViewerWindow::onViewChanged()
{
    updateViewMode();
    updateStatusBar();
}

void ViewerWindow::openDroppedFiles(const QList<QUrl> &urls)
{
    QStringList list;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile())
            continue;
        const QFileInfo info(url.toLocalFile());
        if (!info.exists()) // attributes that cannot be read: skip the path
            continue;
        if (!info.isDir() && core::isSupportedImageFile(info.filePath()))
            list << info.filePath();
    }
    if (list.isEmpty())
        return; // nothing usable was dropped: the viewer stays as it was
    viewImage(list, 0);
}

// --- zoom, rotation, view mode ---------------------------------------------------

void ViewerWindow::zoomIn()
{
    applyZoomStep(zoomInStep(m_imageView->zoom()));
}

void ViewerWindow::zoomOut()
{
    applyZoomStep(zoomOutStep(m_imageView->zoom()));
}

// A step the limits refused leaves everything as it was.
void ViewerWindow::applyZoomStep(double zoom)
{
    if (zoom == m_imageView->zoom())
        return;
    // The zoom and the view mode change together, so that the view keeps
    // its middle where it was.
    const imaging::ImageEngine &engine = m_imageView->engine();
    m_imageView->setZoom(zoom, viewModeFor(zoom, engine.width(), engine.height(), shownViewTwips(),
                                           core::twipsPerPixelX(), core::twipsPerPixelY()));
    m_statusBar->showZoom(zoom);
}

void ViewerWindow::updateViewMode()
{
    const imaging::ImageEngine &engine = m_imageView->engine();
    const imaging::ViewAlignment mode =
        viewModeFor(m_imageView->zoom(), engine.width(), engine.height(), shownViewTwips(),
                    core::twipsPerPixelX(), core::twipsPerPixelY());
    if (mode != m_imageView->viewAlignment())
        m_imageView->setViewAlignment(mode);
}

void ViewerWindow::rotatePlus90()
{
    if (m_imageView->engine().pageCount() == 0)
        return; // nothing to turn
    m_imageView->engine().rotate(90.0);
}

void ViewerWindow::rotateMinus90()
{
    if (m_imageView->engine().pageCount() == 0)
        return;
    m_imageView->engine().rotate(-90.0);
}

void ViewerWindow::toggleAntiAlias()
{
    m_imageView->setAntiAlias(!m_imageView->antiAlias());
    action("mnuAntiAliasDisplay")->setChecked(m_imageView->antiAlias());
    storeSetting(kAntiAliasKey, boolToSetting(m_imageView->antiAlias()));
}

// --- navigation ------------------------------------------------------------------

void ViewerWindow::nextImage()
{
    const int count = int(m_paths.size());
    if (count == 0 || m_index == count - 1)
        return;
    int target = m_index + 1;
    if (target > count - 1)
        target = 0;
    if (target >= 0 && target < count && m_paths.at(target).isEmpty())
        ++target; // one empty entry is skipped, never more
    m_imageView->setZoom(1.0);
    m_direction = 1;
    viewImage(m_paths, target);
}

void ViewerWindow::previousImage()
{
    const int count = int(m_paths.size());
    if (count == 0 || m_index == 0)
        return;
    int target = m_index - 1;
    if (target == -1)
        target = count - 1;
    if (target >= 0 && target < count && m_paths.at(target).isEmpty())
        --target;
    m_imageView->setZoom(1.0);
    m_direction = -1;
    viewImage(m_paths, target);
}

// --- slide show ------------------------------------------------------------------

void ViewerWindow::toggleSlideShow()
{
    if (m_slideShow->isRunning())
        stopSlideShow();
    else
        startSlideShow();
}

void ViewerWindow::startSlideShow()
{
    m_slideShow->start(m_index + 1);
    m_buttons.at(int(ToolbarButton::SlideShow) - 1)->setChecked(true);
    m_toolbar->update();
    schedulePrefetch();
}

void ViewerWindow::stopSlideShow()
{
    m_slideShow->stop();
    m_buttons.at(int(ToolbarButton::SlideShow) - 1)->setChecked(false);
    m_toolbar->update();
}

QString ViewerWindow::slidePath() const
{
    const int count = int(m_paths.size());
    return count > 0 ? m_paths.at(m_slideShow->slideIndex(count)) : QString();
}

void ViewerWindow::advanceSlide()
{
    // A slide whose decode is still under way is shown when it is ready, so
    // that a tick never blocks the user interface.
    if (m_prefetchEnabled) {
        const QString path = slidePath();
        if (!path.isEmpty() && !core::usesPictureLoader(path)) {
            if (!m_prefetch->has(path))
                schedulePrefetch();
            if (m_prefetch->has(path) && !m_prefetch->isReady(path)) {
                m_slideShow->setWaiting(true);
                return;
            }
        }
    }
    m_slideShow->setWaiting(false);
    const int count = int(m_paths.size());
    if (count == 0)
        return; // nothing to show
    const int index = m_slideShow->beginStep(count);
    // The slide becomes the current entry, so that the title, the status
    // bar, the commands and what comes after the show all name the picture
    // on screen.
    m_index = index;
    presentSlide(m_paths.at(index));
    m_slideShow->endStep();
    m_slideShow->restartTimer();
    schedulePrefetch();
}

// The presentation steps of viewImage for a slide: the window is neither
// hidden nor shown, and the resize rules wait until the sizing is done.
// An entry that cannot be shown gives an empty view and the show goes on.
void ViewerWindow::presentSlide(const QString &path)
{
    loadIntoView(path);
    setWindowTitle(imageTitle(path));
    if (!m_fullScreen) {
        m_sizing = true;
        sizeWindowToImage();
        m_sizing = false;
        applyResizeRules();
    }
    zoomImageToWindow();
}

void ViewerWindow::chooseSlideShowDelay()
{
    const std::optional<QString> answer = core::prompts().input(
        QStringLiteral("Delay in Milliseconds(1000=1 Second):"), QStringLiteral("Slide Show Delay"),
        QString::number(m_slideShow->delay()));
    if (!answer)
        return;
    const DelayAnswer delay = parseDelayAnswer(*answer);
    if (delay.kind == DelayAnswer::Kind::Ignored)
        return;
    if (delay.kind == DelayAnswer::Kind::Invalid) {
        core::msgBox(QStringLiteral("The delay must be a number of milliseconds from 0 to 32767."),
                     core::MsgIcon::Exclamation);
        return;
    }
    if (m_slideShow->isRunning())
        stopSlideShow();
    m_slideShow->setDelay(delay.milliseconds);
    storeSetting(kSlideShowDelayKey, QString::number(delay.milliseconds));
}

// --- background decoding -----------------------------------------------------------

void ViewerWindow::setPrefetchEnabled(bool on)
{
    m_prefetchEnabled = on;
    if (!on)
        m_prefetch->newGeneration();
}

void ViewerWindow::schedulePrefetch()
{
    if (!m_prefetchEnabled)
        return;
    const int count = int(m_paths.size());
    QStringList wanted;
    auto add = [&](int i) {
        if (i < 0 || i >= count)
            return;
        const QString &p = m_paths.at(i);
        if (!p.isEmpty() && !core::usesPictureLoader(p) && !wanted.contains(p))
            wanted << p;
    };
    if (m_slideShow->isRunning()) {
        const int index = m_slideShow->slideIndex(count);
        add(index);
        add(wrapIndex(index + 1, count));
    } else {
        // The neighbours in the direction of travel; an empty entry is
        // stepped over as Next and Previous do.
        int i = m_index + m_direction;
        if (i >= 0 && i < count && m_paths.at(i).isEmpty())
            i += m_direction;
        add(i);
        add(i + m_direction);
    }
    m_prefetch->want(wanted);
}

} // namespace viewer
