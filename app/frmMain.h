// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "viewer/BrowserLink.h"

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class ImageExplore;
class ImgXCtrl;
class QSplitter;
class QToolBar;
class QTreeView;
class frmFile;
class frmViwer;

namespace imaging {
class SkinEngine;
}

namespace app {
class SingleInstance;
class Splash;
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
    frmFile *FileForm();
    bool isFileFormLoaded() const { return !m_fileForm.isNull(); }

    // Controls, named as in the rest of the program.
    imaging::SkinEngine *Skin1 = nullptr;
    app::Splash *Splash1 = nullptr;
    QSplitter *Splitter2 = nullptr;
    QTreeView *TV1 = nullptr;
    QWidget *container = nullptr;
    QToolBar *Toolbar = nullptr;
    QSplitter *Splitter1 = nullptr;
    ImgXCtrl *ImgX = nullptr;
    ImageExplore *ImageExplore1 = nullptr;

    // Set by HandleCommandLine when it opened the viewer instead.
    bool bHiddenByCommand = false;

signals:
    void startupStep(frmMain::StartupStep step, const QString &detail);
    void shutdownStarted();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Unload();
    void createControls();
    void applySkin();

    std::unique_ptr<app::SingleInstance> m_instance;
    QPointer<frmFile> m_fileForm;
    bool m_shuttingDown = false;
};

// The command text of the process: its arguments after the program name,
// joined by single blanks.
QString commandTextOf(const QStringList &arguments);
