// SPDX-License-Identifier: GPL-3.0-or-later
// The explorer's file commands and how its list keeps in step with the disk.
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QListView>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "core/Formats.h"
#include "explorer/ThumbnailExplorer.h"
#include "support/ImageFixtures.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

using core::FileOperation;
using testsupport::ScriptedPrompts;

Q_DECLARE_METATYPE(core::FileOperation)
Q_DECLARE_METATYPE(core::MsgResult)
Q_DECLARE_METATYPE(std::optional<QString>)

class TestExplorerFileCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void deleteSelectsTheItemBefore_data();
    void deleteSelectsTheItemBefore();
    void deleteKeyAndShiftDelete_data();
    void deleteKeyAndShiftDelete();
    void severalSelected_data();
    void severalSelected();
    void copyToTypedFolderLeavesTheList();
    void rename_data();
    void rename();
    void copyImage_data();
    void copyImage();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<explorer::ThumbnailExplorer> m_w;
    QString m_destination;
    QStringList m_chooserSources;

    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList listed() const
    {
        QStringList result;
        for (int i = 1; i <= m_w->count(); ++i)
            result << QFileInfo(m_w->itemPath(i)).fileName();
        return result;
    }
    // Lists a folder of five pictures, 1.png to 5.png.
    void listFive()
    {
        for (int i = 1; i <= 5; ++i)
            fixtures::writeImage(m_dir->path(), QStringLiteral("%1.png").arg(i), 40, 30);
        m_w->setExtensions(QString::fromUtf16(core::kSupportedExtensions));
        m_w->resize(900, 200);
        m_w->show();
        QSignalSpy done(m_w.get(), &explorer::ThumbnailExplorer::listingFinished);
        m_w->explorePath(m_dir->path());
        QCOMPARE(done.count(), 1);
    }
    void select(const QList<int> &positions, int current)
    {
        m_w->setAllSelected(false);
        for (int p : positions)
            if (p != current)
                m_w->selectItem(p, false);
        m_w->selectItem(current, false);
    }
};

void TestExplorerFileCommands::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_w = std::make_unique<explorer::ThumbnailExplorer>();
    m_destination.clear();
    m_chooserSources.clear();
    m_w->setDestinationChooser([this](FileOperation, const QString &source) {
        m_chooserSources << source;
        return m_destination;
    });
}

void TestExplorerFileCommands::cleanup()
{
    m_w.reset();
    m_prompts.reset();
    m_dir.reset();
}

void TestExplorerFileCommands::deleteSelectsTheItemBefore_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("announced"); // empty: nothing announced
    QTest::newRow("third") << 3 << "2.png";
    QTest::newRow("first") << 1 << "";
    QTest::newRow("last") << 5 << "4.png";
}

void TestExplorerFileCommands::deleteSelectsTheItemBefore()
{
    QFETCH(int, position);
    QFETCH(QString, announced);
    listFive();
    select({position}, position);
    QSignalSpy spy(m_w.get(), &explorer::ThumbnailExplorer::selectedImageChanged);

    m_w->runFileCommand(FileOperation::Delete);
    const QString name = QStringLiteral("%1.png").arg(position);
    QCOMPARE(m_prompts->texts(),
             QStringList{QStringLiteral("Do you want to move %1 to the trash?").arg(name)});
    QVERIFY(!QFileInfo::exists(path(name)));
    QCOMPARE(m_w->count(), 4);
    QVERIFY(!listed().contains(name));
    if (announced.isEmpty()) {
        QCOMPARE(spy.count(), 0);
        QVERIFY(m_w->selectedPositions().isEmpty());
    } else {
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.first().first().toString(), path(announced));
        QCOMPARE(m_w->selectedPositions(), QList<int>{position - 1});
    }
}

void TestExplorerFileCommands::deleteKeyAndShiftDelete_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<core::MsgResult>("answer");
    QTest::addColumn<QString>("question");
    QTest::addColumn<bool>("inTrash");
    QTest::newRow("Delete") << Qt::KeyboardModifiers() << core::MsgResult::Yes
                            << "Do you want to move 2.png to the trash?" << true;
    QTest::newRow("Shift+Delete") << Qt::KeyboardModifiers(Qt::ShiftModifier)
                                  << core::MsgResult::Yes
                                  << "Do you want to delete 2.png for good?\n\nThis cannot be "
                                     "undone."
                                  << false;
    QTest::newRow("declined") << Qt::KeyboardModifiers() << core::MsgResult::No
                              << "Do you want to move 2.png to the trash?" << false;
}

void TestExplorerFileCommands::deleteKeyAndShiftDelete()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(core::MsgResult, answer);
    QFETCH(QString, question);
    QFETCH(bool, inTrash);
    listFive();
    select({2}, 2);
    m_prompts->messageAnswers << answer;
    QTest::keyClick(m_w->listView(), Qt::Key_Delete, modifiers);
    QCOMPARE(m_prompts->texts(), QStringList{question});
    const bool gone = answer == core::MsgResult::Yes;
    QCOMPARE(QFileInfo::exists(path(QStringLiteral("2.png"))), !gone);
    QCOMPARE(m_w->count(), gone ? 4 : 5);
    const QString trash = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                          QStringLiteral("/Trash");
    QCOMPARE(QFileInfo::exists(trash + QStringLiteral("/files/2.png")), inTrash);
    QDir(trash).removeRecursively();
}

