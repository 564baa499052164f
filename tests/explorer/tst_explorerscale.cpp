// SPDX-License-Identifier: GPL-3.0-or-later
// The explorer on large and living folders: thumbnails from the desktop's
// shared cache, those on screen first, memory bounded, and files that other
// programs add, remove, rename or change.

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
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

class TestExplorerScale : public QObject
{
    Q_OBJECT

private slots:
    void secondVisitComesFromTheCache();
    void cacheFolderIsListedWithoutNewEntries();
    void unwritableCacheListingWorks();
    void onScreenThumbnailsComeFirst();
    void farPicturesAreDroppedAndComeBack();
    void otherProgramsChangesShowUp_data();
    void otherProgramsChangesShowUp();
    void changedFileGetsANewThumbnail_data();
    void changedFileGetsANewThumbnail();
    void changesShowUpWhileListing_data();
    void changesShowUpWhileListing();
};

void TestExplorerScale::secondVisitComesFromTheCache()
{
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir, cache;
    const QString d = dir.path();
    fixtures::writeImage(d, "1.jpg", 1000, 600, "JPG");
    fixtures::writeImage(d, "2.png", 600, 1000);
    fixtures::writeImage(d, "3.bmp", 1000, 500);
    fixtures::writeImage(d, "4.ico", 32, 32, "ICO");
    fixtures::writeDamagedJpeg(d, "5.jpg");
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    w.setThumbnailCache(cache.path() + "/thumbnails");
    std::atomic_int decodes{0};
    countDecodes(w, decodes);
    explore(w, d);
    QCOMPARE(decodes.load(), 5);
    QCOMPARE(prompts.count("message"), 1);

    explore(w, d);
    // Only the icon, which is shown as it is and never cached, is read again;
    // the damaged file says why once more without being read.
    QCOMPARE(decodes.load(), 6);
    QCOMPARE(prompts.count("message"), 2);
    QCOMPARE(prompts.shown.at(1).text, prompts.shown.at(0).text);
    QCOMPARE(w.picture(d + "/1.jpg").size(), QSize(140, 84));
    QCOMPARE(w.picture(d + "/2.png").size(), QSize(140, 233));
    QCOMPARE(w.picture(d + "/3.bmp").size(), QSize(140, 140));
    QCOMPARE(w.picture(d + "/4.ico").size(), QSize(32, 32));
    QCOMPARE(w.itemPictureKey(5), explorer::ThumbnailExplorer::unreadableKey());

    // The menu's retry forgets Pictavo's failure records and tries the
    // damaged file again, quietly; it is recorded anew.
    const explorer::ThumbnailCache records(cache.path() + "/thumbnails");
    const QDir failures(records.failFolder());
    QCOMPARE(failures.entryList(QDir::Files).size(), 1);
    w.findChild<QAction *>("mnuRetryUnreadable")->trigger();
    QTRY_COMPARE(decodes.load(), 7);
    QTRY_COMPARE(failures.entryList(QDir::Files).size(), 1);
    QCOMPARE(w.itemPictureKey(5), explorer::ThumbnailExplorer::unreadableKey());
    QCOMPARE(prompts.count("message"), 2);
    explore(w, d);
    QCOMPARE(decodes.load(), 8);
}

void TestExplorerScale::cacheFolderIsListedWithoutNewEntries()
{
    QTemporaryDir dir, cache;
    writeNumbered(dir.path(), 3);
    const QString root = cache.path() + "/thumbnails";
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    w.setThumbnailCache(root);
    explore(w, dir.path());
    const QStringList entries = QDir(root + "/large").entryList(QDir::Files);
    QCOMPARE(entries.size(), 3);

    // The cache's own folder lists like any other, and gains nothing.
    explore(w, root + "/large");
    QCOMPARE(w.count(), 3);
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(w.itemPictureKey(i), w.itemPath(i));
    QCOMPARE(QDir(root + "/large").entryList(QDir::Files), entries);
    QVERIFY(!QFileInfo::exists(root + "/fail"));
}

