// SPDX-License-Identifier: GPL-3.0-or-later
// "pictavo-convert thumb" from the outside: the explorer's thumbnail of a
// file, written to disk, its size on stdout, and one error line on failure.
#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "support/ImageFixtures.h"
#include "support/TestSupport.h"

class TestThumbCommand : public QObject
{
    Q_OBJECT

private slots:
    void writesTheThumbnail_data();
    void writesTheThumbnail();
    void failsWithOneLine();

private:
    struct Run
    {
        int status = -1;
        QString out;
        QString err;
    };
    static Run run(const QStringList &args)
    {
        QProcess p;
        p.start(qEnvironmentVariable("PICTAVO_BINARY_DIR") + QStringLiteral("/bin/pictavo-convert"),
                args);
        const bool finished = p.waitForFinished(60000);
        Run r;
        r.status = finished && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
        r.err = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        return r;
    }
};

void TestThumbCommand::writesTheThumbnail_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("outName");
    QTest::addColumn<QSize>("expected");
    QTest::newRow("landscape to png") << QSize(1000, 600) << "t.png" << QSize(140, 84);
    QTest::newRow("strip on canvas") << QSize(1000, 500) << "t.png" << QSize(140, 140);
    QTest::newRow("unknown suffix writes png") << QSize(600, 1000) << "t.thumb" << QSize(140, 233);
}

void TestThumbCommand::writesTheThumbnail()
{
    QFETCH(QSize, size);
    QFETCH(QString, outName);
    QFETCH(QSize, expected);
    QTemporaryDir dir;
    const QString in = fixtures::writeImage(dir.path(), "in.jpg", size.width(), size.height());
    const QString out = dir.filePath(outName);
    const Run r = run({"thumb", in, out});
    QCOMPARE(r.status, 0);
    QCOMPARE(r.out, QStringLiteral("%1 %2").arg(expected.width()).arg(expected.height()));
    QImage written(out);
    QCOMPARE(written.size(), expected);
}

void TestThumbCommand::failsWithOneLine()
{
    QTemporaryDir dir;
    const QString in = fixtures::writeDamagedJpeg(dir.path(), "bad.jpg");
    const QString out = dir.filePath("t.png");
    const Run r = run({"thumb", in, out});
    QCOMPARE(r.status, 1);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.err.section(QLatin1Char('\n'), -1).contains("bad.jpg"));
    QVERIFY(!QFile::exists(out));
}

PICTAVO_TEST_MAIN(TestThumbCommand)
#include "tst_thumbcommand.moc"
