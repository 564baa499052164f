// SPDX-License-Identifier: GPL-3.0-or-later
// Thumbnails made in helper processes: the same pictures and messages as in
// the program's own process, and a helper that crashes, hangs or talks
// nonsense fails its one file while the next file gets a fresh helper.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <csignal>
#include <sys/stat.h>

#include "imaging/ThumbnailHelpers.h"
#include "support/TestSupport.h"

namespace {

const QSize kBox(140, 140);

QString helperProgram()
{
    return qEnvironmentVariable("PICTAVO_BINARY_DIR") + QStringLiteral("/bin/pictavo-thumbnailer");
}

QImage comparable(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The soft limit of one line of /proc/PID/limits ("Max cpu time ...").
QString softLimit(qint64 pid, const QString &name)
{
    QFile limits(QStringLiteral("/proc/%1/limits").arg(pid));
    if (!limits.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : limits.readAll().split('\n'))
        if (line.startsWith(name.toLatin1()))
            return QString::fromLatin1(line.mid(26)).simplified().section(QLatin1Char(' '), 0, 0);
    return {};
}

} // namespace

class TestThumbnailHelpers : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString file(const QString &name) const { return m_dir.filePath(name); }

    QString script(const QString &name, const QByteArray &body) const
    {
        const QString path = file(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write("#!/bin/sh\n" + body + '\n');
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(QFile::exists(helperProgram()), qPrintable(helperProgram()));
        imaging::setThumbnailHelperPath(helperProgram());

        QImage photo(1200, 800, QImage::Format_RGB32);
        photo.fill(QColor(40, 110, 170));
        QPainter painter(&photo);
        painter.fillRect(QRect(100, 100, 500, 300), QColor(230, 190, 30));
        painter.end();
        QVERIFY(QImageWriter(file(QStringLiteral("photo.jpg"))).write(photo));
        QVERIFY(QImageWriter(file(QStringLiteral("strip.png"))).write(photo.copy(0, 0, 1200, 100)));
        QImage glass(300, 200, QImage::Format_ARGB32);
        glass.fill(QColor(200, 20, 20, 90));
        QVERIFY(QImageWriter(file(QStringLiteral("glass.png"))).write(glass));
        QVERIFY(QImageWriter(file(QStringLiteral("small.ico")), "ico").write(glass.scaled(32, 32)));

        QFile empty(file(QStringLiteral("empty.jpg")));
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QFile whole(file(QStringLiteral("photo.jpg")));
        QVERIFY(whole.open(QIODevice::ReadOnly));
        QFile cut(file(QStringLiteral("cut.jpg")));
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(whole.read(whole.size() / 2));
    }

    void cleanup()
    {
        imaging::setThumbnailHelperPath(helperProgram());
        imaging::setThumbnailHelperTimeoutMs(0);
    }

    void sameAsInThisProcess_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("box");
        const QSize thumb(140, 140), large(256, 256);
        QTest::newRow("jpeg photo") << file(QStringLiteral("photo.jpg")) << thumb;
        QTest::newRow("jpeg photo for the cache") << file(QStringLiteral("photo.jpg")) << large;
        QTest::newRow("strip on its canvas") << file(QStringLiteral("strip.png")) << thumb;
        QTest::newRow("translucent png") << file(QStringLiteral("glass.png")) << large;
        QTest::newRow("metafile with text")
            << qEnvironmentVariable("PICTAVO_SOURCE_DIR") +
                   QStringLiteral("/tests/imaging/corpus/real/emf/TestDrawString.emf")
            << thumb;
        QTest::newRow("icon shown as it is") << file(QStringLiteral("small.ico")) << thumb;
        QTest::newRow("empty file") << file(QStringLiteral("empty.jpg")) << thumb;
        QTest::newRow("truncated jpeg") << file(QStringLiteral("cut.jpg")) << thumb;
        QTest::newRow("missing file") << file(QStringLiteral("nowhere.png")) << thumb;
    }

    void sameAsInThisProcess()
    {
        QFETCH(QString, path);
        QFETCH(QSize, box);
        const imaging::ThumbnailSource here = imaging::decodeForThumbnailHere(path, box);
        const imaging::ThumbnailSource there = imaging::decodeInHelper(path, box);
        QCOMPARE(there.error, here.error);
        QCOMPARE(there.ok(), here.ok());
        QCOMPARE(there.original, here.original);
        QCOMPARE(there.asIs, here.asIs);
        if (here.ok())
            QCOMPARE(comparable(there.picture), comparable(here.picture));
    }

