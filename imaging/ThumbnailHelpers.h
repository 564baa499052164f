// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Thumbnails made in a small pool of helper processes (pictavo-thumbnailer),
// the way desktop thumbnailers keep image libraries out of the program that
// shows the pictures: each helper runs with an address-space and a CPU-time
// limit, and one that crashes, hangs or overruns is ended and started again,
// so that whatever a decoder does with a file, that one file fails with a
// message and the program goes on.

#include <QList>
#include <QString>

#include "imaging/Thumbnail.h"

namespace imaging {

// Whether decodeForThumbnail (and makeThumbnail, which uses it) sends its
// work to the helpers (pictavo's start-up turns this on) or decodes in this
// process.
void setThumbnailsIsolated(bool isolated);
bool thumbnailsIsolated();

// decodeForThumbnail in a helper process. Thread-safe: up to one helper per
// thread that asks at the same time. When the helper program is missing, the
// file is decoded in this process (with a warning in the log).
ThumbnailSource decodeInHelper(const QString &path, QSize box);

// The executable (PICTAVO_THUMBNAIL_HELPER, else this override, else
// "pictavo-thumbnailer" in Pictavo's own folders) and the time one thumbnail
// may take (PICTAVO_THUMBNAIL_TIMEOUT_MS, else this override, else 20 s).
void setThumbnailHelperPath(const QString &path); // empty: back to the default
void setThumbnailHelperTimeoutMs(int ms);         // 0: back to the default
// The helper program in use.
QString thumbnailHelperProgram();
// Ends the idle helpers (they are started again when asked).
void shutdownThumbnailHelpers();
// Ids of the helper processes running now (for tests and diagnostics).
QList<qint64> thumbnailHelperPids();

namespace thumbnailhelper {

// What a helper process runs: its limits, then requests from stdin answered
// on stdout until stdin closes. Returns the program's exit code.
int serve();

// CPU seconds one request may use in a helper before the system ends it.
inline constexpr int kCpuSecondsPerRequest = 15;
// Address space of a helper: the decode budget and room for the program.
inline constexpr qint64 kAddressSpaceBytes = qint64(2) * 1024 * 1024 * 1024;

} // namespace thumbnailhelper

} // namespace imaging
