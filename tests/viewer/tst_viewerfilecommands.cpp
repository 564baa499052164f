// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's file commands: Copy To, Move To, Rename and Delete on the shown
// image, and how the list, the title and the browser follow them.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "imaging/ImageView.h"
#include "settings/SettingsStore.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"
#include "viewer/BrowserLink.h"
#include "viewer/ViewerInstance.h"
#include "viewer/ViewerRules.h"
#include "viewer/ViewerWindow.h"

using core::FileOperation;
using testsupport::ScriptedPrompts;

Q_DECLARE_METATYPE(core::FileOperation)
Q_DECLARE_METATYPE(core::MsgResult)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

class RecordingLink : public viewer::BrowserLink
{
public:
    int shown = 0;
    QList<QPair<QString, QString>> refreshed;
    QList<FileOperation> asked;
    QString destination; // the destination dialog's answer
    void showBrowser() override { ++shown; }
    void selectPath(const QString &) override {}
    void refreshImages(const QString &oldPath, const QString &newPath) override
    {
        refreshed.append({oldPath, newPath});
    }
    QWidget *browserWindow() override { return nullptr; }
    void applySkin(QWidget *) override {}
    void applySkinElement(QWidget *, const QString &) override {}
    QString chooseDestination(FileOperation operation, const QString &) override
    {
        asked << operation;
        return destination;
    }
};

} // namespace

class TestViewerFileCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void copyToChangesNothingShown_data();
    void copyToChangesNothingShown();
    void moveToTakesTheEntryOut();
    void rename_data();
    void rename();
    void renameFromTheCommandLineTellsNoBrowser();
    void deleteShowsTheNextImage_data();
    void deleteShowsTheNextImage();
    void deletingTheOnlyEntryLeavesAnEmptyView_data();
    void deletingTheOnlyEntryLeavesAnEmptyView();
    void deleteKeyInFullScreen();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    RecordingLink m_link;
    QPointer<viewer::ViewerWindow> m_v;

    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList images(int n)
    {
        QStringList list;
        for (int i = 0; i < n; ++i) {
            list << path(QStringLiteral("p%1.png").arg(i));
            QImage img(40 + i, 30, QImage::Format_RGB32);
            img.fill(Qt::darkCyan);
            if (!img.save(list.last()))
                qFatal("cannot write fixture");
        }
        return list;
    }
    viewer::ViewerWindow *make(const QStringList &list, int index, bool fullScreen = false)
    {
        settings::SettingsStore().setValue(
            settings::Root::LocalMachine, QString::fromUtf16(settings::kPreferencesSection),
            QStringLiteral("FullScreen"), fullScreen ? QStringLiteral("-1") : QStringLiteral("0"));
        m_v = new viewer::ViewerWindow(&m_link);
        m_v->setPrefetchEnabled(false);
        m_v->viewImage(list, index);
        return m_v;
    }
};

void TestViewerFileCommands::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_link = RecordingLink();
}

void TestViewerFileCommands::cleanup()
{
    delete m_v.data();
    viewer::unloadViewer();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_prompts.reset();
    m_dir.reset();
}

void TestViewerFileCommands::copyToChangesNothingShown_data()
{
    QTest::addColumn<QString>("answer"); // relative to the temporary folder
    QTest::addColumn<bool>("copied");
    QTest::newRow("folder with a trailing slash") << "usb/" << true;
    QTest::newRow("typed without one") << "usb" << true;
    QTest::newRow("cancelled") << "" << false;
}

void TestViewerFileCommands::copyToChangesNothingShown()
{
    QFETCH(QString, answer);
    QFETCH(bool, copied);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("usb")));
    const QStringList list = images(3);
    viewer::ViewerWindow *v = make(list, 1);
    const QString title = v->windowTitle();
    m_link.destination = answer.isEmpty() ? QString() : path(answer);

    v->findChild<QAction *>(QStringLiteral("mnuCopyTo"))->trigger();
    QCOMPARE(m_link.asked, QList<FileOperation>{FileOperation::CopyTo});
    QCOMPARE(QFileInfo::exists(path(QStringLiteral("usb/p1.png"))), copied);
    QCOMPARE(v->paths(), list);
    QCOMPARE(v->currentIndex(), 1);
    QCOMPARE(v->windowTitle(), title);
    QVERIFY(m_link.refreshed.isEmpty());
    QCOMPARE(m_prompts->count(QStringLiteral("message")), 0);
}

