// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's toolbar, menus, keys and dropped files.
#include <QApplication>
#include <QDir>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include "ViewerFixture.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"
#include "viewer/Prefetcher.h"
#include "viewer/SlideShow.h"
#include "viewer/ViewerRules.h"

using namespace viewertest;

class tst_ViewerInput : public ViewerFixture
{
    Q_OBJECT

private slots:
    void toolbarAndMenus()
    {
        viewer::ViewerWindow *v = make(false);
        const char *keys[] = {"open32",     "browsed32", "previous32", "next32",
                              "slidshow32", "zoomin32",  "zoomiout32", "fullscreen32"};
        const char *tips[] = {"Open",       "Browse",  "Prevoius", "Next",
                              "Slide Show", "Zoom In", "Zoom Out", "Full Screen"};
        for (int i = 0; i < 8; ++i) {
            auto *b = toolbar(v)->findChild<QToolButton *>(QString::fromLatin1(keys[i]));
            QVERIFY2(b, keys[i]);
            QCOMPARE(b->toolTip(), QString::fromLatin1(tips[i]));
            QVERIFY(
                QFile::exists(QStringLiteral(":/viewer/icons/%1.png").arg(QLatin1String(keys[i]))));
            QVERIFY(QFile::exists(
                QStringLiteral(":/viewer/icons/%1_hover.png").arg(QLatin1String(keys[i]))));
        }
        const double zoom = view(v)->zoom();
        v->runToolbarCommand(viewer::ToolbarButton(0));
        v->runToolbarCommand(viewer::ToolbarButton(9));
        QCOMPARE(view(v)->zoom(), zoom);
        QVERIFY(v->findChild<QTimer *>(QStringLiteral("tmrSlideShow")));
        QVERIFY(v->findChild<QStatusBar *>(QStringLiteral("StatusBar")));
    }

