// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

#include "app/CommandLine.h"
#include "viewer/BrowserLink.h"

class QSplitter;
class QToolBar;

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

namespace viewer {
class ViewerWindow;
}

namespace app {

class SingleInstance;
class SkinEngine;
class Splash;

// The codes the browser's toolbar handler acts on.
enum class BrowserButton
{
    ZoomIn = 4,
    ZoomOut = 5,
    Wallpaper = 7,
};

// The browser window, the application's start-up object: start() runs the
// start-up sequence and closing the window ends the application. Its parts
// carry object names ("TV1", "ImageExplore1", "ImgX", "Splitter1", ...) by
// which scripts and tests find them.
class BrowserWindow : public QMainWindow, public viewer::BrowserLink, public commandline::Host
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

    explicit BrowserWindow(QWidget *parent = nullptr);
    ~BrowserWindow() override;

    // Start-up sequence; commandText is the program's arguments joined by
    // single blanks (commandline::commandTextOf). A second instance ends the
    // process here.
    void start(const QString &commandText);
    // Shutdown sequence, the same as closing the window: unloads the viewer
    // and the destination-folder dialog, then ends the process with status 0.
    void shutdown() override;

    // Collaborators, replaceable before start() (tests hand in fakes).
    void setSingleInstance(std::unique_ptr<SingleInstance> instance);
    Splash *splash() const { return m_splash; }
    SkinEngine *skin() const { return m_skin; }

    // The viewer window, loaded on first use with this window as its browser.
    viewer::ViewerWindow *viewerWindow();
    // The destination-folder dialog, made on first use.
    dialogs::DestinationDialog *destinationDialog();
    bool isDestinationDialogLoaded() const { return !m_destinationDialog.isNull(); }

    // What the viewer asks of the browser.
    void showBrowser() override;
    void selectPath(const QString &path) override;
    void refreshImages(const QString &oldPath, const QString &newPath) override;
    QWidget *browserWindow() override { return this; }
    void applySkin(QWidget *window) override;
    void applySkinElement(QWidget *child, const QString &element) override;
    QString chooseDestination(core::FileOperation operation, const QString &source) override;

    // What the command line asks of the browser.
    QStringList imageList(const QString &folder) const override;
    void openFromCommandLine(const QStringList &paths, int index) override;
    // True when the command line opened the viewer instead of the browser.
    bool hiddenByCommandLine() const { return m_hiddenByCommandLine; }

    // --- what the user does
    // Previews the image the explorer selected (an empty path or a folder
    // clears the preview).
    void showPreview(const QString &path);
    // Double-click on the preview and View Image: the previewed image in the
    // viewer, with the browser hidden.
    void openPreviewInViewer();
    // The explorer's open request: a folder goes to the tree, an image to
    // the viewer.
    void openItem(const QStringList &paths, int index, const QString &folder);
    void setPreviewAsWallpaper();
    void zoomPreviewIn();
    void zoomPreviewOut();
    void runToolbarCommand(BrowserButton button);
    // True while the preview is decoding the last selected image.
    bool previewPending() const { return m_previewPending; }
    // Set the first time a click in the folder tree listed a folder; until
    // then selecting a folder by keyboard lists nothing.
    bool treeUsed() const { return m_treeUsed; }

signals:
    // The preview finished with the last selected path (shown or cleared).
    void previewSettled();
    void startupStep(app::BrowserWindow::StartupStep step, const QString &detail);
    void shutdownStarted();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void createButtons();
    // The Previous and Next buttons: the explorer's neighbouring item, which
    // the explorer then announces for the preview.
    void previewPreviousItem();
    void previewNextItem();
    void applySkin();
    void applyResizeRules();
    void layoutContainer(int widthTwips, int heightTwips);
    void clearPreview();
    void zoomPreview(bool zoomIn);
    void listTreeFolder();
    void onTreeClicked();
    void onTreeFolderSelected();
    void onDesktopRootClicked();

    SkinEngine *m_skin = nullptr;
    Splash *m_splash = nullptr;
    QSplitter *m_mainSplitter = nullptr;
    dialogs::FolderTree *m_folderTree = nullptr;
    QWidget *m_container = nullptr;
    QToolBar *m_toolbar = nullptr;
    QSplitter *m_previewSplitter = nullptr;
    imaging::ImageView *m_preview = nullptr;
    explorer::ThumbnailExplorer *m_explorer = nullptr;

    std::unique_ptr<SingleInstance> m_instance;
    QPointer<dialogs::DestinationDialog> m_destinationDialog;
    bool m_treeUsed = false;
    bool m_hiddenByCommandLine = false;
    bool m_shuttingDown = false;
    // Each preview request has a number; a decode that finishes after a newer
    // request is dropped.
    quint64 m_previewGeneration = 0;
    bool m_previewPending = false;
    // The file behind a picture handed to the preview (icons, cursors, DIB),
    // which the engine does not know by name.
    QString m_picturePath;
};

} // namespace app
