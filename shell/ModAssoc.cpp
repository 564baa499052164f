// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/ModAssoc.h"

#include "imaging/Formats.h"

namespace ModAssoc {

bool IsSupportedImageFile(const QString &path)
{
    const QString ext = imaging::extensionOf(path).toLower();
    if (ext.isEmpty())
        return false;
    return QString::fromUtf16(imaging::kSupportedExtensionsWithCur).toLower().contains(ext);
}

} // namespace ModAssoc
