// SPDX-License-Identifier: GPL-3.0-or-later
// Store files as a strange or hostile home may hold them: huge keys, fields
// of another version, keys nested without end, links, pipes and folders in
// place of the files. Each is read, kept or refused at once, never waited on.

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "settings/Registry.h"
#include "support/TestSupport.h"

using settings::Registry;
using settings::Root;

namespace {

const QString kKey = QStringLiteral("SOFTWARE\\Test");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// A store file holding a key "SOFTWARE\Test" with the given JSON for its
// object's other members, and a value "kept" = "yes" beside them.
QByteArray storeWith(const QByteArray &members)
{
    return "{\"keys\": [{\"name\": \"SOFTWARE\", \"keys\": [{\"name\": \"Test\", \"values\": "
           "[[\"kept\", \"yes\"]]" +
           (members.isEmpty() ? QByteArray() : ", " + members) + "}]}]}";
}

// Keys nested `depth` levels deep under SOFTWARE\Test.
QByteArray nested(int depth)
{
    QByteArray inner = "{\"name\": \"leaf\", \"values\": [[\"deep\", \"1\"]]}";
    for (int i = 0; i < depth; ++i)
        inner = "{\"name\": \"n" + QByteArray::number(i) + "\", \"keys\": [" + inner + "]}";
    return "\"keys\": [" + inner + "]";
}

} // namespace

