// SPDX-License-Identifier: GPL-3.0-or-later
// Repaint cost of the image view with a 12-megapixel image: fitted into a
// 1000 x 700 view, and zoomed 4 times while panning.
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QScrollBar>

#include <cstdio>

#include "imaging/ImageView.h"

namespace {

QImage photoLike(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgb((x * 7 + y) & 255, (y * 5 + x / 3) & 255, ((x ^ y) * 3) & 255);
    }
    return img;
}

void report(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
}

// Average time of one repaint, in milliseconds.
template <typename Step> double averageRepaint(imaging::ImageView &view, int rounds, Step step)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i) {
        step(i);
        view.viewport()->repaint();
    }
    return timer.nsecsElapsed() / 1e6 / rounds;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QImage image = photoLike(4000, 3000);

    imaging::ImageView view;
    view.resize(1000, 700);
    view.show();
    QCoreApplication::processEvents();
    view.setViewAlignment(imaging::ViewAlignment::Fitted);
    view.engine().loadPicture(image);

    // Fitted: the first repaint starts the scaled copy; later ones reuse it.
    QElapsedTimer timer;
    timer.start();
    view.viewport()->repaint();
    report("view_fit_first_repaint", timer.nsecsElapsed() / 1e6, "ms");
    while (view.scalingPending())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    report("view_fit_scaled_copy_ready", timer.nsecsElapsed() / 1e6, "ms");
    report("view_fit_repaint", averageRepaint(view, 50, [](int) {}), "ms");

    // What a repaint would cost if it resampled the whole image every time.
    {
        QImage target(1000, 700, QImage::Format_RGB32);
        const QRectF rect = view.displayRect();
        QElapsedTimer naive;
        naive.start();
        for (int i = 0; i < 5; ++i)
            target =
                image.scaled(rect.size().toSize(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        report("view_fit_rescale_each_time", naive.nsecsElapsed() / 1e6 / 5, "ms");
    }

    // Zoom 4, panned across the image.
    view.setZoom(4.0);
    view.setViewAlignment(imaging::ViewAlignment::Panned);
    QCoreApplication::processEvents();
    const int maxX = view.horizontalScrollBar()->maximum();
    const int maxY = view.verticalScrollBar()->maximum();
    auto pan = [&](int i) {
        view.setScrollX(int((i * 997LL) % (maxX + 1)));
        view.setScrollY(int((i * 613LL) % (maxY + 1)));
    };
    view.setAntiAlias(true);
    report("view_zoom4_pan_repaint_smooth", averageRepaint(view, 50, pan), "ms");
    view.setAntiAlias(false);
    report("view_zoom4_pan_repaint_nearest", averageRepaint(view, 50, pan), "ms");
    return 0;
}
