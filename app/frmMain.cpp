// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmMain.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPalette>
#include <QSplitter>
#include <QToolBar>
#include <QTreeView>

#include "app/SingleInstance.h"
#include "app/Splash.h"
#include "dialogs/frmFile.h"
#include "explorer/ImageExplore.h"
#include "imaging/Formats.h"
#include "imaging/ImgXCtrl.h"
#include "imaging/Platform.h"
#include "imaging/SkinEngine.h"
#include "viewer/ViewerInstance.h"
#include "viewer/frmViwer.h"

namespace {

using imaging::twipsToPixelsX;
using imaging::twipsToPixelsY;

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

} // namespace

QString commandTextOf(const QStringList &arguments)
{
    return arguments.mid(1).join(QLatin1Char(' '));
}

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    Skin1 = new imaging::SkinEngine(this);
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

    TV1 = new QTreeView(Splitter2);
    TV1->setObjectName(QStringLiteral("TV1"));
    TV1->setHeaderHidden(true);

    container = new QWidget(Splitter2);
    container->setObjectName(QStringLiteral("container"));
    container->setAutoFillBackground(true);
    QPalette grey = container->palette();
    grey.setColor(QPalette::Window, QColor(224, 224, 224));
    container->setPalette(grey);

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

    ImgX = new ImgXCtrl(Splitter1);
    ImgX->setObjectName(QStringLiteral("ImgX"));
    ImgX->setImageCentered(true);
    ImgX->setAntiAlias(true);
    ImgX->setBackgroundColor(Qt::white);
    ImgX->setBorderThickness(1);

    ImageExplore1 = new ImageExplore(Splitter1);
    ImageExplore1->setObjectName(QStringLiteral("ImageExplore1"));

    Splitter1->addWidget(ImgX);
    Splitter1->addWidget(ImageExplore1);
    Splitter1->setSizes({twipsToPixelsY(kImgX.height), twipsToPixelsY(kImageExplore1.height)});
}

void frmMain::setSingleInstance(std::unique_ptr<app::SingleInstance> instance)
{
    m_instance = std::move(instance);
}

frmFile *frmMain::FileForm()
{
    if (!m_fileForm) {
        m_fileForm = new frmFile(this);
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
        imaging::endProcess(0);

    // 2. Splash, closed once the browser is up.
    emit startupStep(StartupStep::Splash, {});
    const QString folder = imaging::programFolder();
    Splash1->ShowSplash(folder + QLatin1String("/viewer.spl"));
    Splash1->ShowSplash(0);

    // 3. Application title, also the browser's caption.
    emit startupStep(StartupStep::Title, {});
    const QString title = QString::fromUtf16(imaging::kAppTitle);
    QGuiApplication::setApplicationDisplayName(title);
    setWindowTitle(title);

    // 4. Skin; without a usable skin file the default look stays.
    emit startupStep(StartupStep::Skin, {});
    Skin1->LoadSkin(folder + QLatin1String("/PVXMain.skn"));
    applySkin();

    // 5. The extensions the explorer lists.
    emit startupStep(StartupStep::Extensions, {});
    ImageExplore1->SetExt(QString::fromUtf16(imaging::kSupportedExtensions));

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
    // Following the viewer's image in the tree and the explorer comes with
    // the browser's wiring.
    Q_UNUSED(path);
}

void frmMain::RefreshImages(QString &oldPath, QString &newPath)
{
    Q_UNUSED(oldPath);
    Q_UNUSED(newPath);
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
    imaging::endProcess(0);
}

void frmMain::closeEvent(QCloseEvent *event)
{
    event->accept();
    try {
        Form_Unload();
    } catch (const imaging::ProcessEnded &) {
        // Only a test's end-process handler returns; the exception that
        // stands for the ended process must not cross Qt's event dispatch.
    }
}
