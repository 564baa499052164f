// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/frmViwer.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "support/TestSupport.h"
#include "imaging/ImageView.h"
#include "core/Process.h"
#include "support/ScriptedPrompts.h"
#include "settings/SettingsStore.h"
#include "viewer/Prefetcher.h"
#include "viewer/ViewerInstance.h"
#include "viewer/ViewerRules.h"

namespace {

class FakeLink : public BrowserLink
{
public:
    int shown = 0;
    QStringList checked;
    void showBrowser() override { ++shown; }
    void CheckPath(const QString &path) override { checked << path; }
    void RefreshImages(QString &, QString &) override {}
    QWidget *browserWindow() override { return nullptr; }
};

// Counts the commands that other parts fill in.
class CountingViewer : public frmViwer
{
public:
    using frmViwer::frmViwer;
    int deletes = 0;
    void DeleteImage() override { ++deletes; }
};

QString setting(const char *key)
{
    return settings::SettingsStore().value(settings::Root::LocalMachine, QString::fromUtf16(settings::kPreferencesSection),
                                     QString::fromLatin1(key), QStringLiteral("<absent>"));
}

void store(const char *key, const QString &value)
{
    settings::SettingsStore().setValue(settings::Root::LocalMachine, QString::fromUtf16(settings::kPreferencesSection),
                               QString::fromLatin1(key), value);
}

} // namespace

