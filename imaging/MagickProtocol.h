// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The messages between Pictavo and its Magick helper process. Every message
// is a 64-bit length (host byte order: both ends run on one machine) followed
// by a QDataStream body.
//
// Decode request: op, Magick format name, file bytes.
// Encode request: op, Magick format name, width, height, has alpha, pixels
//                 (width x height x BGRA, 8 bits each).
// Reply: status; on failure a short reason ("the file is truncated"); on
//        success for a decode: width, height, bits per pixel, has alpha,
//        pixels (BGRA); for an encode: the encoded file bytes.

#include <QtGlobal>

namespace imaging::magickproto {

enum Op : qint32
{
    OpDecode = 1,
    OpEncode = 2
};
enum Status : qint32
{
    StatusOk = 0,
    StatusFailed = 1
};

// Largest message either side accepts (a 128-megapixel BGRA image and its
// framing fit).
inline constexpr quint64 kMaxMessage = quint64(600) * 1024 * 1024;
// Largest image the helper decodes, in pixels.
inline constexpr quint64 kMaxPixels = quint64(128) * 1024 * 1024;

} // namespace imaging::magickproto
