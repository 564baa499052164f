// SPDX-License-Identifier: GPL-3.0-or-later
// The file-operation service: copy, move, rename and delete, the questions
// they ask, and the faults that must lose nothing.
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <utime.h>

#include "shell/FileOperations.h"
#include "shell/FileSystem.h"
#include "support/FaultyFileSystem.h"
#include "support/ScriptedPrompts.h"
#include "support/TestSupport.h"

using core::FileOperation;
using shell::FileOperations;
using testsupport::FaultyFileSystem;
using testsupport::RecordingProgress;
using testsupport::ReplaceAnswer;
using testsupport::ScriptedPrompts;

Q_DECLARE_METATYPE(core::FileOperation)
Q_DECLARE_METATYPE(ReplaceAnswer)
Q_DECLARE_METATYPE(core::MsgResult)
Q_DECLARE_METATYPE(shell::NewNameCheck)

namespace {

QByteArray randomBytes(qint64 size)
{
    QList<quint32> words((size + 3) / 4);
    QRandomGenerator::global()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
}

QByteArray patternBytes(qint64 size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        data[i] = char((i * 131 + i / 4096) & 0xff);
    return data;
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    QCOMPARE(f.write(data), data.size());
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return f.readAll();
}

// Names in folder, hidden ones included: a left-over temporary file shows.
QStringList namesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.sort();
    return names;
}

void setModified(const QString &path, qint64 seconds)
{
    struct utimbuf times = {};
    times.actime = time_t(seconds);
    times.modtime = time_t(seconds);
    QCOMPARE(::utime(QFile::encodeName(path).constData(), &times), 0);
}

qint64 modifiedSeconds(const QString &path)
{
    return QFileInfo(path).lastModified().toSecsSinceEpoch();
}

// A tmpfs of a few pages, mounted for one test: a disk that really fills up
// or is really read-only. Empty path when this machine does not allow it.
class SmallDisk
{
public:
    SmallDisk(const QString &options)
    {
        const QByteArray where = QFile::encodeName(m_dir.path());
        if (::mount("tmpfs", where.constData(), "tmpfs", 0, options.toLatin1().constData()) == 0)
            m_mounted = true;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    QString path() const { return m_mounted ? m_dir.path() : QString(); }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace

class TestFileOperations : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

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

    void injectedFaultsLoseNothing_data();
    void injectedFaultsLoseNothing();
    void sourceVanishesWhileTheQuestionWaits_data();
    void sourceVanishesWhileTheQuestionWaits();
    void realFullDisk_data();
    void realFullDisk();
    void realReadOnlyDisk();
    void moveAcrossFileSystems();
    void moveAcrossFileSystemsVerifiesTheCopy();
    void moveAcrossFileSystemsKeepsSourceWhenRemovalFails();
    void cancelHalfWay_data();
    void cancelHalfWay();
    void replacingSyncsNewNameDoesNot();

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

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    FaultyFileSystem m_fs;
    RecordingProgress m_progress;
    QString m_src;  // a folder with the sources
    QString m_dest; // a folder to copy and move to

    int run(FileOperation op, const QStringList &sources, const QString &target)
    {
        FileOperations service(&m_fs, &m_progress);
        return service.run(op, sources, target);
    }
    QString source(const QString &name) const { return m_src + QLatin1Char('/') + name; }
    QString dest(const QString &name) const { return m_dest + QLatin1Char('/') + name; }
};

void TestFileOperations::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_src = m_dir->path() + QStringLiteral("/pictures");
    m_dest = m_dir->path() + QStringLiteral("/usb");
    QVERIFY(QDir().mkpath(m_src));
    QVERIFY(QDir().mkpath(m_dest));
    m_prompts = std::make_unique<ScriptedPrompts>();
    m_fs.fault = {};
    m_fs.freeSpace = -1;
    m_fs.corruptCopies = false;
    m_fs.calls.clear();
    m_progress.stopAtBytes = -1;
    m_progress.totalBytes = 0;
    m_progress.totalFiles = 0;
    m_progress.lastBytes = 0;
    m_progress.ended = false;
}

void TestFileOperations::cleanup()
{
    m_prompts.reset();
    m_dir.reset();
}

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

