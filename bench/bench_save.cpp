// SPDX-License-Identifier: GPL-3.0-or-later
// Saving a large picture: pictavo-convert turns a 108-byte metafile that
// draws a 10000 x 10000 white page (400 MB of pixels) into each save format.
// Prints, per format, the time and the peak memory of the whole process
// tree (pictavo-convert and its Magick helper, summed), sampled every 5 ms,
// and the peak of decoding alone for comparison.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include "support/MetafileBuilders.h"

namespace {

// Resident kilobytes of a process and all its descendants.
qint64 treeKilobytes(qint64 pid)
{
    qint64 total = 0;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                total += line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks.filePath(task + QStringLiteral("/children")));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &child : children.readAll().split(' '))
            if (!child.trimmed().isEmpty())
                total += treeKilobytes(child.trimmed().toLongLong());
    }
    return total;
}

struct Run
{
    bool ok = false;
    double ms = 0;
    qint64 peakKilobytes = 0;
};

Run measure(const QString &program, const QStringList &args)
{
    Run run;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    if (!process.waitForStarted())
        return run;
    while (!process.waitForFinished(5))
        run.peakKilobytes = std::max(run.peakKilobytes, treeKilobytes(process.processId()));
    run.ms = double(timer.nsecsElapsed()) / 1e6;
    run.ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!run.ok)
        QTextStream(stderr) << args.join(' ') << ": " << process.readAllStandardError();
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString program = QCoreApplication::applicationDirPath() + "/pictavo-convert";
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("page.emf"));
    {
        QFile file(page);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(metafiletest::Emf(10000, 10000).bytes()) <= 0) {
            QTextStream(stderr) << "cannot write the test metafile" << Qt::endl;
            return 1;
        }
    }
    QTextStream out(stdout);
    const Run decoding = measure(program, {QStringLiteral("info"), page});
    out << "save_page100mp_decode_peak_mb " << decoding.peakKilobytes / 1024 << " MB" << Qt::endl;
    const std::pair<int, const char *> formats[] = {{1, "jpg"}, {2, "png"},  {3, "tif"}, {4, "pcx"},
                                                    {5, "tga"}, {6, "bmp"},  {7, "wmf"}, {8, "emf"},
                                                    {9, "psd"}, {10, "wbmp"}};
    for (const auto &[code, ext] : formats) {
        const QString target = dir.filePath(QStringLiteral("out.") + QLatin1String(ext));
        const Run saving =
            measure(program, {QStringLiteral("convert"), page, target, QString::number(code)});
        QFile::remove(target);
        const QString name = QStringLiteral("save_page100mp_") + QLatin1String(ext);
        if (!saving.ok) {
            out << name << "_ms failed" << Qt::endl;
            continue;
        }
        out << name << "_ms " << qRound(saving.ms) << " ms" << Qt::endl;
        out << name << "_tree_peak_mb " << saving.peakKilobytes / 1024 << " MB" << Qt::endl;
    }
    return 0;
}
