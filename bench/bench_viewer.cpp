// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a 12-megapixel photo in the viewer, and stepping to the next one
// once it has been decoded in the background. Prints "name value unit".

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "imaging/ImageView.h"
#include "settings/SettingsStore.h"
#include "viewer/Prefetcher.h"
#include "viewer/ViewerWindow.h"

namespace {

// A photo-like picture: soft gradients, shapes and grain, so that the JPEG
// decoder has real work to do.
QImage photo(int seed)
{
    QImage img(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator rng{quint32(seed)};
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int n = int(rng.bounded(24));
            const int r = (x * 200 / 4000 + seed * 30 + n) & 0xff;
            const int g = (y * 180 / 3000 + 40 + n) & 0xff;
            const int b = ((x + y) * 120 / 7000 + 90 + n) & 0xff;
            line[x] = qRgb(r, g, b);
        }
    }
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < 40; ++i) {
        p.setBrush(QColor::fromHsv(int(rng.bounded(360)), 120, 200, 120));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(rng.bounded(4000), rng.bounded(3000)), 50 + rng.bounded(400),
                      50 + rng.bounded(300));
    }
    return img;
}

// CPU time of the user-interface thread: what a step costs apart from
// waiting for a processor on a busy machine.
double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

void settle(viewer::ViewerWindow *v)
{
    QCoreApplication::processEvents();
    v->findChild<imaging::ImageView *>(QStringLiteral("ImgX"))->viewport()->repaint();
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/.config")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const QString folder = QStringLiteral("/tmp/pictavo-bench");
    QDir().mkpath(folder);
    QStringList list;
    for (int i = 0; i < 8; ++i) {
        const QString path = folder + QStringLiteral("/photo%1.jpg").arg(i);
        if (!QFileInfo::exists(path) && !photo(i).save(path, "JPG", 90)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        list << path;
    }

    settings::SettingsStore().setValue(settings::Root::LocalMachine,
                                       QString::fromUtf16(settings::kPreferencesSection),
                                       QStringLiteral("FullScreen"), QStringLiteral("0"));
    auto *v = new viewer::ViewerWindow;

    QElapsedTimer t;
    t.start();
    double cpu = threadCpuMs();
    v->viewImage(list, 0);
    settle(v);
    const double openMs = double(t.nsecsElapsed()) / 1e6;
    const double openCpuMs = threadCpuMs() - cpu;
    QList<double> stepCpu;

    QList<double> steps;
    for (int i = 1; i < list.size(); ++i) {
        QElapsedTimer wait;
        wait.start();
        while (!v->prefetcher()->isReady(list.at(i)) && wait.elapsed() < 20000) {
            QCoreApplication::processEvents();
            QThread::msleep(2);
        }
        t.restart();
        cpu = threadCpuMs();
        v->nextImage();
        settle(v);
        steps << double(t.nsecsElapsed()) / 1e6;
        stepCpu << threadCpuMs() - cpu;
    }

    // The same steps in full-screen presentation, the viewer's default.
    v->previousImage();
    while (v->currentIndex() > 0)
        v->previousImage();
    v->toggleFullScreen();
    QList<double> fullSteps;
    for (int i = 1; i < list.size(); ++i) {
        QElapsedTimer wait;
        wait.start();
        while (!v->prefetcher()->isReady(list.at(i)) && wait.elapsed() < 20000) {
            QCoreApplication::processEvents();
            QThread::msleep(2);
        }
        t.restart();
        v->nextImage();
        settle(v);
        fullSteps << double(t.nsecsElapsed()) / 1e6;
    }

    std::printf("viewer_open_ms %.1f ms\n", openMs);
    std::printf("viewer_open_cpu_ms %.1f ms\n", openCpuMs);
    std::printf("viewer_next_ms %.1f ms\n", median(steps));
    std::printf("viewer_next_cpu_ms %.1f ms\n", median(stepCpu));
    std::printf("viewer_next_fullscreen_ms %.1f ms\n", median(fullSteps));
    delete v;
    return 0;
}