void TestViewerFileCommands::moveToTakesTheEntryOut()
{
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("usb")));
    const QStringList list = images(3);
    viewer::ViewerWindow *v = make(list, 1);
    m_link.destination = path(QStringLiteral("usb"));
    v->findChild<QAction *>(QStringLiteral("mnuMoveTo"))->trigger();
    QVERIFY(QFileInfo::exists(path(QStringLiteral("usb/p1.png"))));
    QCOMPARE(v->paths(), (QStringList{list.at(0), list.at(2)}));
    QCOMPARE(v->currentIndex(), 1);
    QCOMPARE(v->windowTitle(), viewer::imageTitle(list.at(2)));
    QCOMPARE(m_link.refreshed, (QList<QPair<QString, QString>>{{list.at(1), QString()}}));
}

void TestViewerFileCommands::rename_data()
{
    QTest::addColumn<std::optional<QString>>("answer");
    QTest::addColumn<QString>("newName"); // empty: nothing renamed
    QTest::addColumn<QString>("message");
    QTest::newRow("new name") << std::optional<QString>(QStringLiteral("b.png"))
                              << QStringLiteral("b.png") << QString();
    QTest::newRow("letter case only") << std::optional<QString>(QStringLiteral("P1.PNG"))
                                      << QStringLiteral("P1.PNG") << QString();
    QTest::newRow("same name") << std::optional<QString>(QStringLiteral("p1.png")) << QString()
                               << QString();
    QTest::newRow("cancelled") << std::optional<QString>() << QString() << QString();
    QTest::newRow("empty") << std::optional<QString>(QString()) << QString() << QString();
    QTest::newRow("dot") << std::optional<QString>(QStringLiteral(".")) << QString() << QString();
    QTest::newRow("dot dot") << std::optional<QString>(QStringLiteral("..")) << QString()
                             << QString();
    QTest::newRow("a sub-folder's name")
        << std::optional<QString>(QStringLiteral("sub")) << QString() << QString();
    QTest::newRow("with a slash") << std::optional<QString>(QStringLiteral("sub/b.png"))
                                  << QString()
                                  << QStringLiteral("A file name cannot contain \"/\".");
    QTest::newRow("with a NUL") << std::optional<QString>(QStringLiteral("b") + QChar(0))
                                << QString()
                                << QStringLiteral("A file name cannot contain a NUL character.");
}

void TestViewerFileCommands::rename()
{
    QFETCH(std::optional<QString>, answer);
    QFETCH(QString, newName);
    QFETCH(QString, message);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("sub")));
    const QStringList list = images(3);
    viewer::ViewerWindow *v = make(list, 1);
    const QString title = v->windowTitle();
    m_prompts->inputAnswers << answer;

    v->findChild<QAction *>(QStringLiteral("mnuRename"))->trigger();
    QCOMPARE(m_prompts->texts(QStringLiteral("input")), QStringList{QStringLiteral("File Name:")});
    QCOMPARE(m_prompts->shown.first().caption, QStringLiteral("Rename File"));
    QCOMPARE(m_prompts->shown.first().fileRequest.fileName, QStringLiteral("p1.png"));
    QCOMPARE(m_prompts->texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(v->currentIndex(), 1);
    if (newName.isEmpty()) {
        QCOMPARE(v->paths(), list);
        QCOMPARE(v->windowTitle(), title);
        QVERIFY(m_link.refreshed.isEmpty());
        QVERIFY(QFileInfo::exists(list.at(1)));
        return;
    }
    const QString renamed = path(newName);
    QVERIFY(QFileInfo::exists(renamed));
    QVERIFY(!QDir(m_dir->path()).entryList().contains(QStringLiteral("p1.png")));
    QCOMPARE(v->paths(), (QStringList{list.at(0), renamed, list.at(2)}));
    QCOMPARE(v->windowTitle(), viewer::imageTitle(renamed));
    QCOMPARE(m_link.refreshed, (QList<QPair<QString, QString>>{{list.at(1), renamed}}));
}

