// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <atomic>
#include <cstdio>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "ExplorerFixtures.h"
#include "core/Formats.h"
#include "core/Twips.h"
#include "explorer/ThumbnailCache.h"
#include "explorer/ThumbnailExplorer.h"
#include "support/ImageFixtures.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

using namespace explorertest;

class TestThumbnailExplorer : public QObject
{
    Q_OBJECT

private slots:
    void isImageFile_data();
    void isImageFile();
    void setExtKeepsLowerCase();
    void emptySetExtWarnsAndBlocksListing();
    void listsFoldersThenImagesByName();
    void emptyOrMissingFolderSaysSo_data();
    void emptyOrMissingFolderSaysSo();
    void getImageList();
    void thumbnailsHaveTheirGeometry();
    void badFilesAreMarkedAndTheListingGoesOn_data();
    void badFilesAreMarkedAndTheListingGoesOn();
    void namesThatAreNotUtf8AreListed();
    void listingKeepsTheKeyboardFocus();
    void userInterfaceAnswersWhileAThumbnailIsMade();
    void fileVanishedBetweenPasses();
    void fileAppearedBetweenPasses();
    void yieldsAfterEveryTwentiethItem();
    void newerListingOvertakesOlder();
    void destroyedDuringAYield();
    void addImageOnItsOwnFails();
    void selectItemAndFind();
    void setSelectedFocus();
    void nextAndPrevItem();
    void arrowReleaseAnnouncesNewItem();
    void ctrlArrowKeepsSelection();
    void enterAndDoubleClickChangeNothing();
    void mouseRules();
    void updateAfterOperation();
    void minimumWidth();
};

void TestThumbnailExplorer::isImageFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("jpg") << "/p/a.jpg" << true;
    QTest::newRow("JPG capitals") << "/p/photo.JPG" << true;
    QTest::newRow("wbmp") << "/p/a.wbmp" << true;
    QTest::newRow("wbm part of wbmp") << "/p/a.wbm" << true;
    QTest::newRow("dib") << "/p/a.dib" << true;
    QTest::newRow("jpeg") << "/p/a.jpeg" << false;
    QTest::newRow("tiff") << "/p/a.tiff" << false;
    QTest::newRow("cur") << "/p/a.cur" << false;
    QTest::newRow("two letters") << "/p/x.jp" << false;
    QTest::newRow("no extension") << "/p/README" << false;
    QTest::newRow("dot in folder only") << "/p.jpg/README" << false;
}

void TestThumbnailExplorer::isImageFile()
{
    QFETCH(QString, path);
    QFETCH(bool, accepted);
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    QCOMPARE(w.isImageFile(path), accepted);
}

void TestThumbnailExplorer::setExtKeepsLowerCase()
{
    testsupport::ScriptedPrompts prompts;
    explorer::ThumbnailExplorer w;
    w.setExtensions("JPG GIF");
    QCOMPARE(w.extensions(), QString("jpg gif"));
    QVERIFY(w.isImageFile("/x/photo.JPG"));
    QVERIFY(!w.isImageFile("/x/photo.jpeg"));
    QCOMPARE(prompts.count("message"), 0);
}

void TestThumbnailExplorer::emptySetExtWarnsAndBlocksListing()
{
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir;
    fixtures::writeImage(dir.path(), "a.jpg", 30, 20);
    explorer::ThumbnailExplorer w;
    w.setExtensions(QString());
    QCOMPARE(w.extensions(), QString());
    QSignalSpy announced(&w, &explorer::ThumbnailExplorer::selectedImageChanged);
    w.explorePath(dir.path());
    QCOMPARE(prompts.texts(),
             QStringList({"Extrsntions should be exist and separtated by spaces only like 'bmp "
                          "jpg gif'",
                          "You must call function 'SetExt' first"}));
    QCOMPARE(prompts.shown.at(0).icon, core::MsgIcon::Exclamation);
    QCOMPARE(prompts.shown.at(1).icon, core::MsgIcon::Exclamation);
    QCOMPARE(w.count(), 0);
    QCOMPARE(announced.count(), 0);
}