void TestExplorerFileCommands::severalSelected_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::addColumn<QStringList>("listedAfter");
    QTest::addColumn<QStringList>("inDestination");
    QTest::newRow("copy") << FileOperation::CopyTo
                          << QStringList{"1.png", "2.png", "3.png", "4.png", "5.png"}
                          << QStringList{"2.png", "4.png", "5.png"};
    QTest::newRow("move") << FileOperation::MoveTo << QStringList{"1.png", "3.png"}
                          << QStringList{"2.png", "4.png", "5.png"};
    QTest::newRow("delete") << FileOperation::Delete << QStringList{"1.png", "3.png"}
                            << QStringList();
}

void TestExplorerFileCommands::severalSelected()
{
    QFETCH(FileOperation, op);
    QFETCH(QStringList, listedAfter);
    QFETCH(QStringList, inDestination);
    QTemporaryDir usb;
    m_destination = usb.path(); // typed without a trailing "/"
    listFive();
    select({2, 4, 5}, 4);
    QCOMPARE(m_w->selectedPaths(), (QStringList{path("2.png"), path("4.png"), path("5.png")}));

    m_w->runFileCommand(op);
    if (op != FileOperation::Delete)
        QCOMPARE(m_chooserSources, QStringList{path("4.png")});
    QCOMPARE(QDir(usb.path()).entryList(QDir::Files | QDir::Hidden), inDestination);
    // The list shows what is on disk, all moved files gone at once.
    QCOMPARE(listed(), listedAfter);
    if (op == FileOperation::Delete)
        QCOMPARE(m_prompts->texts(),
                 QStringList{QStringLiteral("Do you want to move these 3 items to the trash?")});
}

void TestExplorerFileCommands::copyToTypedFolderLeavesTheList()
{
    listFive();
    select({3}, 3);
    m_w->runFileCommand(FileOperation::CopyTo); // cancelled: no destination
    QCOMPARE(m_chooserSources, QStringList{path("3.png")});
    QVERIFY(m_prompts->shown.isEmpty());

    m_destination = m_dir->path() + QStringLiteral("/nowhere/");
    m_w->runFileCommand(FileOperation::CopyTo);
    QCOMPARE(m_prompts->texts(),
             QStringList{QStringLiteral("Cannot copy 3.png to %1/nowhere: the folder does not "
                                        "exist")
                             .arg(m_dir->path())});
    QCOMPARE(m_w->count(), 5);
}

void TestExplorerFileCommands::rename_data()
{
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<QString>("newName"); // empty: unchanged
    QTest::newRow("new name") << std::optional<QString>(QStringLiteral("b.png")) << "b.png";
    QTest::newRow("letter case only") << std::optional<QString>(QStringLiteral("3.PNG")) << "3.PNG";
    QTest::newRow("unchanged") << std::optional<QString>(QStringLiteral("3.png")) << "";
    QTest::newRow("cancelled") << std::optional<QString>() << "";
    QTest::newRow("slash") << std::optional<QString>(QStringLiteral("x/b.png")) << "";
}

void TestExplorerFileCommands::rename()
{
    QFETCH(std::optional<QString>, answer);
    QFETCH(QString, newName);
    listFive();
    select({3}, 3);
    const QString key = m_w->itemPictureKey(3);
    m_prompts->inputAnswers << answer;
    m_w->runFileCommand(FileOperation::Rename);
    QCOMPARE(m_prompts->shown.first().text, QStringLiteral("File Name:"));
    QCOMPARE(m_prompts->shown.first().caption, QStringLiteral("Rename File"));
    QCOMPARE(m_prompts->shown.first().fileRequest.fileName, QStringLiteral("3.png"));
    const QString name = newName.isEmpty() ? QStringLiteral("3.png") : newName;
    QCOMPARE(m_w->itemPath(3), path(name));
    QCOMPARE(m_w->itemLabel(3), name);
    QCOMPARE(m_w->itemPictureKey(3), key); // the picture stays
    QVERIFY(QFileInfo::exists(path(name)));
    QCOMPARE(m_w->count(), 5);
}

void TestExplorerFileCommands::copyImage_data()
{
    QTest::addColumn<QString>("item"); // "" for a placeholder
    QTest::addColumn<QString>("message");
    QTest::newRow("picture") << "2.png"
                             << "";
    QTest::newRow("folder") << "sub"
                            << "Cannot copy sub to the clipboard: it is a folder";
    // Spoilt after it was listed.
    QTest::newRow("unreadable") << "2.png"
                                << "Cannot copy 2.png to the clipboard: it cannot be read as "
                                   "a picture";
}

void TestExplorerFileCommands::copyImage()
{
    QFETCH(QString, item);
    QFETCH(QString, message);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("sub")));
    listFive();
    if (!message.isEmpty() && item.endsWith(QLatin1String(".png"))) {
        QFile broken(path(item));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("\x89PNG not really");
    }
    QImage before(3, 3, QImage::Format_RGB32);
    before.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(before);

    const int position = m_w->findItemByPath(path(item));
    QVERIFY(position > 0);
    select({position}, position);
    m_w->copyImage();
    QCOMPARE(m_prompts->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    const QImage now = QGuiApplication::clipboard()->image();
    if (message.isEmpty())
        QCOMPARE(now.size(), QSize(40, 30));
    else
        QCOMPARE(now.size(), QSize(3, 3)); // the clipboard as it was
    QCOMPARE(m_w->count(), 6);
}

PICTAVO_TEST_MAIN(TestExplorerFileCommands)
#include "tst_explorerfilecommands.moc"
