// SPDX-License-Identifier: GPL-3.0-or-later
// The browser window: its resize rules, preview zoom, preview loading, the
// folder tree driving the explorer, selecting a path for the viewer and opening the viewer.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "BrowserParts.h"
#include "app/BrowserLayout.h"
#include "app/BrowserWindow.h"
#include "core/Formats.h"
#include "core/Paths.h"
#include "core/Process.h"
#include "core/Twips.h"
#include "dialogs/DestinationDialog.h"
#include "dialogs/FolderTree.h"
#include "explorer/ThumbnailExplorer.h"
#include "imaging/ImageView.h"
#include "shell/Wallpaper.h"
#include "support/FakeDesktopBackground.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"
#include "viewer/ViewerInstance.h"
#include "viewer/ViewerWindow.h"

using namespace browsertest;

namespace {

void writeImage(const QString &path, QSize size, const char *format)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(200, 80, 40));
    QVERIFY2(image.save(path, format), qPrintable(path));
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

int stepsUntilRefused(double zoom, bool zoomIn)
{
    int steps = 0;
    while (app::previewZoomStep(zoom, zoomIn) && steps < 1000)
        ++steps;
    return steps;
}

} // namespace

class tst_Browser : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_a, m_b; // folders with images
    std::unique_ptr<testsupport::ScriptedPrompts> m_prompts;

    std::unique_ptr<app::BrowserWindow> makeBrowser()
    {
        auto w = std::make_unique<app::BrowserWindow>();
        explorerOf(w)->setExtensions(QString::fromUtf16(core::kSupportedExtensions));
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            return nullptr;
        return w;
    }

    // Lists folder through the tree as a click would, and waits for the
    // listing and the first item's preview.
    static void listByClick(app::BrowserWindow &w, const QString &folder)
    {
        QSignalSpy finished(explorerOf(&w), &explorer::ThumbnailExplorer::listingFinished);
        tree(&w)->setPath(folder);
        emit tree(&w)->clicked();
        QVERIFY(finished.count() > 0 || finished.wait(10000));
        QTRY_VERIFY(!w.previewPending());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_a = m_dir.filePath("a");
        m_b = m_dir.filePath("b");
        QVERIFY(QDir().mkpath(m_a + "/sub"));
        QVERIFY(QDir().mkpath(m_b));
        writeImage(m_a + "/1.png", {40, 30}, "PNG");
        writeImage(m_a + "/2.jpg", {60, 20}, "JPG");
        writeImage(m_a + "/3.png", {20, 20}, "PNG");
        writeImage(m_b + "/first.png", {30, 30}, "PNG");
        writeImage(m_b + "/second.png", {30, 30}, "PNG");
        core::setEndProcessHandler([](int) {});
    }

    void init() { m_prompts = std::make_unique<testsupport::ScriptedPrompts>(); }
    void cleanup()
    {
        viewer::unloadViewer();
        m_prompts.reset();
    }
    void cleanupTestCase() { core::setEndProcessHandler({}); }

    // --- resize rules ---------------------------------------------------------

    void windowRule_data()
    {
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<QSize>("snapped");
        QTest::newRow("design size") << QSize(9510, 8085) << QSize(9510, 8085);
        QTest::newRow("too narrow") << QSize(1000, 5000) << QSize(3700, 5000);
        QTest::newRow("too low") << QSize(5000, 600) << QSize(5000, 2400);
        QTest::newRow("both") << QSize(15, 15) << QSize(3700, 2400);
        QTest::newRow("exactly the minimum") << QSize(3700, 2400) << QSize(3700, 2400);
    }
    void windowRule()
    {
        QFETCH(QSize, outer);
        QFETCH(QSize, snapped);
        QCOMPARE(app::snapWindowSize(outer), snapped);
        QCOMPARE(app::outerSplitterSize(snapped), snapped - QSize(300, 1000));
    }

    void containerRule()
    {
        const app::ContainerLayout l = app::containerLayout({6315, 7530}, 525, 6295);
        QCOMPARE(l.previewSplitter, QSize(6295, 7530 - 525 - 80));
        QCOMPARE(l.toolbarWidth, 6295);
    }

    void windowSnapsBackAndSplitterFollows()
    {
        auto w = makeBrowser();
        QVERIFY(w);
        // The rule is about the outer frame.
        w->resize(50, 40);
        QTRY_COMPARE(w->frameGeometry().width(), core::twipsToPixelsX(3700));
        QCOMPARE(w->frameGeometry().height(), core::twipsToPixelsY(2400));
        for (QSize size : {QSize(900, 700), QSize(400, 300)}) {
            w->resize(size);
            QTRY_COMPARE(w->size(), size);
            const QSize outer = w->frameGeometry().size();
            const int wide = qRound(core::pixelsToTwipsX(outer.width())) - 300;
            const int high = qRound(core::pixelsToTwipsY(outer.height())) - 1000;
            QCOMPARE(mainSplitter(w)->geometry(),
                     QRect(4, 6, core::twipsToPixelsX(wide), core::twipsToPixelsY(high)));
            // The inner splitter and the strip follow the container.
            QTRY_COMPARE(previewSplitter(w)->width(),
                         core::twipsToPixelsX(core::pixelsToTwipsX(container(w)->width()) - 20));
            QCOMPARE(toolbar(w)->width(), previewSplitter(w)->width());
        }
    }

    // A window larger than the screen (a small screen, a large scale factor)
    // opens within the screen's free area.
    void opensWithinTheScreen()
    {
        app::BrowserWindow w;
        const QRect area = w.screen()->availableGeometry();
        w.resize(area.size() + QSize(300, 400));
        w.move(area.topLeft() + QPoint(50, 80));
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(area.contains(w.frameGeometry()));
    }

    // --- buttons and zoom -------------------------------------------------------

    void buttons_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("tooltip");
        QTest::addColumn<int>("left");
        QTest::newRow("prev") << "cmdPrev"
                              << "Previous" << 15;
        QTest::newRow("next") << "cmdNext"
                              << "Next" << 480;
        QTest::newRow("zoom in") << "cmdZoomIn"
                                 << "Zoom In" << 945;
        QTest::newRow("zoom out") << "cmdZoomOut"
                                  << "Zoom Out" << 1425;
        QTest::newRow("wallpaper") << "cmdWallPaper"
                                   << "Set as wallpaper" << 1890;
        QTest::newRow("view") << "cmdView"
                              << "View Image" << 2355;
    }
    void buttons()
    {
        QFETCH(QString, name);
        QFETCH(QString, tooltip);
        QFETCH(int, left);
        app::BrowserWindow w;
        auto *button = toolbar(&w)->findChild<QToolButton *>(name);
        QVERIFY(button);
        QCOMPARE(button->toolTip(), tooltip);
        QVERIFY(button->text().isEmpty() || button->toolButtonStyle() == Qt::ToolButtonIconOnly);
        QCOMPARE(button->geometry(), QRect(core::twipsToPixelsX(left), 3, 30, 30));
        const QIcon icon = button->icon();
        QVERIFY(!icon.isNull());
        // Normal and hover pictures differ.
        QVERIFY(icon.pixmap(32, QIcon::Normal).toImage() !=
                icon.pixmap(32, QIcon::Active).toImage());
    }

    void buttonPicturesExist_data()
    {
        QTest::addColumn<QString>("key");
        for (const char *key : {"prev", "next", "zoomin", "zoomout", "wallpaper", "view"})
            for (const char *variant : {"", "_hover"})
                QTest::newRow(qPrintable(QString("%1%2").arg(key, variant)))
                    << QString("%1%2").arg(key, variant);
    }
    void buttonPicturesExist()
    {
        QFETCH(QString, key);
        QVERIFY(!QImage(":/browser/icons/" + key + ".png").isNull());
        QVERIFY(!QImage(":/browser/icons/" + key + "@2x.png").isNull());
    }

    void zoomLimits_data()
    {
        QTest::addColumn<double>("start");
        QTest::addColumn<bool>("zoomIn");
        QTest::addColumn<int>("steps");
        QTest::newRow("in from 1") << 1.0 << true << 13;
        QTest::newRow("out from 1") << 1.0 << false << 19;
        QTest::newRow("in at exactly 16") << 16.0 << true << 1;
        QTest::newRow("in just above 16") << 16.001 << true << 0;
        QTest::newRow("out at exactly 0.005") << 0.005 << false << 1;
        QTest::newRow("out just below 0.005") << 0.00499 << false << 0;
    }
    void zoomLimits()
    {
        QFETCH(double, start);
        QFETCH(bool, zoomIn);
        QFETCH(int, steps);
        QCOMPARE(stepsUntilRefused(start, zoomIn), steps);
    }

    void zoomWorkedExample()
    {
        double zoom = 1.0;
        for (int i = 0; i < 13; ++i)
            QVERIFY(app::previewZoomStep(zoom, true));
        QVERIFY(qAbs(zoom - 18.19) < 0.01);
        zoom = 1.0;
        for (int i = 0; i < 19; ++i)
            QVERIFY(app::previewZoomStep(zoom, false));
        QVERIFY(qAbs(zoom - 0.00423) < 0.00001);
    }

    void fitAlignment_data()
    {
        QTest::addColumn<QSizeF>("control");
        QTest::addColumn<QSize>("image");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<int>("mode");
        QTest::newRow("fits") << QSizeF(1500, 1500) << QSize(50, 50) << 1.25 << 0;
        QTest::newRow("exactly as wide") << QSizeF(1500, 1500) << QSize(80, 10) << 1.25 << 0;
        QTest::newRow("wider") << QSizeF(1500, 1500) << QSize(81, 10) << 1.25 << 2;
        QTest::newRow("taller") << QSizeF(1500, 1500) << QSize(10, 81) << 1.25 << 2;
        QTest::newRow("shrunk back") << QSizeF(1500, 1500) << QSize(200, 200) << 0.5 << 0;
    }
    void fitAlignment()
    {
        QFETCH(QSizeF, control);
        QFETCH(QSize, image);
        QFETCH(double, zoom);
        QFETCH(int, mode);
        QCOMPARE(int(app::previewFitAlignment(control, image, zoom, 15, 15)), mode);
    }

    void previewZoomButtons()
    {
        auto w = makeBrowser();
        QVERIFY(w);
        // Nothing previewed: the zoom stays.
        button(w, "cmdZoomIn")->click();
        w->runToolbarCommand(app::BrowserButton(5));
        QCOMPARE(preview(w)->zoom(), 1.0);

        w->showPreview(m_a + "/3.png"); // 20 x 20
        QTRY_VERIFY(!w->previewPending());
        const int fitSteps = [&] {
            // Steps of 1.25 that still fit the preview's smaller side.
            const int side = std::min(preview(w)->width(), preview(w)->height());
            double zoom = 1.0;
            int n = 0;
            while (zoom * 1.25 * 20 <= side) {
                zoom *= 1.25;
                ++n;
            }
            return n;
        }();
        for (int i = 0; i < fitSteps; ++i) {
            button(w, "cmdZoomIn")->click();
            QCOMPARE(preview(w)->viewAlignment(), imaging::ViewAlignment::Plain);
        }
        w->runToolbarCommand(app::BrowserButton(4));
        QCOMPARE(preview(w)->viewAlignment(), imaging::ViewAlignment::Panned);
        button(w, "cmdZoomOut")->click();
        button(w, "cmdZoomOut")->click();
        QCOMPARE(preview(w)->viewAlignment(), imaging::ViewAlignment::Plain);
        // Another image keeps the zoom.
        const double zoom = preview(w)->zoom();
        w->showPreview(m_a + "/1.png");
        QTRY_VERIFY(!w->previewPending());
        QCOMPARE(preview(w)->zoom(), zoom);
        // Indices the strip does not know do nothing.
        w->runToolbarCommand(app::BrowserButton(1));
        QCOMPARE(preview(w)->zoom(), zoom);
    }

    void wallpaperButtonSetsThePreview()
    {
        auto w = makeBrowser();
        QVERIFY(w);
        testsupport::FakeDesktopBackground desktop;
        // An empty preview does nothing.
        w->showPreview(QString());
        button(w, "cmdWallPaper")->click();
        QCOMPARE(desktop.pictures, QStringList());

        w->showPreview(m_a + "/1.png");
        QTRY_VERIFY(!w->previewPending());
        button(w, "cmdWallPaper")->click();
        const QString target = shell::wallpaperFolder() + QStringLiteral("1.png");
        QCOMPARE(desktop.pictures, QStringList{target});
        w->runToolbarCommand(app::BrowserButton(7));
        QCOMPARE(desktop.pictures, QStringList({target, target}));
        const imaging::Decoded d = imaging::decodeFile(target);
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.formatCode, int(core::FormatBMP));
        QCOMPARE(m_prompts->texts(), QStringList());
    }

    // --- preview loading ----------------------------------------------------------

    void previewLoading_data()
    {
        QTest::addColumn<QString>("name");    // created in a fresh folder
        QTest::addColumn<QByteArray>("kind"); // png, ico, garbage, folder, none
        QTest::addColumn<int>("count");       // images in the preview afterwards
        QTest::addColumn<bool>("fileLoadFlag");
        QTest::newRow("png") << "p.png" << QByteArray("png") << 1 << true;
        QTest::newRow("jpeg") << "p.JPG" << QByteArray("jpg") << 1 << true;
        QTest::newRow("icon in capitals") << "i.ICO" << QByteArray("ico") << 1 << false;
        QTest::newRow("part of the picture list") << "i.co" << QByteArray("png") << 1 << false;
        QTest::newRow("undecodable") << "bad.jpg" << QByteArray("garbage") << 0 << true;
        QTest::newRow("undecodable icon") << "bad.ico" << QByteArray("garbage") << 0 << false;
        QTest::newRow("folder") << "sub" << QByteArray("folder") << 0 << true;
        QTest::newRow("empty path") << "" << QByteArray("none") << 0 << true;
    }
    void previewLoading()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, kind);
        QFETCH(int, count);
        QFETCH(bool, fileLoadFlag);
        QTemporaryDir dir;
        const QString path = name.isEmpty() ? QString() : dir.filePath(name);
        if (kind == "png" || kind == "jpg")
            writeImage(path, {24, 16}, kind == "png" ? "PNG" : "JPG");
        else if (kind == "ico")
            writeImage(path, {32, 32}, "ICO");
        else if (kind == "garbage")
            writeBytes(path, "not an image at all");
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(path));

        auto w = makeBrowser();
        QVERIFY(w);
        // Something shown before, so that clearing is seen.
        w->showPreview(m_a + "/1.png");
        QTRY_VERIFY(!w->previewPending());
        QCOMPARE(preview(w)->engine().pageCount(), 1);
        preview(w)->setFileLoadFlag(!fileLoadFlag);
        preview(w)->setViewAlignment(imaging::ViewAlignment::Panned);

        QSignalSpy settled(w.get(), &app::BrowserWindow::previewSettled);
        w->showPreview(path);
        QVERIFY(settled.count() == 1 || settled.wait(10000));
        QCOMPARE(preview(w)->engine().pageCount(), count);
        if (kind != "folder" && kind != "none")
            QCOMPARE(preview(w)->fileLoadFlag(), fileLoadFlag);
        if (count) {
            QCOMPARE(preview(w)->viewAlignment(), imaging::ViewAlignment::Plain);
            QCOMPARE(preview(w)->engine().width(), kind == "ico" ? 32 : 24);
        }
        QVERIFY(m_prompts->texts().isEmpty());
    }

    void staleDecodeIsDropped()
    {
        auto w = makeBrowser();
        QVERIFY(w);
        w->showPreview(m_a + "/2.jpg");
        w->showPreview(QString());
        QTest::qWait(200);
        QCOMPARE(preview(w)->engine().pageCount(), 0);
    }

    // --- tree and explorer ----------------------------------------------------------

    void treeClickListsAndSetsTheFlag()
    {
        auto w = makeBrowser();
        QVERIFY(w);
        QVERIFY(!w->treeUsed());
        // Selecting by keyboard before any click lists nothing.
        QSignalSpy shown(explorerOf(w), &explorer::ThumbnailExplorer::placeholdersShown);
        tree(w)->setPath(m_a);
        tree(w)->view()->setCurrentIndex(tree(w)->model()->index(m_b));
        QCOMPARE(tree(w)->path(), m_b + "/");
        QCOMPARE(shown.count(), 0);

        // A real click on folder a while b is selected. The row is measured
        // after the last scroll, so the click lands on it.
        tree(w)->setPath(m_b);
        QTreeView *view = tree(w)->view();
        const QModelIndex a = tree(w)->model()->index(m_a);
        view->scrollTo(a);
        const QRect rect = view->visualRect(a);
        QVERIFY(rect.isValid());
        QSignalSpy finished(explorerOf(w), &explorer::ThumbnailExplorer::listingFinished);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(tree(w)->path(), m_a + "/");
        QVERIFY(finished.count() > 0 || finished.wait(10000));
        QVERIFY(w->treeUsed());
        QCOMPARE(shown.count(), 1);          // one listing for one click
        QCOMPARE(explorerOf(w)->count(), 4); // sub, 1.png, 2.jpg, 3.png
        QTRY_VERIFY(!w->previewPending());

        // Now selecting by keyboard lists.
        QTest::keyClick(view, Qt::Key_Down);
        QVERIFY(tree(w)->path() != m_a + "/");
        QTRY_COMPARE(shown.count(), 2);
    }

    void listingLeavesTheKeyboardInTheTree()
    {
        auto w = makeBrowser();
        QVERIFY(w);
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTreeView *view = tree(w)->view();
        view->setFocus();
        listByClick(*w, m_a);
        QCOMPARE(explorerOf(w)->count(), 4);
        QCOMPARE(explorerOf(w)->currentPosition(), 1);
        QCOMPARE(QApplication::focusWidget(), view);

        // Down goes on in the tree to the next folder, which is listed with
        // its first item selected while the keyboard stays in the tree. The
        // tree reads folders in the background, so the row below "a" is
        // settled first: "a" is folded (else Down lands on the empty "a/sub")
        // and "b" must have arrived (else Down leaves the test's folder).
        view->collapse(view->currentIndex());
        QTRY_COMPARE(view->indexBelow(view->currentIndex()), tree(w)->model()->index(m_b));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QCOMPARE(tree(w)->path(), m_b + "/");
        QCOMPARE(explorerOf(w)->count(), 2);
        QCOMPARE(explorerOf(w)->currentPosition(), 1);
        QCOMPARE(QApplication::focusWidget(), view);
    }

    void nodeAndDesktopNotifications()
    {
        auto w = makeBrowser();
        QVERIFY(w);
        QSignalSpy shown(explorerOf(w), &explorer::ThumbnailExplorer::placeholdersShown);
        tree(w)->setPath(m_b);
        QTest::keyClick(tree(w)->view(), Qt::Key_Return);
        QTRY_COMPARE(shown.count(), 1);
        QCOMPARE(explorerOf(w)->count(), 2);
        QVERIFY(!w->treeUsed());

        const QString desktop = QDir::homePath() + "/Desktop";
        QVERIFY(QDir().mkpath(desktop));
        writeImage(desktop + "/d.png", {10, 10}, "PNG");
        QCOMPARE(core::desktopFolder(), desktop + "/");
        tree(w)->desktopButton()->click();
        QTRY_COMPARE(shown.count(), 2);
        QCOMPARE(explorerOf(w)->count(), 1);
        QCOMPARE(tree(w)->path(), desktop + "/");
        QVERIFY(QDir(desktop).removeRecursively());
        QCOMPARE(core::desktopFolder(), QString());
    }

    void firstItemIsPreviewedAndButtonsStep()
    {
        auto w = makeBrowser();
        QVERIFY(w);
        listByClick(*w, m_b);
        QTRY_COMPARE(preview(w)->engine().filePath(), m_b + "/first.png");
        button(w, "cmdNext")->click();
        QTRY_COMPARE(preview(w)->engine().filePath(), m_b + "/second.png");
        button(w, "cmdPrev")->click();
        QTRY_COMPARE(preview(w)->engine().filePath(), m_b + "/first.png");

        // A sub-folder item clears the preview.
        listByClick(*w, m_a);
        QCOMPARE(explorerOf(w)->itemPath(1), m_a + "/sub");
        QCOMPARE(preview(w)->engine().pageCount(), 0);
    }

    void checkPath()
    {
        auto w = makeBrowser();
        QVERIFY(w);
        listByClick(*w, m_a);
        explorerOf(w)->selectItem(3, true); // 2.jpg
        QTRY_COMPARE(preview(w)->engine().filePath(), m_a + "/2.jpg");
        QSignalSpy shown(explorerOf(w), &explorer::ThumbnailExplorer::placeholdersShown);

        // Same folder: nothing moves.
        w->selectPath(m_a + "/3.png");
        QCOMPARE(shown.count(), 0);
        QCOMPARE(explorerOf(w)->currentPosition(), 3);

        // Another folder: tree and explorer move, the image is selected and
        // the preview shows the new listing's first item.
        w->selectPath(m_b + "/second.png");
        QCOMPARE(shown.count(), 1);
        QCOMPARE(tree(w)->path(), m_b + "/");
        QCOMPARE(explorerOf(w)->currentPosition(), 2);
        QTRY_VERIFY(!w->previewPending());
        QCOMPARE(preview(w)->engine().filePath(), m_b + "/first.png");

        // The root is listed again every time.
        w->selectPath("/no-such-image.png");
        QCOMPARE(tree(w)->path(), QString("/"));
        QCOMPARE(shown.count(), 2);
        w->selectPath("/no-such-image.png");
        QCOMPARE(shown.count(), 3);
    }

    void refreshImagesPassesTheChangeOn()
    {
        QTemporaryDir dir;
        writeImage(dir.filePath("x.png"), {10, 10}, "PNG");
        writeImage(dir.filePath("y.png"), {10, 10}, "PNG");
        auto w = makeBrowser();
        QVERIFY(w);
        listByClick(*w, dir.path());
        QCOMPARE(explorerOf(w)->count(), 2);
        QVERIFY(QFile::remove(dir.filePath("x.png")));
        QString oldPath = dir.filePath("x.png"), newPath;
        w->refreshImages(oldPath, newPath);
        QCOMPARE(explorerOf(w)->count(), 1);
    }

    // Copy To in the explorer asks the browser's one destination dialog,
    // which is only hidden between uses and keeps its last folder.
    void copyToAsksTheDestinationDialog()
    {
        QTemporaryDir dir;
        QTemporaryDir usb;
        writeImage(dir.filePath("x.png"), {10, 10}, "PNG");
        auto w = makeBrowser();
        QVERIFY(w);
        listByClick(*w, dir.path());
        explorer::ThumbnailExplorer *e = explorerOf(w);
        e->selectItem(1, false);
        QVERIFY(!w->isDestinationDialogLoaded());

        dialogs::DestinationDialog *seen = nullptr;
        auto answer = [&](const QString &folder) {
            QTimer::singleShot(0, w.get(), [&, folder] {
                seen =
                    w->findChild<dialogs::DestinationDialog *>(QStringLiteral("destinationDialog"));
                QVERIFY(seen && seen->isVisible());
                if (!folder.isEmpty())
                    seen->destinationBox()->setText(folder);
                seen->okButton()->click();
            });
        };
        answer(usb.path());
        e->runFileCommand(core::FileOperation::CopyTo);
        QVERIFY(QFile::exists(usb.filePath("x.png")));
        QVERIFY(!seen->isVisible());
        dialogs::DestinationDialog *first = seen;

        QVERIFY(QFile::remove(usb.filePath("x.png")));
        answer(QString()); // OK with the folder of last time
        e->runFileCommand(core::FileOperation::CopyTo);
        QCOMPARE(seen, first);
        QVERIFY(QFile::exists(usb.filePath("x.png")));
        QCOMPARE(e->count(), 1);
    }

    // --- opening the viewer -------------------------------------------------------------

    void viewImage_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("byButton");
        QTest::newRow("double-click") << "1.png" << false;
        QTest::newRow("View Image") << "2.jpg" << true;
    }
    void viewImage()
    {
        QFETCH(QString, file);
        QFETCH(bool, byButton);
        auto w = makeBrowser();
        QVERIFY(w);
        const QString path = m_a + "/" + file;
        w->showPreview(path);
        QTRY_VERIFY(!w->previewPending());
        viewer::ViewerWindow *view = w->viewerWindow();
        view->setOpenedFromCommandLine(true);
        viewOf(view)->setZoom(3.0);
        if (byButton)
            button(w, "cmdView")->click();
        else
            QTest::mouseDClick(preview(w)->viewport(), Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QCOMPARE(view->paths(), QStringList{path});
        QCOMPARE(view->currentIndex(), 0);
        QCOMPARE(viewOf(view)->zoom(), 1.0);
        QVERIFY(view->openedFromCommandLine()); // unchanged
        view->setOpenedFromCommandLine(false);
    }

    void viewImageOfAnIcon()
    {
        QTemporaryDir dir;
        const QString icon = dir.filePath("i.ico");
        writeImage(icon, {16, 16}, "ICO");
        auto w = makeBrowser();
        QVERIFY(w);
        w->showPreview(icon);
        QCOMPARE(preview(w)->engine().pageCount(), 1);
        w->openPreviewInViewer();
        QVERIFY(!w->isVisible());
        QCOMPARE(w->viewerWindow()->paths(), QStringList{icon});
    }

    void emptyPreviewOpensNothing()
    {
        auto w = makeBrowser();
        QVERIFY(w);
        w->openPreviewInViewer();
        button(w, "cmdView")->click();
        QVERIFY(w->isVisible());
        QVERIFY(!viewer::viewerLoaded());
    }

    void openItem()
    {
        auto w = makeBrowser();
        QVERIFY(w);
        QSignalSpy shown(explorerOf(w), &explorer::ThumbnailExplorer::placeholdersShown);
        QStringList paths;
        int index = 0;
        QString folder = m_b;
        w->openItem(paths, index, folder);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(tree(w)->path(), m_b + "/");

        paths = QStringList{m_b + "/first.png", m_b + "/second.png"};
        index = 1;
        folder.clear();
        viewer::ViewerWindow *view = w->viewerWindow();
        view->setOpenedFromCommandLine(true);
        w->openItem(paths, index, folder);
        QVERIFY(!w->isVisible());
        QVERIFY(!view->openedFromCommandLine());
        QCOMPARE(view->paths(), paths);
        QCOMPARE(view->currentIndex(), 1);
    }
};

PICTAVO_TEST_MAIN(tst_Browser)
#include "tst_browser.moc"
