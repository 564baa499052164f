// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing a file so that a failure loses nothing: the file under the chosen
// name is either fully replaced or left exactly as it was, and no partial
// file stays behind.

#include <QByteArray>
#include <QString>

namespace imaging {

// Why path cannot take a new file, as a short reason ("it is a folder",
// "the folder does not exist"); empty when it can. Only regular files (or
// links to them) are ever replaced.
QString checkWriteTarget(const QString &path);

// Puts bytes under path: they go to a temporary file in the same folder,
// which is flushed to the disk and then renamed over the target. A replaced
// file keeps its permissions; a link keeps pointing where it did and the
// file it points to is replaced. Empty on success, else a short reason.
QString replaceFile(const QString &path, const QByteArray &bytes);

// The short reason for the error number of a failed file-system call
// ("the disk is full" for ENOSPC).
QString describeWriteError(int error);

} // namespace imaging
