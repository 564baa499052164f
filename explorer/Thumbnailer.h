// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>
#include <memory>

#include "imaging/Thumbnail.h"

namespace explorer {

class ThumbnailCache;

// Turns one file into the picture its thumbnails are made from. This is the
// only place the explorer reads an image file; it runs on worker threads.
using PictureMaker = std::function<imaging::ThumbnailSource(const QString &path)>;

// The default maker: decodes the file in this process, large enough for the
// cache's 256-pixel entries.
imaging::ThumbnailSource makePicture(const QString &path);

// The list's thumbnail of one file: from the desktop's thumbnail cache when
// it holds this version of the file, otherwise made by the maker and written
// to the cache, so the next visit does not decode again. A file the maker
// cannot read is recorded as a failure and not tried again until it
// changes. Icons, cursors and device-independent bitmaps, which the list
// shows as they are, bypass the cache. Safe to call from several threads.
class Thumbnailer
{
public:
    // cache may be null: every thumbnail is made then.
    Thumbnailer(std::shared_ptr<const ThumbnailCache> cache, PictureMaker maker);

    imaging::ThumbnailResult thumbnail(const QString &path) const;

private:
    std::shared_ptr<const ThumbnailCache> m_cache;
    PictureMaker m_maker;
};

} // namespace explorer