// Each fault strikes one call of the copy; afterwards the source must be
// whole, a replaced file as it was and no temporary file left behind.
void TestFileOperations::injectedFaultsLoseNothing_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::addColumn<bool>("crossDevice"); // the move's rename says EXDEV
    QTest::addColumn<bool>("existingTarget");
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("error");
    QTest::addColumn<qint64>("freeSpace");
    QTest::addColumn<QString>("reason");

    const QString full = QStringLiteral("the disk is full");
    struct Op
    {
        const char *name;
        FileOperation op;
        bool crossDevice;
    };
    for (const Op &o : {Op{"copy", FileOperation::CopyTo, false},
                        Op{"cross-device move", FileOperation::MoveTo, true}}) {
        for (bool existing : {false, true}) {
            const char *over = existing ? "over a file" : "to a new name";
            QTest::addRow("%s %s: disk full half-way", o.name, over)
                << o.op << o.crossDevice << existing << QString() << 0 << qint64(300'000) << full;
            QTest::addRow("%s %s: disk full at once", o.name, over)
                << o.op << o.crossDevice << existing << QString() << 0 << qint64(0) << full;
            QTest::addRow("%s %s: read-only folder", o.name, over)
                << o.op << o.crossDevice << existing << QStringLiteral("createNew") << EROFS
                << qint64(-1) << QStringLiteral("the disk is read-only");
            QTest::addRow("%s %s: no permission", o.name, over)
                << o.op << o.crossDevice << existing << QStringLiteral("createNew") << EACCES
                << qint64(-1) << QStringLiteral("you do not have permission");
            QTest::addRow("%s %s: read error", o.name, over)
                << o.op << o.crossDevice << existing << QStringLiteral("copyChunk") << EIO
                << qint64(-1) << QStringLiteral("the disk reported an error");
            QTest::addRow("%s %s: final rename fails", o.name, over)
                << o.op << o.crossDevice << existing << QStringLiteral("rename:.part") << ENOSPC
                << qint64(-1) << full;
        }
        QTest::addRow("%s over a file: sync fails", o.name)
            << o.op << o.crossDevice << true << QStringLiteral("sync") << EIO << qint64(-1)
            << QStringLiteral("the disk reported an error");
    }
    QTest::addRow("cross-device move: sync fails")
        << FileOperation::MoveTo << true << false << QStringLiteral("sync") << EIO << qint64(-1)
        << QStringLiteral("the disk reported an error");
    QTest::addRow("move within the disk: rename refused")
        << FileOperation::MoveTo << false << false << QStringLiteral("rename") << EACCES
        << qint64(-1) << QStringLiteral("you do not have permission");
}

void TestFileOperations::injectedFaultsLoseNothing()
{
    QFETCH(FileOperation, op);
    QFETCH(bool, crossDevice);
    QFETCH(bool, existingTarget);
    QFETCH(QString, call);
    QFETCH(int, error);
    QFETCH(qint64, freeSpace);
    QFETCH(QString, reason);

    const QByteArray data = randomBytes(1'000'000);
    writeFile(source("photo.jpg"), data);
    if (existingTarget)
        writeFile(dest("photo.jpg"), "the old photo");
    m_prompts->replaceAnswers << testsupport::ReplaceChoice{ReplaceAnswer::Replace, false};
    m_fs.freeSpace = freeSpace;
    m_fs.fault = [&](const QString &name, const QString &path) {
        // The move's first try is a rename of the source itself.
        if (name == QLatin1String("rename") && path == source("photo.jpg") && crossDevice)
            return EXDEV;
        if (call == QLatin1String("rename:.part"))
            return name == QLatin1String("rename") && path.endsWith(QLatin1String(".part")) ? error
                                                                                            : 0;
        return name == call ? error : 0;
    };

    QCOMPARE(run(op, {source("photo.jpg")}, dest("photo.jpg")), int(FileOperations::Failed));
    const QString verb =
        op == FileOperation::CopyTo ? QStringLiteral("copy") : QStringLiteral("move");
    QCOMPARE(
        m_prompts->texts(),
        QStringList{QStringLiteral("Cannot %1 photo.jpg to %2: %3").arg(verb, m_dest, reason)});
    QCOMPARE(readFile(source("photo.jpg")), data);
    if (existingTarget) {
        QCOMPARE(readFile(dest("photo.jpg")), QByteArray("the old photo"));
        QCOMPARE(namesIn(m_dest), QStringList{QStringLiteral("photo.jpg")});
    } else {
        QCOMPARE(namesIn(m_dest), QStringList());
    }
    QCOMPARE(namesIn(m_src), QStringList{QStringLiteral("photo.jpg")});
}

