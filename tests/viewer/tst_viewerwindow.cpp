// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer window: its settings, closing and returning to the browser, presenting
// images, the status bar, zoom and rotation, next and previous.
#include <QApplication>
#include <QFileInfo>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include "ViewerFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"
#include "viewer/Prefetcher.h"
#include "viewer/SlideShow.h"
#include "viewer/ViewerRules.h"

using namespace viewertest;

class tst_ViewerWindow : public ViewerFixture
{
    Q_OBJECT

private slots:
    // --- window and settings

    void defaultsWithoutStoredSettings()
    {
        auto *v = new viewer::ViewerWindow(&m_link);
        m_v = v;
        QVERIFY(!v->isVisible());
        QCOMPARE(v->windowTitle(), QStringLiteral("Caption will be set at run time.."));
        QVERIFY(view(v)->antiAlias());
        QVERIFY(act(v, "mnuAntiAliasDisplay")->isChecked());
        QCOMPARE(v->slideShow().delay(), 2000);
        QVERIFY(!slideTimer(v)->isActive());
        QVERIFY(v->isFullScreenMode());
        QVERIFY(v->paths().isEmpty());
    }

    void storedSettings_data()
    {
        QTest::addColumn<QString>("antiAlias");
        QTest::addColumn<QString>("delay");
        QTest::addColumn<QString>("fullScreen");
        QTest::addColumn<bool>("expectAntiAlias");
        QTest::addColumn<int>("expectDelay");
        QTest::addColumn<bool>("expectFullScreen");
        QTest::newRow("stored off") << "0"
                                    << "1500"
                                    << "0" << false << 1500 << false;
        QTest::newRow("stored on") << "-1"
                                   << "0"
                                   << "-1" << true << 0 << true;
        QTest::newRow("unreadable texts fall back") << "on"
                                                    << "fast"
                                                    << "maybe" << true << 2000 << true;
        QTest::newRow("delay out of range") << "0"
                                            << "70000"
                                            << "0" << false << 2000 << false;
    }
    void storedSettings()
    {
        QFETCH(QString, antiAlias);
        QFETCH(QString, delay);
        QFETCH(QString, fullScreen);
        store("AntiAlias", antiAlias);
        store("Slide Show Delay", delay);
        store("FullScreen", fullScreen);
        auto *v = new viewer::ViewerWindow(&m_link);
        m_v = v;
        QTEST(view(v)->antiAlias(), "expectAntiAlias");
        QTEST(act(v, "mnuAntiAliasDisplay")->isChecked(), "expectAntiAlias");
        QTEST(v->slideShow().delay(), "expectDelay");
        QTEST(v->isFullScreenMode(), "expectFullScreen");
    }

    void closeStoresFullScreenAndShowsBrowser()
    {
        viewer::ViewerWindow *v = make(true);
        v->viewImage(smallList(2), 0);
        v->toggleSlideShow();
        QVERIFY(v->slideShow().isTimerEnabled());
        v->toggleFullScreen(); // leave full screen
        QVERIFY(v->close());
        QCOMPARE(setting("FullScreen"), QStringLiteral("0"));
        QVERIFY(v->isUnloaded());
        QVERIFY(v->paths().isEmpty());
        QVERIFY(!slideTimer(v)->isActive());
        QCOMPARE(m_link.shown, 1);
        QTRY_VERIFY(m_v.isNull());
    }

    void escapeClosesAndCommandLineViewerEndsProcess()
    {
        QList<int> ended;
        core::setEndProcessHandler([&](int status) { ended << status; });
        viewer::ViewerWindow *v = make(false);
        v->setOpenedFromCommandLine(true);
        v->viewImage(smallList(1), 0);
        v->handleKey(Qt::Key_Escape);
        QCOMPARE(ended, QList<int>{0});
        QCOMPARE(setting("FullScreen"), QStringLiteral("0"));
        QCOMPARE(m_link.shown, 0);
    }