    void menuEntries_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shortcut");
        QTest::newRow("mnuopen") << "mnuopen"
                                 << "Open     "
                                 << "Ctrl+O";
        QTest::newRow("mnuBrowse") << "mnuBrowse"
                                   << "Browse     "
                                   << "Ctrl+B";
        QTest::newRow("mnuSaveAs") << "mnuSaveAs"
                                   << "Save As     "
                                   << "Ctrl+S";
        QTest::newRow("mnuPageSetup") << "mnuPageSetup"
                                      << "Page Setup"
                                      << "";
        QTest::newRow("mnuTopLeft") << "mnuTopLeft"
                                    << "Top Left"
                                    << "";
        QTest::newRow("mnuCentered") << "mnuCentered"
                                     << "Centered"
                                     << "";
        QTest::newRow("mnuFitToPage") << "mnuFitToPage"
                                      << "Fit To Page"
                                      << "";
        QTest::newRow("mnuExit") << "mnuExit"
                                 << "Exit         "
                                 << "Ctrl+Q";
        QTest::newRow("mnuCopyTo") << "mnuCopyTo"
                                   << "Copy To"
                                   << "Ctrl+C";
        QTest::newRow("mnuMoveTo") << "mnuMoveTo"
                                   << "Move To"
                                   << "Ctrl+M";
        QTest::newRow("mnuCopyImage") << "mnuCopyImage"
                                      << "Copy Image"
                                      << "Ctrl+G";
        QTest::newRow("mnuDelete") << "mnuDelete"
                                   << "Delete     "
                                   << "Del";
        QTest::newRow("mnuRename") << "mnuRename"
                                   << "Rename"
                                   << "F2";
        QTest::newRow("mnuFullScreen") << "mnuFullScreen"
                                       << "Full Screen"
                                       << "Ctrl+F";
        QTest::newRow("mnuZoomIn") << "mnuZoomIn"
                                   << "Zoom In     "
                                   << "Ctrl+N";
        QTest::newRow("mnuZoomOut") << "mnuZoomOut"
                                    << "Zoom Out     "
                                    << "Ctrl+U";
        QTest::newRow("mnuNext") << "mnuNext"
                                 << "Next"
                                 << "";
        QTest::newRow("mnuPrevious") << "mnuPrevious"
                                     << "Previous"
                                     << "";
        QTest::newRow("mnuSlideShow") << "mnuSlideShow"
                                      << "Slide Show"
                                      << "";
        QTest::newRow("mnuSlideShowDelay") << "mnuSlideShowDelay"
                                           << "Slide Show Delay"
                                           << "";
        QTest::newRow("mnuAntiAliasDisplay") << "mnuAntiAliasDisplay"
                                             << "AntiAlias Display"
                                             << "";
        QTest::newRow("mnuRotate1") << "mnuRotate1"
                                    << "Rotate +90"
                                    << "";
        QTest::newRow("mnuRotate2") << "mnuRotate2"
                                    << "Rotate -90"
                                    << "";
        QTest::newRow("mnuSetAsWallpaper") << "mnuSetAsWallpaper"
                                           << "Set As Wallpaper"
                                           << "";
        QTest::newRow("mnuAbout") << "mnuAbout"
                                  << "About"
                                  << "";
        QTest::newRow("mnuHelpIndex") << "mnuHelpIndex"
                                      << "Help Index"
                                      << "";
        QTest::newRow("mnuupdate") << "mnuupdate"
                                   << "update"
                                   << "";
        QTest::newRow("mnufile") << "mnufile"
                                 << "File"
                                 << "";
        QTest::newRow("mnuEdit") << "mnuEdit"
                                 << "Edit"
                                 << "";
        QTest::newRow("mnuView") << "mnuView"
                                 << "View"
                                 << "";
        QTest::newRow("mnuImage") << "mnuImage"
                                  << "Image"
                                  << "";
        QTest::newRow("mnuPrint") << "mnuPrint"
                                  << "Print"
                                  << "";
        QTest::newRow("mnuTools") << "mnuTools"
                                  << "Tools"
                                  << "";
        QTest::newRow("mnuHelp") << "mnuHelp"
                                 << "Help"
                                 << "";
    }
    void menuEntries()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QString, shortcut);
        viewer::ViewerWindow *v = make(false);
        QAction *a = v->findChild<QAction *>(name);
        QVERIFY(a);
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut().toString(), shortcut);
    }

    // --- keys and mouse

    void keyTable_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("index");
        QTest::addColumn<double>("zoom");
        QTest::newRow("Space") << int(Qt::Key_Space) << 0 << 3 << 1.0;
        QTest::newRow("Shift+Space") << int(Qt::Key_Space) << int(Qt::ShiftModifier) << 3 << 1.0;
        QTest::newRow("Page Down") << int(Qt::Key_PageDown) << 0 << 3 << 1.0;
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << 0 << 1 << 1.0;
        QTest::newRow("Page Up") << int(Qt::Key_PageUp) << 0 << 1 << 1.0;
        QTest::newRow("keypad plus") << int(Qt::Key_Plus) << int(Qt::KeypadModifier) << 2 << 1.25;
        QTest::newRow("equals key") << int(Qt::Key_Equal) << 0 << 2 << 1.25;
        QTest::newRow("keypad minus") << int(Qt::Key_Minus) << int(Qt::KeypadModifier) << 2 << 0.75;
        QTest::newRow("minus key") << int(Qt::Key_Minus) << 0 << 2 << 0.75;
        QTest::newRow("other key") << int(Qt::Key_A) << 0 << 2 << 1.0;
    }
    void keyTable()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        viewer::ViewerWindow *v = make(false);
        v->viewImage(smallList(5), 2);
        QTest::keyClick(view(v), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTEST(v->currentIndex(), "index");
        QTEST(view(v)->zoom(), "zoom");
    }

    void deleteActsOncePerPress()
    {
        store("FullScreen", QStringLiteral("0"));
        auto *v = new CountingViewer(&m_link);
        m_v = v;
        v->setPrefetchEnabled(false);
        v->viewImage(smallList(2), 0);
        v->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(v));
        QTest::keyClick(view(v), Qt::Key_Delete); // the menu shortcut
        QCOMPARE(v->deletes, 1);
        v->handleKey(Qt::Key_Delete); // the key table leaves it to the menu
        QCOMPARE(v->deletes, 1);
        v->toggleFullScreen();
        QTest::keyClick(view(v), Qt::Key_Delete); // menus off: the key table acts
        QCOMPARE(v->deletes, 2);
    }

    void arrowsPanOnlyWhenLargerThanTheWindow()
    {
        viewer::ViewerWindow *v = make(false);
        v->viewImage(QStringList{makeImage(QStringLiteral("pan.png"), 300, 200)}, 0);
        QCOMPARE(view(v)->viewAlignment(), imaging::ViewAlignment::Fitted);
        const int x = view(v)->scrollX();
        QTest::keyClick(view(v), Qt::Key_Right);
        QCOMPARE(view(v)->scrollX(), x);
        for (int i = 0; i < 6; ++i)
            v->zoomIn();
        QCOMPARE(view(v)->viewAlignment(), imaging::ViewAlignment::Panned);
        view(v)->setScrollX(20);
        view(v)->setScrollY(20);
        QTest::keyClick(view(v), Qt::Key_Left);
        QCOMPARE(view(v)->scrollX(), 15);
        QTest::keyClick(view(v), Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(view(v)->scrollX(), 20);
        QTest::keyClick(view(v), Qt::Key_Down);
        QCOMPARE(view(v)->scrollY(), 25);
        QTest::keyClick(view(v), Qt::Key_Up);
        QCOMPARE(view(v)->scrollY(), 20);
    }

    void drops_data()
    {
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<QStringList>("expected");
        const QString a = makeImage(QStringLiteral("d1.jpg"), 40, 30, "JPG");
        const QString b = makeImage(QStringLiteral("d2.jpg"), 50, 30, "JPG");
        const QString folder = path(QStringLiteral("folder.jpg"));
        QDir().mkpath(folder);
        const QString text = path(QStringLiteral("notes.txt"));
        QFile f(text);
        f.open(QIODevice::WriteOnly);
        f.write("hello");
        QTest::newRow("folder, text and two images")
            << QStringList{folder, text, b, a} << QStringList{b, a};
        QTest::newRow("nothing usable") << QStringList{folder, text} << QStringList{};
        QTest::newRow("missing file")
            << QStringList{path(QStringLiteral("gone.jpg"))} << QStringList{};
    }
    void drops()
    {
        QFETCH(QStringList, dropped);
        QFETCH(QStringList, expected);
        viewer::ViewerWindow *v = make(false);
        const QStringList before = smallList(3);
        v->viewImage(before, 1);
        view(v)->setZoom(2.0);
        QList<QUrl> urls;
        for (const QString &p : dropped)
            urls << QUrl::fromLocalFile(p);
        emit view(v)->filesDropped(urls, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        if (expected.isEmpty()) {
            QCOMPARE(v->paths(), before);
            QCOMPARE(v->currentIndex(), 1);
        } else {
            QCOMPARE(v->paths(), expected);
            QCOMPARE(v->currentIndex(), 0);
            QCOMPARE(view(v)->engine().filePath(), expected.first());
        }
        QCOMPARE(view(v)->zoom(), 2.0); // a drop does not reset the zoom
        emit view(v)->filesDropped({}, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(v->paths(), expected.isEmpty() ? before : expected);
    }
};

PICTAVO_TEST_MAIN(tst_ViewerInput)
#include "tst_viewerinput.moc"