void TestFileOperations::sourceVanishesWhileTheQuestionWaits_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::newRow("copy") << FileOperation::CopyTo;
    QTest::newRow("move") << FileOperation::MoveTo;
    QTest::newRow("rename") << FileOperation::Rename;
}

void TestFileOperations::sourceVanishesWhileTheQuestionWaits()
{
    QFETCH(FileOperation, op);
    writeFile(source("photo.jpg"), "going");
    const QString target = op == FileOperation::Rename ? source("other.jpg") : dest("photo.jpg");
    writeFile(target, "the old photo");
    m_prompts->replaceAnswers << testsupport::ReplaceChoice{ReplaceAnswer::Replace, false};
    m_prompts->onReplaceQuestion = [&] { QVERIFY(QFile::remove(source("photo.jpg"))); };

    QCOMPARE(run(op, {source("photo.jpg")}, target), int(FileOperations::Failed));
    QCOMPARE(m_prompts->texts().size(), 1);
    QVERIFY2(m_prompts->texts().first().endsWith(QLatin1String(": the file no longer exists")),
             qPrintable(m_prompts->texts().first()));
    QCOMPARE(readFile(target), QByteArray("the old photo"));
    QCOMPARE(namesIn(QFileInfo(target).path()), QStringList{QFileInfo(target).fileName()});
}

void TestFileOperations::realFullDisk_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::newRow("copy") << FileOperation::CopyTo;
    QTest::newRow("move across file systems") << FileOperation::MoveTo;
}

void TestFileOperations::realFullDisk()
{
    QFETCH(FileOperation, op);
    SmallDisk disk(QStringLiteral("size=256k"));
    if (disk.path().isEmpty())
        QSKIP("no tmpfs can be mounted here; the injected full disk covers this");
    const QByteArray data = randomBytes(1'000'000);
    writeFile(source("photo.jpg"), data);
    const QString target = disk.path() + QStringLiteral("/photo.jpg");
    QCOMPARE(run(op, {source("photo.jpg")}, target), int(FileOperations::Failed));
    QCOMPARE(m_prompts->texts(),
             QStringList{QStringLiteral("Cannot %1 photo.jpg to %2: the disk is full")
                             .arg(op == FileOperation::CopyTo ? "copy" : "move", disk.path())});
    QCOMPARE(readFile(source("photo.jpg")), data);
    QCOMPARE(namesIn(disk.path()), QStringList());
}

void TestFileOperations::realReadOnlyDisk()
{
    SmallDisk disk(QStringLiteral("size=256k,ro"));
    if (disk.path().isEmpty())
        QSKIP("no tmpfs can be mounted here; the injected read-only folder covers this");
    writeFile(source("photo.jpg"), "x");
    const QString target = disk.path() + QStringLiteral("/photo.jpg");
    QCOMPARE(run(FileOperation::MoveTo, {source("photo.jpg")}, target),
             int(FileOperations::Failed));
    QCOMPARE(
        m_prompts->texts(),
        QStringList{
            QStringLiteral("Cannot move photo.jpg to %1: the disk is read-only").arg(disk.path())});
    QCOMPARE(readFile(source("photo.jpg")), QByteArray("x"));
}

