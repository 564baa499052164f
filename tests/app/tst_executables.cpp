// SPDX-License-Identifier: GPL-3.0-or-later
// Each shipped executable started as a user starts it, on a 7000 x 5500
// picture (38.5 megapixels, past the 33 that Qt's readers allow unless a
// program sets its own limits at start-up).

#include <QApplication>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "imaging/MagickProtocol.h"
#include "support/TestSupport.h"

namespace {

constexpr int kWidth = 7000;
constexpr int kHeight = 5500;

QString binary(const QString &name)
{
    const QString built = qEnvironmentVariable("PICTAVO_BINARY_DIR") + QStringLiteral("/bin/");
    if (QFile::exists(built + name))
        return built + name;
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

// Starts a helper program, sends it one request as pictavo does and reads
// its one reply: both helpers answer with a status, 0 for success, then
// either the answer (given here, after the status) or the reason it failed
// (which fails the test).
void askHelper(const QString &program, const QByteArray &request, QByteArray *reply)
{
    QProcess helper;
    helper.start(binary(program), {});
    QVERIFY(helper.waitForStarted(20000));
    const quint64 length = quint64(request.size());
    helper.write(reinterpret_cast<const char *>(&length), sizeof length);
    helper.write(request);
    helper.closeWriteChannel();
    QVERIFY(helper.waitForFinished(180000));
    QCOMPARE(helper.exitCode(), 0);
    const QByteArray all = helper.readAllStandardOutput();
    QVERIFY(all.size() > qsizetype(sizeof length));
    QDataStream in(all.mid(sizeof length));
    qint32 status = -1;
    in >> status;
    if (status != 0) {
        QString reason;
        in >> reason;
        QFAIL(qPrintable(reason));
    }
    *reply = all.mid(sizeof length + sizeof status);
}

// Starts pictavo with its imaging log on, reads what it logs until `until`
// appears (or it ends, or ms pass), then ends it; the log so far.
QString pictavoLog(const QStringList &args, const QString &until, int ms)
{
    QProcess pictavo;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("pictavo.imaging.debug=true"));
    pictavo.setProcessEnvironment(env);
    pictavo.start(binary(QStringLiteral("pictavo")), args);
    if (!pictavo.waitForStarted(20000))
        return QStringLiteral("pictavo did not start");
    QString log;
    const QDeadlineTimer deadline(ms);
    while (!log.contains(until) && !deadline.hasExpired() && pictavo.state() == QProcess::Running) {
        pictavo.waitForReadyRead(1000);
        log += QString::fromLocal8Bit(pictavo.readAllStandardError());
    }
    pictavo.kill();
    pictavo.waitForFinished(20000);
    return log + QString::fromLocal8Bit(pictavo.readAllStandardError());
}

} // namespace

