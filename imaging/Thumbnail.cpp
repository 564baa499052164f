// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/Thumbnail.h"

#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <system_error>

#include "core/Formats.h"
#include "imaging/ImageEngine.h"
#include "imaging/ThumbnailHelpers.h"

namespace imaging {

double roundHalfEven(double value)
{
    const double lower = std::floor(value);
    const double diff = value - lower;
    if (diff < 0.5)
        return lower;
    if (diff > 0.5)
        return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

ThumbnailGeometry thumbnailGeometry(QSize original)
{
    const double w = original.width();
    const double h = original.height();
    const double ratio = std::max(w, h) / std::min(w, h);
    ThumbnailGeometry g;
    if (ratio < kStripRatio) {
        g.scaled = QSize(kThumbEdge, int(roundHalfEven(kThumbEdge / w * h)));
        return g;
    }
    g.canvas = true;
    if (w > h) {
        const int h2 = std::max(1, int(roundHalfEven(kThumbEdge / w * h)));
        g.scaled = QSize(kThumbEdge, h2);
        g.offset = QPoint(0, int(roundHalfEven((kThumbEdge - h2) / 2.0)));
    } else {
        const int w2 = std::max(1, int(roundHalfEven(w / h * kThumbEdge)));
        g.scaled = QSize(w2, kThumbEdge);
        g.offset = QPoint(int(roundHalfEven((kThumbEdge - w2) / 2.0)), 0);
    }
    return g;
}

QImage composeThumbnail(const QImage &decoded, QSize original)
{
    const ThumbnailGeometry g = thumbnailGeometry(original);
    // Qt scales a 1-bit picture with a black-and-white table in place of its
    // own two colours; as true colour it keeps them.
    QImage source = decoded;
    if (source.depth() == 1)
        source = source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                 : QImage::Format_RGB32);
    QImage scaled = source.size() == g.scaled
                        ? source
                        : source.scaled(g.scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!g.canvas)
        return scaled;
    QImage square(kThumbEdge, kThumbEdge, QImage::Format_RGB32);
    square.fill(Qt::white);
    QPainter painter(&square);
    painter.drawImage(g.offset, scaled);
    painter.end();
    return square;
}

namespace {

QString cannotRead(const QString &path, const QString &why)
{
    return QStringLiteral("Cannot read %1: %2").arg(QFileInfo(path).fileName(), why);
}

bool tooLarge(QSize size)
{
    return size.width() > imaging::kMaxImageSide || size.height() > imaging::kMaxImageSide;
}

// A reduced decode may come back turned by the file's orientation tag while
// the reported size is the stored one; follow the pixels.
QSize orientedLike(QSize original, QSize decoded)
{
    const double a = double(original.width()) / original.height();
    const double b = double(decoded.width()) / decoded.height();
    if ((a > 1.05 && b < 0.95) || (a < 0.95 && b > 1.05))
        return original.transposed();
    return original;
}

} // namespace

ThumbnailSource decodeForThumbnail(const QString &path, QSize box)
{
    return thumbnailsIsolated() ? decodeInHelper(path, box) : decodeForThumbnailHere(path, box);
}

ThumbnailSource decodeForThumbnailHere(const QString &path, QSize box)
{
    ThumbnailSource r;
    if (core::usesPictureLoader(path)) {
        r.asIs = true;
        r.picture = imaging::loadPicture(path, &r.error);
        r.original = r.picture.size();
        if (r.picture.isNull() && r.error.isEmpty())
            r.error = cannotRead(path, QStringLiteral("no image"));
        return r;
    }
    imaging::DecodeOptions options;
    options.boundingSize = box;
    const imaging::Decoded d = imaging::decodeFile(path, options);
    if (!d.ok()) {
        r.error = d.error.isEmpty() ? cannotRead(path, QStringLiteral("no image")) : d.error;
        return r;
    }
    const QImage &page = d.pages.constFirst();
    QSize original = d.originalSize.isValid() ? d.originalSize : page.size();
    if (tooLarge(original)) {
        r.error = cannotRead(path, QStringLiteral("the image is larger than 32767 pixels"));
        return r;
    }
    if (original.isEmpty() || page.isNull()) {
        r.error = cannotRead(path, QStringLiteral("the image is empty"));
        return r;
    }
    r.original = orientedLike(original, page.size());
    r.picture = page;
    return r;
}

ThumbnailResult makeThumbnail(const QString &path)
{
    // Covers the 140-pixel width of ordinary pictures and the 140-pixel
    // height of tall strips; JPEG decodes at a reduced scale.
    ThumbnailSource s = decodeForThumbnail(path, QSize(kThumbEdge, kThumbEdge));
    ThumbnailResult r;
    r.error = s.error;
    if (!s.ok())
        return r;
    r.picture = s.asIs ? std::move(s.picture) : composeThumbnail(s.picture, s.original);
    return r;
}

} // namespace imaging
