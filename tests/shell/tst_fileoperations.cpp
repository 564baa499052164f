// SPDX-License-Identifier: GPL-3.0-or-later
// The file-operation service: copy, move, rename and delete, and the
// questions they ask. The faults that must lose nothing are tested in
// tst_fileoperations_safety.cpp.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "FileOperationsFixture.h"
#include "shell/FileOperations.h"
#include "support/TestSupport.h"

using core::FileOperation;
using shell::FileOperations;
using testsupport::ReplaceAnswer;
using namespace fileopstest;

Q_DECLARE_METATYPE(ReplaceAnswer)
Q_DECLARE_METATYPE(core::MsgResult)
Q_DECLARE_METATYPE(shell::NewNameCheck)

class TestFileOperations : public FileOperationsFixture
{
    Q_OBJECT

private slots:
    void copyKeepsContentAndTimes_data();
    void copyKeepsContentAndTimes();
    void severalSourcesGoIntoTheTargetsFolder_data();
    void severalSourcesGoIntoTheTargetsFolder();
    void nameClash_data();
    void nameClash();
    void nameClashApplyToAll_data();
    void nameClashApplyToAll();
    void sameSourceAndTargetRefused_data();
    void sameSourceAndTargetRefused();
    void missingDestinationFolder();

    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void deleteFailureSaysSo();

    void renameRules_data();
    void renameRules();
    void renameClash_data();
    void renameClash();

    void newNameCheck_data();
    void newNameCheck();
    void errorsInTheUsersTerms_data();
    void errorsInTheUsersTerms();
};

void TestFileOperations::copyKeepsContentAndTimes_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::addColumn<qint64>("size");
    QTest::newRow("copy empty file") << FileOperation::CopyTo << qint64(0);
    QTest::newRow("copy small") << FileOperation::CopyTo << qint64(1000);
    QTest::newRow("copy several chunks") << FileOperation::CopyTo << qint64(20 * 1024 * 1024 + 7);
    QTest::newRow("move small") << FileOperation::MoveTo << qint64(1000);
}

void TestFileOperations::copyKeepsContentAndTimes()
{
    QFETCH(FileOperation, op);
    QFETCH(qint64, size);
    const QByteArray data = patternBytes(size);
    writeFile(source("photo.jpg"), data);
    const QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                           QFile::WriteUser | QFile::ReadOther;
    QVERIFY(QFile::setPermissions(source("photo.jpg"), permissions));
    setModified(source("photo.jpg"), 1'000'000'000);

    QCOMPARE(run(op, {source("photo.jpg")}, dest("photo.jpg")), int(FileOperations::Done));
    QCOMPARE(readFile(dest("photo.jpg")), data);
    QCOMPARE(modifiedSeconds(dest("photo.jpg")), qint64(1'000'000'000));
    QCOMPARE(QFileInfo(dest("photo.jpg")).permissions(), permissions);
    QCOMPARE(namesIn(m_dest), QStringList{QStringLiteral("photo.jpg")});
    QCOMPARE(QFileInfo::exists(source("photo.jpg")), op == FileOperation::CopyTo);
    QCOMPARE(m_prompts->shown.size(), 0);
    QCOMPARE(m_progress.totalBytes, size);
    QCOMPARE(m_progress.lastBytes, size);
    QVERIFY(m_progress.ended);
}

void TestFileOperations::severalSourcesGoIntoTheTargetsFolder_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::newRow("copy") << FileOperation::CopyTo;
    QTest::newRow("move") << FileOperation::MoveTo;
}

void TestFileOperations::severalSourcesGoIntoTheTargetsFolder()
{
    QFETCH(FileOperation, op);
    writeFile(source("a.jpg"), "A");
    writeFile(source("b.png"), "BB");
    writeFile(source("c.gif"), "CCC");
    // The target names the current item's file; the others go beside it.
    QCOMPARE(run(op, {source("a.jpg"), source("b.png"), source("c.gif")}, dest("b.png")),
             int(FileOperations::Done));
    QCOMPARE(namesIn(m_dest), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.png"),
                                           QStringLiteral("c.gif")}));
    QCOMPARE(readFile(dest("c.gif")), QByteArray("CCC"));
    QCOMPARE(namesIn(m_src).isEmpty(), op == FileOperation::MoveTo);
    QCOMPARE(m_progress.totalFiles, 3);

    // A folder as the target of one source takes it under its own name.
    writeFile(source("d.bmp"), "D");
    QCOMPARE(run(op, {source("d.bmp")}, m_dest), int(FileOperations::Done));
    QCOMPARE(readFile(dest("d.bmp")), QByteArray("D"));
}