    void failingHelper_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("reason");
        QTest::newRow("crashes") << QByteArray("kill -SEGV $$")
                                 << "the decoder stopped unexpectedly";
        QTest::newRow("hangs") << QByteArray("exec sleep 30") << "the decoder took too long";
        QTest::newRow("hangs up but lives on") << QByteArray("exec 0<&- 1>&- 2>&-; exec sleep 30")
                                               << "the decoder stopped unexpectedly";
        QTest::newRow("runs out of CPU time")
            << QByteArray("kill -XCPU $$") << "the decoder took too long";
        // Eight bytes of 0xff: a reply claiming 16 exabytes.
        QTest::newRow("claims a huge reply")
            << QByteArray("head -c 8 /dev/zero | tr '\\000' '\\377'; exec sleep 30")
            << "the thumbnail maker answered nonsense";
        QTest::newRow("answers garbage")
            << QByteArray("printf '\\004\\000\\000\\000\\000\\000\\000\\000\\000\\000\\000\\000'; "
                          "exec sleep 30")
            << "the thumbnail maker answered nonsense";
    }

    // The one file fails with the reason; the next file gets a working
    // helper again.
    void failingHelper()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, reason);
        imaging::setThumbnailHelperTimeoutMs(1500);
        imaging::setThumbnailHelperPath(script(QStringLiteral("fake-helper"), body));
        const QString photo = file(QStringLiteral("photo.jpg"));
        QElapsedTimer clock;
        clock.start();
        const imaging::ThumbnailSource failed = imaging::decodeInHelper(photo, kBox);
        // Within the time allowed and a little more, never waiting for a
        // helper that hung up but lives on.
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!failed.ok());
        QCOMPARE(failed.error, QStringLiteral("Cannot read photo.jpg: ") + reason);
        imaging::setThumbnailHelperPath(helperProgram());
        QVERIFY(imaging::decodeInHelper(photo, kBox).ok());
    }

    // A helper that died while idle (killed from outside) is not the next
    // file's fault.
    void helperKilledWhileIdleIsReplaced()
    {
        const QString photo = file(QStringLiteral("photo.jpg"));
        QVERIFY(imaging::decodeInHelper(photo, kBox).ok());
        const QList<qint64> pids = imaging::thumbnailHelperPids();
        QVERIFY(!pids.isEmpty());
        for (qint64 pid : pids)
            ::kill(pid_t(pid), SIGKILL);
        QTest::qWait(100);
        const imaging::ThumbnailSource again = imaging::decodeInHelper(photo, kBox);
        QVERIFY2(again.ok(), qPrintable(again.error));
        QVERIFY(!imaging::thumbnailHelperPids().contains(pids.constFirst()));
    }

    void helpersRunWithinLimits()
    {
        QVERIFY(imaging::decodeInHelper(file(QStringLiteral("photo.jpg")), kBox).ok());
        const QList<qint64> pids = imaging::thumbnailHelperPids();
        QVERIFY(!pids.isEmpty());
        const QString cpu = softLimit(pids.constFirst(), QStringLiteral("Max cpu time"));
        QVERIFY2(cpu != QLatin1String("unlimited") && cpu.toLongLong() > 0, qPrintable(cpu));
        QVERIFY(cpu.toLongLong() <= imaging::thumbnailhelper::kCpuSecondsPerRequest + 60);
        QCOMPARE(softLimit(pids.constFirst(), QStringLiteral("Max core file size")),
                 QStringLiteral("0"));
        // AddressSanitizer reserves its shadow memory beyond any such limit,
        // so sanitized builds run without it.
        const QString space = softLimit(pids.constFirst(), QStringLiteral("Max address space"));
        if (space == QLatin1String("unlimited"))
            QSKIP("a sanitized build: no address-space limit");
        QCOMPARE(space.toLongLong(), imaging::thumbnailhelper::kAddressSpaceBytes);
    }

    // Threads asking at once each get a helper of their own, never more than
    // the machine runs at once.
    void manyThreadsAtOnce()
    {
        imaging::shutdownThumbnailHelpers();
        QStringList paths;
        for (int i = 0; i < 12; ++i)
            paths << file(i % 2 ? QStringLiteral("photo.jpg") : QStringLiteral("glass.png"));
        QThreadPool threads;
        threads.setMaxThreadCount(4);
        const QList<imaging::ThumbnailSource> results =
            QtConcurrent::blockingMapped(&threads, paths, [](const QString &path) {
                return imaging::decodeInHelper(path, kBox);
            });
        for (const imaging::ThumbnailSource &r : results)
            QVERIFY2(r.ok(), qPrintable(r.error));
        QVERIFY(imaging::thumbnailHelperPids().size() <= std::max(2, QThread::idealThreadCount()));
    }

    // Without the helper program the thumbnail is still made, here.
    void missingHelperMakesItHere()
    {
        imaging::setThumbnailHelperPath(file(QStringLiteral("no-such-helper")));
        QVERIFY(imaging::decodeInHelper(file(QStringLiteral("photo.jpg")), kBox).ok());
    }
};

PICTAVO_TEST_MAIN(TestThumbnailHelpers)
#include "tst_thumbnailhelpers.moc"
