// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The engine's decoders and encoders below ImageEngine: file bytes in,
// QImages out, and back. Thread-safe, QImage only.

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QString>

#include "imaging/ImageEngine.h"

namespace imaging::codecs {

// Decodes file bytes already in memory; `name` is the file name used in the
// error description. Sets everything of Decoded but `path`.
Decoded decodeData(const QByteArray &data, const QString &name, const QString &extension,
                   const DecodeOptions &options);

// Encodes an image in the format of a save code; false with *reason (a short
// text such as "this format cannot be written yet") on failure.
bool encodeImage(const QImage &image, int formatCode, QByteArray *out, QString *reason);
// The same, written to a device as it is made.
bool encodeImage(const QImage &image, int formatCode, QIODevice &out, QString *reason);

// Writes an image to path in the format of a save code through a temporary
// file in the target folder, renamed into place only when complete. Returns
// an empty string on success, else the full description ("Cannot write
// x.png: ...").
QString saveImage(const QImage &image, const QString &path, int formatCode, bool overwrite = true);

// True when a JPEG stream has its end-of-image marker after the first scan,
// i.e. it was not cut short.
bool jpegIsComplete(const QByteArray &data);

} // namespace imaging::codecs
