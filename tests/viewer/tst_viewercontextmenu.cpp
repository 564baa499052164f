// SPDX-License-Identifier: GPL-3.0-or-later
// The image's context menu: what it shows in each state of the viewer, and
// that each entry does what its menu entry does.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <memory>

#include "ViewerFixture.h"
#include "support/TestSupport.h"
#include "viewer/SlideShow.h"
#include "viewer/ViewerContextMenu.h"

using namespace viewertest;

namespace {

// A viewer that counts the wallpaper command instead of changing the desktop.
class WallpaperCounter : public viewer::ViewerWindow
{
public:
    using viewer::ViewerWindow::ViewerWindow;
    int wallpapers = 0;
    void setAsWallpaper() override { ++wallpapers; }
};

// "caption" for an entry, "+caption" when checked, "-caption" when grayed,
// "|" for a separator.
QStringList describe(const QMenu *menu)
{
    QStringList out;
    for (const QAction *a : menu->actions()) {
        if (a->isSeparator())
            out << QStringLiteral("|");
        else if (!a->isEnabled())
            out << QLatin1Char('-') + a->text();
        else if (a->isChecked())
            out << QLatin1Char('+') + a->text();
        else
            out << a->text();
    }
    return out;
}

QAction *entry(QMenu *menu, const QString &caption)
{
    for (QAction *a : menu->actions())
        if (a->text() == caption)
            return a;
    return nullptr;
}

} // namespace

class tst_ViewerContextMenu : public ViewerFixture
{
    Q_OBJECT

    QStringList m_seen; // the menu as it opened
    QPoint m_menuPos;   // where it opened
    bool m_opened = false;

    // Right-clicks the image at `at` and, once the menu is up, records it and
    // hands it to `act`, which chooses an entry or dismisses the menu. A menu
    // still open afterwards is closed, so that a fault never hangs the test.
    void rightClick(viewer::ViewerWindow *v, const std::function<void(QMenu *)> &act,
                    QPoint at = QPoint(12, 9), Qt::MouseButton button = Qt::RightButton)
    {
        m_seen.clear();
        m_opened = false;
        QTimer::singleShot(0, this, [this, act] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            m_opened = true;
            m_seen = describe(menu);
            m_menuPos = menu->geometry().topLeft();
            act(menu);
            if (QApplication::activePopupWidget() == menu)
                menu->close();
        });
        QTest::mouseClick(view(v)->viewport(), button, {}, at);
        QCoreApplication::processEvents();
    }

    static std::function<void(QMenu *)> choose(const QString &caption)
    {
        return [caption](QMenu *menu) {
            QAction *a = entry(menu, caption);
            if (a)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        };
    }

    static void dismiss(QMenu *menu) { QTest::keyClick(menu, Qt::Key_Escape); }

    // A viewer on screen with antialiasing off, showing entry index of count.
    viewer::ViewerWindow *shown(int count, int index, bool fullScreen = false)
    {
        store("AntiAlias", QStringLiteral("0"));
        viewer::ViewerWindow *v = make(fullScreen);
        v->viewImage(smallList(count), index);
        v->show();
        return v;
    }