void TestFileOperations::moveAcrossFileSystems()
{
    QTemporaryDir shm(QStringLiteral("/dev/shm/pictavo-test-XXXXXX"));
    if (!shm.isValid())
        QSKIP("no /dev/shm here");
    shell::FileStatus a;
    shell::FileStatus b;
    QCOMPARE(m_fs.status(shm.path(), &a), 0);
    QCOMPARE(m_fs.status(m_dest, &b), 0);
    if (a.device == b.device)
        QSKIP("/dev/shm is on the same file system as the temporary folder");

    const QByteArray data = randomBytes(3'000'000);
    const QString from = shm.path() + QStringLiteral("/photo.jpg");
    writeFile(from, data);
    setModified(from, 1'234'567'890);
    QCOMPARE(run(FileOperation::MoveTo, {from}, dest("photo.jpg")), int(FileOperations::Done));
    QCOMPARE(readFile(dest("photo.jpg")), data);
    QCOMPARE(modifiedSeconds(dest("photo.jpg")), qint64(1'234'567'890));
    QVERIFY(!QFileInfo::exists(from));
    QCOMPARE(namesIn(m_dest), QStringList{QStringLiteral("photo.jpg")});
    // The copy was checked and made durable before the source went.
    QVERIFY(m_fs.calls.contains(QStringLiteral("sync")));
    QVERIFY(m_fs.calls.lastIndexOf(QStringLiteral("sync")) <
            m_fs.calls.lastIndexOf(QStringLiteral("remove")));
}

void TestFileOperations::moveAcrossFileSystemsVerifiesTheCopy()
{
    const QByteArray data = randomBytes(100'000);
    writeFile(source("photo.jpg"), data);
    m_fs.corruptCopies = true;
    m_fs.fault = [&](const QString &name, const QString &path) {
        return name == QLatin1String("rename") && path == source("photo.jpg") ? EXDEV : 0;
    };
    QCOMPARE(run(FileOperation::MoveTo, {source("photo.jpg")}, dest("photo.jpg")),
             int(FileOperations::Failed));
    QCOMPARE(m_prompts->texts(),
             QStringList{QStringLiteral("Cannot move photo.jpg to %1: the copy does not match "
                                        "the original")
                             .arg(m_dest)});
    QCOMPARE(readFile(source("photo.jpg")), data);
    QCOMPARE(namesIn(m_dest), QStringList());
}

void TestFileOperations::moveAcrossFileSystemsKeepsSourceWhenRemovalFails()
{
    writeFile(source("photo.jpg"), "both stay");
    m_fs.fault = [&](const QString &name, const QString &path) {
        if (path != source("photo.jpg"))
            return 0;
        if (name == QLatin1String("rename"))
            return EXDEV;
        return name == QLatin1String("remove") ? EACCES : 0;
    };
    QCOMPARE(run(FileOperation::MoveTo, {source("photo.jpg")}, dest("photo.jpg")),
             int(FileOperations::Failed));
    QCOMPARE(m_prompts->texts().size(), 1);
    QVERIFY(
        m_prompts->texts().first().contains(QLatin1String("the original could not be removed")));
    QCOMPARE(readFile(source("photo.jpg")), QByteArray("both stay"));
    QCOMPARE(readFile(dest("photo.jpg")), QByteArray("both stay"));
}

void TestFileOperations::cancelHalfWay_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::addColumn<bool>("existingTarget");
    QTest::newRow("copy") << FileOperation::CopyTo << false;
    QTest::newRow("copy over a file") << FileOperation::CopyTo << true;
    QTest::newRow("cross-device move") << FileOperation::MoveTo << false;
}

void TestFileOperations::cancelHalfWay()
{
    QFETCH(FileOperation, op);
    QFETCH(bool, existingTarget);
    const qint64 size = 40LL * 1024 * 1024;
    const QByteArray data = patternBytes(size);
    writeFile(source("big.tif"), data);
    if (existingTarget)
        writeFile(dest("big.tif"), "the old picture");
    m_prompts->replaceAnswers << testsupport::ReplaceChoice{ReplaceAnswer::Replace, false};
    m_fs.fault = [&](const QString &name, const QString &path) {
        return name == QLatin1String("rename") && path == source("big.tif") ? EXDEV : 0;
    };
    m_progress.stopAtBytes = size / 2;

    QCOMPARE(run(op, {source("big.tif")}, dest("big.tif")), int(FileOperations::Cancelled));
    QVERIFY(m_progress.lastBytes >= size / 2 && m_progress.lastBytes < size);
    QCOMPARE(m_prompts->count(QStringLiteral("message")), 0); // a cancel is no error
    QCOMPARE(readFile(source("big.tif")), data);
    QCOMPARE(namesIn(m_dest),
             existingTarget ? QStringList{QStringLiteral("big.tif")} : QStringList());
    if (existingTarget)
        QCOMPARE(readFile(dest("big.tif")), QByteArray("the old picture"));
    QVERIFY(m_progress.ended);
}

void TestFileOperations::replacingSyncsNewNameDoesNot()
{
    writeFile(source("photo.jpg"), "new");
    QCOMPARE(run(FileOperation::CopyTo, {source("photo.jpg")}, dest("photo.jpg")),
             int(FileOperations::Done));
    QVERIFY(!m_fs.calls.contains(QStringLiteral("sync")));

    m_fs.calls.clear();
    m_prompts->replaceAnswers << testsupport::ReplaceChoice{ReplaceAnswer::Replace, false};
    QCOMPARE(run(FileOperation::CopyTo, {source("photo.jpg")}, dest("photo.jpg")),
             int(FileOperations::Done));
    QVERIFY(m_fs.calls.contains(QStringLiteral("sync")));
    QVERIFY(m_fs.calls.contains(QStringLiteral("syncFolder")));
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