void TestFileOperations::nameClash_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::addColumn<ReplaceAnswer>("answer");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("targetAfter");
    QTest::addColumn<bool>("sourceAfter");
    for (FileOperation op : {FileOperation::CopyTo, FileOperation::MoveTo}) {
        const char *name = op == FileOperation::CopyTo ? "copy" : "move";
        const bool move = op == FileOperation::MoveTo;
        QTest::addRow("%s, replace", name)
            << op << ReplaceAnswer::Replace << int(FileOperations::Done) << QByteArray("new")
            << !move;
        QTest::addRow("%s, skip", name)
            << op << ReplaceAnswer::Skip << int(FileOperations::Done) << QByteArray("old") << true;
        QTest::addRow("%s, cancel", name)
            << op << ReplaceAnswer::Cancel << int(FileOperations::Cancelled) << QByteArray("old")
            << true;
    }
}

void TestFileOperations::nameClash()
{
    QFETCH(FileOperation, op);
    QFETCH(ReplaceAnswer, answer);
    QFETCH(int, result);
    QFETCH(QByteArray, targetAfter);
    QFETCH(bool, sourceAfter);
    writeFile(source("photo.jpg"), "new");
    writeFile(dest("photo.jpg"), "old");
    m_prompts->replaceAnswers << testsupport::ReplaceChoice{answer, false};

    QCOMPARE(run(op, {source("photo.jpg")}, dest("photo.jpg")), result);
    QCOMPARE(m_prompts->texts(QStringLiteral("replace")).size(), 1);
    QVERIFY(
        m_prompts->texts(QStringLiteral("replace")).first().contains(QLatin1String("photo.jpg")));
    QVERIFY(!m_prompts->lastReplaceOfferedApplyToAll); // one file: nothing to apply to
    QCOMPARE(readFile(dest("photo.jpg")), targetAfter);
    QCOMPARE(QFileInfo::exists(source("photo.jpg")), sourceAfter);
    QCOMPARE(namesIn(m_dest), QStringList{QStringLiteral("photo.jpg")});
    QCOMPARE(m_prompts->count(QStringLiteral("message")), 0);
}

void TestFileOperations::nameClashApplyToAll_data()
{
    QTest::addColumn<ReplaceAnswer>("answer");
    QTest::addColumn<bool>("applyToAll");
    QTest::addColumn<int>("questions");
    QTest::addColumn<QByteArray>("firstAfter");
    QTest::addColumn<QByteArray>("secondAfter");
    QTest::newRow("replace all") << ReplaceAnswer::Replace << true << 1 << QByteArray("new1")
                                 << QByteArray("new2");
    QTest::newRow("skip all") << ReplaceAnswer::Skip << true << 1 << QByteArray("old1")
                              << QByteArray("old2");
    // Without "apply to all" the second clash asks again; it is cancelled.
    QTest::newRow("replace one, then cancel")
        << ReplaceAnswer::Replace << false << 2 << QByteArray("new1") << QByteArray("old2");
}