class tst_frmViwer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeLink m_link;
    QPointer<frmViwer> m_v;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString makeImage(const QString &name, int w, int h, const char *format = nullptr)
    {
        const QString p = path(name);
        if (!QFile::exists(p)) {
            QImage img(w, h, QImage::Format_RGB32);
            img.fill(QColor::fromHsv((w * 7 + h) % 360, 160, 200));
            if (!img.save(p, format))
                qFatal("cannot write fixture %s", qPrintable(p));
        }
        return p;
    }

    // A hidden viewer with settings read, decoding in the foreground unless
    // a test wants the background.
    frmViwer *make(bool fullScreen = false, bool prefetch = false)
    {
        store("FullScreen", fullScreen ? QStringLiteral("-1") : QStringLiteral("0"));
        m_v = new frmViwer(&m_link);
        m_v->setPrefetchEnabled(prefetch);
        return m_v;
    }

    QStringList smallList(int n)
    {
        QStringList list;
        for (int i = 0; i < n; ++i)
            list << makeImage(QStringLiteral("s%1.png").arg(i), 120 + i, 100);
        return list;
    }

    static QAction *act(frmViwer *v, const char *name)
    {
        return v->findChild<QAction *>(QString::fromLatin1(name));
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void init()
    {
        m_link = FakeLink();
        for (const char *key : {"AntiAlias", "Slide Show Delay", "FullScreen"})
            settings::SettingsStore().remove(settings::Root::LocalMachine, QString::fromUtf16(settings::kPreferencesSection),
                                         QString::fromLatin1(key));
        core::setEndProcessHandler({});
    }

    void cleanup()
    {
        delete m_v.data();
        viewer::unloadViewer();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        core::setEndProcessHandler({});
    }

    // --- window and settings

    void defaultsWithoutStoredSettings()
    {
        m_v = new frmViwer(&m_link);
        QVERIFY(!m_v->isVisible());
        QCOMPARE(m_v->windowTitle(), QStringLiteral("Caption will be set at run time.."));
        QVERIFY(m_v->ImgX->antiAlias());
        QVERIFY(act(m_v, "mnuAntiAliasDisplay")->isChecked());
        QCOMPARE(m_v->slideShowDelay(), 2000);
        QVERIFY(!m_v->tmrSlideShow->isActive());
        QVERIFY(m_v->bFullScreen);
        QVERIFY(m_v->FilePaths.isEmpty());
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
        m_v = new frmViwer(&m_link);
        QTEST(m_v->ImgX->antiAlias(), "expectAntiAlias");
        QTEST(act(m_v, "mnuAntiAliasDisplay")->isChecked(), "expectAntiAlias");
        QTEST(m_v->slideShowDelay(), "expectDelay");
        QTEST(m_v->bFullScreen, "expectFullScreen");
    }

    void closeStoresFullScreenAndShowsBrowser()
    {
        frmViwer *v = make(true);
        v->ViewImage(smallList(2), 0);
        v->ToggleSlideShow();
        QVERIFY(v->slideTimerEnabled());
        v->ToggleFullScreen(); // leave full screen
        QVERIFY(v->close());
        QCOMPARE(setting("FullScreen"), QStringLiteral("0"));
        QVERIFY(v->isUnloaded());
        QVERIFY(v->FilePaths.isEmpty());
        QVERIFY(!v->tmrSlideShow->isActive());
        QCOMPARE(m_link.shown, 1);
        QTRY_VERIFY(m_v.isNull());
    }

    void escapeClosesAndCommandLineViewerEndsProcess()
    {
        QList<int> ended;
        core::setEndProcessHandler([&](int status) { ended << status; });
        frmViwer *v = make(false);
        v->bCommand = true;
        v->ViewImage(smallList(1), 0);
        v->Form_KeyDown(Qt::Key_Escape, 0);
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
        frmViwer *v = make(false);
        const QStringList list = smallList(3);
        v->ViewImage(list, 1);
        QVERIFY(v->isVisible());
        if (how.startsWith(QLatin1String("mnu")))
            act(v, qPrintable(how))->trigger();
        else if (how == QLatin1String("button2"))
            v->Toolbar_ButtonClick(2);
        else if (how == QLatin1String("enter"))
            QTest::keyClick(v->ImgX, Qt::Key_Return);
        else
            emit v->ImgX->doubleClicked();
        QVERIFY(!v->isVisible());
        QVERIFY(!v->isUnloaded());
        QCOMPARE(m_link.shown, 1);
        QCOMPARE(m_link.checked, QStringList{list.at(1)});
        QCOMPARE(v->FilePaths, list);
        QCOMPARE(setting("FullScreen"), QStringLiteral("0")); // only what make() stored
    }

    void createdOnFirstUseAndUnloaded()
    {
        QVERIFY(!viewer::viewerLoaded());
        viewer::unloadViewer(); // never created: nothing happens, nothing stored
        QCOMPARE(setting("FullScreen"), QStringLiteral("<absent>"));
        frmViwer *v = viewer::viewer(&m_link);
        QVERIFY(v);
        QVERIFY(viewer::viewerLoaded());
        QVERIFY(!v->isVisible());
        QCOMPARE(viewer::viewer(), v);
        QPointer<frmViwer> guard(v);
        viewer::unloadViewer();
        QVERIFY(!viewer::viewerLoaded());
        QCOMPARE(setting("FullScreen"), QStringLiteral("-1"));
        QCOMPARE(m_link.shown, 0);
        QTRY_VERIFY(guard.isNull());
        QVERIFY(viewer::viewer(&m_link) != nullptr); // a new one on next use
        QVERIFY(viewer::viewerLoaded());
    }

    void toolbarAndMenus()
    {
        frmViwer *v = make(false);
        const char *keys[] = {"open32",     "browsed32", "previous32", "next32",
                              "slidshow32", "zoomin32",  "zoomiout32", "fullscreen32"};
        const char *tips[] = {"Open",       "Browse",  "Prevoius", "Next",
                              "Slide Show", "Zoom In", "Zoom Out", "Full Screen"};
        for (int i = 0; i < 8; ++i) {
            auto *b = v->Toolbar->findChild<QToolButton *>(QString::fromLatin1(keys[i]));
            QVERIFY2(b, keys[i]);
            QCOMPARE(b->toolTip(), QString::fromLatin1(tips[i]));
            QVERIFY(
                QFile::exists(QStringLiteral(":/viewer/icons/%1.png").arg(QLatin1String(keys[i]))));
            QVERIFY(QFile::exists(
                QStringLiteral(":/viewer/icons/%1_hover.png").arg(QLatin1String(keys[i]))));
        }
        const double zoom = v->ImgX->zoom();
        v->Toolbar_ButtonClick(0);
        v->Toolbar_ButtonClick(9);
        QCOMPARE(v->ImgX->zoom(), zoom);
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
        frmViwer *v = make(false);
        QAction *a = v->findChild<QAction *>(name);
        QVERIFY(a);
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut().toString(), shortcut);
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
        frmViwer *v = make(false);
        const QStringList list = smallList(5);
        qint16 i = qint16(index);
        v->ViewImage(list, i);
        QCOMPARE(int(i), shown);
        QCOMPARE(int(v->CurrentIndex), shown);
        QCOMPARE(v->windowTitle(), viewer::imageTitle(list.at(shown)));
        QCOMPARE(v->ImgX->engine().width(), 120 + shown);
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
        frmViwer *v = make(false);
        const QString title = v->windowTitle();
        v->ImgX->engine().loadPicture(QImage(makeImage(QStringLiteral("pic.png"), 10, 10)));
        v->CurrentIndex = 1;
        v->ViewImage(list, index);
        QCOMPARE(v->ImgX->engine().pageCount(), 0);
        QCOMPARE(int(v->CurrentIndex), 1);
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
        frmViwer *v = make(false);
        const QStringList list{smallList(1).first(), bad.fileName(), smallList(2).last()};
        v->ViewImage(list, 1);
        QCOMPARE(v->ImgX->engine().pageCount(), 0);
        QCOMPARE(int(v->CurrentIndex), 1);
        QVERIFY(v->isVisible());
        QVERIFY(v->panelText(2).contains(QLatin1String("bad.jpg")));
        QCOMPARE(prompts.count(QStringLiteral("message")), 0);
        v->NextImage(); // the user can move on past it
        QCOMPARE(int(v->CurrentIndex), 2);
        QCOMPARE(v->ImgX->engine().pageCount(), 1);
    }

    void windowFitsSmallImage()
    {
        frmViwer *v = make(false);
        v->ViewImage(QStringList{makeImage(QStringLiteral("small.png"), 100, 60)}, 0);
        QCOMPARE(v->windowSizeTwips().width(), 7590.0);
        QVERIFY(qAbs(v->windowSizeTwips().height() - 4600.0) < 15);
        // the resize rule then lays the view out from the window
        QCOMPARE(v->imgXSizeTwips().width(), 7590.0);
        QVERIFY(qAbs(v->imgXSizeTwips().height() - (v->windowSizeTwips().height() - 495 - 600)) <
                0.01);
        QCOMPARE(v->ImgX->zoom(), 1.0);
        // shown again, the window keeps its size (no shrinking by the toolbar's height)
        v->ViewImage(QStringList{makeImage(QStringLiteral("small.png"), 100, 60)}, 0);
        QVERIFY(qAbs(v->windowSizeTwips().height() - 4600.0) < 15);
        // centred on the screen
        const QRect area = v->screen()->availableGeometry();
        QVERIFY(qAbs(v->outerGeometry().center().x() - area.center().x()) <= 1);
    }

    void largeImageIsZoomedToTheWindowWidth()
    {
        frmViwer *v = make(false);
        const QSize screen = v->screen()->availableGeometry().size();
        const QString big =
            makeImage(QStringLiteral("big.png"), screen.width() * 3 / 2, screen.height() * 3 / 2);
        v->ViewImage(QStringList{big}, 0);
        QCOMPARE(v->outerGeometry().size(), screen); // limited to the screen
        QVERIFY(qAbs(v->ImgX->zoom() - double(screen.width()) / (screen.width() * 3 / 2)) < 1e-6);
        QCOMPARE(v->ImgX->viewAlignment(), imaging::ViewAlignment::Fitted);
    }

    void reloadAndToggleFullScreen()
    {
        frmViwer *v = make(false);
        v->ViewImage(smallList(2), 1);
        v->show();
        const QRect before = v->outerGeometry();
        v->ToggleFullScreen();
        QVERIFY(v->bFullScreen);
        QVERIFY(v->windowState() & Qt::WindowFullScreen);
        QVERIFY(!v->Toolbar->isVisible());
        QVERIFY(!v->StatusBar->isVisible());
        QVERIFY(!v->menuBar()->isVisible());
        QCOMPARE(int(v->SavedLeft), before.x() * 15);
        QCOMPARE(int(v->SavedTop), before.y() * 15);
        QCOMPARE(v->SavedWidth, before.width() * 15);
        QCOMPARE(v->SavedHeight, before.height() * 15);
        // another image in full screen keeps the window's saved place
        v->NextImage();
        v->PrevImage();
        QCOMPARE(v->SavedWidth, before.width() * 15);
        QVERIFY(v->bFullScreen);
        v->Form_KeyDown(Qt::Key_F, 0);
        QVERIFY(!v->bFullScreen);
        QVERIFY(!(v->windowState() & Qt::WindowFullScreen));
        QVERIFY(v->Toolbar->isVisible());
        QVERIFY(v->menuBar()->isVisible());
        QCOMPARE(v->windowTitle(), QString());
        QCOMPARE(v->outerGeometry().size(), before.size());
        QCOMPARE(v->outerGeometry().y(), before.y() + 34); // 510 twips lower
        QCOMPARE(v->ImgX->engine().pageCount(), 1);              // reloaded
    }

    void presentingInFullScreen()
    {
        frmViwer *v = make(true);
        v->ViewImage(smallList(1), 0);
        QVERIFY(v->bFullScreen);
        QVERIFY(v->windowState() & Qt::WindowFullScreen);
        QVERIFY(v->isVisible());
        QVERIFY(!v->Toolbar->isVisible());
        // the next image is read once, not again by re-entering full screen
        QSignalSpy changes(v->ImgX, &imaging::ImageView::changed);
        v->ViewImage(smallList(2), 1);
        QCOMPARE(changes.count(), 1);
        QVERIFY(v->windowState() & Qt::WindowFullScreen);
    }

    void openAppendsChosenFiles()
    {
        testsupport::ScriptedPrompts prompts;
        frmViwer *v = make(false);
        const QStringList list = smallList(2);
        v->ViewImage(list, 0);
        const QStringList chosen{makeImage(QStringLiteral("x.png"), 30, 40),
                                 makeImage(QStringLiteral("y.png"), 50, 60),
                                 makeImage(QStringLiteral("z.png"), 70, 80)};
        prompts.fileAnswers << core::FileDialogResult{true, chosen, 0};
        QVERIFY(v->LoadImage());
        QCOMPARE(prompts.shown.last().fileRequest.mode,
                 core::FileDialogRequest::Mode::OpenMultiple);
        QCOMPARE(prompts.shown.last().fileRequest.nameFilters.size(), 14);
        QCOMPARE(v->FilePaths, list + chosen);
        QCOMPARE(v->windowTitle(), QStringLiteral("x.png- Pictavo 1.0"));
        QCOMPARE(v->ImgX->engine().width(), 30);
        QCOMPARE(int(v->CurrentIndex), 2);
        // cancelled: nothing changes
        QVERIFY(!v->LoadImage());
        QCOMPARE(v->FilePaths.size(), 5);
    }

    // --- status bar

    void statusBarPanels()
    {
        frmViwer *v = make(false);
        QStringList list;
        for (int i = 0; i < 12; ++i)
            list << makeImage(QStringLiteral("p%1.JPG").arg(i), 64, 48, "JPG");
        v->ViewImage(list, 2);
        QCOMPARE(v->panelText(1), QStringLiteral("3/12"));
        QCOMPARE(v->panelText(2), QStringLiteral("p2.JPG"));
        QCOMPARE(v->panelText(3), viewer::FormatFileSize(float(QFileInfo(list.at(2)).size())));
        QVERIFY2(v->panelText(4).startsWith(QLatin1String("64x48x")), qPrintable(v->panelText(4)));
        QVERIFY(v->panelText(4).endsWith(QLatin1String("b JPG")));
        QCOMPARE(v->panelText(5), QStringLiteral("100 %"));
        v->ZoomIn();
        QCOMPARE(v->panelText(5), QStringLiteral("125 %"));

        const QString icon = makeImage(QStringLiteral("icon.ico"), 32, 32, "ICO");
        v->ViewImage(QStringList{icon}, 0);
        QCOMPARE(v->ImgX->engine().pageCount(), 1);
        QCOMPARE(v->panelText(2), QStringLiteral("icon.ico"));
        QCOMPARE(v->panelText(4), QString());
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
        frmViwer *v = make(false);
        v->ViewImage(smallList(5), 2);
        QTest::keyClick(v->ImgX, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QTEST(int(v->CurrentIndex), "index");
        QTEST(v->ImgX->zoom(), "zoom");
    }

    void deleteActsOncePerPress()
    {
        store("FullScreen", QStringLiteral("0"));
        auto *v = new CountingViewer(&m_link);
        m_v = v;
        v->setPrefetchEnabled(false);
        v->ViewImage(smallList(2), 0);
        v->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(v));
        QTest::keyClick(v->ImgX, Qt::Key_Delete); // the menu shortcut
        QCOMPARE(v->deletes, 1);
        v->Form_KeyDown(Qt::Key_Delete, 0); // the key table leaves it to the menu
        QCOMPARE(v->deletes, 1);
        v->ToggleFullScreen();
        QTest::keyClick(v->ImgX, Qt::Key_Delete); // menus off: the key table acts
        QCOMPARE(v->deletes, 2);
    }

    void arrowsPanOnlyWhenLargerThanTheWindow()
    {
        frmViwer *v = make(false);
        v->ViewImage(QStringList{makeImage(QStringLiteral("pan.png"), 300, 200)}, 0);
        QCOMPARE(v->ImgX->viewAlignment(), imaging::ViewAlignment::Fitted);
        const int x = v->ImgX->scrollX();
        QTest::keyClick(v->ImgX, Qt::Key_Right);
        QCOMPARE(v->ImgX->scrollX(), x);
        for (int i = 0; i < 6; ++i)
            v->ZoomIn();
        QCOMPARE(v->ImgX->viewAlignment(), imaging::ViewAlignment::Panned);
        v->ImgX->setScrollX(20);
        v->ImgX->setScrollY(20);
        QTest::keyClick(v->ImgX, Qt::Key_Left);
        QCOMPARE(v->ImgX->scrollX(), 15);
        QTest::keyClick(v->ImgX, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(v->ImgX->scrollX(), 20);
        QTest::keyClick(v->ImgX, Qt::Key_Down);
        QCOMPARE(v->ImgX->scrollY(), 25);
        QTest::keyClick(v->ImgX, Qt::Key_Up);
        QCOMPARE(v->ImgX->scrollY(), 20);
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
        frmViwer *v = make(false);
        const QStringList before = smallList(3);
        v->ViewImage(before, 1);
        v->ImgX->setZoom(2.0);
        QList<QUrl> urls;
        for (const QString &p : dropped)
            urls << QUrl::fromLocalFile(p);
        emit v->ImgX->filesDropped(urls, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        if (expected.isEmpty()) {
            QCOMPARE(v->FilePaths, before);
            QCOMPARE(int(v->CurrentIndex), 1);
        } else {
            QCOMPARE(v->FilePaths, expected);
            QCOMPARE(int(v->CurrentIndex), 0);
            QCOMPARE(v->ImgX->engine().filePath(), expected.first());
        }
        QCOMPARE(v->ImgX->zoom(), 2.0); // a drop does not reset the zoom
        emit v->ImgX->filesDropped({}, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(v->FilePaths, expected.isEmpty() ? before : expected);
    }

    // --- zoom, rotation, antialias

    void zoomLimitsAndViewMode()
    {
        frmViwer *v = make(false);
        v->ViewImage(QStringList{makeImage(QStringLiteral("z.png"), 200, 150)}, 0);
        v->ImgX->setZoom(16.5);
        v->ZoomIn();
        QCOMPARE(v->ImgX->zoom(), 16.5);
        v->ImgX->setZoom(16.0);
        v->Toolbar_ButtonClick(6);
        QCOMPARE(v->ImgX->zoom(), 20.0);
        QCOMPARE(v->ImgX->viewAlignment(), imaging::ViewAlignment::Panned);
        v->ImgX->setZoom(0.0045);
        v->Toolbar_ButtonClick(7);
        QCOMPARE(v->ImgX->zoom(), 0.0045);
        v->ImgX->setZoom(1.25);
        act(v, "mnuZoomOut")->trigger();
        QCOMPARE(v->ImgX->zoom(), 0.9375);
        QCOMPARE(v->ImgX->viewAlignment(), imaging::ViewAlignment::Fitted);
    }

    void rotate()
    {
        frmViwer *v = make(false);
        v->RotatePlus90(); // nothing loaded: nothing happens
        v->ViewImage(QStringList{makeImage(QStringLiteral("r.png"), 100, 60)}, 0);
        const double zoom = v->ImgX->zoom();
        act(v, "mnuRotate1")->trigger();
        QCOMPARE(v->ImgX->engine().width(), 60);
        QCOMPARE(v->ImgX->engine().height(), 100);
        act(v, "mnuRotate2")->trigger();
        QCOMPARE(v->ImgX->engine().width(), 100);
        QCOMPARE(v->ImgX->zoom(), zoom);
    }

    void antiAliasToggle()
    {
        frmViwer *v = make(false);
        QVERIFY(v->ImgX->antiAlias());
        act(v, "mnuAntiAliasDisplay")->trigger();
        QVERIFY(!v->ImgX->antiAlias());
        QVERIFY(!act(v, "mnuAntiAliasDisplay")->isChecked());
        QCOMPARE(setting("AntiAlias"), QStringLiteral("0"));
        v->ToggleAntiAlias();
        QVERIFY(v->ImgX->antiAlias());
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
        frmViwer *v = make(false);
        v->ViewImage(list, start);
        v->ImgX->setZoom(2.0);
        if (forward)
            act(v, "mnuNext")->trigger();
        else
            act(v, "mnuPrevious")->trigger();
        QTEST(int(v->CurrentIndex), "expected");
        QFETCH(int, expected);
        QCOMPARE(v->ImgX->engine().filePath(), list.at(expected));
    }

    void slideShowSteps()
    {
        frmViwer *v = make(false);
        const QStringList list = smallList(10);
        v->ViewImage(list, 2); // entry 3 of 10
        act(v, "mnuSlideShow")->trigger();
        QVERIFY(v->slideShowRunning());
        QVERIFY(v->tmrSlideShow->isActive());
        QCOMPARE(v->tmrSlideShow->interval(), 2000);
        QCOMPARE(int(v->SlidePosition), 3);
        QCOMPARE(v->ImgX->engine().filePath(), list.at(2)); // nothing new yet
        for (int i = 0; i < 4; ++i) {
            v->tmrSlideShow_Timer();
            QCOMPARE(v->ImgX->engine().filePath(), list.at(3 + i));
            QCOMPARE(v->panelText(1), QStringLiteral("%1/10").arg(4 + i));
            QCOMPARE(v->windowTitle(), viewer::imageTitle(list.at(3 + i)));
        }
        QCOMPARE(int(v->CurrentIndex), 2);
        QVERIFY(!v->SlideTick);
        v->Toolbar_ButtonClick(5);
        QVERIFY(!v->slideShowRunning());
        QVERIFY(!v->tmrSlideShow->isActive());
        v->NextImage();
        QCOMPARE(int(v->CurrentIndex), 3);
    }

    void slideShowWrapsAndSurvivesBadEntries()
    {
        frmViwer *v = make(false);
        QStringList list = smallList(3);
        list.insert(1, path(QStringLiteral("missing.png")));
        v->ViewImage(list, 3); // the last entry
        v->ToggleSlideShow();
        v->tmrSlideShow_Timer();
        QCOMPARE(v->ImgX->engine().filePath(), list.at(0));
        v->tmrSlideShow_Timer(); // cannot be read: an empty view, the show goes on
        QCOMPARE(v->ImgX->engine().pageCount(), 0);
        QVERIFY(v->slideShowRunning());
        v->tmrSlideShow_Timer();
        QCOMPARE(v->ImgX->engine().filePath(), list.at(2));
        v->FilePaths.clear(); // an empty list: ticks do nothing
        v->tmrSlideShow_Timer();
        QVERIFY(v->slideShowRunning());
    }

    void slideShowDelay_data()
    {
        QTest::addColumn<QVariant>("answer");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("messages");
        QTest::newRow("1500") << QVariant(QStringLiteral("1500")) << 1500 << "1500" << 0;
        QTest::newRow("2.5") << QVariant(QStringLiteral("2.5")) << 2 << "2" << 0;
        QTest::newRow("3.5") << QVariant(QStringLiteral("3.5")) << 4 << "4" << 0;
        QTest::newRow("0") << QVariant(QStringLiteral("0")) << 0 << "0" << 0;
        QTest::newRow("abc") << QVariant(QStringLiteral("abc")) << 2000 << "<absent>" << 1;
        QTest::newRow("too long") << QVariant(QStringLiteral("40000")) << 2000 << "<absent>" << 1;
        QTest::newRow("negative") << QVariant(QStringLiteral("-3")) << 2000 << "<absent>" << 1;
        QTest::newRow("empty") << QVariant(QString()) << 2000 << "<absent>" << 0;
        QTest::newRow("cancelled") << QVariant() << 2000 << "<absent>" << 0;
    }
    void slideShowDelay()
    {
        QFETCH(QVariant, answer);
        QFETCH(int, interval);
        QFETCH(QString, stored);
        QFETCH(int, messages);
        testsupport::ScriptedPrompts prompts;
        prompts.inputAnswers << (answer.isValid() ? std::optional<QString>(answer.toString())
                                                  : std::nullopt);
        frmViwer *v = make(false);
        v->ViewImage(smallList(2), 0);
        v->ToggleSlideShow();
        act(v, "mnuSlideShowDelay")->trigger();
        QCOMPARE(prompts.shown.first().kind, QStringLiteral("input"));
        QCOMPARE(prompts.shown.first().text,
                 QStringLiteral("Delay in Milliseconds(1000=1 Second):"));
        QCOMPARE(prompts.shown.first().caption, QStringLiteral("Slide Show Delay"));
        QCOMPARE(v->slideShowDelay(), interval);
        QCOMPARE(setting("Slide Show Delay"), stored);
        QCOMPARE(prompts.count(QStringLiteral("message")), messages);
        // a new delay stops a running show; anything else leaves it running
        QCOMPARE(v->slideShowRunning(), stored == QLatin1String("<absent>"));
    }

    void zeroDelayShowsNothing()
    {
        store("Slide Show Delay", QStringLiteral("0"));
        frmViwer *v = make(false);
        v->ViewImage(smallList(2), 0);
        v->ToggleSlideShow();
        QVERIFY(v->slideTimerEnabled());
        QVERIFY(!v->tmrSlideShow->isActive());
    }

    // --- background decoding

    void neighboursArePrefetched()
    {
        frmViwer *v = make(false, true);
        QStringList list;
        for (int i = 0; i < 5; ++i)
            list << makeImage(QStringLiteral("f%1.jpg").arg(i), 200 + i, 100, "JPG");
        v->ViewImage(list, 0);
        QCOMPARE(v->prefetcher()->kept(), (QStringList{list.at(1), list.at(2)}));
        QTRY_VERIFY(v->prefetcher()->isReady(list.at(1)));
        v->NextImage();
        QCOMPARE(v->ImgX->engine().width(), 201);
        QCOMPARE(v->ImgX->engine().filePath(), list.at(1));
        QCOMPARE(v->prefetcher()->kept(), (QStringList{list.at(2), list.at(3)}));
        v->PrevImage(); // travel backwards: the one before is wanted
        QCOMPARE(v->prefetcher()->kept(), QStringList{});
        v->NextImage();
        v->NextImage();
        QVERIFY(v->prefetcher()->kept().size() <= viewer::Prefetcher::kMaxKept);
        // another list drops the work of the old one
        v->ViewImage(smallList(3), 0);
        QVERIFY(!v->prefetcher()->has(list.at(3)));
    }

    void changedFileIsReadAgain()
    {
        frmViwer *v = make(false, true);
        const QStringList list{makeImage(QStringLiteral("c0.png"), 10, 10),
                               makeImage(QStringLiteral("c1.png"), 20, 20)};
        v->ViewImage(list, 0);
        QTRY_VERIFY(v->prefetcher()->isReady(list.at(1)));
        QTest::qWait(20);
        QImage other(33, 33, QImage::Format_RGB32);
        other.fill(Qt::red);
        QVERIFY(other.save(list.at(1)));
        QFile changed(list.at(1));
        QVERIFY(changed.open(QIODevice::ReadWrite));
        QVERIFY(changed.setFileTime(QDateTime::currentDateTime().addSecs(5),
                                    QFileDevice::FileModificationTime));
        changed.close();
        v->NextImage();
        QCOMPARE(v->ImgX->engine().width(), 33);
    }

    void slideTickWaitsForItsDecode()
    {
        frmViwer *v = make(false, true);
        QStringList list;
        for (int i = 0; i < 3; ++i)
            list << makeImage(QStringLiteral("t%1.jpg").arg(i), 300 + i, 100, "JPG");
        v->ViewImage(list, 0);
        v->prefetcher()->newGeneration(); // nothing decoded yet
        v->ToggleSlideShow();
        v->tmrSlideShow_Timer();
        QTRY_COMPARE(v->ImgX->engine().filePath(), list.at(1));
        QCOMPARE(int(v->SlidePosition), 2);
    }
};

PICTAVO_TEST_MAIN(tst_frmViwer)
#include "tst_frmviwer.moc"
