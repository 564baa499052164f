// SPDX-License-Identifier: GPL-3.0-or-later
#include "explorer/Thumbnailer.h"

#include <QFileInfo>

#include "core/Formats.h"
#include "explorer/ThumbnailCache.h"

namespace explorer {

imaging::ThumbnailSource makePicture(const QString &path)
{
    return imaging::decodeForThumbnail(
        path, QSize(ThumbnailCache::kLargeEdge, ThumbnailCache::kLargeEdge));
}

Thumbnailer::Thumbnailer(std::shared_ptr<const ThumbnailCache> cache, PictureMaker maker)
    : m_cache(std::move(cache)), m_maker(maker ? std::move(maker) : PictureMaker(makePicture))
{
}

imaging::ThumbnailResult Thumbnailer::thumbnail(const QString &path) const
{
    imaging::ThumbnailResult r;
    const bool cached = m_cache && !core::usesPictureLoader(path) && !m_cache->holds(path);
    ThumbnailCache::Stamp stamp;
    if (cached) {
        // Taken before the file is read: should it change meanwhile, the
        // entry carries the older time and the next visit makes it again.
        stamp = ThumbnailCache::stampOf(path);
        const ThumbnailCache::Lookup found = m_cache->lookup(stamp);
        if (found.outcome == ThumbnailCache::Outcome::Hit) {
            r.picture = imaging::composeThumbnail(found.picture, found.original);
            return r;
        }
        if (found.outcome == ThumbnailCache::Outcome::Failed) {
            r.error = found.error.isEmpty()
                          ? QStringLiteral("Cannot read %1").arg(QFileInfo(path).fileName())
                          : found.error;
            return r;
        }
    }
    imaging::ThumbnailSource made = m_maker(path);
    if (!made.ok()) {
        r.error = made.error.isEmpty()
                      ? QStringLiteral("Cannot read %1").arg(QFileInfo(path).fileName())
                      : made.error;
        if (cached)
            m_cache->storeFailure(path, stamp, r.error);
        return r;
    }
    if (made.asIs) {
        r.picture = std::move(made.picture);
        return r;
    }
    if (cached)
        m_cache->store(path, stamp, made.picture, made.original);
    r.picture = imaging::composeThumbnail(made.picture, made.original);
    return r;
}

} // namespace explorer