void TestThumbnailExplorer::listsFoldersThenImagesByName()
{
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir;
    const QString d = dir.path();
    QDir(d).mkdir("beta");
    QDir(d).mkdir("Alpha");
    QDir(d).mkdir("album.jpg"); // a folder, however it is named
    QDir(d).mkdir(".config");   // hidden from the list as from the folder tree
    fixtures::writeImage(d, "c.JPG", 50, 40, "JPG");
    fixtures::writeImage(d, "a.png", 50, 40);
    fixtures::writeImage(d, "B.bmp", 50, 40);
    fixtures::writeImage(d, ".hidden.gif", 50, 40, "GIF");
    fixtures::writeImage(d, "x.jpeg", 50, 40, "JPG");
    fixtures::writeBytes(d, "notes.txt", "words");

    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    QSignalSpy announced(&w, &explorer::ThumbnailExplorer::selectedImageChanged);
    QSignalSpy shown(&w, &explorer::ThumbnailExplorer::placeholdersShown);
    explore(w, d + "/"); // a trailing separator is not doubled

    const QStringList expected = {d + "/album.jpg", d + "/Alpha", d + "/beta", d + "/.hidden.gif",
                                  d + "/a.png",     d + "/B.bmp", d + "/c.JPG"};
    QCOMPARE(paths(w), expected);
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.at(0).at(0).toInt(), 7);
    QCOMPARE(w.itemLabel(2), QString("Alpha"));
    QCOMPARE(w.itemLabel(7), QString("c.JPG"));
    QCOMPARE(w.itemPictureKey(1), QString("Folder"));
    QCOMPARE(w.itemPictureKey(5), d + "/a.png");
    QCOMPARE(w.itemCount(), 7);
    QVERIFY(w.isListingStopped());
    QVERIFY(!w.findChild<QLineEdit *>("Text1")->isVisibleTo(&w));
    // An empty announcement first, then the first item, selected.
    QCOMPARE(announced.count(), 2);
    QCOMPARE(announced.at(0).at(0).toString(), QString());
    QCOMPARE(announced.at(1).at(0).toString(), d + "/album.jpg");
    QCOMPARE(w.selectedPositions(), QList<int>{1});
    QCOMPARE(prompts.count("message"), 0);

    // A second listing starts from scratch.
    explore(w, d + "/beta");
    QCOMPARE(w.count(), 0);
    QVERIFY(w.picture(d + "/a.png").isNull());
}

void TestThumbnailExplorer::emptyOrMissingFolderSaysSo_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty") << "empty";
    QTest::newRow("only other files") << "other";
    QTest::newRow("missing") << "missing";
}

void TestThumbnailExplorer::emptyOrMissingFolderSaysSo()
{
    QFETCH(QString, kind);
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir;
    QString path = dir.path();
    if (kind == "other")
        fixtures::writeBytes(path, "a.txt", "x");
    if (kind == "missing")
        path += "/nowhere";
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    w.show();
    QSignalSpy announced(&w, &explorer::ThumbnailExplorer::selectedImageChanged);
    explore(w, path);
    auto *text = w.findChild<QLineEdit *>("Text1");
    QVERIFY(text->isVisible());
    QCOMPARE(text->text(), QString("there are no items to show."));
    QCOMPARE(announced.count(), 1);
    QCOMPARE(announced.at(0).at(0).toString(), QString());
    QCOMPARE(w.count(), 0);
    QCOMPARE(prompts.count("message"), 0);
}

