// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's Set As Wallpaper entry hands the shown image to the wallpaper
// routine.

#include <QApplication>

#include "ViewerFixture.h"
#include "shell/Wallpaper.h"
#include "support/FakeDesktopBackground.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

using namespace viewertest;

class TestViewerWallpaper : public viewertest::ViewerFixture
{
    Q_OBJECT

private slots:
    void menuEntrySetsTheShownImage()
    {
        testsupport::ScriptedPrompts prompts;
        testsupport::FakeDesktopBackground desktop;
        viewer::ViewerWindow *v = make(false);
        const QStringList list = smallList(2);
        v->showImages(list, 1);
        act(v, "mnuSetAsWallpaper")->trigger();
        const QString target = shell::wallpaperFolder() + QStringLiteral("s1.png");
        QCOMPARE(desktop.pictures, QStringList{target});
        const imaging::Decoded d = imaging::decodeFile(target);
        QVERIFY2(d.ok(), qPrintable(d.error));
        QCOMPARE(d.formatCode, int(core::FormatBMP));
        QCOMPARE(d.originalSize, QSize(121, 100));
        QCOMPARE(prompts.texts(), QStringList());
        // The viewer goes on as before.
        QCOMPARE(v->paths(), list);
        QCOMPARE(v->currentIndex(), 1);
    }

    void iconKeepsItsFilesName()
    {
        testsupport::ScriptedPrompts prompts;
        testsupport::FakeDesktopBackground desktop;
        const QString icon = makeImage(QStringLiteral("small.ico"), 16, 16, "ICO");
        viewer::ViewerWindow *v = make(false);
        v->showImages({icon}, 0);
        QCOMPARE(view(v)->engine().pageCount(), 1);
        v->setAsWallpaper();
        QCOMPARE(desktop.pictures, QStringList{shell::wallpaperFolder() + "small.ico"});
    }

    void emptyViewDoesNothing()
    {
        testsupport::ScriptedPrompts prompts;
        testsupport::FakeDesktopBackground desktop;
        viewer::ViewerWindow *v = make(false);
        v->setAsWallpaper();
        QCOMPARE(desktop.pictures, QStringList());
        QCOMPARE(prompts.shown.size(), 0);
    }
};

PICTAVO_TEST_MAIN(TestViewerWallpaper)
#include "tst_viewerwallpaper.moc"
