// SPDX-License-Identifier: GPL-3.0-or-later
// pictavo-convert from the outside: its output line, exit status and
// one-line error messages.

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/MetafileBuilders.h"
#include "support/TestSupport.h"

extern char **environ;

class TestEngineConvert : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_program;

    struct Run
    {
        int status = -1;
        QString out;
        QString err;
    };

    Run run(const QStringList &args, bool withoutDisplay = false)
    {
        QProcess p;
        if (withoutDisplay) {
            // As from a script on a machine without a desktop.
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                env.remove(QLatin1String(name));
            p.setProcessEnvironment(env);
        }
        p.start(m_program, args);
        Run r;
        if (!p.waitForFinished(60000))
            return r;
        r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

    // Runs the program to its end and gives its peak memory in kilobytes (-1
    // when it failed). The sanitizers' quarantine of freed memory is turned
    // off so that the figure is what the program holds.
    qint64 peakKilobytesOf(const QStringList &args)
    {
        QList<QByteArray> arguments{QFile::encodeName(m_program)};
        for (const QString &a : args)
            arguments << QFile::encodeName(a);
        std::vector<char *> argv;
        for (QByteArray &a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        QList<QByteArray> variables;
        for (char **e = environ; *e; ++e)
            if (!QByteArray(*e).startsWith("ASAN_OPTIONS="))
                variables << QByteArray(*e);
        variables << "ASAN_OPTIONS=" + qgetenv("ASAN_OPTIONS") +
                         ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
        std::vector<char *> env;
        for (QByteArray &v : variables)
            env.push_back(v.data());
        env.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        pid_t pid = -1;
        const int spawned =
            posix_spawn(&pid, argv.front(), &quiet, nullptr, argv.data(), env.data());
        posix_spawn_file_actions_destroy(&quiet);
        if (spawned != 0)
            return -1;
        int status = 0;
        rusage usage = {};
        if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0)
            return -1;
        return usage.ru_maxrss;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_program =
            qEnvironmentVariable("PICTAVO_BINARY_DIR") + QStringLiteral("/bin/pictavo-convert");
        if (!QFile::exists(m_program))
            m_program = QCoreApplication::applicationDirPath() + QStringLiteral("/pictavo-convert");
        QVERIFY2(QFile::exists(m_program), qPrintable(m_program));
        QImage image(48, 20, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(m_dir.filePath("in.png")));
    }

    void infoPrintsOneLine()
    {
        const Run r = run({"info", m_dir.filePath("in.png")});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QStringLiteral("48 20 24 2 1\n"));
    }

    void convertWritesEachCode_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("ext");
        for (const auto &[code, ext] : QList<QPair<int, QString>>{{1, "jpg"},
                                                                  {3, "tif"},
                                                                  {4, "pcx"},
                                                                  {5, "tga"},
                                                                  {6, "bmp"},
                                                                  {9, "psd"},
                                                                  {10, "wbmp"}})
            QTest::addRow("%d %s", code, qPrintable(ext)) << code << ext;
    }
    void convertWritesEachCode()
    {
        QFETCH(int, code);
        QFETCH(QString, ext);
        const QString out = m_dir.filePath("out." + ext);
        const Run c = run({"convert", m_dir.filePath("in.png"), out, QString::number(code)});
        QCOMPARE(c.status, 0);
        QVERIFY(c.err.isEmpty());
        const Run i = run({"info", out});
        QCOMPARE(i.status, 0);
        const QStringList fields = i.out.trimmed().split(' ');
        QCOMPARE(fields.size(), 5);
        QCOMPARE(fields.at(0), QStringLiteral("48"));
        QCOMPARE(fields.at(1), QStringLiteral("20"));
        QCOMPARE(fields.at(3), QString::number(code));
        QCOMPARE(fields.at(4), QStringLiteral("1"));
    }

    // A few bytes of metafile make a large picture; saving it must not hold
    // it a second time (a converted copy, the whole encoded file in memory)
    // on top of the picture itself.
    void savingHoldsThePictureOnce_data()
    {
        QTest::addColumn<int>("code");
        // The formats Pictavo encodes itself; the Magick helper's share is
        // its own process.
        for (const auto &[code, ext] : QList<QPair<int, const char *>>{{1, "jpg"},
                                                                       {2, "png"},
                                                                       {3, "tif"},
                                                                       {6, "bmp"},
                                                                       {7, "wmf"},
                                                                       {8, "emf"},
                                                                       {10, "wbmp"}})
            QTest::newRow(ext) << code;
    }
    void savingHoldsThePictureOnce()
    {
        QFETCH(int, code);
        constexpr int kSide = 4000;
        constexpr qint64 kPictureKilobytes = qint64(kSide) * kSide * 4 / 1024;
        const QString in = m_dir.filePath("empty.emf");
        if (!QFile::exists(in)) {
            QFile file(in);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(metafiletest::Emf(kSide, kSide).bytes());
        }
        static qint64 decoding = 0;
        if (decoding == 0)
            decoding = peakKilobytesOf({"info", in});
        QVERIFY(decoding > kPictureKilobytes);
        const QString out = m_dir.filePath(QStringLiteral("large.%1").arg(code));
        const qint64 saving = peakKilobytesOf({"convert", in, out, QString::number(code)});
        QVERIFY2(saving > 0, "the conversion failed");
        // Encoders work in bands (Qt's TIFF writer in 16 MB ones); a copy of
        // the whole picture would go over this.
        QVERIFY2(saving - decoding < kPictureKilobytes * 3 / 4,
                 qPrintable(QStringLiteral("decoding %1 KB, saving %2 KB, the picture %3 KB")
                                .arg(decoding)
                                .arg(saving)
                                .arg(kPictureKilobytes)));
        QFile::remove(out);
    }

    // Metafiles that draw text need fonts, which need a display or the
    // offscreen platform; the command picks the latter by itself.
    void drawsTextWithoutDisplay_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("command");
        for (const char *file : {"emf/TestDrawString.emf", "emf/TextMapMode.emf", "emf/ETO_PDY.emf",
                                 "wmf/tdf88163-wrong-font-size.wmf"})
            for (const char *command : {"info", "convert", "thumb"})
                QTest::addRow("%s %s", command, file) << file << command;
    }
    void drawsTextWithoutDisplay()
    {
        QFETCH(QString, file);
        QFETCH(QString, command);
        const QString source = qEnvironmentVariable("PICTAVO_SOURCE_DIR") +
                               QStringLiteral("/tests/imaging/corpus/real/") + file;
        QVERIFY2(QFile::exists(source), qPrintable(source));
        QStringList args{command, source};
        if (command != QLatin1String("info"))
            args << m_dir.filePath("text.png");
        if (command == QLatin1String("convert"))
            args << QStringLiteral("2");
        const Run r = run(args, true);
        QVERIFY2(r.status == 0, qPrintable(r.err));
        if (command == QLatin1String("info"))
            return;
        const QImage out = QImage(m_dir.filePath("text.png")).convertToFormat(QImage::Format_RGB32);
        QVERIFY(!out.isNull());
        bool drew = false; // more than one colour
        for (int y = 0; y < out.height() && !drew; ++y)
            for (int x = 0; x < out.width() && !drew; ++x)
                drew = out.pixel(x, y) != out.pixel(0, 0);
        QVERIFY(drew);
    }

    void failuresGiveOneLineAndStatus1_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("no arguments") << QStringList{} << "Usage:";
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << "Usage:";
        QTest::newRow("missing file") << QStringList{"info", "/nonexistent/x.jpg"}
                                      << "Cannot read x.jpg: the file does not exist";
        QTest::newRow("bad code") << QStringList{"convert", "IN", "OUT.x", "11"}
                                  << "Unknown save code 11";
        QTest::newRow("unwritable target")
            << QStringList{"convert", "IN", "/proc/OUT.emf", "8"} << "Cannot write OUT.emf: ";
    }
    void failuresGiveOneLineAndStatus1()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        args.replaceInStrings(QStringLiteral("IN"), m_dir.filePath("in.png"));
        args.replaceInStrings(QStringLiteral("OUT"), m_dir.filePath("OUT"));
        const Run r = run(args);
        QCOMPARE(r.status, 1);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
    }

    // A full disk and a read-only one, made in a private mount namespace: the
    // message says why, and the old file keeps its contents with nothing
    // beside it.
    void diskFailuresLoseNothing_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full") << "mount -t tmpfs -o size=64k tmpfs \"$1\" && "
                                 "printf 'old contents' > \"$1/out.bmp\" && "
                                 "{ head -c 1000000 /dev/zero > \"$1/filler\" 2>/dev/null; true; }"
                              << "the disk is full";
        QTest::newRow("read-only") << "printf 'old contents' > \"$1/out.bmp\" && "
                                      "mount --bind \"$1\" \"$1\" && "
                                      "mount -o remount,bind,ro \"$1\""
                                   << "the disk is read-only";
    }
    void diskFailuresLoseNothing()
    {
        QFETCH(QString, setup);
        QFETCH(QString, reason);
        const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        if (unshare.isEmpty() ||
            QProcess::execute(unshare, {"--map-root-user", "--mount", "true"}) != 0)
            QSKIP("no private mount namespace can be made here (unshare)");
        const QString folder = m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(folder));
        // The paths arrive as arguments; the script text is fixed.
        const QString script =
            setup + QStringLiteral(" || exit 99\n"
                                   "\"$2\" convert \"$3\" \"$1/out.bmp\" 6 2>&1\n"
                                   "echo \"status=$?\"\n"
                                   "echo \"contents=$(cat \"$1/out.bmp\")\"\n"
                                   "ls -A \"$1\"\n");
        QProcess p;
        p.start(unshare, {"--map-root-user", "--mount", "sh", "-c", script, "sh", folder, m_program,
                          m_dir.filePath("in.png")});
        QVERIFY(p.waitForFinished(60000));
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        if (p.exitCode() == 99)
            QSKIP(qPrintable("the disk could not be prepared: " +
                             QString::fromLocal8Bit(p.readAllStandardError())));
        QVERIFY2(out.contains("Cannot write out.bmp: " + reason + "\n"), qPrintable(out));
        QVERIFY2(out.contains("status=1\n"), qPrintable(out));
        QVERIFY2(out.contains("contents=old contents\n"), qPrintable(out));
        QStringList listed =
            out.section("contents=old contents\n", 1).split('\n', Qt::SkipEmptyParts);
        listed.removeAll("filler");
        QCOMPARE(listed, QStringList{"out.bmp"});
    }
};

PICTAVO_TEST_MAIN(TestEngineConvert)
#include "tst_engine_convert.moc"