void TestThumbnailExplorer::getImageList()
{
    QTemporaryDir dir;
    const QString d = dir.path();
    QDir(d).mkdir("album.jpg");
    fixtures::writeImage(d, "b.png", 10, 10);
    fixtures::writeImage(d, "A.jpg", 10, 10);
    fixtures::writeImage(d, "c.jpeg", 10, 10, "JPG");
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    QCOMPARE(w.imageList(d), QStringList({d + "/A.jpg", d + "/b.png"}));
    QCOMPARE(w.imageList(d + "/", "a*"), QStringList({d + "/A.jpg"}));
    QCOMPARE(w.imageList(d + "/album.jpg"), QStringList());
    QCOMPARE(w.count(), 0); // the list is not touched
}

void TestThumbnailExplorer::thumbnailsHaveTheirGeometry()
{
    QTemporaryDir dir;
    const QString d = dir.path();
    fixtures::writeImage(d, "1.jpg", 1000, 600);
    fixtures::writeImage(d, "2.png", 600, 1000);
    fixtures::writeImage(d, "3.bmp", 1000, 500);
    fixtures::writeImage(d, "4.ico", 32, 32, "ICO");
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    explore(w, d);
    QCOMPARE(w.picture(d + "/1.jpg").size(), QSize(140, 84));
    QCOMPARE(w.picture(d + "/2.png").size(), QSize(140, 233));
    QCOMPARE(w.picture(d + "/3.bmp").size(), QSize(140, 140));
    QCOMPARE(w.picture(d + "/4.ico").size(), QSize(32, 32));
    QCOMPARE(w.picture("Folder").size(), QSize(150, 125));
    QCOMPARE(w.picture("A").size(), QSize(125, 125));
    QCOMPARE(w.listView()->iconSize(), QSize(150, 125));
}

void TestThumbnailExplorer::badFilesAreMarkedAndTheListingGoesOn_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("damaged jpeg") << "damaged";
    QTest::newRow("empty file") << "empty";
    QTest::newRow("text named .jpg") << "fake";
    QTest::newRow("dangling link") << "dangling";
    QTest::newRow("side above 32767") << "oversize";
}

void TestThumbnailExplorer::badFilesAreMarkedAndTheListingGoesOn()
{
    QFETCH(QString, kind);
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir;
    const QString d = dir.path();
    fixtures::writeImage(d, "01.png", 50, 40);
    fixtures::writeImage(d, "02.png", 50, 40);
    QString bad = "03.jpg";
    if (kind == "damaged") {
        fixtures::writeDamagedJpeg(d, bad);
    } else if (kind == "empty") {
        fixtures::writeBytes(d, bad, {});
    } else if (kind == "fake") {
        fixtures::writeBytes(d, bad, "this is not a picture\n");
    } else if (kind == "dangling") {
        QVERIFY(QFile::link(d + "/gone.jpg", d + "/" + bad));
    } else {
        bad = "03.png";
        fixtures::writeImage(d, bad, 32768, 1);
    }
    fixtures::writeImage(d, "04.png", 50, 40);
    fixtures::writeDamagedJpeg(d, "05.jpg"); // a second bad file: no second message

    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    QSignalSpy announced(&w, &explorer::ThumbnailExplorer::selectedImageChanged);
    explore(w, d);

    QCOMPARE(prompts.count("message"), 1);
    QCOMPARE(prompts.shown.at(0).icon, core::MsgIcon::Critical);
    // Thumbnails are made side by side: the message names whichever bad file
    // was found first.
    const QString said = prompts.shown.at(0).text;
    QVERIFY2(said.contains(bad) || said.contains("05.jpg"), qPrintable(said));
    // Every item has its name; the bad ones show the "cannot read" picture.
    const QStringList names = {"01.png", "02.png", bad, "04.png", "05.jpg"};
    QCOMPARE(w.count(), 5);
    for (int i = 1; i <= 5; ++i) {
        const QString &name = names.at(i - 1);
        QCOMPARE(w.itemLabel(i), name);
        QCOMPARE(w.itemPath(i), d + "/" + name);
        const bool unreadable = i == 3 || i == 5;
        QCOMPARE(w.itemPictureKey(i),
                 unreadable ? explorer::ThumbnailExplorer::unreadableKey() : d + "/" + name);
        const QModelIndex index = w.listView()->model()->index(i - 1, 0);
        const QString tip = index.data(Qt::ToolTipRole).toString();
        QVERIFY2(!unreadable || tip.contains(name), qPrintable(tip));
    }
    QCOMPARE(w.picture(explorer::ThumbnailExplorer::unreadableKey()).size(), QSize(125, 125));
    QVERIFY(w.isListingStopped());
    QCOMPARE(w.itemCount(), 5);
    QVERIFY(!w.findChild<QLineEdit *>("Text1")->isVisibleTo(&w));
    QCOMPARE(announced.count(), 2);
    QCOMPARE(announced.last().at(0).toString(), d + "/01.png");

    // One message per listing: the next listing says it again.
    explore(w, d);
    QCOMPARE(prompts.count("message"), 2);
    QCOMPARE(w.itemPictureKey(4), d + "/04.png");
}

