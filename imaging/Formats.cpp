// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/Formats.h"

namespace imaging {

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

} // namespace imaging
