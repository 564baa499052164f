// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <cstring>

namespace imaging {

// Where the two bytes 0xFF, marker first occur in data at or after from, or
// -1. A photo's entropy-coded data runs to megabytes: this looks for each
// 0xFF with memchr rather than with a general substring search.
inline qsizetype findJpegMarker(const QByteArray &data, quint8 marker, qsizetype from)
{
    if (from < 0)
        from = 0;
    const char *begin = data.constData();
    const char *end = begin + data.size();
    const char *at = begin + from;
    while (at + 1 < end) {
        const void *found = std::memchr(at, 0xff, size_t(end - at - 1));
        if (!found)
            return -1;
        at = static_cast<const char *>(found);
        if (quint8(at[1]) == marker)
            return at - begin;
        ++at;
    }
    return -1;
}

} // namespace imaging
