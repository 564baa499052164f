// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

namespace core {

// One entry of a folder as the file system names it.
struct FolderEntry
{
    // The name as text. A name whose bytes are not valid UTF-8 is shown with
    // a replacement character for every byte that does not decode.
    QString name;
    bool isDir = false;  // a folder, or a link to one
    bool hidden = false; // the name starts with "."
    // False when the name cannot round-trip through text: Qt cannot reach
    // such a file by any path it is given, so it can be named but not read.
    bool addressable = true;
    quint64 inode = 0; // the file's number in its file system, as the folder gives it
};

// Every entry of a folder but "." and "..", in the order the file system
// delivers them; nothing when the folder cannot be read. Unlike QDir, it
// keeps names that are not valid UTF-8, marked as not addressable.
QList<FolderEntry> scanFolder(const QString &folder);

// True when the parent folder of path holds an entry that shows as path's
// name but that Qt cannot reach (its name is not valid UTF-8).
bool isUnaddressableName(const QString &path);

} // namespace core