void TestViewerFileCommands::renameFromTheCommandLineTellsNoBrowser()
{
    const QStringList list = images(2);
    viewer::ViewerWindow *v = make(list, 0);
    v->setOpenedFromCommandLine(true);
    m_prompts->inputAnswers << std::optional<QString>(QStringLiteral("new.png"));
    v->runFileOperation(FileOperation::Rename);
    QCOMPARE(v->paths().first(), path(QStringLiteral("new.png")));
    QVERIFY(m_link.refreshed.isEmpty());
}

void TestViewerFileCommands::deleteShowsTheNextImage_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<core::MsgResult>("answer");
    QTest::addColumn<int>("shownAfter"); // position in the old list
    QTest::newRow("entry 3 of 5") << 2 << core::MsgResult::Yes << 3;
    QTest::newRow("the last of 5 wraps to the first") << 4 << core::MsgResult::Yes << 0;
    QTest::newRow("declined") << 2 << core::MsgResult::No << 2;
}

void TestViewerFileCommands::deleteShowsTheNextImage()
{
    QFETCH(int, index);
    QFETCH(core::MsgResult, answer);
    QFETCH(int, shownAfter);
    const QStringList list = images(5);
    viewer::ViewerWindow *v = make(list, index);
    m_prompts->messageAnswers << answer;

    v->findChild<QAction *>(QStringLiteral("mnuDelete"))->trigger();
    QCOMPARE(m_prompts->texts(),
             QStringList{QStringLiteral("Do you want to move p%1.png to the trash?").arg(index)});
    const bool deleted = answer == core::MsgResult::Yes;
    QCOMPARE(QFileInfo::exists(list.at(index)), !deleted);
    QStringList expected = list;
    if (deleted)
        expected.removeAt(index);
    QCOMPARE(v->paths(), expected);
    QCOMPARE(v->paths().at(v->currentIndex()), list.at(shownAfter));
    QCOMPARE(v->windowTitle(), viewer::imageTitle(list.at(shownAfter)));
    QCOMPARE(m_link.refreshed.size(), deleted ? 1 : 0);
}

void TestViewerFileCommands::deletingTheOnlyEntryLeavesAnEmptyView_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::newRow("delete") << FileOperation::Delete;
    QTest::newRow("move") << FileOperation::MoveTo;
}

void TestViewerFileCommands::deletingTheOnlyEntryLeavesAnEmptyView()
{
    QFETCH(FileOperation, op);
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("usb")));
    m_link.destination = path(QStringLiteral("usb"));
    const QStringList list = images(1);
    viewer::ViewerWindow *v = make(list, 0);
    v->show();
    v->runFileOperation(op);
    QVERIFY(v->paths().isEmpty());
    QCOMPARE(v->currentIndex(), 0);
    QCOMPARE(v->findChild<imaging::ImageView *>()->engine().pageCount(), 0);
    QVERIFY(!v->isVisible());
    QCOMPARE(m_link.shown, 1);
    // Nothing left to act on: the commands do nothing, and nothing breaks.
    v->runFileOperation(FileOperation::Delete);
    v->runFileOperation(FileOperation::Rename);
    v->nextImage();
    QVERIFY(v->paths().isEmpty());
    QCOMPARE(m_prompts->texts().size(), op == FileOperation::Delete ? 1 : 0);
}

void TestViewerFileCommands::deleteKeyInFullScreen()
{
    const QStringList list = images(2);
    viewer::ViewerWindow *v = make(list, 0, true);
    QVERIFY(v->isFullScreenMode());
    QTest::keyClick(v->findChild<imaging::ImageView *>(), Qt::Key_Delete);
    QCOMPARE(m_prompts->texts(),
             QStringList{QStringLiteral("Do you want to move p0.png to the trash?")});
    QVERIFY(!QFileInfo::exists(list.at(0)));
    QCOMPARE(v->paths(), QStringList{list.at(1)});
}

PICTAVO_TEST_MAIN(TestViewerFileCommands)
#include "tst_viewerfilecommands.moc"
