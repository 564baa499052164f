// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Formats.h"

namespace core {

QString extensionOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

bool usesPictureLoader(const QString &path)
{
    const QString ext = extensionOf(path).toLower();
    return !ext.isEmpty() && QStringView(kPictureExtensions).contains(ext);
}

QString formatExtension(int formatCode)
{
    switch (formatCode) {
    case FormatJPG:
        return QStringLiteral("jpg");
    case FormatPNG:
        return QStringLiteral("png");
    case FormatTIF:
        return QStringLiteral("tif");
    case FormatPCX:
        return QStringLiteral("pcx");
    case FormatTGA:
        return QStringLiteral("tga");
    case FormatBMP:
        return QStringLiteral("bmp");
    case FormatWMF:
        return QStringLiteral("wmf");
    case FormatEMF:
        return QStringLiteral("emf");
    case FormatPSD:
        return QStringLiteral("psd");
    case FormatWBMP:
        return QStringLiteral("wbmp");
    case FormatGIF:
        return QStringLiteral("gif");
    case FormatICO:
        return QStringLiteral("ico");
    case FormatCUR:
        return QStringLiteral("cur");
    case FormatPCD:
        return QStringLiteral("pcd");
    case FormatDIB:
        return QStringLiteral("dib");
    default:
        return {};
    }
}

bool isSaveCode(int formatCode)
{
    return formatCode >= FormatJPG && formatCode <= FormatWBMP;
}

bool isSupportedImageFile(const QString &path)
{
    const QString ext = extensionOf(path).toLower();
    if (ext.isEmpty())
        return false;
    return QString::fromUtf16(kSupportedExtensionsWithCur).toLower().contains(ext);
}

} // namespace core
