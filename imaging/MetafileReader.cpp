// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cmath>

#include "imaging/DecodeBudget.h"
#include "imaging/Logging.h"
#include "imaging/Metafile.h"
#include "imaging/MetafileHeader.h"
#include "imaging/MetafilePlayer.h"

namespace imaging::metafile {

using namespace detail;

Kind detect(const QByteArray &head)
{
    const Bytes b(reinterpret_cast<const uchar *>(head.constData()), head.size());
    if (b.u32(0) == 1 && b.u32(40) == kEmfSignature)
        return Kind::Emf;
    if (b.u32(0) == kPlaceableKey)
        return Kind::Wmf;
    const quint16 type = b.u16(0);
    const quint16 version = b.u16(4);
    if ((type == 1 || type == 2) && b.u16(2) == 9 && (version == 0x0100 || version == 0x0300))
        return Kind::Wmf;
    return Kind::None;
}

namespace {

constexpr qsizetype kOpaqueCheckBytes = qsizetype(32) << 20;

bool isOpaque(const QImage &image)
{
    // One AND over each row, without a branch per pixel: the alpha byte of
    // the result is 255 only if it is in every pixel.
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QRgb all = ~QRgb(0);
        for (int x = 0; x < image.width(); ++x)
            all &= line[x];
        if (qAlpha(all) != 255)
            return false;
    }
    return true;
}

// The size a picture of w x h natural pixels is drawn at: within boundingSize
// when one is given, and always within the reader's limits. A vector picture
// has no fixed pixel size, so a large one is drawn smaller, keeping its shape.
QSize outputSize(qint64 w, qint64 h, QSize boundingSize)
{
    QSizeF out{double(w), double(h)};
    if (boundingSize.isValid() && !boundingSize.isEmpty() &&
        (out.width() > boundingSize.width() || out.height() > boundingSize.height()))
        out.scale(QSizeF(boundingSize), Qt::KeepAspectRatio);
    if (out.width() > kMaxSide || out.height() > kMaxSide)
        out.scale(QSizeF(kMaxSide, kMaxSide), Qt::KeepAspectRatio);
    qint64 outW = std::clamp<qint64>(std::llround(out.width()), 1, kMaxSide);
    qint64 outH = std::clamp<qint64>(std::llround(out.height()), 1, kMaxSide);
    if (outW * outH > kMaxPixels) {
        const double f = std::sqrt(double(kMaxPixels) / (out.width() * out.height()));
        outW = std::clamp<qint64>(qint64(std::floor(out.width() * f)), 1, kMaxSide);
        outH = std::clamp<qint64>(qint64(std::floor(out.height() * f)), 1, kMaxSide);
    }
    return QSize(int(outW), int(outH));
}

} // namespace

QSize frameSize(const QByteArray &data)
{
    const Bytes b(reinterpret_cast<const uchar *>(data.constData()), data.size());
    qint64 w = 0, h = 0;
    QSize natural;
    switch (detect(data)) {
    case Kind::Emf: {
        EmfHeader header;
        if (parseEmfHeader(b, header))
            natural = emfNaturalSize(header, &w, &h);
        break;
    }
    case Kind::Wmf: {
        WmfHeader header;
        QRectF window;
        if (parseWmfHeader(b, header))
            natural = wmfNaturalSize(b, header, &w, &h, &window);
        break;
    }
    case Kind::None:
        break;
    }
    return natural.isValid() ? outputSize(w, h, {}) : QSize();
}