private slots:
    // The entries in order with their check marks and grayed states, in each
    // situation the viewer can be in when the user right-clicks.
    void statesMirrorTheViewer_data()
    {
        QTest::addColumn<QString>("situation");
        QTest::addColumn<QStringList>("expected");
        const QStringList plain{"Full Screen", "Next",
                                "Previous",    "|",
                                "Slide Show",  "Antialias Display",
                                "|",           "Rotate +90",
                                "Rotate -90",  "|",
                                "Zoom In",     "Zoom Out",
                                "|",           "Set As Wallpaper"};
        auto with = [&](std::initializer_list<std::pair<const char *, const char *>> changes) {
            QStringList l = plain;
            for (const auto &[from, to] : changes)
                l.replace(l.indexOf(QLatin1String(from)), QString::fromLatin1(to));
            return l;
        };
        QTest::newRow("first image, antialias off") << "first" << plain;
        QTest::newRow("last image") << "last" << plain;
        QTest::newRow("antialias on")
            << "antialias" << with({{"Antialias Display", "+Antialias Display"}});
        QTest::newRow("slide show running") << "slideshow" << with({{"Slide Show", "+Slide Show"}});
        QTest::newRow("full screen") << "fullscreen" << plain;
        QTest::newRow("toolbar buttons disabled")
            << "disabled"
            << with(
                   {{"Full Screen", "-Full Screen"}, {"Next", "-Next"}, {"Previous", "-Previous"}});
    }

    void statesMirrorTheViewer()
    {
        QFETCH(QString, situation);
        QFETCH(QStringList, expected);
        viewer::ViewerWindow *v = shown(4, situation == QLatin1String("last") ? 3 : 0,
                                        situation == QLatin1String("fullscreen"));
        if (situation == QLatin1String("antialias"))
            act(v, "mnuAntiAliasDisplay")->trigger();
        if (situation == QLatin1String("slideshow"))
            v->toggleSlideShow();
        if (situation == QLatin1String("disabled"))
            for (const char *name : {"fullscreen32", "next32", "previous32"})
                toolbar(v)->findChild<QToolButton *>(QString::fromLatin1(name))->setEnabled(false);
        QCOMPARE(act(v, "mnuAntiAliasDisplay")->isChecked(),
                 situation == QLatin1String("antialias"));

        rightClick(v, dismiss);
        QVERIFY(m_opened);
        QCOMPARE(m_seen, expected);
        if (situation == QLatin1String("slideshow"))
            v->toggleSlideShow();
    }

    // Each entry runs the same operation as the main menu or the toolbar.
    void entriesRunTheirOperation_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::newRow("Full Screen") << "Full Screen";
        QTest::newRow("Next") << "Next";
        QTest::newRow("Previous") << "Previous";
        QTest::newRow("Slide Show") << "Slide Show";
        QTest::newRow("Antialias Display") << "Antialias Display";
        QTest::newRow("Rotate +90") << "Rotate +90";
        QTest::newRow("Rotate -90") << "Rotate -90";
        QTest::newRow("Zoom In") << "Zoom In";
        QTest::newRow("Zoom Out") << "Zoom Out";
        QTest::newRow("Set As Wallpaper") << "Set As Wallpaper";
    }

    void entriesRunTheirOperation()
    {
        QFETCH(QString, caption);
        store("FullScreen", QStringLiteral("0"));
        store("AntiAlias", QStringLiteral("0"));
        auto *v = new WallpaperCounter(&m_link);
        m_v = v;
        v->setPrefetchEnabled(false);
        const QStringList list{makeImage(QStringLiteral("wide.png"), 160, 90),
                               makeImage(QStringLiteral("tall.png"), 90, 160),
                               makeImage(QStringLiteral("square.png"), 120, 120)};
        v->viewImage(list, 1);
        v->show();
        const double zoom = view(v)->zoom();
        const bool antiAlias = act(v, "mnuAntiAliasDisplay")->isChecked();

        rightClick(v, choose(caption));
        QVERIFY(m_opened);

        const imaging::ImageEngine &engine = view(v)->engine();
        if (caption == QLatin1String("Full Screen"))
            QVERIFY(v->isFullScreenMode());
        else
            QVERIFY(!v->isFullScreenMode());
        QCOMPARE(v->currentIndex(), caption == QLatin1String("Next")       ? 2
                                    : caption == QLatin1String("Previous") ? 0
                                                                           : 1);
        QCOMPARE(v->slideShow().isRunning(), caption == QLatin1String("Slide Show"));
        // The main menu's entry follows the context menu's.
        QCOMPARE(act(v, "mnuAntiAliasDisplay")->isChecked(),
                 antiAlias != (caption == QLatin1String("Antialias Display")));
        QCOMPARE(view(v)->antiAlias(), act(v, "mnuAntiAliasDisplay")->isChecked());
        if (caption.startsWith(QLatin1String("Rotate")))
            QCOMPARE(QSize(engine.width(), engine.height()), QSize(160, 90));
        else if (caption != QLatin1String("Next") && caption != QLatin1String("Previous"))
            QCOMPARE(QSize(engine.width(), engine.height()), QSize(90, 160));
        if (caption == QLatin1String("Zoom In"))
            QVERIFY(view(v)->zoom() > zoom);
        else if (caption == QLatin1String("Zoom Out"))
            QVERIFY(view(v)->zoom() < zoom);
        QCOMPARE(v->wallpapers, caption == QLatin1String("Set As Wallpaper") ? 1 : 0);
        if (v->slideShow().isRunning())
            v->toggleSlideShow();
    }

    // Choosing the checked Slide Show stops the running show.
    void checkedSlideShowStopsTheShow()
    {
        viewer::ViewerWindow *v = shown(3, 0);
        v->toggleSlideShow();
        rightClick(v, choose(QStringLiteral("Slide Show")));
        QVERIFY(m_seen.contains(QStringLiteral("+Slide Show")));
        QVERIFY(!v->slideShow().isRunning());
        QVERIFY(!slideTimer(v)->isActive());
    }

    // A grayed entry does nothing even when clicked.
    void grayedEntryDoesNothing()
    {
        viewer::ViewerWindow *v = shown(3, 1);
        toolbar(v)->findChild<QToolButton *>(QStringLiteral("next32"))->setEnabled(false);
        rightClick(v, choose(QStringLiteral("Next")));
        QVERIFY(m_opened);
        QCOMPARE(v->currentIndex(), 1);
    }

    // Dismissing the menu leaves everything as it was; the next right click
    // builds the menu again from the state at that moment.
    void dismissChangesNothing()
    {
        viewer::ViewerWindow *v = shown(3, 1);
        const double zoom = view(v)->zoom();
        const QString title = v->windowTitle();
        rightClick(v, dismiss);
        QVERIFY(m_opened);
        QCOMPARE(v->currentIndex(), 1);
        QCOMPARE(view(v)->zoom(), zoom);
        QCOMPARE(v->windowTitle(), title);
        QVERIFY(!v->isFullScreenMode());
        QVERIFY(!v->slideShow().isRunning());
        QVERIFY(!act(v, "mnuAntiAliasDisplay")->isChecked());
        QCOMPARE(setting("AntiAlias"), QStringLiteral("0"));

        act(v, "mnuAntiAliasDisplay")->trigger();
        rightClick(v, dismiss);
        QVERIFY(m_seen.contains(QStringLiteral("+Antialias Display")));
    }

    // The menu opens where the pointer is.
    void opensAtThePointer()
    {
        viewer::ViewerWindow *v = shown(2, 0);
        const QPoint at(30, 25);
        rightClick(v, dismiss, at);
        QVERIFY(m_opened);
        QCOMPARE(m_menuPos, view(v)->viewport()->mapToGlobal(at));
    }

    // Only the right button opens the menu.
    void otherButtonsOpenNothing_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("left") << Qt::LeftButton;
        QTest::newRow("middle") << Qt::MiddleButton;
    }

    void otherButtonsOpenNothing()
    {
        QFETCH(Qt::MouseButton, button);
        viewer::ViewerWindow *v = shown(2, 0);
        rightClick(v, dismiss, QPoint(12, 9), button);
        QVERIFY(!m_opened);
        QCOMPARE(v->currentIndex(), 0);
    }

    // The menu as built, without a viewer: the numbers its entries carry.
    void commandsOfTheEntries()
    {
        std::unique_ptr<QMenu> menu(viewer::buildContextMenu({}));
        QList<int> ids;
        for (const QAction *a : menu->actions())
            ids << (a->isSeparator() ? -1 : int(viewer::contextCommandOf(a)));
        QCOMPARE(ids, (QList<int>{10, 7, 8, -1, 9, 1, -1, 2, 3, -1, 4, 5, -1, 6}));
        QCOMPARE(viewer::contextCommandOf(nullptr), viewer::ContextCommand::None);
    }
};

PICTAVO_TEST_MAIN(tst_ViewerContextMenu)
#include "tst_viewercontextmenu.moc"