void TestThumbnailExplorer::namesThatAreNotUtf8AreListed()
{
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir;
    const QString d = dir.path();
    fixtures::writeImage(d, "a.png", 50, 40);
    fixtures::writeImage(d, "z.png", 50, 40);
    // "caf\xe9.png" and "sub\xe9" in Latin-1 bytes: not valid UTF-8.
    const QByteArray folder = QFile::encodeName(d);
    const QByteArray badFile = folder + "/caf\xe9.png";
    const QByteArray badFolder = folder + "/sub\xe9";
    QVERIFY(QFile::copy(d + "/a.png", d + "/tmp.png"));
    QCOMPARE(::rename(QFile::encodeName(d + "/tmp.png").constData(), badFile.constData()), 0);
    QCOMPARE(::mkdir(badFolder.constData(), 0700), 0);
    // A file that really is named with the replacement character is another
    // file: the unreadable item must not stand for it.
    fixtures::writeImage(d, QStringLiteral("caf\uFFFD.png"), 50, 40);

    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    explore(w, d);
    const QString shownName = QString::fromUtf8("caf\xe9.png");
    QCOMPARE(w.count(), 5);
    QCOMPARE(w.itemLabel(1), QString::fromUtf8("sub\xe9"));
    QCOMPARE(w.itemPath(1), QString());
    QCOMPARE(w.itemPictureKey(1), QString("Folder"));
    QCOMPARE(w.itemLabel(2), QString("a.png"));
    // Both caf names sort alike; the one Qt can reach has its thumbnail.
    int unreadable = 0;
    for (int i = 3; i <= 4; ++i) {
        QCOMPARE(w.itemLabel(i), shownName);
        if (w.itemPath(i).isEmpty()) {
            ++unreadable;
            QCOMPARE(w.itemPictureKey(i), explorer::ThumbnailExplorer::unreadableKey());
        } else {
            QCOMPARE(w.itemPath(i), d + "/" + shownName);
            QCOMPARE(w.itemPictureKey(i), w.itemPath(i));
        }
    }
    QCOMPARE(unreadable, 1);
    QCOMPARE(w.itemPath(5), d + "/z.png");
    QCOMPARE(prompts.count("message"), 1);
    QVERIFY(prompts.shown.at(0).text.contains("not valid UTF-8"));
    QVERIFY(w.isListingStopped());

    // QTemporaryDir cannot see these names to remove them.
    ::unlink(badFile.constData());
    ::rmdir(badFolder.constData());
}

void TestThumbnailExplorer::listingKeepsTheKeyboardFocus()
{
    QTemporaryDir dir;
    writeNumbered(dir.path(), 3);
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *field = new QLineEdit(&window);
    auto *w = new explorer::ThumbnailExplorer(&window);
    layout->addWidget(field);
    layout->addWidget(w);
    w->setExtensions(kHostList);
    window.resize(1000, 300);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    field->setFocus();
    QVERIFY(field->hasFocus());

    explore(*w, dir.path());
    QCOMPARE(QApplication::focusWidget(), field);
    // The first item is selected all the same.
    QCOMPARE(w->currentPosition(), 1);
    QCOMPARE(w->selectedPositions(), QList<int>{1});
    // Keys go where the user left the focus.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QCOMPARE(w->currentPosition(), 1);
}

