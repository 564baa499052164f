// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "viewer/BrowserLink.h"

#include <QFrame>
#include <QImage>
#include <QMainWindow>
#include <QMargins>
#include <QSizeF>
#include <QStringList>
#include <QToolButton>
#include <QUrl>

class QLabel;
class QMenu;
class QMimeData;
class QStatusBar;
class QTimer;

namespace imaging {
class ImageView;
}

namespace viewer {
class Prefetcher;
}

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

// The viewer window: shows one image of a list at a time, under a toolbar and
// over a status bar, and carries out the viewer's commands.
class frmViwer : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmViwer(BrowserLink *link = nullptr, QWidget *parent = nullptr);
    ~frmViwer() override;

    // --- state other windows and the commands share
    bool bCommand = false;                  // opened for a file named on the command line
    QStringList FilePaths;                  // the list of full image paths
    qint16 CurrentIndex = 0;                // the entry presented by ViewImage
    qint16 SlidePosition = 0;               // the next slide
    bool SlideTick = false;                 // set by the timer for one slide step
    bool bFullScreen = false;               // full-screen presentation (or to be entered)
    qint16 SavedLeft = 0, SavedTop = 0;     // twips, saved on entering full screen
    qint32 SavedWidth = 0, SavedHeight = 0; // twips
    bool bSizing = false;                   // a slide step sizes the window
    QImage Image1;                          // the last picture decoded by the picture loader

    // --- controls
    imaging::ImageView *ImgX = nullptr;
    QStatusBar *StatusBar = nullptr;
    QWidget *Toolbar = nullptr;
    QFrame *MenuContainer = nullptr;
    QTimer *tmrSlideShow = nullptr;

    // --- lifecycle
    void Form_Load();
    void LoadSettings();
    // The close sequence; the window is unloaded, or the program ends when it
    // was opened from the command line.
    void Form_QueryUnload();
    // The browser is closing: store the settings, stop, unload; nothing else.
    void unloadForShutdown();
    bool isUnloaded() const { return m_unloaded; }
    void ReturnToBrowser();
    void Form_Resize();
    void ToggleFullScreen();
    void Toolbar_ButtonClick(int index);
    void setLink(BrowserLink *link) { m_link = link; }

    // --- loading and presentation
    void ViewImage(const QStringList &paths, qint16 &index);
    void ViewImage(const QStringList &paths, int index);
    bool LoadImage();
    void ReloadCurrentImage();
    // Loads a file into the engine; false (with the reason) when it cannot.
    bool LoadIntoEngine(const QString &path, QString *error = nullptr);
    void FitWindowToImage();
    void FitZoomToWindow();

    // --- status bar
    void UpdateStatusBar();
    QString panelText(int panel) const; // 1-based

    // --- keys and mouse (key codes are Qt's)
    void Form_KeyDown(int keyCode, int shift);
    void ImgX_KeyDown(int keyCode, Qt::KeyboardModifiers shift);
    void ImgX_DblClick();
    void ImgX_Change();
    void ImgX_FileDrop(const QList<QUrl> &urls);
    static bool IsFolder(const QString &path);

    // --- zoom, rotation, view mode
    void ZoomIn();
    void ZoomOut();
    void UpdateViewMode();
    void RotatePlus90();
    void RotateMinus90();
    void ToggleAntiAlias();

    // --- navigation and slide show
    void NextImage();
    void PrevImage();
    void ToggleSlideShow();
    void ShowSlide(bool start);
    void tmrSlideShow_Timer();
    void SetSlideShowDelay();
    bool slideShowRunning() const;
    bool slideTimerEnabled() const { return m_timerEnabled; }
    int slideShowDelay() const;

    // --- commands other parts fill in
    virtual void SaveAs();
    virtual void PageSetup();
    virtual void PrintImage(qint16 placement);
    virtual void FileOperation(int code);
    virtual void DeleteImage();
    virtual void CopyImage();
    virtual void SetAsWallpaper();
    virtual void ShowAbout();
    virtual void HelpIndex();
    virtual void RunUpdate();
    virtual void ImgX_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers,
                                QPoint position);

    // --- sizes as the rules see them (twips)
    QSizeF windowSizeTwips() const; // outer size
    QRect outerGeometry() const;    // pixels, frame included
    QSizeF imgXSizeTwips() const { return m_imgX; }
    double toolbarHeightTwips() const;
    QSizeF screenSizeTwips() const;

    // Background decoding of the neighbours (on by default).
    viewer::Prefetcher *prefetcher() const { return m_prefetch; }
    void setPrefetchEnabled(bool on);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyZoomStep(double zoom);
    void storeAndRelease();
    void buildMenus();
    void buildToolbar();
    void buildStatusBar();
    void applySkin();
    void applyViewGeometry();
    void setWindowSizeTwips(double width, double height);
    bool isMinimizedOrMaximized() const;
    void setBarsVisible(bool visible);
    void stopSlideTimer();
    void startSlideTimer();
    void presentSlide(const QString &path);
    void schedulePrefetch();
    QString slidePath() const;
    QAction *action(const char *name) const;

    BrowserLink *m_link = nullptr;
    viewer::Prefetcher *m_prefetch = nullptr;
    bool m_prefetchEnabled = true;
    bool m_unloaded = false;
    bool m_timerEnabled = false;
    bool m_slideWaiting = false;
    bool m_presenting = false; // ViewImage re-enters full screen
    int m_direction = 1;
    QSizeF m_imgX;
    QList<QLabel *> m_panels;
    QList<QMenu *> m_topMenus;
    QList<PictureButton *> m_buttons;
    QMargins m_fittedMargins; // the frame the last window fit counted with
    QString m_lastError;      // why the entry on screen could not be shown
};
