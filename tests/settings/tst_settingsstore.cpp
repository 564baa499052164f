// SPDX-License-Identifier: GPL-3.0-or-later
// The settings store as the program uses it through SettingsStore: defaults,
// section and value naming, deletion and enumeration, and the store's
// robustness: damaged files, writers killed mid-write, two writers at once
// and read-only roots.

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

#include "settings/Registry.h"
#include "settings/SettingsStore.h"
#include "support/TestSupport.h"

using settings::Registry;

namespace {
const QString kSection = QString::fromUtf16(settings::kPreferencesSection);
const QString kWriterSection = QStringLiteral("SOFTWARE\\Test\\Writer\\");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(data), data.size());
}
} // namespace

class tst_SettingsStore : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    settings::SettingsStore reg;

    QString storeFile() const { return Registry::fileOf(settings::Root::LocalMachine); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        Registry::setFolder(m_dir->path() + "/registry");
    }

    void cleanup()
    {
        Registry::setWritableCheck({});
        Registry::setFolder({});
        QFile::setPermissions(m_dir->path() + "/registry",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_dir.reset();
    }

    void defaultsOnEmptyStore_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fallback");
        QTest::newRow("AntiAlias") << kSection << "AntiAlias"
                                   << "1";
        QTest::newRow("Slide Show Delay") << kSection << "Slide Show Delay"
                                          << "2000";
        QTest::newRow("FullScreen") << kSection << "FullScreen"
                                    << "1";
        QTest::newRow("unnamed value") << kSection << "*"
                                       << "1";
        QTest::newRow("no section at all") << ""
                                           << "AntiAlias"
                                           << "1";
    }

    void defaultsOnEmptyStore()
    {
        QFETCH(QString, section);
        QFETCH(QString, name);
        QFETCH(QString, fallback);
        QCOMPARE(reg.value(settings::Root::LocalMachine, section, name, fallback), fallback);
        // Reading creates nothing.
        QVERIFY(!QFile::exists(storeFile()));
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("true flag") << "-1"
                                   << "-1";
        QTest::newRow("false flag") << "0"
                                    << "0";
        QTest::newRow("number") << "3500"
                                << "3500";
        QTest::newRow("blanks kept") << "  a b  "
                                     << "  a b  ";
        QTest::newRow("quotes, backslashes, newline") << "C:\\x \"y\"\n'z'"
                                                      << "C:\\x \"y\"\n'z'";
        QTest::newRow("non-ASCII")
            << QString::fromUtf8("Grüße ✓ 画像") << QString::fromUtf8("Grüße ✓ 画像");
        QTest::newRow("long") << QString(20000, 'x') << QString(20000, 'x');
        QTest::newRow("empty reads as default") << ""
                                                << "default";
    }

    void roundTrip()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QVERIFY(reg.setValue(settings::Root::LocalMachine, kSection, "Value", text));
        QCOMPARE(reg.value(settings::Root::LocalMachine, kSection, "Value", "default"), expected);
    }

    void sectionNaming_data()
    {
        QTest::addColumn<QString>("saveAs");
        QTest::addColumn<QString>("readAs");
        const QString plain = "SOFTWARE\\Quenbrook\\Pictavo Settings";
        const QStringList forms{plain, '\\' + plain, plain + '\\', '\\' + plain + '\\'};
        for (const QString &a : forms)
            for (const QString &b : forms)
                if (a != b)
                    QTest::addRow("%s | %s", qPrintable(a), qPrintable(b)) << a << b;
        QTest::newRow("names ignore case") << plain << "software\\QUENBROOK\\pictavo settings\\";
    }

    void sectionNaming()
    {
        QFETCH(QString, saveAs);
        QFETCH(QString, readAs);
        QVERIFY(reg.setValue(settings::Root::LocalMachine, saveAs, "AntiAlias", "0"));
        QCOMPARE(reg.value(settings::Root::LocalMachine, readAs, "ANTIALIAS", "1"),
                 QStringLiteral("0"));
        QVERIFY(reg.setValue(settings::Root::LocalMachine, readAs, "antialias", "-1"));
        QCOMPARE(reg.value(settings::Root::LocalMachine, saveAs, "AntiAlias", "1"),
                 QStringLiteral("-1"));
        QCOMPARE(Registry::valueNames(settings::Root::LocalMachine,
                                      settings::SettingsStore::normalizeSection(saveAs)),
                 QStringList{"AntiAlias"}); // one value, under the name first written
        QVERIFY(reg.remove(settings::Root::LocalMachine, readAs, "AntiAlias"));
        QCOMPARE(reg.value(settings::Root::LocalMachine, saveAs, "AntiAlias", "1"),
                 QStringLiteral("1"));
    }

    void normalizeSection_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("normalized");
        QTest::newRow("trailing") << "A\\B\\"
                                  << "A\\B";
        QTest::newRow("leading") << "\\A\\B"
                                 << "A\\B";
        QTest::newRow("only one of each removed") << "\\\\A\\\\"
                                                  << "\\A\\";
        QTest::newRow("lone backslash") << "\\"
                                        << "";
        QTest::newRow("empty") << ""
                               << "";
    }

    void normalizeSection()
    {
        QFETCH(QString, section);
        QFETCH(QString, normalized);
        QCOMPARE(settings::SettingsStore::normalizeSection(section), normalized);
    }

    void unnamedValue()
    {
        QVERIFY(reg.setValue(settings::Root::LocalMachine, kSection, "*", "default text"));
        QVERIFY(reg.setValue(settings::Root::LocalMachine, kSection, "Other", "x"));
        QCOMPARE(reg.value(settings::Root::LocalMachine, kSection, "*", "-"),
                 QStringLiteral("default text"));
        const auto unnamed = Registry::value(
            settings::Root::LocalMachine, settings::SettingsStore::normalizeSection(kSection), "");
        QVERIFY(unnamed);
        QCOMPARE(unnamed->data, QStringLiteral("default text"));
        QVERIFY(reg.remove(settings::Root::LocalMachine, kSection, "*"));
        QCOMPARE(reg.value(settings::Root::LocalMachine, kSection, "*", "-"), QStringLiteral("-"));
        QCOMPARE(reg.value(settings::Root::LocalMachine, kSection, "Other", "-"),
                 QStringLiteral("x"));
    }

    void deleteValueResult_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("deleted");
        QTest::newRow("existing") << kSection << "FullScreen" << true;
        QTest::newRow("missing value") << kSection << "Nothing" << false;
        QTest::newRow("missing section") << "SOFTWARE\\None\\"
                                         << "FullScreen" << false;
    }

    void deleteValueResult()
    {
        QFETCH(QString, section);
        QFETCH(QString, name);
        QFETCH(bool, deleted);
        QVERIFY(reg.setValue(settings::Root::LocalMachine, kSection, "FullScreen", "0"));
        QCOMPARE(reg.remove(settings::Root::LocalMachine, section, name), deleted);
    }

    void deleteKeyOnlyWithoutSubKeys()
    {
        QVERIFY(reg.setValue(settings::Root::LocalMachine, "SOFTWARE\\Q\\Leaf", "v", "1"));
        QVERIFY(reg.setValue(settings::Root::LocalMachine, "SOFTWARE\\Q\\Leaf\\Child", "v", "1"));
        QVERIFY(!reg.remove(settings::Root::LocalMachine, "SOFTWARE\\Q\\Leaf", ""));
        QCOMPARE(reg.value(settings::Root::LocalMachine, "SOFTWARE\\Q\\Leaf", "v", "-"),
                 QStringLiteral("1"));
        QVERIFY(reg.remove(settings::Root::LocalMachine, "SOFTWARE\\Q\\Leaf\\Child", ""));
        QVERIFY(reg.remove(settings::Root::LocalMachine, "SOFTWARE\\Q\\Leaf", ""));
        QVERIFY(!Registry::keyExists(settings::Root::LocalMachine, "SOFTWARE\\Q\\Leaf"));
        QVERIFY(Registry::keyExists(settings::Root::LocalMachine, "SOFTWARE\\Q"));
        QVERIFY(!reg.remove(settings::Root::LocalMachine, "SOFTWARE\\Q\\Leaf", ""));
    }

    void getAllKeys_data()
    {
        QTest::addColumn<QStringList>("create");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("missing key") << QStringList{} << "SOFTWARE\\Q" << QStringList{};
        QTest::newRow("key without sub-keys")
            << QStringList{"SOFTWARE\\Q"} << "SOFTWARE\\Q" << QStringList{};
        QTest::newRow("sub-keys in creation order, case kept")
            << QStringList{"SOFTWARE\\Q\\beta", "SOFTWARE\\Q\\Alpha\\deeper", "SOFTWARE\\Q\\GAMMA"}
            << "software\\q" << QStringList{"beta", "Alpha", "GAMMA"};
    }

    void getAllKeys()
    {
        QFETCH(QStringList, create);
        QFETCH(QString, path);
        QFETCH(QStringList, keys);
        for (const QString &k : create)
            QVERIFY(Registry::createKey(settings::Root::LocalMachine, k));
        QCOMPARE(reg.allKeys(settings::Root::LocalMachine, path), keys);
    }

    void rootsAreSeparate()
    {
        QVERIFY(reg.setValue(settings::Root::CurrentUser, kSection, "AntiAlias", "0"));
        QCOMPARE(reg.value(settings::Root::LocalMachine, kSection, "AntiAlias", "1"),
                 QStringLiteral("1"));
        QCOMPARE(reg.value(settings::Root::CurrentUser, kSection, "AntiAlias", "1"),
                 QStringLiteral("0"));
    }

    void damagedStoreReadsEmptyAndHeals_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("keptAside"); // unreadable files are kept as ".damaged"
        QByteArray sound;
        {
            settings::SettingsStore r;
            QTemporaryDir dir;
            Registry::setFolder(dir.path());
            r.setValue(settings::Root::LocalMachine, kSection, "AntiAlias", "0");
            r.setValue(settings::Root::LocalMachine, kSection, "Slide Show Delay", "900");
            sound = readAll(Registry::fileOf(settings::Root::LocalMachine));
            Registry::setFolder({});
        }
        QVERIFY(sound.size() > 40);
        QTest::newRow("truncated") << sound.left(sound.size() / 2) << true;
        QTest::newRow("cut after one byte") << sound.left(1) << true;
        QTest::newRow("random bytes") << QByteArray("\x93\x00\xff{\"keys\":[\x01", 12) << true;
        QTest::newRow("JSON array") << QByteArray("[1, 2, 3]") << true;
        QTest::newRow("wrong types")
            << QByteArray(
                   R"({"values": 5, "keys": [{"name": 7}, 3, {"name": "SOFTWARE", "values": [[1, 2], ["a"]]}]})")
            << true;
        QTest::newRow("nested too deep") << QByteArray(100000, '[') << true;
        QTest::newRow("only blanks") << QByteArray("   \n") << false;
    }

    void damagedStoreReadsEmptyAndHeals()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, keptAside);
        QVERIFY(QDir().mkpath(Registry::folder()));
        writeFile(storeFile(), content);

        QCOMPARE(reg.value(settings::Root::LocalMachine, kSection, "AntiAlias", "1"),
                 QStringLiteral("1"));
        QCOMPARE(reg.allKeys(settings::Root::LocalMachine, "SOFTWARE"), QStringList{});

        QVERIFY(reg.setValue(settings::Root::LocalMachine, kSection, "FullScreen", "0"));
        QJsonParseError error;
        QVERIFY(QJsonDocument::fromJson(readAll(storeFile()), &error).isObject());
        QCOMPARE(reg.value(settings::Root::LocalMachine, kSection, "FullScreen", "1"),
                 QStringLiteral("0"));
        // What could not be read is kept aside, not thrown away.
        QCOMPARE(QFile::exists(storeFile() + ".damaged"), keptAside);
        if (keptAside)
            QCOMPARE(readAll(storeFile() + ".damaged"), content);
    }

    // A fresh home has none of the folders above the store yet.
    void saveCreatesMissingFolders()
    {
        Registry::setFolder(m_dir->path() + "/a/b/c/registry");
        QVERIFY(reg.setValue(settings::Root::LocalMachine, kWriterSection, "x", "1"));
        QCOMPARE(reg.value(settings::Root::LocalMachine, kWriterSection, "x", "-"),
                 QStringLiteral("1"));
    }

    void readOnlyRoot_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("readsValue");
        QTest::newRow("folder and file without write permission") << "chmod" << true;
        QTest::newRow("root refused by the writable check") << "check" << true;
        QTest::newRow("store folder is a plain file") << "file" << false;
    }

    void readOnlyRoot()
    {
        QFETCH(QString, how);
        QFETCH(bool, readsValue);
        const QString folder = Registry::folder();
        if (how == "file") {
            writeFile(folder, "not a folder");
        } else {
            QVERIFY(
                reg.setValue(settings::Root::LocalMachine, kSection, "Slide Show Delay", "900"));
            QVERIFY(reg.setValue(settings::Root::LocalMachine, kSection + "Sub", "x", "1"));
        }
        if (how == "chmod") {
            if (::geteuid() == 0)
                QSKIP("file permissions do not stop root; the writable-check row covers this");
            QVERIFY(QFile::setPermissions(storeFile(), QFile::ReadOwner));
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        } else if (how == "check") {
            Registry::setWritableCheck(
                [](settings::Root root) { return root != settings::Root::LocalMachine; });
        }
        const QByteArray before = readAll(storeFile());

        QCOMPARE(reg.value(settings::Root::LocalMachine, kSection, "Slide Show Delay", "2000"),
                 readsValue ? QStringLiteral("900") : QStringLiteral("2000"));
        QCOMPARE(reg.allKeys(settings::Root::LocalMachine, "SOFTWARE\\Quenbrook\\Pictavo Settings"),
                 readsValue ? QStringList{"Sub"} : QStringList{});
        QVERIFY(!reg.setValue(settings::Root::LocalMachine, kSection, "Slide Show Delay", "100"));
        QVERIFY(!reg.remove(settings::Root::LocalMachine, kSection, "Slide Show Delay"));
        QVERIFY(!reg.remove(settings::Root::LocalMachine, kSection + "Sub", ""));
        QCOMPARE(readAll(storeFile()), before);
        QCOMPARE(reg.value(settings::Root::LocalMachine, kSection, "Slide Show Delay", "2000"),
                 readsValue ? QStringLiteral("900") : QStringLiteral("2000"));
    }

    void writerKilledLeavesOldOrNewValues()
    {
        // A large value makes every write long enough to be caught mid-way.
        constexpr int kKeys = 5;
        const QString payload(100000, 'p');
        QVERIFY(reg.setValue(settings::Root::LocalMachine, kWriterSection, "payload", payload));
        for (int k = 0; k < kKeys; ++k)
            QVERIFY(reg.setValue(settings::Root::LocalMachine, kWriterSection,
                                 QString("k%1").arg(k), "g0"));

        QList<int> seen(kKeys, 0);
        const QRegularExpression generation("^g(\\d+)$");
        int writesSeen = 0;
        for (int round = 0; round < 15; ++round) {
            QProcess writer;
            writer.start(REGISTRY_WRITER,
                         {Registry::folder(), "generations", QString::number(kKeys)});
            QVERIFY(writer.waitForReadyRead(30000));
            QTest::qSleep(int(QRandomGenerator::global()->bounded(5, 400)));
            ::kill(pid_t(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished(30000));
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

            // Every value is there, whole, and never older than before.
            QCOMPARE(reg.value(settings::Root::LocalMachine, kWriterSection, "payload", "-").size(),
                     payload.size());
            for (int k = 0; k < kKeys; ++k) {
                const QString v = reg.value(settings::Root::LocalMachine, kWriterSection,
                                            QString("k%1").arg(k), "-");
                const auto match = generation.match(v);
                QVERIFY2(match.hasMatch(), qPrintable(v));
                // Each writer starts again at generation 1.
                const int g = match.captured(1).toInt();
                if (g > 0)
                    ++writesSeen;
                seen[k] = g;
            }
        }
        QVERIFY2(writesSeen > 0, "the writer never got to write before it was killed");
        // The store still takes writes after all those kills.
        QVERIFY(reg.setValue(settings::Root::LocalMachine, kWriterSection, "after", "yes"));
        QCOMPARE(reg.value(settings::Root::LocalMachine, kWriterSection, "after", "-"),
                 QStringLiteral("yes"));
    }

    // A batch writes each root once at its end; until then the file is
    // untouched but reads inside the batch see the new values.
    void batchWritesOnceAtTheEnd()
    {
        const QString section = QString::fromUtf16(settings::kPreferencesSection);
        QVERIFY(reg.setValue(settings::Root::LocalMachine, section, "kept", "old"));
        const QByteArray before = [&] {
            QFile f(storeFile());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        {
            Registry::Batch batch;
            for (int i = 0; i < 50; ++i)
                QVERIFY(reg.setValue(settings::Root::LocalMachine, section,
                                     "v" + QString::number(i), QString::number(i)));
            QVERIFY(reg.remove(settings::Root::LocalMachine, section, "kept"));
            QCOMPARE(reg.value(settings::Root::LocalMachine, section, "v49", "-"),
                     QStringLiteral("49"));
            QCOMPARE(reg.value(settings::Root::LocalMachine, section, "kept", "-"),
                     QStringLiteral("-"));
            QFile f(storeFile());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before);
        }
        QCOMPARE(reg.value(settings::Root::LocalMachine, section, "v0", "-"), QStringLiteral("0"));
        QCOMPARE(reg.value(settings::Root::LocalMachine, section, "kept", "-"),
                 QStringLiteral("-"));
        QCOMPARE(Registry::valueNames(settings::Root::LocalMachine,
                                      settings::SettingsStore::normalizeSection(section))
                     .size(),
                 50);
    }

    void twoWritersLoseNothing()
    {
        constexpr int kCount = 200;
        QProcess a, b;
        a.start(REGISTRY_WRITER, {Registry::folder(), "values", "a", QString::number(kCount)});
        b.start(REGISTRY_WRITER, {Registry::folder(), "values", "b", QString::number(kCount)});
        QVERIFY(a.waitForFinished(120000));
        QVERIFY(b.waitForFinished(120000));
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);
        const QStringList names =
            Registry::valueNames(settings::Root::LocalMachine,
                                 settings::SettingsStore::normalizeSection(kWriterSection));
        QCOMPARE(names.size(), 2 * kCount);
        for (const QString prefix : {"a", "b"})
            for (int i = 0; i < kCount; ++i) {
                const QString name = prefix + QString::number(i);
                QCOMPARE(reg.value(settings::Root::LocalMachine, kWriterSection, name, "-"), name);
            }
    }
};

PICTAVO_TEST_MAIN(tst_SettingsStore)
#include "tst_settingsstore.moc"
