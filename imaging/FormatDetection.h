// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QByteArray;

namespace imaging {

// Recognises an image file by its first bytes. Formats with a signature win;
// the weakly marked ones (TGA, headerless DIB, WBMP) are checked for a
// consistent header, and the extension only settles between those. Returns
// core::FormatUnknown for anything else. `data` may be the whole file: WBMP
// and TGA checks compare the header with the file length.
int detectFormat(const QByteArray &data, const QString &extension = {});

} // namespace imaging
