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

#include "support/TestSupport.h"

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
