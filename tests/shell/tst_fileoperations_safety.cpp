// SPDX-License-Identifier: GPL-3.0-or-later
// The file-operation service under faults that must lose nothing: injected
// and real disk faults, moves across file systems, cancelling half-way, and
// the syncs that make a replaced file durable.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/mount.h>

#include "FileOperationsFixture.h"
#include "shell/FileOperations.h"
#include "shell/FileSystem.h"
#include "support/TestSupport.h"

using core::FileOperation;
using shell::FileOperations;
using testsupport::ReplaceAnswer;
using namespace fileopstest;

namespace {

QByteArray randomBytes(qint64 size)
{
    QList<quint32> words((size + 3) / 4);
    QRandomGenerator::global()->fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char *>(words.constData()), size);
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

class TestFileOperationsSafety : public FileOperationsFixture
{
    Q_OBJECT

private slots:
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
};

// Each fault strikes one call of the copy; afterwards the source must be
// whole, a replaced file as it was and no temporary file left behind.
void TestFileOperationsSafety::injectedFaultsLoseNothing_data()
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

void TestFileOperationsSafety::injectedFaultsLoseNothing()
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

void TestFileOperationsSafety::sourceVanishesWhileTheQuestionWaits_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::newRow("copy") << FileOperation::CopyTo;
    QTest::newRow("move") << FileOperation::MoveTo;
    QTest::newRow("rename") << FileOperation::Rename;
}

void TestFileOperationsSafety::sourceVanishesWhileTheQuestionWaits()
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

void TestFileOperationsSafety::realFullDisk_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::newRow("copy") << FileOperation::CopyTo;
    QTest::newRow("move across file systems") << FileOperation::MoveTo;
}

void TestFileOperationsSafety::realFullDisk()
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

void TestFileOperationsSafety::realReadOnlyDisk()
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

void TestFileOperationsSafety::moveAcrossFileSystems()
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

void TestFileOperationsSafety::moveAcrossFileSystemsVerifiesTheCopy()
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

void TestFileOperationsSafety::moveAcrossFileSystemsKeepsSourceWhenRemovalFails()
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

void TestFileOperationsSafety::cancelHalfWay_data()
{
    QTest::addColumn<FileOperation>("op");
    QTest::addColumn<bool>("existingTarget");
    QTest::newRow("copy") << FileOperation::CopyTo << false;
    QTest::newRow("copy over a file") << FileOperation::CopyTo << true;
    QTest::newRow("cross-device move") << FileOperation::MoveTo << false;
}

void TestFileOperationsSafety::cancelHalfWay()
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

void TestFileOperationsSafety::replacingSyncsNewNameDoesNot()
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

PICTAVO_TEST_MAIN(TestFileOperationsSafety)
#include "tst_fileoperations_safety.moc"