void TestThumbnailExplorer::userInterfaceAnswersWhileAThumbnailIsMade()
{
    QTemporaryDir dir;
    // Large enough that making its thumbnail takes a while.
    fixtures::writeImage(dir.path(), "big.png", 4000, 3000);
    fixtures::writeImage(dir.path(), "small.png", 40, 30);
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    // A zero timer runs whenever the event loop does; count its runs before
    // the first thumbnail is in.
    // (Probes still queued at the end go with their context.)
    int beforeFirst = 0;
    QObject context;
    std::function<void()> probe = [&] {
        if (filledItems(w) == 0)
            ++beforeFirst;
        QTimer::singleShot(0, &context, probe);
    };
    connect(&w, &explorer::ThumbnailExplorer::placeholdersShown, &context,
            [&] { QTimer::singleShot(0, &context, probe); });
    explore(w, dir.path());
    QCOMPARE(filledItems(w), 2);
    QVERIFY2(beforeFirst > 0, "the event loop stood still while the first thumbnail was made");
}

void TestThumbnailExplorer::fileVanishedBetweenPasses()
{
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir;
    writeNumbered(dir.path(), 3);
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    connect(&w, &explorer::ThumbnailExplorer::placeholdersShown, this,
            [&] { QFile::remove(dir.filePath("002.png")); });
    explore(w, dir.path());
    QCOMPARE(prompts.count("message"), 0);
    QCOMPARE(w.count(), 3);
    QCOMPARE(w.itemCount(), 2);
    QCOMPARE(paths(w), QStringList({dir.filePath("001.png"), dir.filePath("003.png"), QString()}));
    QCOMPARE(w.itemPictureKey(3), QString("A"));
}

void TestThumbnailExplorer::fileAppearedBetweenPasses()
{
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir;
    writeNumbered(dir.path(), 2);
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    connect(&w, &explorer::ThumbnailExplorer::placeholdersShown, this,
            [&] { fixtures::writeImage(dir.path(), "003.png", 20, 20); });
    explore(w, dir.path());
    // The newcomer has no placeholder: one message, the others are filled.
    QCOMPARE(prompts.count("message"), 1);
    QCOMPARE(prompts.shown.at(0).icon, core::MsgIcon::Critical);
    QCOMPARE(w.count(), 2);
    QCOMPARE(filledItems(w), 2);
    QVERIFY(w.isListingStopped());
}

void TestThumbnailExplorer::yieldsAfterEveryTwentiethItem()
{
    QTemporaryDir dir;
    writeNumbered(dir.path(), 45);
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    // Each zero timer runs at the next yield and records where the fill is.
    QList<QPair<int, int>> seen; // ItemCount, filled items
    bool listing = true;
    connect(&w, &explorer::ThumbnailExplorer::listingFinished, this, [&] { listing = false; });
    std::function<void()> probe = [&] {
        if (!listing)
            return;
        seen.append({w.itemCount(), filledItems(w)});
        QTimer::singleShot(0, this, probe);
    };
    QTimer::singleShot(0, this, probe);
    explore(w, dir.path());
    QCoreApplication::processEvents(); // lets the last probe see the end
    // The event loop also runs while a thumbnail is still being made, so
    // there may be more stops than these; these are always among them.
    for (const QPair<int, int> &stop : {qMakePair(0, 1), qMakePair(20, 21), qMakePair(40, 41)})
        QVERIFY2(seen.contains(stop), qPrintable(QString::number(stop.first)));
    for (const QPair<int, int> &stop : std::as_const(seen))
        QVERIFY(stop.second == stop.first || stop.second == stop.first + 1);
}