void TestFileOperations::nameClashApplyToAll()
{
    QFETCH(ReplaceAnswer, answer);
    QFETCH(bool, applyToAll);
    QFETCH(int, questions);
    QFETCH(QByteArray, firstAfter);
    QFETCH(QByteArray, secondAfter);
    writeFile(source("1.jpg"), "new1");
    writeFile(source("2.jpg"), "new2");
    writeFile(source("3.jpg"), "new3");
    writeFile(dest("1.jpg"), "old1");
    writeFile(dest("2.jpg"), "old2");
    m_prompts->replaceAnswers << testsupport::ReplaceChoice{answer, applyToAll}
                              << testsupport::ReplaceChoice{ReplaceAnswer::Cancel, false};

    const int result = run(FileOperation::CopyTo,
                           {source("1.jpg"), source("2.jpg"), source("3.jpg")}, dest("1.jpg"));
    QCOMPARE(m_prompts->count(QStringLiteral("replace")), questions);
    QVERIFY(m_prompts->lastReplaceOfferedApplyToAll);
    QCOMPARE(readFile(dest("1.jpg")), firstAfter);
    QCOMPARE(readFile(dest("2.jpg")), secondAfter);
    // Cancel stops before the third file; otherwise it is copied.
    QCOMPARE(QFileInfo::exists(dest("3.jpg")), applyToAll);
    QCOMPARE(result, applyToAll ? int(FileOperations::Done) : int(FileOperations::Cancelled));
    QCOMPARE(namesIn(m_src).size(), 3);
}

void TestFileOperations::sameSourceAndTargetRefused_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::addColumn<bool>("hardLink");
    QTest::newRow("copy onto itself") << FileOperation::CopyTo << false;
    QTest::newRow("move onto itself") << FileOperation::MoveTo << false;
    QTest::newRow("copy onto a hard link of itself") << FileOperation::CopyTo << true;
}

void TestFileOperations::sameSourceAndTargetRefused()
{
    QFETCH(FileOperation, op);
    QFETCH(bool, hardLink);
    writeFile(source("photo.jpg"), "keep me");
    QString target = source("photo.jpg");
    if (hardLink) {
        target = dest("photo.jpg");
        QCOMPARE(::link(QFile::encodeName(source("photo.jpg")).constData(),
                        QFile::encodeName(target).constData()),
                 0);
    }
    QCOMPARE(run(op, {source("photo.jpg")}, target), int(FileOperations::Failed));
    QCOMPARE(m_prompts->texts(),
             QStringList{QStringLiteral("Cannot %1 photo.jpg to %2: the source and the "
                                        "destination are the same file")
                             .arg(op == FileOperation::CopyTo ? "copy" : "move",
                                  QFileInfo(target).path())});
    QCOMPARE(readFile(source("photo.jpg")), QByteArray("keep me"));
    QCOMPARE(namesIn(m_src), QStringList{QStringLiteral("photo.jpg")});
    QCOMPARE(m_prompts->count(QStringLiteral("replace")), 0);
}

void TestFileOperations::missingDestinationFolder()
{
    writeFile(source("photo.jpg"), "x");
    const QString nowhere = m_dir->path() + QStringLiteral("/gone/photo.jpg");
    QCOMPARE(run(FileOperation::CopyTo, {source("photo.jpg")}, nowhere),
             int(FileOperations::Failed));
    QCOMPARE(m_prompts->texts(),
             QStringList{QStringLiteral("Cannot copy photo.jpg to %1/gone: the folder does not "
                                        "exist")
                             .arg(m_dir->path())});
}

