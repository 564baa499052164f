// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace core {

// The extensions the browser lists, handed to the explorer at start-up.
inline constexpr char16_t kSupportedExtensions[] =
    u"JPG GIF BMP PNG PSD TIF PCX TGA WBMP PCD WMF EMF ICO DIB";
// The same with CUR, used to accept files dropped on the viewer.
inline constexpr char16_t kSupportedExtensionsWithCur[] =
    u"JPG GIF BMP PNG PSD TIF PCX TGA WBMP PCD WMF EMF ICO CUR DIB";
// Files with these extensions go through the picture loader (icons,
// cursors, device-independent bitmaps) instead of the file loader.
inline constexpr char16_t kPictureExtensions[] = u"ico cur dib";

// Save-format codes; a loaded image reports its format with the same codes.
enum FormatCode : int
{
    FormatUnknown = 0,
    FormatJPG = 1,
    FormatPNG = 2,
    FormatTIF = 3,
    FormatPCX = 4,
    FormatTGA = 5,
    FormatBMP = 6,
    FormatWMF = 7,
    FormatEMF = 8,
    FormatPSD = 9,
    FormatWBMP = 10,
    // Read-only formats, beyond the ten save codes.
    FormatGIF = 11,
    FormatICO = 12,
    FormatCUR = 13,
    FormatPCD = 14,
    FormatDIB = 15,
};

// Text after the last "." of the file name (not of a folder), without the dot.
QString extensionOf(const QString &path);
// True when the lower-cased extension occurs in kPictureExtensions.
bool usesPictureLoader(const QString &path);

// The usual file extension of a format code ("jpg", "tif", ...), empty for
// unknown codes.
QString formatExtension(int formatCode);
// True for the ten codes an image can be saved with (1 to 10).
bool isSaveCode(int formatCode);

// True when the file's extension is one the viewer accepts
// (kSupportedExtensionsWithCur).
bool isSupportedImageFile(const QString &path);

} // namespace core