QImage render(const QByteArray &data, QString *error, QSize boundingSize)
{
    QString ignored;
    QString &err = error ? *error : ignored;
    const Bytes b(reinterpret_cast<const uchar *>(data.constData()), data.size());
    const Kind kind = detect(data);
    if (kind == Kind::None) {
        err = QStringLiteral("not a metafile");
        return {};
    }
    EmfHeader emf;
    WmfHeader wmf;
    QRectF window;
    qint64 w = 0, h = 0;
    QSize natural;
    if (kind == Kind::Emf) {
        if (!parseEmfHeader(b, emf)) {
            err = QStringLiteral("the metafile header is damaged");
            return {};
        }
        natural = emfNaturalSize(emf, &w, &h);
    } else {
        if (!parseWmfHeader(b, wmf)) {
            err = QStringLiteral("the metafile header is damaged");
            return {};
        }
        natural = wmfNaturalSize(b, wmf, &w, &h, &window);
    }
    if (!natural.isValid()) {
        err = QStringLiteral("the metafile gives no picture size");
        return {};
    }
    const QSize out = outputSize(w, h, boundingSize);
    const qint64 outW = out.width();
    const qint64 outH = out.height();
    QImage image(int(outW), int(outH), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        err =
            QStringLiteral("not enough memory for the image (%1 x %2 pixels)").arg(outW).arg(outH);
        return {};
    }
    image.fill(Qt::white);
    const double fx = double(outW) / double(w);
    const double fy = double(outH) / double(h);

    bool damaged = false;
    bool ended = false;
    bool overBudget = false;
    const qint64 maxRecords = std::min(kMaxRecords, decodeBudget().metafileRecords);
    qint64 at = 0;
    {
        Player player(image, kind == Kind::Emf);
        if (kind == Kind::Emf) {
            // Device pixels of the recording device map onto the output through
            // the frame, which the header gives in 0.01 mm.
            QRectF device(emf.frameLeft * emf.pixelsPerMmX / 100,
                          emf.frameTop * emf.pixelsPerMmY / 100,
                          (emf.frameRight - emf.frameLeft) * emf.pixelsPerMmX / 100,
                          (emf.frameBottom - emf.frameTop) * emf.pixelsPerMmY / 100);
            if (device.width() <= 0 || device.height() <= 0)
                device = QRectF(emf.boundsLeft, emf.boundsTop, double(w), double(h));
            double sx = double(w) / device.width();
            double sy = double(h) / device.height();
            // The frame is rounded to 0.01 mm: a discrepancy below half a
            // pixel over the whole picture is that rounding, not a scale.
            if (std::abs(device.width() - double(w)) < 0.5)
                sx = 1;
            if (std::abs(device.height() - double(h)) < 0.5)
                sy = 1;
            player.setOutputTransform(QTransform::fromTranslate(-device.left(), -device.top()) *
                                      QTransform::fromScale(sx * fx, sy * fy));
            player.setPixelsPerMm(emf.pixelsPerMmX, emf.pixelsPerMmY);

            for (qint64 n = 0; b.has(at, 8); ++n) {
                if (n >= maxRecords || player.overBudget()) {
                    overBudget = true;
                    break;
                }
                const quint32 type = b.u32(at);
                const qint64 size = b.u32(at + 4);
                if (size < 8 || size % 4 != 0 || !b.has(at, size)) {
                    damaged = true;
                    break;
                }
                if (n > 0 && !player.emfRecord(type, b.mid(at, size))) {
                    ended = true;
                    break;
                }
                at += size;
            }
        } else {
            player.dc().windowOrg = window.topLeft();
            player.dc().windowExt = QPointF(window.width(), window.height());
            player.setOutputTransform(QTransform::fromScale(double(outW), double(outH)));
            at = wmf.recordsAt;
            for (qint64 n = 0; b.has(at, 6); ++n) {
                if (n >= maxRecords || player.overBudget()) {
                    overBudget = true;
                    break;
                }
                const qint64 size = qint64(b.u32(at)) * 2;
                const quint16 function = b.u16(at + 4);
                if (size < 6 || !b.has(at, size)) {
                    damaged = true;
                    break;
                }
                if (function == 0) {
                    ended = true;
                    break;
                }
                player.wmfRecord(function, b.mid(at, size));
                at += size;
            }
        }
        // More drawing than the budget allows: refused as a whole rather
        // than shown in part.
        if (overBudget) {
            err = QStringLiteral("the picture is too complex to draw");
            return {};
        }
        // Bytes left over that do not make a whole record: the file was cut.
        if (!ended && at < b.size())
            damaged = true;
        if (damaged && !player.drew()) {
            err = QStringLiteral("the metafile is damaged");
            return {};
        }
        // Not a warning: hostile input is expected here, and the fuzzer takes
        // every warning for a fault.
        if (damaged)
            qCInfo(lcImaging, "A damaged metafile record ended playback; the picture shows "
                              "what was drawn before it.");
    }
    // Drawn on a white ground, the picture is opaque unless a record cleared
    // part of it; a large opaque one goes on without an alpha channel, so
    // that saving it costs no copy to drop it (the check reads the whole
    // picture, so smaller ones, cheap to copy, are left as they are).
    // Opaque premultiplied pixels are already what that format holds.
    if (image.sizeInBytes() >= kOpaqueCheckBytes && isOpaque(image))
        image.reinterpretAsFormat(QImage::Format_RGB32);
    return image;
}

} // namespace imaging::metafile
