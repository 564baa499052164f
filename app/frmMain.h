// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "imaging/ImageView.h"
#include "viewer/BrowserLink.h"

#include <QMainWindow>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QSplitter;
class QToolBar;
class QToolButton;
class frmViwer;

namespace dialogs {
class DestinationDialog;
class FolderTree;
} // namespace dialogs

namespace explorer {
class ThumbnailExplorer;
}

namespace imaging {
class ImageView;
}

namespace app {
class SingleInstance;
class SkinEngine;
class Splash;

// Plain rules of the browser window, in twips.
// The window's outer frame never gets smaller than 3700 x 2400.
QSize snapWindowSize(QSize outerTwips);
// The outer splitter is 300 narrower and 1000 lower than the window.
QSize outerSplitterSize(QSize outerTwips);
struct ContainerLayout
{
    QSize splitter1; // the inner splitter's size
    int toolbarWidth = 0;
};
// Given the container's inner size, the toolbar's height and the preview's
// width after the inner splitter took its new size.
ContainerLayout containerLayout(QSize innerTwips, int toolbarHeightTwips, int previewWidthTwips);
// One zoom step of the preview: false (zoom unchanged) when the limit is
// reached: zooming in stops above a factor of 16, zooming out below 0.005.
bool previewZoomStep(double &zoom, bool zoomIn);
// View mode of the preview after a zoom: Panned when the zoomed image is
// wider or taller than the control, else Plain. controlTwips is the control's size in
// twips, image its size in pixels, tx / ty twips per pixel.
imaging::ViewAlignment previewFitAlignment(QSizeF controlTwips, QSize image, double zoom,
                                           double tx, double ty);
} // namespace app

// The browser window, the application's start-up object: Form_Load runs the
// start-up sequence and closing the window ends the application.
class frmMain : public QMainWindow, public BrowserLink
{
    Q_OBJECT

public:
    // Steps of the start-up sequence, announced by startupStep as each begins.
    enum class StartupStep
    {
        SingleInstance,
        Splash,
        Title,
        Skin,
        Extensions,
        CommandLine,
        Show
    };
    Q_ENUM(StartupStep)

    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // Start-up sequence; commandText is the program's arguments joined by
    // single blanks (commandTextOf). A second instance ends the process here.
    void Form_Load(const QString &commandText);
    // Shutdown sequence, the same as closing the window: unloads the viewer
    // and the destination-folder dialog, then ends the process with status 0.
    void EndMe();

    // Carries out the command line; may end the process, or open the viewer
    // and set bHiddenByCommand so that the browser stays hidden.
    void HandleCommandLine(const QString &commandText);

    // Collaborators, replaceable before Form_Load (tests hand in fakes).
    void setSingleInstance(std::unique_ptr<app::SingleInstance> instance);
    app::Splash *splash() const { return Splash1; }

    // The viewer window, loaded on first use with this window as its browser.
    frmViwer *Viewer();

    // What the viewer asks of the browser.
    void showBrowser() override;
    void CheckPath(const QString &path) override;
    void RefreshImages(QString &oldPath, QString &newPath) override;
    QWidget *browserWindow() override { return this; }

    // Unloads the viewer window if it was ever loaded, without loading it;
    // filled in by whoever owns the viewer.
    std::function<void()> unloadViewer;
    // The destination-folder dialog, made on first use.
    dialogs::DestinationDialog *destinationDialog();
    bool isDestinationDialogLoaded() const { return !m_fileForm.isNull(); }

    // Controls, named as in the rest of the program.
    app::SkinEngine *Skin1 = nullptr;
    app::Splash *Splash1 = nullptr;
    QSplitter *Splitter2 = nullptr;
    dialogs::FolderTree *TV1 = nullptr;
    QWidget *container = nullptr;
    QToolBar *Toolbar = nullptr;
    QSplitter *Splitter1 = nullptr;
    imaging::ImageView *ImgX = nullptr;
    explorer::ThumbnailExplorer *ImageExplore1 = nullptr;
    QToolButton *cmdPrev = nullptr;
    QToolButton *cmdNext = nullptr;
    QToolButton *cmdZoomIn = nullptr;
    QToolButton *cmdZoomOut = nullptr;
    QToolButton *cmdWallPaper = nullptr;
    QToolButton *cmdView = nullptr;

    // Set the first time a click in the folder tree listed a folder; until
    // then selecting a folder by keyboard lists nothing.
    bool bTreeUsed = false;

    // Handlers, public so that tests and the wiring can run them directly.
    void Form_Resize();
    void container_Resize(int widthTwips, int heightTwips);
    void Toolbar_ButtonClick(int index);
    void PreviewZoomIn();
    void PreviewZoomOut();
    void TV1_Click();
    void TV1_NodeClick();
    void TV1_FolderSelected();
    void TV1_DesktopRootClick();
    void ImageExplore1_CurrSelectedImage(const QString &path);
    void ImageExplore1_OpenItem(const QStringList &ImagePaths, int Index, const QString &sFolderPath);
    // Double-click on the preview and View Image: the previewed image in the
    // viewer, with the browser hidden.
    void ImgX_DblClick();
    void cmdWallPaper_Click();
    // True while the preview is decoding the last selected image.
    bool previewPending() const { return m_previewPending; }

    // Set by HandleCommandLine when it opened the viewer instead.
    bool bHiddenByCommand = false;

signals:
    // The preview finished with the last selected path (shown or cleared).
    void previewSettled();
    void startupStep(frmMain::StartupStep step, const QString &detail);
    void shutdownStarted();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Unload();
    void createControls();
    void applySkin();
    void createButtons();
    void clearPreview();
    void previewZoom(bool zoomIn);
    void listTreeFolder();

    std::unique_ptr<app::SingleInstance> m_instance;
    QPointer<dialogs::DestinationDialog> m_fileForm;
    bool m_shuttingDown = false;
    // Each preview request has a number; a decode that finishes after a newer
    // request is dropped.
    quint64 m_previewGeneration = 0;
    bool m_previewPending = false;
    // The file behind a picture handed to the preview (icons, cursors, DIB),
    // which the engine does not know by name.
    QString m_picturePath;
};

// The command text of the process: its arguments after the program name,
// joined by single blanks.
QString commandTextOf(const QStringList &arguments);
