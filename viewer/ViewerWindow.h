// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QMargins>
#include <QSizeF>
#include <QStringList>
#include <QUrl>

#include "core/FileOperation.h"
#include "imaging/FileDialogHelper.h"
#include "imaging/PrintHelper.h"

class QAction;
class QFrame;
class QMenu;
class QToolButton;

namespace imaging {
class ImageView;
}

namespace viewer {

class BrowserLink;
class Prefetcher;
class SlideShow;
class ViewerStatusBar;

// The toolbar's buttons, numbered from the left as they always were.
enum class ToolbarButton
{
    Open = 1,
    Browse = 2,
    Previous = 3,
    Next = 4,
    SlideShow = 5,
    ZoomIn = 6,
    ZoomOut = 7,
    FullScreen = 8,
};

// Where the window was before it went full screen, in twips; the position
// is kept in 16-bit fields, so a place beyond 32767 twips is not saved.
struct SavedPlacement
{
    qint16 left = 0;
    qint16 top = 0;
    qint32 width = 0;
    qint32 height = 0;
};

// The viewer window: shows one image of a list at a time, under a toolbar and
// over a status bar, and carries out the viewer's commands.
//
// The window is spread over files by concern: ViewerWindow.cpp (lifecycle,
// loading, keys, navigation), ViewerMenus.cpp (menus and toolbar),
// ViewerGeometry.cpp (window sizing and full screen), one file per group of
// commands (ViewerSaveAs, ViewerFileCommands, ViewerPrint, ViewerWallpaper,
// ViewerHelpCommands, ViewerContextMenu); SlideShow, ViewerStatusBar and
// AboutDialog are classes of their own.
class ViewerWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit ViewerWindow(BrowserLink *link = nullptr, QWidget *parent = nullptr);
    ~ViewerWindow() override;

    void setLink(BrowserLink *link) { m_link = link; }

    // --- what the window shows
    const QStringList &paths() const { return m_paths; }
    // Position in paths() of the image viewImage presented last.
    int currentIndex() const { return m_index; }
    // Full-screen presentation is on, or is entered with the next image.
    bool isFullScreenMode() const { return m_fullScreen; }
    SavedPlacement savedPlacement() const { return m_saved; }
    // Closing a viewer opened for a file named on the command line ends the
    // program.
    bool openedFromCommandLine() const { return m_openedFromCommandLine; }
    void setOpenedFromCommandLine(bool on) { m_openedFromCommandLine = on; }
    const SlideShow &slideShow() const { return *m_slideShow; }
    QString panelText(int panel) const; // 1-based
    // Background decoding of the neighbours (on by default).
    Prefetcher *prefetcher() const { return m_prefetch; }
    void setPrefetchEnabled(bool on);

    // --- lifecycle
    // The close sequence; the window is unloaded, or the program ends when it
    // was opened from the command line.
    void closeViewer();
    // The browser is closing: store the settings, stop, unload; nothing else.
    void unloadForShutdown();
    bool isUnloaded() const { return m_unloaded; }
    void returnToBrowser();

    // --- loading and presentation
    // Shows paths[index] (one step past either end wraps to the other end)
    // and returns the position used. An empty entry or a position out of
    // range shows an empty view and changes nothing else.
    int viewImage(const QStringList &paths, int index);
    // viewImage at 100 % zoom: how the browser and the command line open it.
    void showImages(const QStringList &paths, int index);
    // The Open command: appends the chosen files to the list and shows the
    // first; false when the dialog was cancelled.
    bool openFiles();
    // The file dialog that Open and Save As share: its filter entry and file
    // name carry over from one to the other.
    const imaging::FileDialogHelper &fileDialog() const { return m_fileDialog; }