class tst_StoreFiles : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;

    static QString store() { return Registry::fileOf(Root::CurrentUser); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        Registry::setFolder(m_dir->path() + "/registry");
        QVERIFY(QDir().mkpath(Registry::folder()));
    }

    void cleanup()
    {
        Registry::setFolder({});
        m_dir.reset();
    }

    // Tens of thousands of values in one key load in linear time (the
    // figure is measured by bench_assoc; this only guards against the
    // quadratic load coming back, which took seconds).
    void manyValuesInOneKey()
    {
        constexpr int kCount = 40000;
        QByteArray values;
        for (int i = 0; i < kCount; ++i)
            values += (i ? ",[\"v" : "[\"v") + QByteArray::number(i) + "\",\"" +
                      QByteArray::number(i) + "\"]";
        QVERIFY(writeAll(
            store(), storeWith("\"keys\": [{\"name\": \"Big\", \"values\": [" + values + "]}]")));
        QElapsedTimer timer;
        timer.start();
        const QStringList names = Registry::valueNames(Root::CurrentUser, kKey + "\\Big");
        const qint64 elapsed = timer.elapsed();
        QCOMPARE(names.size(), kCount);
        QCOMPARE(names.first(), QStringLiteral("v0"));
        QCOMPARE(names.last(), QStringLiteral("v39999"));
        QVERIFY2(elapsed < 3000, qPrintable(QString::number(elapsed)));
        // Case-blind look-up still finds one value among all of them.
        QCOMPARE(Registry::value(Root::CurrentUser, kKey + "\\BIG", "V20000")->data,
                 QStringLiteral("20000"));
        QVERIFY(Registry::deleteValue(Root::CurrentUser, kKey + "\\big", "v0"));
        QVERIFY(Registry::setValue(Root::CurrentUser, kKey + "\\Big", "V1", {"one", false}));
        const QStringList after = Registry::valueNames(Root::CurrentUser, kKey + "\\Big");
        QCOMPARE(after.size(), kCount - 1);
        QCOMPARE(after.first(), QStringLiteral("v1"));
        QCOMPARE(Registry::value(Root::CurrentUser, kKey + "\\Big", "v1")->data,
                 QStringLiteral("one"));
    }

    // Members another version wrote are written back untouched; entries
    // that cannot be read make the file go aside as ".damaged" before the
    // next write, so nothing is lost without a copy.
    void whatIsNotUnderstoodIsKept_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("keptAside");
        QTest::addColumn<bool>("readsKept"); // the readable part stays

        QTest::newRow("unknown members")
            << QByteArray(
                   "{\"format\": 2, \"keys\": [{\"name\": \"SOFTWARE\", \"owner\": {\"a\": [1]},"
                   " \"keys\": [{\"name\": \"Test\", \"values\": [[\"kept\", \"yes\"]]}]}]}")
            << false << true;
        QTest::newRow("nested 60 levels") << storeWith(nested(60)) << false << true;
        QTest::newRow("nested 70 levels") << storeWith(nested(70)) << true << true;
        QTest::newRow("value with four fields")
            << storeWith(
                   "\"keys\": [{\"name\": \"X\", \"values\": [[\"a\", \"b\", \"expand\", 4]]}]")
            << true << true;
        QTest::newRow("the same value twice")
            << storeWith(
                   "\"keys\": [{\"name\": \"X\", \"values\": [[\"a\", \"1\"], [\"A\", \"2\"]]}]")
            << true << true;
        QTest::newRow("key without a name")
            << storeWith("\"keys\": [{\"values\": [[\"a\", \"1\"]]}]") << true << true;
        QTest::newRow("values not a list")
            << storeWith("\"keys\": [{\"name\": \"X\", \"values\": {\"a\": \"1\"}}]") << true
            << true;
    }

    void whatIsNotUnderstoodIsKept()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, keptAside);
        QFETCH(bool, readsKept);
        QVERIFY(writeAll(store(), content));
        QCOMPARE(Registry::value(Root::CurrentUser, kKey, "kept").has_value(), readsKept);

        QVERIFY(Registry::setValue(Root::CurrentUser, kKey, "new", {"1", false}));
        QCOMPARE(QFileInfo::exists(store() + ".damaged"), keptAside);
        if (keptAside)
            QCOMPARE(readAll(store() + ".damaged"), content);
        QCOMPARE(Registry::value(Root::CurrentUser, kKey, "kept").has_value(), readsKept);
        QCOMPARE(Registry::value(Root::CurrentUser, kKey, "new")->data, QStringLiteral("1"));

        // What was understood comes back the same, unknown members included.
        const QJsonObject before = QJsonDocument::fromJson(content).object();
        const QJsonObject after = QJsonDocument::fromJson(readAll(store())).object();
        for (auto it = before.begin(); it != before.end(); ++it)
            if (it.key() != "keys")
                QCOMPARE(after.value(it.key()), it.value());
        if (QTest::currentDataTag() == QByteArray("unknown members")) {
            const QJsonObject software = after.value("keys").toArray().at(0).toObject();
            QCOMPARE(software.value("owner").toObject().value("a").toArray().at(0).toInt(), 1);
        }
        if (QTest::currentDataTag() == QByteArray("nested 60 levels")) {
            QString deep = kKey;
            for (int i = 59; i >= 0; --i)
                deep += "\\n" + QString::number(i);
            QCOMPARE(Registry::value(Root::CurrentUser, deep + "\\leaf", "deep")->data,
                     QStringLiteral("1"));
        }
    }

    // A huge store file is not read at all; it goes aside whole.
    void oversizeStoreGoesAside()
    {
        const QByteArray content =
            storeWith("\"keys\": [{\"name\": \"X\", \"values\": [[\"a\", \"" +
                      QByteArray(qsizetype(17) * 1024 * 1024, 'x') + "\"]]}]");
        QVERIFY(writeAll(store(), content));
        QVERIFY(!Registry::keyExists(Root::CurrentUser, kKey));
        QVERIFY(Registry::setValue(Root::CurrentUser, kKey, "new", {"1", false}));
        QCOMPARE(QFileInfo(store() + ".damaged").size(), content.size());
        QCOMPARE(Registry::value(Root::CurrentUser, kKey, "new")->data, QStringLiteral("1"));
        QVERIFY(QFileInfo(store()).size() < 1000);
    }

    // A store file that is a symbolic link is read, and replaced by a file
    // of its own on the next write: the link's target is never written.
    void linkedStoreIsReplacedNotFollowed()
    {
        const QString target = m_dir->path() + "/elsewhere.json";
        const QByteArray content = storeWith({});
        QVERIFY(writeAll(target, content));
        QVERIFY(QFile::link(target, store()));
        QCOMPARE(Registry::value(Root::CurrentUser, kKey, "kept")->data, QStringLiteral("yes"));

        QVERIFY(Registry::setValue(Root::CurrentUser, kKey, "new", {"1", false}));
        QCOMPARE(readAll(target), content);
        QVERIFY(!QFileInfo(store()).isSymLink());
        QCOMPARE(Registry::value(Root::CurrentUser, kKey, "kept")->data, QStringLiteral("yes"));
        QCOMPARE(Registry::value(Root::CurrentUser, kKey, "new")->data, QStringLiteral("1"));
    }

    // A writer killed while it held the store's lock leaves its process id
    // in it; the next writer that takes it over was killed too, in the
    // instant it held Qt's guard for removing the dead lock, leaving the
    // guard without an owner. Writes go on once the guard is as old as a
    // stale lock, instead of failing until it is 30 s old.
    void killedTakeOverDoesNotBlockWrites()
    {
        QProcess gone;
        gone.start("true", {});
        QVERIFY(gone.waitForStarted());
        const qint64 pid = gone.processId();
        QVERIFY(gone.waitForFinished());
        const QString lock = store() + ".lock";
        QVERIFY(writeAll(lock, QString("%1\nregistry_writer\n%2\n")
                                   .arg(pid)
                                   .arg(QSysInfo::machineHostName())
                                   .toUtf8()));
        QVERIFY(writeAll(lock + ".rmlock", QByteArray()));
        QFile guard(lock + ".rmlock");
        QVERIFY(guard.open(QIODevice::ReadWrite));
        QVERIFY(guard.setFileTime(QDateTime::currentDateTime().addSecs(-20),
                                  QFileDevice::FileModificationTime));
        guard.close();

        QElapsedTimer timer;
        timer.start();
        QVERIFY(Registry::setValue(Root::CurrentUser, kKey, "x", {"1", false}));
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(Registry::value(Root::CurrentUser, kKey, "x")->data, QStringLiteral("1"));
        QVERIFY(!QFileInfo::exists(lock));
        QVERIFY(!QFileInfo::exists(lock + ".rmlock"));
    }

    // Pipes and folders where the store or its lock should be: reads and
    // writes answer at once.
    void strangeFilesAreNotWaitedOn_data()
    {
        QTest::addColumn<QString>("where"); // "store" or "lock"
        QTest::addColumn<QString>("what");  // "fifo" or "folder"
        QTest::addColumn<bool>("writes");
        QTest::newRow("pipe as the store") << "store"
                                           << "fifo" << true;
        QTest::newRow("pipe as the lock") << "lock"
                                          << "fifo" << false;
        QTest::newRow("folder as the lock") << "lock"
                                            << "folder" << false;
        QTest::newRow("folder as the store") << "store"
                                             << "folder" << false;
    }

    void strangeFilesAreNotWaitedOn()
    {
        QFETCH(QString, where);
        QFETCH(QString, what);
        QFETCH(bool, writes);
        const QString path = where == "store" ? store() : store() + ".lock";
        if (what == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QVERIFY(QDir().mkpath(path));

        QElapsedTimer timer;
        timer.start();
        QVERIFY(!Registry::value(Root::CurrentUser, kKey, "x").has_value());
        QCOMPARE(Registry::setValue(Root::CurrentUser, kKey, "x", {"1", false}), writes);
        QCOMPARE(Registry::value(Root::CurrentUser, kKey, "x").has_value(), writes);
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));

        // A written store replaced the pipe, which is kept aside; no lock
        // is left behind either way.
        if (writes) {
            QVERIFY(QFileInfo(store()).isFile());
            QFileInfo aside(store() + ".damaged");
            QVERIFY(aside.exists() && !aside.isFile());
        }
        if (where == "store")
            QVERIFY(!QFileInfo::exists(store() + ".lock"));
    }
};

PICTAVO_TEST_MAIN(tst_StoreFiles)
#include "tst_storefiles.moc"
