// SPDX-License-Identifier: GPL-3.0-or-later
// The folder tree: its path property and the notifications raised by mouse,
// keyboard and the Desktop and Home buttons.

#include <QApplication>
#include <QDir>
#include <QFileSystemModel>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "dialogs/FolderTree.h"
#include "support/TestSupport.h"

using dialogs::FolderTree;

class tst_FolderTree : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        for (const char *sub : {"b/deep/deeper", "a", ".hidden", "c"})
            QVERIFY(QDir(m_dir.path()).mkpath(sub));
        QFile file(m_dir.filePath("file.png"));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    void path_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("read"); // relative to the temporary folder, or absolute
        QTest::newRow("folder") << "b"
                                << "b/";
        QTest::newRow("trailing slash") << "b/deep/"
                                        << "b/deep/";
        QTest::newRow("deep, parents expanded") << "b/deep/deeper"
                                                << "b/deep/deeper/";
        QTest::newRow("root") << "/"
                              << "/";
        QTest::newRow("missing folder keeps the selection") << "nope"
                                                            << "a/";
        QTest::newRow("a file keeps the selection") << "file.png"
                                                    << "a/";
    }
    void path()
    {
        QFETCH(QString, set);
        QFETCH(QString, read);
        FolderTree tree;
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QCOMPARE(tree.path(), QString());
        tree.setPath(m_dir.filePath("a"));
        QSignalSpy click(&tree, &FolderTree::clicked);
        QSignalSpy selected(&tree, &FolderTree::folderSelected);
        const auto abs = [&](const QString &p) {
            return p.startsWith('/') ? p : m_dir.filePath(p);
        };
        tree.setPath(abs(set));
        QCOMPARE(tree.path(), abs(read));
        QCOMPARE(tree.property("path").toString(), abs(read));
        // Set from code: no notification.
        QCOMPARE(click.count() + selected.count(), 0);
        for (QModelIndex p = tree.view()->currentIndex().parent(); p.isValid(); p = p.parent())
            QVERIFY(tree.view()->isExpanded(p));
    }

    void foldersOnlyHiddenLeftOutSorted()
    {
        FolderTree tree;
        QFileSystemModel *model = tree.model();
        const QModelIndex parent = model->index(m_dir.path());
        model->fetchMore(parent);
        const auto names = [&] {
            QStringList list;
            for (int row = 0; row < model->rowCount(parent); ++row)
                list << model->index(row, 0, parent).data().toString();
            return list;
        };
        QTRY_COMPARE(names(), QStringList({"a", "b", "c"}));
    }

    void notifications()
    {
        FolderTree tree;
        tree.resize(300, 400);
        tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&tree));
        QSignalSpy click(&tree, &FolderTree::clicked);
        QSignalSpy node(&tree, &FolderTree::nodeActivated);
        QSignalSpy selected(&tree, &FolderTree::folderSelected);
        QSignalSpy desktop(&tree, &FolderTree::desktopRootClicked);
        QTreeView *view = tree.view();

        // Mouse: one click notification, the folder becomes the path.
        tree.setPath(m_dir.filePath("b"));
        const QModelIndex b = view->currentIndex();
        QTRY_VERIFY(tree.model()->rowCount(b.parent()) == 3);
        const QModelIndex c = tree.model()->index(m_dir.filePath("c"));
        view->scrollTo(c);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(c).center());
        QCOMPARE(click.count(), 1);
        // The tree sorts rows a moment after they arrive.
        QTRY_COMPARE(view->indexAbove(view->currentIndex()),
                     tree.model()->index(m_dir.filePath("b")));
        QCOMPARE(selected.count(), 0);
        QCOMPARE(tree.path(), m_dir.filePath("c") + "/");

        // Keyboard: moving the selection raises folder-selection with the
        // new folder; Return raises the node notification.
        QTest::keyClick(view, Qt::Key_Up);
        QCOMPARE(selected.count(), 1);
        QCOMPARE(selected.at(0).at(0).toString(), m_dir.filePath("b") + "/");
        QCOMPARE(tree.path(), m_dir.filePath("b") + "/");
        QTest::keyClick(view, Qt::Key_Return);
        QCOMPARE(node.count(), 1);
        QCOMPARE(node.at(0).at(0).toString(), m_dir.filePath("b") + "/");

        // Expanding changes nothing that is reported.
        view->expand(view->currentIndex());
        QCOMPARE(click.count() + node.count() + selected.count(), 3);

        // Home is a click on the home folder.
        tree.homeButton()->click();
        QCOMPARE(click.count(), 2);
        QCOMPARE(tree.path(), QDir::homePath() + "/");

        tree.desktopButton()->click();
        QCOMPARE(desktop.count(), 1);
        QCOMPARE(selected.count(), 1);
    }
};

PICTAVO_TEST_MAIN(tst_FolderTree)
#include "tst_foldertree.moc"
