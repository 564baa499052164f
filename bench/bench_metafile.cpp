// SPDX-License-Identifier: GPL-3.0-or-later
// Metafile timings: writing and playing a photo-sized raster, a thumbnail of
// it, and a drawing of many vector and text records.

#include <QBuffer>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <functional>

#include "imaging/Metafile.h"
#include "support/MetafileBuilders.h"

namespace {

double bestMs(const std::function<void()> &run, int rounds = 5)
{
    double best = 1e300;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        best = std::min(best, t.nsecsElapsed() / 1e6);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    using namespace imaging;

    QImage photo(3000, 2000, QImage::Format_RGB32);
    {
        QPainter p(&photo);
        QLinearGradient g(0, 0, 3000, 2000);
        g.setColorAt(0, Qt::red);
        g.setColorAt(1, Qt::blue);
        p.fillRect(photo.rect(), g);
    }
    QByteArray emf;
    const double writeMs = bestMs([&] {
        emf.clear();
        QBuffer b(&emf);
        b.open(QIODevice::WriteOnly);
        metafile::write(photo, metafile::Kind::Emf, b, nullptr);
    });
    const double renderMs = bestMs([&] { metafile::render(emf, nullptr); });
    const double thumbMs = bestMs([&] { metafile::render(emf, nullptr, QSize(140, 140)); });

    metafiletest::Emf drawing(1000, 1000);
    drawing.font(2, -14);
    for (int i = 0; i < 5000; ++i) {
        const int x = (i * 37) % 950, y = (i * 91) % 950;
        drawing.rec(39, {1, 0, qint32((i * 2654435761u) & 0xFFFFFF), 0}).rec(37, {1});
        drawing.rec(i % 2 ? 43 : 42, {x, y, x + 40, y + 30});
        drawing.rec(37, {2}).textW(x, y, QStringLiteral("label"));
        drawing.rec(40, {1});
    }
    const QByteArray vector = drawing.bytes();
    const double vectorMs = bestMs([&] { metafile::render(vector, nullptr); }, 3);

    std::printf("metafile_write_emf_3000x2000 %.1f ms\n", writeMs);
    std::printf("metafile_render_emf_3000x2000 %.1f ms\n", renderMs);
    std::printf("metafile_render_emf_thumbnail_140 %.1f ms\n", thumbMs);
    std::printf("metafile_render_20000_vector_text_records %.1f ms\n", vectorMs);
    return 0;
}