    void returnToBrowser_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Browse") << "mnuBrowse";
        QTest::newRow("Exit") << "mnuExit";
        QTest::newRow("toolbar") << "button2";
        QTest::newRow("Enter") << "enter";
        QTest::newRow("double click") << "dblclick";
    }
    void returnToBrowser()
    {
        QFETCH(QString, how);
        viewer::ViewerWindow *v = make(false);
        const QStringList list = smallList(3);
        v->viewImage(list, 1);
        QVERIFY(v->isVisible());
        if (how.startsWith(QLatin1String("mnu")))
            act(v, qPrintable(how))->trigger();
        else if (how == QLatin1String("button2"))
            v->runToolbarCommand(viewer::ToolbarButton(2));
        else if (how == QLatin1String("enter"))
            QTest::keyClick(view(v), Qt::Key_Return);
        else
            emit view(v)->doubleClicked();
        QVERIFY(!v->isVisible());
        QVERIFY(!v->isUnloaded());
        QCOMPARE(m_link.shown, 1);
        QCOMPARE(m_link.checked, QStringList{list.at(1)});
        QCOMPARE(v->paths(), list);
        QCOMPARE(setting("FullScreen"), QStringLiteral("0")); // only what make() stored
    }

    void createdOnFirstUseAndUnloaded()
    {
        QVERIFY(!viewer::viewerLoaded());
        viewer::unloadViewer(); // never created: nothing happens, nothing stored
        QCOMPARE(setting("FullScreen"), QStringLiteral("<absent>"));
        viewer::ViewerWindow *v = viewer::viewer(&m_link);
        QVERIFY(v);
        QVERIFY(viewer::viewerLoaded());
        QVERIFY(!v->isVisible());
        QCOMPARE(viewer::viewer(), v);
        QPointer<viewer::ViewerWindow> guard(v);
        viewer::unloadViewer();
        QVERIFY(!viewer::viewerLoaded());
        QCOMPARE(setting("FullScreen"), QStringLiteral("-1"));
        QCOMPARE(m_link.shown, 0);
        QTRY_VERIFY(guard.isNull());
        QVERIFY(viewer::viewer(&m_link) != nullptr); // a new one on next use
        QVERIFY(viewer::viewerLoaded());
    }

    // --- loading and presentation

    void viewImageWraps_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("shown");
        QTest::newRow("one past the end") << 5 << 0;
        QTest::newRow("one before the start") << -1 << 4;
        QTest::newRow("inside") << 2 << 2;
    }
    void viewImageWraps()
    {
        QFETCH(int, index);
        QFETCH(int, shown);
        viewer::ViewerWindow *v = make(false);
        const QStringList list = smallList(5);
        QCOMPARE(v->viewImage(list, index), shown);
        QCOMPARE(v->currentIndex(), shown);
        QCOMPARE(v->windowTitle(), viewer::imageTitle(list.at(shown)));
        QCOMPARE(view(v)->engine().width(), 120 + shown);
        QVERIFY(v->isVisible());
    }

    void viewImageWithoutAnImage_data()
    {
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<int>("index");
        QTest::newRow("empty entry") << QStringList{QString(), QStringLiteral("x")} << 0;
        QTest::newRow("empty list") << QStringList{} << 0;
        QTest::newRow("two past the end")
            << QStringList{QStringLiteral("a"), QStringLiteral("b")} << 3;
    }
    void viewImageWithoutAnImage()
    {
        QFETCH(QStringList, list);
        QFETCH(int, index);
        viewer::ViewerWindow *v = make(false);
        v->viewImage(smallList(2), 1);
        v->hide();
        const QString title = v->windowTitle();
        v->viewImage(list, index);
        QCOMPARE(view(v)->engine().pageCount(), 0);
        QCOMPARE(v->currentIndex(), 1);
        QCOMPARE(v->windowTitle(), title);
        QVERIFY(!v->isVisible());
    }

    void damagedFileShowsEmptyViewAndGoesOn()
    {
        testsupport::ScriptedPrompts prompts;
        QFile bad(path(QStringLiteral("bad.jpg")));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a picture at all");
        bad.close();
        viewer::ViewerWindow *v = make(false);
        const QStringList list{smallList(1).first(), bad.fileName(), smallList(2).last()};
        v->viewImage(list, 1);
        QCOMPARE(view(v)->engine().pageCount(), 0);
        QCOMPARE(v->currentIndex(), 1);
        QVERIFY(v->isVisible());
        QVERIFY(v->panelText(2).contains(QLatin1String("bad.jpg")));
        // The view says why as well, for when the status bar is hidden.
        QCOMPARE(view(v)->emptyNote(), v->panelText(2));
        QCOMPARE(prompts.count(QStringLiteral("message")), 0);
        v->nextImage(); // the user can move on past it
        QCOMPARE(v->currentIndex(), 2);
        QCOMPARE(view(v)->engine().pageCount(), 1);
        QVERIFY(view(v)->emptyNote().isEmpty());
    }

    // The window gives the view room for the whole image at 100 %: drawn at
    // its own size, no scroll bars, centred on the screen.
    void windowFitsItsImage_data()
    {
        QTest::addColumn<QSize>("image");
        QTest::addColumn<QSize>("minimum"); // the view's least size, pixels
        QTest::newRow("100x60: narrow and short") << QSize(100, 60) << QSize(506, 267);
        QTest::newRow("300x200") << QSize(300, 200) << QSize(506, 213);
        QTest::newRow("640x480") << QSize(640, 480) << QSize(640, 493);
    }
    void windowFitsItsImage()
    {
        QFETCH(QSize, image);
        QFETCH(QSize, minimum);
        viewer::ViewerWindow *v = make(false);
        const QString name = QStringLiteral("fit%1x%2.png").arg(image.width()).arg(image.height());
        v->viewImage(QStringList{makeImage(name, image.width(), image.height())}, 0);
        QCOMPARE(view(v)->zoom(), 1.0);
        QCOMPARE(v->panelText(5), QStringLiteral("100 %"));
        QCOMPARE(view(v)->size(), minimum);
        QCOMPARE(view(v)->viewAlignment(), imaging::ViewAlignment::Fitted);
        QCOMPARE(view(v)->displayRect().size(), QSizeF(image));
        QVERIFY(view(v)->displayRect().left() >= 0 && view(v)->displayRect().top() >= 0);
        QVERIFY(!view(v)->horizontalScrollBar()->isVisible());
        QVERIFY(!view(v)->verticalScrollBar()->isVisible());
        // shown again, the window keeps its size
        const QSize outer = v->outerGeometry().size();
        v->viewImage(QStringList{path(name)}, 0);
        QCOMPARE(v->outerGeometry().size(), outer);
        // centred on the screen
        const QRect area = v->screen()->availableGeometry();
        QVERIFY(qAbs(v->outerGeometry().center().x() - area.center().x()) <= 1);
    }

    // An image larger than the window in both directions is zoomed so that
    // the whole of it shows; the zoom shown is the zoom drawn.
    void largeImageShowsWhole_data()
    {
        QTest::addColumn<QSize>("scale"); // image = screen * scale / 2
        QTest::newRow("the screen's shape") << QSize(3, 3);
        QTest::newRow("wider than the screen's shape") << QSize(6, 3);
        QTest::newRow("taller than the screen's shape") << QSize(3, 6);
    }
    void largeImageShowsWhole()
    {
        QFETCH(QSize, scale);
        viewer::ViewerWindow *v = make(false);
        const QSize screen = v->screen()->availableGeometry().size();
        const QSize image(screen.width() * scale.width() / 2, screen.height() * scale.height() / 2);
        const QString big =
            makeImage(QStringLiteral("big%1x%2.png").arg(image.width()).arg(image.height()),
                      image.width(), image.height());
        v->viewImage(QStringList{big}, 0);
        QCOMPARE(v->outerGeometry().size(), screen); // limited to the screen
        const QSize shown = view(v)->size();
        const double zoom = std::min(double(shown.width()) / image.width(),
                                     double(shown.height()) / image.height());
        QVERIFY(qAbs(view(v)->zoom() - zoom) < 1e-6);
        QCOMPARE(view(v)->viewAlignment(), imaging::ViewAlignment::Fitted);
        const QRectF drawn = view(v)->displayRect();
        QVERIFY(drawn.width() <= shown.width() && drawn.height() <= shown.height());
        QVERIFY(qAbs(drawn.width() - zoom * image.width()) <= 1);
        QVERIFY(qAbs(drawn.height() - zoom * image.height()) <= 1);
        QCOMPARE(v->panelText(5), viewer::zoomPanelText(view(v)->zoom()));
    }

    // At 100 % an image that does not fit one way is drawn at its own size
    // with a scroll bar, and the arrow keys pan it.
    void hundredPercentIsHundredPercent_data()
    {
        QTest::addColumn<QSize>("scale"); // image = screen * scale / 4
        QTest::addColumn<int>("key");
        QTest::newRow("wider than the screen") << QSize(8, 1) << int(Qt::Key_Right);
        QTest::newRow("taller than the screen") << QSize(1, 8) << int(Qt::Key_Down);
    }
    void hundredPercentIsHundredPercent()
    {
        QFETCH(QSize, scale);
        QFETCH(int, key);
        viewer::ViewerWindow *v = make(false);
        const QSize screen = v->screen()->availableGeometry().size();
        const QSize image(screen.width() * scale.width() / 4, screen.height() * scale.height() / 4);
        v->viewImage(QStringList{makeImage(
                         QStringLiteral("one-way%1x%2.png").arg(image.width()).arg(image.height()),
                         image.width(), image.height())},
                     0);
        v->show();
        QCOMPARE(view(v)->zoom(), 1.0);
        QCOMPARE(v->panelText(5), QStringLiteral("100 %"));
        QCOMPARE(view(v)->viewAlignment(), imaging::ViewAlignment::Panned);
        QCOMPARE(view(v)->displayRect().size(), QSizeF(image));
        const QPoint before(view(v)->scrollX(), view(v)->scrollY());
        v->handleKey(key);
        QVERIFY(QPoint(view(v)->scrollX(), view(v)->scrollY()) != before);
    }

    void reloadAndToggleFullScreen()
    {
        viewer::ViewerWindow *v = make(false);
        v->viewImage(smallList(2), 1);
        v->show();
        const QRect before = v->outerGeometry();
        v->toggleFullScreen();
        QVERIFY(v->isFullScreenMode());
        QVERIFY(v->windowState() & Qt::WindowFullScreen);
        QVERIFY(!toolbar(v)->isVisible());
        QVERIFY(!v->statusBar()->isVisible());
        QVERIFY(!v->menuBar()->isVisible());
        QCOMPARE(int(v->savedPlacement().left), before.x() * 15);
        QCOMPARE(int(v->savedPlacement().top), before.y() * 15);
        QCOMPARE(v->savedPlacement().width, before.width() * 15);
        QCOMPARE(v->savedPlacement().height, before.height() * 15);
        // another image in full screen keeps the window's saved place
        v->nextImage();
        v->previousImage();
        QCOMPARE(v->savedPlacement().width, before.width() * 15);
        QVERIFY(v->isFullScreenMode());
        v->handleKey(Qt::Key_F);
        QVERIFY(!v->isFullScreenMode());
        QVERIFY(!(v->windowState() & Qt::WindowFullScreen));
        QVERIFY(toolbar(v)->isVisible());
        QVERIFY(v->menuBar()->isVisible());
        QCOMPARE(v->windowTitle(), QString());
        QCOMPARE(v->outerGeometry().size(), before.size());
        QCOMPARE(v->outerGeometry().y(), before.y() + 34); // 510 twips lower
        QCOMPARE(view(v)->engine().pageCount(), 1);        // reloaded
    }

    // Leaving full screen gives a window within the screen's free area: a
    // viewer that started in full screen is sized around its image, and a
    // saved place that would now reach below the screen is moved up.
    void leavingFullScreenFitsTheScreen_data()
    {
        QTest::addColumn<bool>("startFullScreen");
        QTest::newRow("started in full screen") << true;
        QTest::newRow("saved as large as the screen") << false;
    }
    void leavingFullScreenFitsTheScreen()
    {
        QFETCH(bool, startFullScreen);
        viewer::ViewerWindow *v = make(startFullScreen);
        const QRect area = v->screen()->availableGeometry();
        const QString name =
            startFullScreen ? QStringLiteral("leave.png") : QStringLiteral("leave-big.png");
        const QSize image = startFullScreen ? QSize(300, 200) : area.size() * 2;
        v->viewImage(QStringList{makeImage(name, image.width(), image.height())}, 0);
        v->show();
        if (!startFullScreen)
            v->toggleFullScreen();
        QVERIFY(v->isFullScreenMode());
        v->toggleFullScreen();
        QVERIFY(!v->isFullScreenMode());
        QVERIFY2(area.contains(v->outerGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(v->outerGeometry().x())
                                .arg(v->outerGeometry().y())
                                .arg(v->outerGeometry().width())
                                .arg(v->outerGeometry().height())));
        if (startFullScreen) {
            QCOMPARE(view(v)->displayRect().size(), QSizeF(image));
            QVERIFY(view(v)->size().width() >= image.width());
            QVERIFY(view(v)->size().height() >= image.height());
        }
    }

    // The viewer takes its look from the browser's skin, element by
    // element, at load and when it leaves full screen; it has none of its own.
    void skinnedFromTheBrowser()
    {
        viewer::ViewerWindow *v = make(false);
        const QStringList atLoad{QStringLiteral("frmViwer Window"),
                                 QStringLiteral("StatusBar StatusBar"),
                                 QStringLiteral("MenuContainer Toolbar")};
        QCOMPARE(m_link.skinned, atLoad);
        QVERIFY(v->statusBar()->styleSheet().isEmpty());
        QVERIFY(toolbar(v)->styleSheet().isEmpty());
        v->viewImage(smallList(1), 0);
        v->toggleFullScreen();
        QVERIFY(m_link.skinned.size() == atLoad.size()); // entering keeps the skin
        m_link.skinned.clear();
        v->toggleFullScreen();
        QCOMPARE(m_link.skinned, atLoad);
    }

    void presentingInFullScreen()
    {
        viewer::ViewerWindow *v = make(true);
        v->viewImage(smallList(1), 0);
        QVERIFY(v->isFullScreenMode());
        QVERIFY(v->windowState() & Qt::WindowFullScreen);
        QVERIFY(v->isVisible());
        QVERIFY(!toolbar(v)->isVisible());
        // the next image is read once, not again by re-entering full screen
        QSignalSpy changes(view(v), &imaging::ImageView::changed);
        v->viewImage(smallList(2), 1);
        QCOMPARE(changes.count(), 1);
        QVERIFY(v->windowState() & Qt::WindowFullScreen);
    }

    void openAppendsChosenFiles()
    {
        testsupport::ScriptedPrompts prompts;
        viewer::ViewerWindow *v = make(false);
        const QStringList list = smallList(2);
        v->viewImage(list, 0);
        const QStringList chosen{makeImage(QStringLiteral("x.png"), 30, 40),
                                 makeImage(QStringLiteral("y.png"), 50, 60),
                                 makeImage(QStringLiteral("z.png"), 70, 80)};
        prompts.fileAnswers << core::FileDialogResult{true, chosen, 0};
        QVERIFY(v->openFiles());
        // the dialog starts in the folder of the picture shown
        QCOMPARE(prompts.shown.last().fileRequest.folder, QFileInfo(list.at(0)).absolutePath());
        QCOMPARE(prompts.shown.last().fileRequest.mode,
                 core::FileDialogRequest::Mode::OpenMultiple);
        QCOMPARE(prompts.shown.last().fileRequest.nameFilters.size(), 14);
        QCOMPARE(v->paths(), list + chosen);
        QCOMPARE(v->windowTitle(), QStringLiteral("x.png- Pictavo 1.0"));
        QCOMPARE(view(v)->engine().width(), 30);
        QCOMPARE(v->currentIndex(), 2);
        // cancelled: nothing changes
        QVERIFY(!v->openFiles());
        QCOMPARE(v->paths().size(), 5);
    }

    // Positions are not held in 16 bits: a folder of more than 32767 images
    // is shown, stepped through, wrapped, slid through and appended to like
    // any other.
    void listLongerThan32767Images()
    {
        testsupport::ScriptedPrompts prompts;
        viewer::ViewerWindow *v = make(false);
        const QString a = makeImage(QStringLiteral("long-a.png"), 31, 10);
        const QString b = makeImage(QStringLiteral("long-b.png"), 47, 10);
        QStringList list(40000, a);
        list[32768] = b;
        list.last() = b;

        QCOMPARE(v->viewImage(list, 32767), 32767);
        QCOMPARE(v->currentIndex(), 32767);
        QCOMPARE(v->panelText(1), QStringLiteral("32768/40000"));
        v->nextImage();
        QCOMPARE(v->currentIndex(), 32768);
        QCOMPARE(view(v)->engine().width(), 47);

        QCOMPARE(v->viewImage(list, 40000), 0); // one past the end wraps
        QCOMPARE(v->viewImage(list, -1), 39999);
        QCOMPARE(v->panelText(1), QStringLiteral("40000/40000"));
        QCOMPARE(view(v)->engine().filePath(), b);

        v->viewImage(list, 32767);
        v->toggleSlideShow();
        QCOMPARE(v->slideShow().position(), 32768);
        v->advanceSlide();
        QCOMPARE(view(v)->engine().width(), 47);
        QCOMPARE(v->panelText(1), QStringLiteral("32769/40000"));
        QCOMPARE(v->slideShow().position(), 32769);
        v->toggleSlideShow();

        prompts.fileAnswers << core::FileDialogResult{true, {a}, 0};
        QVERIFY(v->openFiles());
        QCOMPARE(v->paths().size(), 40001);
        QCOMPARE(v->currentIndex(), 40000);
    }

    // --- status bar

    void statusBarPanels()
    {
        viewer::ViewerWindow *v = make(false);
        QStringList list;
        for (int i = 0; i < 12; ++i)
            list << makeImage(QStringLiteral("p%1.JPG").arg(i), 64, 48, "JPG");
        v->viewImage(list, 2);
        QCOMPARE(v->panelText(1), QStringLiteral("3/12"));
        QCOMPARE(v->panelText(2), QStringLiteral("p2.JPG"));
        QCOMPARE(v->panelText(3), viewer::formatFileSize(float(QFileInfo(list.at(2)).size())));
        QVERIFY2(v->panelText(4).startsWith(QLatin1String("64x48x")), qPrintable(v->panelText(4)));
        QVERIFY(v->panelText(4).endsWith(QLatin1String("b JPG")));
        QCOMPARE(v->panelText(5), QStringLiteral("100 %"));
        v->zoomIn();
        QCOMPARE(v->panelText(5), QStringLiteral("125 %"));

        const QString icon = makeImage(QStringLiteral("icon.ico"), 32, 32, "ICO");
        v->viewImage(QStringList{icon}, 0);
        QCOMPARE(view(v)->engine().pageCount(), 1);
        QCOMPARE(v->panelText(2), QStringLiteral("icon.ico"));
        QCOMPARE(v->panelText(4), QString());
    }

    // --- zoom, rotation, antialias

    void zoomLimitsAndViewMode()
    {
        viewer::ViewerWindow *v = make(false);
        v->viewImage(QStringList{makeImage(QStringLiteral("z.png"), 200, 150)}, 0);
        view(v)->setZoom(16.5);
        v->zoomIn();
        QCOMPARE(view(v)->zoom(), 16.5);
        view(v)->setZoom(16.0);
        v->runToolbarCommand(viewer::ToolbarButton(6));
        QCOMPARE(view(v)->zoom(), 20.0);
        QCOMPARE(view(v)->viewAlignment(), imaging::ViewAlignment::Panned);
        view(v)->setZoom(0.0045);
        v->runToolbarCommand(viewer::ToolbarButton(7));
        QCOMPARE(view(v)->zoom(), 0.0045);
        view(v)->setZoom(1.25);
        act(v, "mnuZoomOut")->trigger();
        QCOMPARE(view(v)->zoom(), 0.9375);
        QCOMPARE(view(v)->viewAlignment(), imaging::ViewAlignment::Fitted);
    }

    void rotate()
    {
        viewer::ViewerWindow *v = make(false);
        v->rotatePlus90(); // nothing loaded: nothing happens
        v->viewImage(QStringList{makeImage(QStringLiteral("r.png"), 100, 60)}, 0);
        const double zoom = view(v)->zoom();
        act(v, "mnuRotate1")->trigger();
        QCOMPARE(view(v)->engine().width(), 60);
        QCOMPARE(view(v)->engine().height(), 100);
        act(v, "mnuRotate2")->trigger();
        QCOMPARE(view(v)->engine().width(), 100);
        QCOMPARE(view(v)->zoom(), zoom);
    }

    void antiAliasToggle()
    {
        viewer::ViewerWindow *v = make(false);
        QVERIFY(view(v)->antiAlias());
        act(v, "mnuAntiAliasDisplay")->trigger();
        QVERIFY(!view(v)->antiAlias());
        QVERIFY(!act(v, "mnuAntiAliasDisplay")->isChecked());
        QCOMPARE(setting("AntiAlias"), QStringLiteral("0"));
        v->toggleAntiAlias();
        QVERIFY(view(v)->antiAlias());
        QVERIFY(act(v, "mnuAntiAliasDisplay")->isChecked());
        QCOMPARE(setting("AntiAlias"), QStringLiteral("-1"));
    }

    // --- navigation and slide show

    void nextAndPrevious_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("forward");
        QTest::addColumn<int>("expected");
        const QStringList aeb{QStringLiteral("A"), QString(), QStringLiteral("B")};
        const QStringList abe{QStringLiteral("A"), QStringLiteral("B"), QString()};
        const QStringList ae{QStringLiteral("A"), QString()};
        const QStringList eab{QString(), QStringLiteral("A"), QStringLiteral("B")};
        QTest::newRow("next skips an empty entry") << aeb << 0 << true << 2;
        QTest::newRow("next over an empty last entry wraps") << abe << 1 << true << 0;
        QTest::newRow("next on A and empty shows A") << ae << 0 << true << 0;
        QTest::newRow("next on the last does nothing") << aeb << 2 << true << 2;
        QTest::newRow("previous on the first does nothing") << aeb << 0 << false << 0;
        QTest::newRow("previous skips an empty entry") << aeb << 2 << false << 0;
        QTest::newRow("previous over an empty first entry wraps") << eab << 1 << false << 2;
    }
    void nextAndPrevious()
    {
        QFETCH(QStringList, names);
        QFETCH(int, start);
        QFETCH(bool, forward);
        QStringList list;
        for (const QString &n : std::as_const(names))
            list << (n.isEmpty() ? QString()
                                 : makeImage(n + QStringLiteral(".png"),
                                             n == QLatin1String("A") ? 11 : 22, 10));
        viewer::ViewerWindow *v = make(false);
        v->viewImage(list, start);
        view(v)->setZoom(2.0);
        if (forward)
            act(v, "mnuNext")->trigger();
        else
            act(v, "mnuPrevious")->trigger();
        QTEST(v->currentIndex(), "expected");
        QFETCH(int, expected);
        QCOMPARE(view(v)->engine().filePath(), list.at(expected));
    }
};

PICTAVO_TEST_MAIN(tst_ViewerWindow)
#include "tst_viewerwindow.moc"