    // --- commands
    void runToolbarCommand(ToolbarButton button);
    // The viewer's key table (Qt key codes); Shift, Ctrl and Alt act like
    // the plain key.
    void handleKey(int key);
    void toggleFullScreen();
    void zoomIn();
    void zoomOut();
    void rotatePlus90();
    void rotateMinus90();
    void toggleAntiAlias();
    void nextImage();
    void previousImage();
    void toggleSlideShow();
    // The slide show's timer: presents the next slide.
    void advanceSlide();
    // Asks for the slide-show delay.
    void chooseSlideShowDelay();

    // --- commands of the file, print and help menus (one file per group)
    virtual void saveAs();
    virtual void pageSetup();
    virtual void printImage(imaging::PrintPlacement placement);
    // (ViewerFileCommands.cpp)
    virtual void runFileOperation(core::FileOperation operation);
    // Takes entry index out of paths(); the entries after it move up.
    void removeListEntry(int index);
    virtual void deleteImage();
    virtual void copyImage();
    virtual void setAsWallpaper();
    virtual void showAbout();
    virtual void showHelpIndex();
    virtual void runUpdate();

    // --- sizes as the rules see them (twips)
    QSizeF windowSizeTwips() const; // outer size
    QRect outerGeometry() const;    // pixels, frame included
    QSizeF viewSizeTwips() const { return m_viewTwips; }
    double toolbarHeightTwips() const;
    QSizeF screenSizeTwips() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // The view's mouse button; the image's context menu comes here.
    virtual void onViewMousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                                    QPoint position);

private:
    // ViewerWindow.cpp
    void start();
    void loadSettings();
    void storeAndRelease();
    void unload();
    bool loadIntoView(const QString &path);
    void clearView(); // no image and no note
    void reloadCurrentImage();
    void presentSlide(const QString &path);
    QString slidePath() const;
    void startSlideShow();
    void stopSlideShow();
    void schedulePrefetch();
    void applyZoomStep(double zoom);
    void updateViewMode();
    void updateStatusBar();
    void onViewKeyPressed(int key);
    void onViewChanged();
    void openDroppedFiles(const QList<QUrl> &urls);

    // ViewerMenus.cpp
    void buildMenus();
    void buildToolbar();
    void applySkin();
    QAction *action(const char *name) const;

    // ViewerGeometry.cpp
    void applyResizeRules();
    void applyViewGeometry();
    void layOutNow();
    static QRect viewRectIn(QSize client);
    QSizeF shownViewTwips() const;
    QSizeF chromeTwips();
    void setWindowSizeTwips(double width, double height);
    bool isMinimizedOrMaximized() const;
    void setBarsVisible(bool visible);
    void sizeWindowToImage();
    void zoomImageToWindow();
    void refitOnceFramed();

    BrowserLink *m_link = nullptr;
    imaging::FileDialogHelper m_fileDialog;
    imaging::ImageView *m_imageView = nullptr;
    QWidget *m_toolbar = nullptr;
    QFrame *m_menuStrip = nullptr;
    ViewerStatusBar *m_statusBar = nullptr;
    SlideShow *m_slideShow = nullptr;
    Prefetcher *m_prefetch = nullptr;
    QList<QMenu *> m_topMenus;
    QList<QToolButton *> m_buttons; // in ToolbarButton order

    QStringList m_paths;
    int m_index = 0;
    bool m_openedFromCommandLine = false;
    bool m_fullScreen = false;
    SavedPlacement m_saved;
    QImage m_picture;         // the last picture the picture loader decoded
    QSizeF m_viewTwips;       // the view's size as the resize rules set it
    QMargins m_fittedMargins; // the frame the last window fit counted with
    QString m_lastError;      // why the entry on screen could not be shown
    bool m_prefetchEnabled = true;
    bool m_unloaded = false;
    bool m_sizing = false;            // a slide step sizes the window
    bool m_presenting = false;        // viewImage re-enters full screen
    bool m_shownWindowed = false;     // the window has been sized as a window
    bool m_hasSavedPlacement = false; // m_saved holds a windowed placement
    int m_direction = 1;              // of travel through the list, for the prefetch
};

} // namespace viewer