void TestExplorerScale::unwritableCacheListingWorks()
{
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir, cache;
    writeNumbered(dir.path(), 3);
    fixtures::writeBytes(cache.path(), "thumbnails", "a file where the folder should be");
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    w.setThumbnailCache(cache.path() + "/thumbnails");
    explore(w, dir.path());
    QCOMPARE(filledItems(w), 3);
    for (int i = 1; i <= 3; ++i)
        QCOMPARE(w.picture(w.itemPath(i)).size(), QSize(140, 93));
    QCOMPARE(prompts.count("message"), 0);
}

void TestExplorerScale::onScreenThumbnailsComeFirst()
{
    QTemporaryDir dir, cache;
    writeNumbered(dir.path(), 200);
    explorer::ThumbnailExplorer w;
    w.setThumbnailCache(cache.path() + "/thumbnails");
    FillOrder fills(w);
    QObject context;
    QPair<int, int> shown{-1, -1};
    // The user jumps to the middle as soon as the placeholders are there.
    connect(&w, &explorer::ThumbnailExplorer::placeholdersShown, &context, [&] {
        QScrollBar *bar = w.listView()->horizontalScrollBar();
        bar->setValue(bar->maximum() / 2);
        shown = w.visibleRows();
    });
    showListing(w, dir.path());
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(filledItems(w), 200);
    QVERIFY2(shown.first > 50 && shown.second < 150,
             qPrintable(QString("%1-%2").arg(shown.first).arg(shown.second)));
    const QList<int> &order = fills.rows;
    QCOMPARE(order.size(), 200);
    // Every item on screen was filled before any item far from it.
    const int span = shown.second - shown.first + 1;
    int lastOnScreen = -1;
    int firstFar = int(order.size());
    for (int i = 0; i < order.size(); ++i) {
        const int row = order.at(i);
        if (row >= shown.first && row <= shown.second)
            lastOnScreen = i;
        else if ((row < shown.first - span || row > shown.second + 2 * span) && firstFar > i)
            firstFar = i;
    }
    QVERIFY2(lastOnScreen < firstFar, qPrintable(QString("%1 %2").arg(lastOnScreen).arg(firstFar)));
    // Item 1 is still the one selected and announced at the end.
    QCOMPARE(w.selectedPositions(), QList<int>{1});
}

void TestExplorerScale::farPicturesAreDroppedAndComeBack()
{
    QTemporaryDir dir, cache;
    writeNumbered(dir.path(), 80);
    explorer::ThumbnailExplorer w;
    w.setThumbnailCache(cache.path() + "/thumbnails");
    std::atomic_int decodes{0};
    countDecodes(w, decodes);
    w.setPictureBudget(12);
    showListing(w, dir.path());
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(decodes.load(), 80);
    QCOMPARE(filledItems(w), 80);
    QVERIFY(w.picturesInMemory() <= 15);
    // The items on screen keep their pictures; a far one has dropped its
    // picture but keeps its key, path and place.
    const auto [first, last] = w.visibleRows();
    QCOMPARE(first, 0);
    for (int row = first; row <= last; ++row)
        QVERIFY(!w.picture(w.itemPath(row + 1)).isNull());
    const QString far = dir.filePath("040.png");
    QVERIFY(w.picture(far).isNull());
    QCOMPARE(w.itemPictureKey(40), far);
    QCOMPARE(w.findItemByPath(far), 40);
    w.selectItem(40, false);
    QCOMPARE(w.selectedPositions(), (QList<int>{1, 40}));

    // Scrolled to, it comes back from the cache, not from the file.
    w.listView()->scrollTo(w.listView()->model()->index(39, 0));
    QTRY_VERIFY(!w.picture(far).isNull());
    QCOMPARE(w.picture(far).size(), QSize(140, 93));
    QCOMPARE(decodes.load(), 80);
    QVERIFY(w.picturesInMemory() <= 15);
}