void TestThumbnailExplorer::newerListingOvertakesOlder()
{
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir a, b;
    writeNumbered(a.path(), 60);
    writeNumbered(b.path(), 3, "jpg");
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    QSignalSpy announced(&w, &explorer::ThumbnailExplorer::selectedImageChanged);
    QSignalSpy finished(&w, &explorer::ThumbnailExplorer::listingFinished);
    // The user picks folder b while folder a is still being filled.
    QTimer::singleShot(0, this, [&] { w.explorePath(b.path()); });
    w.explorePath(a.path());

    QCOMPARE(finished.count(), 2);
    QCOMPARE(paths(w),
             QStringList({b.filePath("001.jpg"), b.filePath("002.jpg"), b.filePath("003.jpg")}));
    QCOMPARE(w.itemCount(), 3);
    QVERIFY(w.isListingStopped());
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(w.picture(w.itemPath(i)).size(), QSize(140, 93));
    QVERIFY(w.picture(a.filePath("001.png")).isNull());
    QCOMPARE(w.selectedPositions(), QList<int>{1});
    QCOMPARE(announced.last().at(0).toString(), b.filePath("001.jpg"));
    for (const QList<QVariant> &args : std::as_const(announced))
        QVERIFY(!args.at(0).toString().startsWith(a.path()));
    QCOMPARE(prompts.count("message"), 0);

    // The explorer is idle and whole afterwards: a later listing works.
    explore(w, a.path());
    QCOMPARE(w.count(), 60);
    QCOMPARE(filledItems(w), 60);
}

void TestThumbnailExplorer::destroyedDuringAYield()
{
    QTemporaryDir dir;
    writeNumbered(dir.path(), 50);
    auto *w = new explorer::ThumbnailExplorer;
    w->setExtensions(kHostList);
    QPointer<explorer::ThumbnailExplorer> alive(w);
    QTimer::singleShot(0, this, [w] { delete w; });
    w->explorePath(dir.path()); // returns quietly once it finds itself gone
    QVERIFY(!alive);
}

void TestThumbnailExplorer::addImageOnItsOwnFails()
{
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir;
    const QString path = fixtures::writeImage(dir.path(), "a.png", 20, 20);
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    w.addImage(path, false); // no placeholder to fill
    QCOMPARE(prompts.count("message"), 1);
    QCOMPARE(prompts.shown.at(0).icon, core::MsgIcon::Critical);
    QVERIFY(w.isListingStopped());
    QCOMPARE(w.count(), 0);
}

void TestThumbnailExplorer::selectItemAndFind()
{
    QTemporaryDir dir;
    writeNumbered(dir.path(), 4);
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    explore(w, dir.path());
    QSignalSpy announced(&w, &explorer::ThumbnailExplorer::selectedImageChanged);

    w.selectItem(3, true);
    QCOMPARE(announced.count(), 1);
    QCOMPARE(announced.at(0).at(0).toString(), dir.filePath("003.png"));
    QCOMPARE(w.currentPosition(), 3);
    QCOMPARE(w.selectedPositions(), (QList<int>{1, 3}));
    w.selectItem(0, true);
    w.selectItem(-2, true);
    w.selectItem(2, false);
    QCOMPARE(announced.count(), 1);
    QCOMPARE(w.currentPosition(), 2);

    w.setAllSelected(true);
    QCOMPARE(w.selectedPositions(), (QList<int>{1, 2, 3, 4}));
    w.setAllSelected(false);
    QCOMPARE(w.selectedPositions(), QList<int>());

    QCOMPARE(w.findItemByPath(dir.filePath("004.PNG").toUpper()), 4);
    QCOMPARE(w.findItemByPath(dir.filePath("009.png")), -1);
}

