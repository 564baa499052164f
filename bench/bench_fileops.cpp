// SPDX-License-Identifier: GPL-3.0-or-later
// Copying a 1 GB file within one file system with the file-operation service,
// beside cp on the same file in the same run. Each copy runs six times,
// alternating with cp, and the fastest of each counts, so that both meet the
// same page cache. The service runs as the program runs it, its progress
// told after every chunk (no dialog: the bench has no window).
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

#include "shell/FileOperations.h"

namespace {

constexpr qint64 kSize = 1024LL * 1024 * 1024;
// The disk is shared with whatever else runs: the fastest of several tries
// is the one least disturbed.
constexpr int kRounds = 6;

void report(const char *name, double value, const char *unit)
{
    QTextStream(stdout) << name << ' ' << QString::number(value, 'f', 2) << ' ' << unit << Qt::endl;
}

class Quiet final : public shell::OperationProgress
{
public:
    void begin(core::FileOperation, qint64, int) override {}
    bool advance(qint64, int, const QString &) override { return true; }
    void end() override {}
};

bool makeSource(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(qsizetype(4) * 1024 * 1024, Qt::Uninitialized);
    for (qint64 done = 0; done < kSize; done += block.size()) {
        for (qsizetype i = 0; i < block.size(); i += 4096)
            block[i] = char(done / 4096 + i);
        if (f.write(block) != block.size())
            return false;
    }
    return true;
}

double seconds(const std::function<bool()> &work)
{
    ::sync();
    QElapsedTimer t;
    t.start();
    if (!work())
        return -1;
    return double(t.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/pictavo-bench-fileops-XXXXXX"));
    const QString source = dir.filePath(QStringLiteral("source.raw"));
    if (!dir.isValid() || !makeSource(source)) {
        QTextStream(stderr) << "bench_fileops: cannot write a 1 GB file in " << QDir::tempPath()
                            << Qt::endl;
        return 1;
    }
    Quiet quiet;
    shell::FileOperations service(nullptr, &quiet);
    const QString byCp = dir.filePath(QStringLiteral("cp.raw"));
    const QString byService = dir.filePath(QStringLiteral("service.raw"));
    double bestCp = 1e9;
    double bestService = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        // Each goes first every other round, so that neither always meets
        // the other's write-back.
        double c = -1;
        double s = -1;
        auto runCp = [&] {
            c = seconds([&] {
                return QProcess::execute(QStringLiteral("cp"), {source, byCp}) == 0;
            });
        };
        auto runService = [&] {
            s = seconds(
                [&] { return service.run(core::FileOperation::CopyTo, {source}, byService) == 0; });
        };
        if (round % 2 == 0) {
            runCp();
            runService();
        } else {
            runService();
            runCp();
        }
        if (c < 0 || s < 0 || QFileInfo(byService).size() != kSize) {
            QTextStream(stderr) << "bench_fileops: a copy failed" << Qt::endl;
            return 1;
        }
        bestCp = std::min(bestCp, c);
        bestService = std::min(bestService, s);
        QFile::remove(byCp);
        QFile::remove(byService);
    }
    const double mb = double(kSize) / (1024.0 * 1024.0);
    report("fileops_copy_mb_per_s", mb / bestService, "MB/s");
    report("fileops_cp_mb_per_s", mb / bestCp, "MB/s");
    report("fileops_copy_vs_cp", bestService / bestCp, "x");
    return 0;
}