class TestExecutables : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString picture(const QString &format) const
    {
        return m_dir.filePath(QStringLiteral("camera.") + format);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A photo-sized picture with some shapes, quick to encode.
        QImage image(kWidth, kHeight, QImage::Format_RGB32);
        image.fill(QColor(30, 90, 160));
        QPainter painter(&image);
        painter.fillRect(QRect(500, 500, 3000, 2000), QColor(220, 180, 40));
        painter.fillRect(QRect(4000, 3000, 2500, 2000), QColor(20, 140, 60));
        painter.end();
        for (const char *format : {"jpg", "png"}) {
            QImageWriter writer(picture(QLatin1String(format)));
            writer.setQuality(80); // for PNG, a light and quick compression
            QVERIFY2(writer.write(image), qPrintable(writer.errorString()));
        }
    }

    void programsLoadLargePhotos_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("jpeg") << "jpg";
        QTest::newRow("png") << "png";
    }

    // pictavo PATH opens the viewer on the picture; the engine tells what it
    // took over when asked through the logging rules.
    void programsLoadLargePhotos()
    {
        QFETCH(QString, format);
        const QString name = QStringLiteral("camera.") + format;
        const QString log = pictavoLog({picture(format)}, name + QLatin1Char(':'), 180000);
        QVERIFY2(
            log.contains(QStringLiteral("%1: %2 x %3 pixels").arg(name).arg(kWidth).arg(kHeight)),
            qPrintable(log));
    }

    void convertLoadsLargePhotos_data() { programsLoadLargePhotos_data(); }

    void convertLoadsLargePhotos()
    {
        QFETCH(QString, format);
        QProcess convert;
        convert.start(binary(QStringLiteral("pictavo-convert")),
                      {QStringLiteral("info"), picture(format)});
        QVERIFY(convert.waitForFinished(180000));
        QCOMPARE(QString::fromLocal8Bit(convert.readAllStandardError()), QString());
        QCOMPARE(convert.exitCode(), 0);
        const QStringList fields =
            QString::fromLocal8Bit(convert.readAllStandardOutput()).split(QLatin1Char(' '));
        QVERIFY(fields.size() >= 2);
        QCOMPARE(fields.at(0).toInt(), kWidth);
        QCOMPARE(fields.at(1).toInt(), kHeight);
    }

    void helperLoadsLargePhotos_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("coder");
        QTest::newRow("jpeg") << "jpg"
                              << "JPEG";
        QTest::newRow("png") << "png"
                             << "PNG";
    }

    // The Magick helper serves one decode request on its standard input.
    void helperLoadsLargePhotos()
    {
        using namespace imaging::magickproto;
        QFETCH(QString, format);
        QFETCH(QString, coder);
        QFile file(picture(format));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray request;
        {
            QDataStream out(&request, QIODevice::WriteOnly);
            out << qint32(OpDecode) << coder << file.readAll();
        }
        QByteArray reply;
        askHelper(QStringLiteral("pictavo-magick"), request, &reply);
        if (QTest::currentTestFailed())
            return;
        QDataStream in(reply);
        qint32 width = 0, height = 0;
        in >> width >> height;
        QCOMPARE(width, kWidth);
        QCOMPARE(height, kHeight);
    }

    void thumbnailerLoadsLargePhotos_data() { programsLoadLargePhotos_data(); }

    // The thumbnail helper answers one request (a file name and the box to
    // cover) with the picture decoded to cover it and its true size: it sets
    // the same limits at start-up as pictavo.
    void thumbnailerLoadsLargePhotos()
    {
        QFETCH(QString, format);
        QByteArray request;
        {
            QDataStream out(&request, QIODevice::WriteOnly);
            out << picture(format) << QSize(140, 140);
        }
        QByteArray reply;
        askHelper(QStringLiteral("pictavo-thumbnailer"), request, &reply);
        if (QTest::currentTestFailed())
            return;
        QDataStream in(reply);
        qint32 width = 0, height = 0;
        bool alpha = false;
        QByteArray pixels;
        QSize original;
        in >> width >> height >> alpha >> pixels >> original;
        QCOMPARE(in.status(), QDataStream::Ok);
        QVERIFY2(std::min(width, height) >= 140 && width < kWidth,
                 qPrintable(QString::number(width)));
        QCOMPARE(pixels.size(), qsizetype(width) * height * 4);
        QCOMPARE(original, QSize(kWidth, kHeight));
    }

    // pictavo makes its thumbnails in helper processes, with the helper
    // found where it was built (or installed).
    void pictavoMakesThumbnailsInHelpers()
    {
        const QString said = QStringLiteral("thumbnails are made by ");
        const QString log = pictavoLog({}, said, 120000);
        const qsizetype at = log.indexOf(said);
        QVERIFY2(at >= 0, qPrintable(log));
        const QString helper = log.mid(at + said.size()).section(QLatin1Char('\n'), 0, 0).trimmed();
        QVERIFY2(QFileInfo(helper).isExecutable(), qPrintable(helper));
        QCOMPARE(QFileInfo(helper).fileName(), QStringLiteral("pictavo-thumbnailer"));
    }
};

PICTAVO_TEST_MAIN(TestExecutables)
#include "tst_executables.moc"
