// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/SaveFormats.h"

#include <array>

#include "core/Formats.h"

namespace viewer {

namespace {

struct SaveEntry
{
    const char16_t *extension;
    int formatCode;
};

// In the order of the filter's entries.
constexpr std::array<SaveEntry, 10> kSaveEntries{{
    {u"jpg", core::FormatJPG},
    {u"png", core::FormatPNG},
    {u"psd", core::FormatPSD},
    {u"tif", core::FormatTIF},
    {u"pcx", core::FormatPCX},
    {u"tga", core::FormatTGA},
    {u"wbmp", core::FormatWBMP},
    {u"bmp", core::FormatBMP},
    {u"wmf", core::FormatWMF},
    {u"emf", core::FormatEMF},
}};

} // namespace

QString saveFilter()
{
    return QStringLiteral("Joint Photographic Experts Group  <JPG>|*.jpg|"
                          "Portable Network Graphics  <PNG>|*.png|"
                          "Photoshop  <PSD>|*.psd|"
                          "Tagged Image File  <TIF>|*.tif|"
                          "ZSoft PaintBrush  <PCX>|*.pcx|"
                          "Truevision Targa  <TGA>|*.tga|"
                          "Wireless Bitmap  <WBMP>|*.wbmp|"
                          "Windows Bitmap  <BMP>|*.bmp|"
                          "Windows Metafile  <WMF>|*.wmf|"
                          "Windows Enhanced Metafile  <EMF>|*.emf");
}

QString getSaveFormat(int filterIndex, int *formatCode)
{
    if (filterIndex < 1 || filterIndex > int(kSaveEntries.size()))
        return {};
    const SaveEntry &entry = kSaveEntries.at(size_t(filterIndex - 1));
    if (formatCode)
        *formatCode = entry.formatCode;
    return QString::fromUtf16(entry.extension);
}

int saveFilterIndexFor(int formatCode)
{
    for (size_t i = 0; i < kSaveEntries.size(); ++i) {
        if (kSaveEntries.at(i).formatCode == formatCode)
            return int(i) + 1;
    }
    return 0;
}

} // namespace viewer
