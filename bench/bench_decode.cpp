// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding speed of a 12-megapixel photo: full size and as a 140 x 140
// thumbnail (reduced-scale JPEG decoding). Prints "name value unit" lines.

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/ImageEngine.h"
#include "imaging/Startup.h"

namespace {

// Smooth gradients with a little noise, like a photo, so the JPEG has real
// detail to decode.
QImage photoLike(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(1);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double fx = double(x) / w, fy = double(y) / h;
            const int n = int(rng.bounded(16)) - 8;
            const int r = int(128 + 100 * std::sin(fx * 6.3 + fy * 2.0)) + n;
            const int g = int(128 + 90 * std::cos(fy * 5.1 - fx)) + n;
            const int b = int(255 * fx * fy) + n;
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    return image;
}

double medianMs(const QString &path, const imaging::DecodeOptions &options, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const imaging::Decoded d = imaging::decodeFile(path, options);
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!d.ok()) {
            QTextStream(stderr) << d.error << Qt::endl;
            return -1;
        }
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    imaging::initializeImaging(imaging::ProgramKind::CommandLine);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    {
        QImageWriter writer(path, "jpeg");
        writer.setQuality(90);
        if (!writer.write(photoLike(4000, 3000))) {
            QTextStream(stderr) << "cannot write the test photo" << Qt::endl;
            return 1;
        }
    }
    imaging::DecodeOptions full;
    imaging::DecodeOptions thumb;
    thumb.boundingSize = QSize(140, 140);
    QTextStream out(stdout);
    out << "decode_12mp_full_ms " << qRound(medianMs(path, full, 5)) << " ms" << Qt::endl;
    out << "decode_12mp_thumb_ms " << qRound(medianMs(path, thumb, 9)) << " ms" << Qt::endl;

    // Per-file overhead: many small files, as in a folder of icons.
    const QString small = dir.filePath(QStringLiteral("small.png"));
    photoLike(64, 64).save(small);
    constexpr int kSmallRuns = 500;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kSmallRuns; ++i)
        if (!imaging::decodeFile(small, thumb).ok())
            return 1;
    out << "decode_small_png_us " << qRound(double(timer.nsecsElapsed()) / 1e3 / kSmallRuns)
        << " us" << Qt::endl;
    return 0;
}