void TestExplorerScale::otherProgramsChangesShowUp_data()
{
    // A shell command run in the listed folder, and the list it leaves.
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("selected");
    QTest::newRow("added") << "cp 001.png 000.png"
                           << QStringList{"sub", "000.png", "001.png", "002.png", "003.png"}
                           << "002.png";
    QTest::newRow("folder added") << "mkdir album"
                                  << QStringList{"album", "sub", "001.png", "002.png", "003.png"}
                                  << "002.png";
    QTest::newRow("removed") << "rm 001.png" << QStringList{"sub", "002.png", "003.png"}
                             << "002.png";
    QTest::newRow("selected one removed")
        << "rm 002.png" << QStringList{"sub", "001.png", "003.png"} << "";
    QTest::newRow("renamed, moving to its place by name")
        << "mv 002.png 009.png" << QStringList{"sub", "001.png", "003.png", "009.png"} << "009.png";
    QTest::newRow("not an image any more")
        << "mv 003.png 003.txt" << QStringList{"sub", "001.png", "002.png"} << "002.png";
}

void TestExplorerScale::otherProgramsChangesShowUp()
{
    QFETCH(QString, command);
    QFETCH(QStringList, expected);
    QFETCH(QString, selected);
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir, cache;
    QDir(dir.path()).mkdir("sub");
    writeNumbered(dir.path(), 3);
    explorer::ThumbnailExplorer w;
    w.setThumbnailCache(cache.path() + "/thumbnails");
    showListing(w, dir.path());
    QVERIFY(!QTest::currentTestFailed());
    w.setAllSelected(false);
    w.selectItem(3, false); // 002.png
    QSignalSpy listings(&w, &explorer::ThumbnailExplorer::placeholdersShown);

    QProcess other;
    other.setWorkingDirectory(dir.path());
    other.start("sh", {"-c", command});
    QVERIFY(other.waitForFinished(10000));
    QCOMPARE(other.exitCode(), 0);

    const auto labels = [&w] {
        QStringList result;
        for (int i = 1; i <= w.count(); ++i)
            result.append(w.itemLabel(i));
        return result;
    };
    QTRY_COMPARE_WITH_TIMEOUT(labels(), expected, 1000);
    // Without listing again: the selection stays where it was.
    QCOMPARE(listings.count(), 0);
    QCOMPARE(w.selectedPaths(),
             selected.isEmpty() ? QStringList() : QStringList{dir.filePath(selected)});
    for (int i = 1; i <= w.count(); ++i) {
        if (expected.at(i - 1) == "sub" || expected.at(i - 1) == "album")
            continue;
        QCOMPARE(w.itemPath(i), dir.filePath(expected.at(i - 1)));
        QTRY_VERIFY(!w.picture(w.itemPictureKey(i)).isNull());
    }
    QCOMPARE(prompts.count("message"), 0);
}

void TestExplorerScale::changedFileGetsANewThumbnail_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("saved through a temporary file") << "mv square.tmp 002.png";
    QTest::newRow("written in place") << "cat square.tmp > 002.png";
}

void TestExplorerScale::changedFileGetsANewThumbnail()
{
    QFETCH(QString, command);
    QTemporaryDir dir, cache;
    writeNumbered(dir.path(), 3);
    explorer::ThumbnailExplorer w;
    w.setThumbnailCache(cache.path() + "/thumbnails");
    showListing(w, dir.path());
    QVERIFY(!QTest::currentTestFailed());
    const QString path = dir.filePath("002.png");
    QCOMPARE(w.picture(path).size(), QSize(140, 93));
    fixtures::picture(50, 50).save(dir.filePath("square.tmp"), "PNG");
    QProcess other;
    other.setWorkingDirectory(dir.path());
    other.start("sh", {"-c", command});
    QVERIFY(other.waitForFinished(10000));
    QTRY_COMPARE_WITH_TIMEOUT(w.picture(path).size(), QSize(140, 140), 2000);
    QCOMPARE(w.count(), 3);
    QCOMPARE(w.itemPath(2), path);
}