void TestFileOperations::deleteAsksFirst_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::addColumn<int>("files");
    QTest::addColumn<core::MsgResult>("answer");
    QTest::addColumn<QString>("question");
    QTest::newRow("one to the trash") << FileOperation::Delete << 1 << core::MsgResult::Yes
                                      << QStringLiteral("Do you want to move 0.jpg to the trash?");
    QTest::newRow("three to the trash")
        << FileOperation::Delete << 3 << core::MsgResult::Yes
        << QStringLiteral("Do you want to move these 3 items to the trash?");
    QTest::newRow("trash declined")
        << FileOperation::Delete << 2 << core::MsgResult::No
        << QStringLiteral("Do you want to move these 2 items to the trash?");
    QTest::newRow("one for good")
        << FileOperation::DeletePermanently << 1 << core::MsgResult::Yes
        << QStringLiteral("Do you want to delete 0.jpg for good?\n\nThis cannot be undone.");
    QTest::newRow("two for good, declined")
        << FileOperation::DeletePermanently << 2 << core::MsgResult::No
        << QStringLiteral(
               "Do you want to delete these 2 items for good?\n\nThis cannot be undone.");
}

void TestFileOperations::deleteAsksFirst()
{
    QFETCH(FileOperation, op);
    QFETCH(int, files);
    QFETCH(core::MsgResult, answer);
    QFETCH(QString, question);
    QStringList sources;
    for (int i = 0; i < files; ++i) {
        sources << source(QStringLiteral("%1.jpg").arg(i));
        writeFile(sources.last(), QByteArray::number(i));
    }
    m_prompts->messageAnswers << answer;
    const bool yes = answer == core::MsgResult::Yes;
    QCOMPARE(run(op, sources, {}),
             yes ? int(FileOperations::Done) : int(FileOperations::Cancelled));
    QCOMPARE(m_prompts->texts(), QStringList{question});
    QCOMPARE(m_prompts->shown.first().buttons, core::MsgButtons::YesNo);
    QCOMPARE(namesIn(m_src).size(), yes ? 0 : files);
    const QString trash =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files";
    const bool trashed = yes && op == FileOperation::Delete;
    QCOMPARE(QFileInfo::exists(trash + QStringLiteral("/0.jpg")), trashed);
    if (trashed)
        QCOMPARE(readFile(trash + QStringLiteral("/0.jpg")), QByteArray("0"));
    QDir(QFileInfo(trash).path()).removeRecursively(); // files and their notes
}

void TestFileOperations::deleteFailureSaysSo()
{
    writeFile(source("a.jpg"), "a");
    writeFile(source("b.jpg"), "b");
    m_fs.fault = [&](const QString &name, const QString &path) {
        return name == QLatin1String("moveToTrash") && path == source("b.jpg") ? EROFS : 0;
    };
    QCOMPARE(run(FileOperation::Delete, {source("a.jpg"), source("b.jpg")}, {}),
             int(FileOperations::Failed));
    QCOMPARE(m_prompts->texts().last(),
             QStringLiteral("Cannot move b.jpg to the trash: the disk is read-only"));
    QCOMPARE(namesIn(m_src), QStringList{QStringLiteral("b.jpg")});
}

void TestFileOperations::renameRules_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("namesAfter");
    QTest::addColumn<QString>("message");
    QTest::newRow("new name") << "a.jpg"
                              << "b.jpg" << int(FileOperations::Done) << QStringList{"b.jpg", "sub"}
                              << QString();
    QTest::newRow("letter case only")
        << "a.jpg"
        << "A.jpg" << int(FileOperations::Done) << QStringList{"A.jpg", "sub"} << QString();
    QTest::newRow("same name") << "a.jpg"
                               << "a.jpg" << int(FileOperations::Done)
                               << QStringList{"a.jpg", "sub"} << QString();
    QTest::newRow("onto a folder")
        << "a.jpg"
        << "sub" << int(FileOperations::Failed) << QStringList{"a.jpg", "sub"}
        << QStringLiteral("Cannot rename a.jpg to sub: a folder of that name is already there");
    QTest::newRow("vanished") << "gone.jpg"
                              << "b.jpg" << int(FileOperations::Failed)
                              << QStringList{"a.jpg", "sub"}
                              << QStringLiteral(
                                     "Cannot rename gone.jpg to b.jpg: the file no longer exists");
}

