// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace ModAssoc {

// True when the file's extension occurs in the supported list with CUR.
bool IsSupportedImageFile(const QString &path);

} // namespace ModAssoc