void TestExplorerScale::changesShowUpWhileListing_data()
{
    // A shell command run while the listing is still making thumbnails, the
    // file it takes away and the one it brings. A file that arrives off
    // screen shows as a placeholder at once and gets its thumbnail and name
    // when its turn comes, as every item off screen does.
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("gone");
    QTest::addColumn<QString>("appeared");
    QTest::addColumn<bool>("onScreen");
    QTest::newRow("added") << "cp 001.png 000.png" << QString() << "000.png" << true;
    QTest::newRow("removed before its thumbnail") << "rm 050.png"
                                                  << "050.png" << QString() << false;
    QTest::newRow("renamed before its thumbnail") << "mv 050.png 099.png"
                                                  << "050.png"
                                                  << "099.png" << false;
    QTest::newRow("removed with its thumbnail") << "rm 001.png"
                                                << "001.png" << QString() << true;
}

// A folder whose thumbnails take seconds to make shows other programs'
// changes within a second, not when the listing ends.
void TestExplorerScale::changesShowUpWhileListing()
{
    QFETCH(QString, command);
    QFETCH(QString, gone);
    QFETCH(QString, appeared);
    QFETCH(bool, onScreen);
    testsupport::ScriptedPrompts prompts;
    QTemporaryDir dir, cache;
    const QString d = dir.path();
    writeNumbered(d, 60);
    explorer::ThumbnailExplorer w;
    w.setExtensions(kHostList);
    w.setThumbnailCache(cache.path() + "/thumbnails");
    w.resize(1000, 220);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.setPictureMaker([](const QString &path) {
        QThread::msleep(80);
        return explorer::makePicture(path);
    });
    const int expectedCount = 60 + (appeared.isEmpty() ? 0 : 1) - (gone.isEmpty() ? 0 : 1);
    const auto shown = [&](bool named) {
        bool goneSeen = false, appearedSeen = appeared.isEmpty() || !named;
        for (int i = 1; i <= w.count(); ++i) {
            goneSeen = goneSeen || w.itemPath(i) == d + '/' + gone;
            appearedSeen = appearedSeen || w.itemPath(i) == d + '/' + appeared;
        }
        return w.count() == expectedCount && !goneSeen && appearedSeen;
    };
    bool finished = false;
    bool changed = false;
    qint64 shownAfterMs = -1;
    QElapsedTimer clock;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &w, [&] {
        if (!changed && w.itemPath(1) == d + "/001.png") {
            changed = true;
            QProcess::execute("sh", {"-c", "cd '" + d + "' && " + command});
            clock.start();
        } else if (changed && shownAfterMs < 0 && shown(onScreen)) {
            shownAfterMs = clock.elapsed();
        }
    });
    QObject::connect(&w, &explorer::ThumbnailExplorer::listingFinished, &w, [&] {
        finished = true;
        if (changed && shownAfterMs < 0 && shown(onScreen))
            shownAfterMs = -2; // only once the listing had ended
    });
    poll.start();
    w.explorePath(d);
    QVERIFY(finished);
    QVERIFY2(changed, "the listing ended before the change was made");
    QVERIFY2(shownAfterMs >= 0, qPrintable(QString::number(shownAfterMs)));
    QVERIFY2(shownAfterMs < 1000, qPrintable(QString::number(shownAfterMs)));
    // Every item ends filled, under its present name, with no message.
    QTRY_VERIFY(shown(true));
    for (int i = 1; i <= w.count(); ++i)
        QVERIFY2(!w.itemPath(i).isEmpty() && QFileInfo::exists(w.itemPath(i)),
                 qPrintable(QString::number(i)));
    QCOMPARE(prompts.count("message"), 0);
}

PICTAVO_TEST_MAIN(TestExplorerScale)
#include "tst_explorerscale.moc"