void TestThumbnailExplorer::setSelectedFocus()
{
    QTemporaryDir dir;
    writeNumbered(dir.path(), 4);
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    explore(w, dir.path());
    QSignalSpy announced(&w, &explorer::ThumbnailExplorer::selectedImageChanged);

    w.selectPath(dir.filePath("003.png").toUpper());
    QCOMPARE(w.currentPosition(), 3);
    QCOMPARE(w.selectedPositions(), QList<int>{3});
    QCOMPARE(announced.count(), 0);

    QVERIFY_THROWS_EXCEPTION(explorer::ExplorerError, w.selectPath(dir.filePath("nothere.png")));
    QCOMPARE(w.selectedPositions(), QList<int>());
    QCOMPARE(announced.count(), 0);
}

void TestThumbnailExplorer::nextAndPrevItem()
{
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("sub");
    writeNumbered(dir.path(), 3);
    explorer::ThumbnailExplorer w;
    showListing(w, dir.path());
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(w.currentPosition(), 1);
    QSignalSpy announced(&w, &explorer::ThumbnailExplorer::selectedImageChanged);

    w.selectNext();
    QCOMPARE(w.currentPosition(), 2);
    QCOMPARE(announced.count(), 1);
    QCOMPARE(announced.last().at(0).toString(), dir.filePath("001.png"));
    w.selectNext();
    w.selectNext();
    QCOMPARE(w.currentPosition(), 4);
    QCOMPARE(w.selectedPositions(), QList<int>{4});
    // No wrap-around: the last item stays and is announced once more.
    w.selectNext();
    QCOMPARE(w.currentPosition(), 4);
    QCOMPARE(announced.count(), 4);
    QCOMPARE(announced.last().at(0).toString(), dir.filePath("003.png"));
    // Back onto the folder: it is announced like an image.
    w.selectPrevious();
    w.selectPrevious();
    w.selectPrevious();
    QCOMPARE(w.currentPosition(), 1);
    QCOMPARE(announced.last().at(0).toString(), dir.filePath("sub"));
    w.selectPrevious();
    QCOMPARE(w.currentPosition(), 1);

    explorer::ThumbnailExplorer empty;
    QSignalSpy none(&empty, &explorer::ThumbnailExplorer::selectedImageChanged);
    empty.selectNext();
    empty.selectPrevious();
    QCOMPARE(none.count(), 0);
}

void TestThumbnailExplorer::arrowReleaseAnnouncesNewItem()
{
    QTemporaryDir dir;
    writeNumbered(dir.path(), 3);
    explorer::ThumbnailExplorer w;
    showListing(w, dir.path());
    QVERIFY(!QTest::currentTestFailed());
    QSignalSpy announced(&w, &explorer::ThumbnailExplorer::selectedImageChanged);
    QTest::keyPress(w.listView(), Qt::Key_Right);
    QCOMPARE(announced.count(), 0); // nothing until the key is released
    QTest::keyRelease(w.listView(), Qt::Key_Right);
    QCOMPARE(announced.count(), 1);
    QCOMPARE(announced.at(0).at(0).toString(), dir.filePath("002.png"));
    // Releasing Ctrl itself does nothing.
    QTest::keyRelease(w.listView(), Qt::Key_Control);
    QCOMPARE(announced.count(), 1);
}

void TestThumbnailExplorer::ctrlArrowKeepsSelection()
{
    QTemporaryDir dir;
    writeNumbered(dir.path(), 4);
    explorer::ThumbnailExplorer w;
    showListing(w, dir.path());
    QVERIFY(!QTest::currentTestFailed());
    QSignalSpy announced(&w, &explorer::ThumbnailExplorer::selectedImageChanged);
    QTest::keyClick(w.listView(), Qt::Key_Right, Qt::ControlModifier);
    QTest::keyClick(w.listView(), Qt::Key_Right, Qt::ControlModifier);
    QCOMPARE(w.currentPosition(), 3);
    QCOMPARE(w.selectedPositions(), QList<int>{1});
    QCOMPARE(announced.count(), 2);
    QCOMPARE(announced.last().at(0).toString(), dir.filePath("003.png"));
}

