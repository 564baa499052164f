// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Formats that only Magick++ reads or writes well (PSD, PCX, PCD, most TGA)
// go through a separate helper process, so that a crash or a runaway loop in
// a third-party decoder fails one file instead of taking Pictavo down.

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QString>

namespace imaging::magick {

struct DecodeResult
{
    QImage image; // null on failure
    int bitsPerPixel = 0;
    QString reason; // short human text on failure ("the file is truncated")
};

// Decodes file bytes with the Magick coder `format` ("PSD", "PCX", ...).
// claimedPixels: what the file's header claims (0 when unknown); a large picture
// is given time in proportion to its size. Thread-safe; requests are served
// one at a time.
DecodeResult decode(const QByteArray &data, const char *format, qint64 claimedPixels = 0);

// Encodes an image with the Magick coder `format` and writes the result to
// out; false with *reason set on failure. A large picture is given time in
// proportion to its size.
bool encode(const QImage &image, const char *format, QIODevice &out, QString *reason);

// The helper executable: PICTAVO_MAGICK_HELPER, else this override, else
// "pictavo-magick" beside the running program (a build tree), else in
// Pictavo's folder under libexec (installed).
void setHelperPath(const QString &path); // empty: back to the default
// Time one request may take before the helper is killed (default 5000 ms,
// more for a large picture as the decode budget says;
// PICTAVO_MAGICK_TIMEOUT_MS overrides the default).
void setTimeoutMs(int ms); // 0: back to the default
// Ends the helper process (it is started again on the next request).
void shutdownHelper();

} // namespace imaging::magick