void TestFileOperations::renameRules()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(int, result);
    QFETCH(QStringList, namesAfter);
    QFETCH(QString, message);
    writeFile(source("a.jpg"), "a");
    QVERIFY(QDir().mkpath(source("sub")));
    QCOMPARE(run(FileOperation::Rename, {source(from)}, source(to)), result);
    QStringList names =
        QDir(m_src).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    QCOMPARE(names, namesAfter);
    QCOMPARE(m_prompts->texts(), message.isEmpty() ? QStringList() : QStringList{message});
}

void TestFileOperations::renameClash_data()
{
    QTest::addColumn<ReplaceAnswer>("answer");
    QTest::addColumn<int>("result");
    QTest::newRow("replace") << ReplaceAnswer::Replace << int(FileOperations::Done);
    QTest::newRow("skip") << ReplaceAnswer::Skip << int(FileOperations::Cancelled);
    QTest::newRow("cancel") << ReplaceAnswer::Cancel << int(FileOperations::Cancelled);
}

void TestFileOperations::renameClash()
{
    QFETCH(ReplaceAnswer, answer);
    QFETCH(int, result);
    writeFile(source("a.jpg"), "a");
    writeFile(source("b.jpg"), "b");
    m_prompts->replaceAnswers << testsupport::ReplaceChoice{answer, false};
    QCOMPARE(run(FileOperation::Rename, {source("a.jpg")}, source("b.jpg")), result);
    QCOMPARE(m_prompts->count(QStringLiteral("replace")), 1);
    const bool replaced = answer == ReplaceAnswer::Replace;
    QCOMPARE(readFile(source("b.jpg")), replaced ? QByteArray("a") : QByteArray("b"));
    QCOMPARE(QFileInfo::exists(source("a.jpg")), !replaced);
}

void TestFileOperations::newNameCheck_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<shell::NewNameCheck>("check");
    using shell::NewNameCheck;
    QTest::newRow("plain") << "b.jpg" << NewNameCheck::Accept;
    QTest::newRow("blanks and dots") << " my .photo. jpg " << NewNameCheck::Accept;
    QTest::newRow("backslash is a letter here") << "a\\b.jpg" << NewNameCheck::Accept;
    QTest::newRow("empty") << "" << NewNameCheck::EndSilently;
    QTest::newRow("dot") << "." << NewNameCheck::EndSilently;
    QTest::newRow("dot dot") << ".." << NewNameCheck::EndSilently;
    QTest::newRow("slash") << "sub/b.jpg" << NewNameCheck::RefuseSlash;
    QTest::newRow("leading slash") << "/etc/passwd" << NewNameCheck::RefuseSlash;
    QTest::newRow("NUL") << QString(QStringLiteral("b") + QChar(0) + QStringLiteral(".jpg"))
                         << NewNameCheck::RefuseNul;
}

void TestFileOperations::newNameCheck()
{
    QFETCH(QString, name);
    QFETCH(shell::NewNameCheck, check);
    QCOMPARE(shell::checkNewName(name), check);
    QCOMPARE(shell::refusedNameMessage(check).isEmpty(),
             check == shell::NewNameCheck::Accept || check == shell::NewNameCheck::EndSilently);
}

void TestFileOperations::errorsInTheUsersTerms_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");
    QTest::newRow("ENOSPC") << ENOSPC << "the disk is full";
    QTest::newRow("EROFS") << EROFS << "the disk is read-only";
    QTest::newRow("EACCES") << EACCES << "you do not have permission";
    QTest::newRow("ENOENT") << ENOENT << "the file no longer exists";
    QTest::newRow("unknown, from the system") << ENODEV << "no such device";
}

void TestFileOperations::errorsInTheUsersTerms()
{
    QFETCH(int, error);
    QFETCH(QString, text);
    QCOMPARE(shell::describeError(error), text);
}

PICTAVO_TEST_MAIN(TestFileOperations)
#include "tst_fileoperations.moc"
