// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Writing a file so that a failure loses nothing: the file under the chosen
// name is either fully replaced or left exactly as it was, and no partial
// file stays behind.

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

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

// The same, with the contents written by `write` into the temporary file as
// they are made, so that a large file is never held in memory whole. The
// device can seek. `write` returns false with *reason when it cannot make
// the contents; a failure of the disk itself gives the disk's reason.
using ContentWriter = std::function<bool(QIODevice &out, QString *reason)>;
QString replaceFile(const QString &path, const ContentWriter &write);

// The short reason for the error number of a failed file-system call
// ("the disk is full" for ENOSPC).
QString describeWriteError(int error);

} // namespace imaging