void TestThumbnailExplorer::enterAndDoubleClickChangeNothing()
{
    QTemporaryDir dir;
    writeNumbered(dir.path(), 3);
    explorer::ThumbnailExplorer w;
    showListing(w, dir.path());
    QVERIFY(!QTest::currentTestFailed());
    w.selectItem(2, false);
    QSignalSpy opened(&w, &explorer::ThumbnailExplorer::openRequested);
    QTest::keyPress(w.listView(), Qt::Key_Return);
    const QRect r = w.listView()->visualRect(w.listView()->model()->index(1, 0));
    QTest::mouseDClick(w.listView()->viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(w.count(), 3);
    QCOMPARE(w.currentPosition(), 2);
    QCOMPARE(opened.count(), 0);
}

void TestThumbnailExplorer::mouseRules()
{
    QTemporaryDir dir;
    writeNumbered(dir.path(), 3);
    explorer::ThumbnailExplorer w;
    showListing(w, dir.path());
    QVERIFY(!QTest::currentTestFailed());
    QSignalSpy announced(&w, &explorer::ThumbnailExplorer::selectedImageChanged);
    QWidget *viewport = w.listView()->viewport();
    const QRect third = w.listView()->visualRect(w.listView()->model()->index(2, 0));
    QTest::mouseClick(viewport, Qt::LeftButton, {}, third.center());
    QCOMPARE(announced.count(), 1);
    QCOMPARE(announced.at(0).at(0).toString(), dir.filePath("003.png"));

    auto *menu = w.findChild<QMenu *>("mnuMenu");
    QVERIFY(menu);
    QStringList captions;
    for (QAction *a : menu->actions())
        captions.append(a->isSeparator() ? "-" : a->text());
    QCOMPARE(captions, QStringList({"Copy Image", "-", "Copy To", "Move To", "Delete", "Rename",
                                    "-", "Try Unreadable Files Again"}));
    // Right click on empty space: no menu; on an item: the menu.
    QTest::mouseClick(viewport, Qt::RightButton, {}, QPoint(viewport->width() - 5, 5));
    QVERIFY(!menu->isVisible());
    QTest::mouseClick(viewport, Qt::RightButton, {}, third.center());
    QVERIFY(menu->isVisible());
    menu->close();
    QCOMPARE(announced.count(), 1);
}

void TestThumbnailExplorer::updateAfterOperation()
{
    QTemporaryDir dir;
    writeNumbered(dir.path(), 3);
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    explore(w, dir.path());
    QString oldPath = dir.filePath("002.png");
    QString newPath = dir.filePath("renamed.png");
    w.updateAfterOperation(oldPath, newPath);
    QCOMPARE(w.itemPath(2), newPath);
    QCOMPARE(w.itemLabel(2), QString("renamed.png"));
    QCOMPARE(w.itemPictureKey(2), oldPath);
    QString gone;
    w.updateAfterOperation(newPath, gone);
    QCOMPARE(paths(w), QStringList({dir.filePath("001.png"), dir.filePath("003.png")}));
    QString unknown = dir.filePath("zzz.png");
    w.updateAfterOperation(unknown, gone);
    QCOMPARE(w.count(), 2);
}

void TestThumbnailExplorer::minimumWidth()
{
    explorer::ThumbnailExplorer w;
    w.show();
    w.resize(core::twipsToPixelsX(1000), 300);
    QCOMPARE(w.width(), core::twipsToPixelsX(1600));
    w.resize(400, 300);
    QCOMPARE(w.width(), 400);
    QCOMPARE(w.listView()->geometry(), w.rect());
    QCOMPARE(w.findChild<QLineEdit *>("Text1")->width(), 400 - core::twipsToPixelsX(400));
}

PICTAVO_TEST_MAIN(TestThumbnailExplorer)
#include "tst_thumbnailexplorer.moc"
