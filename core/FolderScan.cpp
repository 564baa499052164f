// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/FolderScan.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace core {

QList<FolderEntry> scanFolder(const QString &folder)
{
    QList<FolderEntry> entries;
    const QByteArray encoded = QFile::encodeName(folder.isEmpty() ? QStringLiteral("/") : folder);
    DIR *dir = ::opendir(encoded.constData());
    if (!dir)
        return entries;
    const int fd = ::dirfd(dir);
    while (const dirent *e = ::readdir(dir)) {
        const QByteArray raw(e->d_name);
        if (raw == "." || raw == "..")
            continue;
        FolderEntry entry;
        entry.name = QString::fromUtf8(raw);
        entry.addressable = QFile::encodeName(entry.name) == raw;
        entry.hidden = raw.startsWith('.');
        entry.inode = quint64(e->d_ino);
        // Links count as what they point to, as the folder tree shows them.
        struct stat st = {};
        if (e->d_type == DT_DIR)
            entry.isDir = true;
        else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN)
            entry.isDir = ::fstatat(fd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        entries.append(entry);
    }
    ::closedir(dir);
    return entries;
}

bool isUnaddressableName(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0 || !path.contains(QChar::ReplacementCharacter))
        return false;
    const QString name = path.mid(slash + 1);
    const QList<FolderEntry> entries =
        scanFolder(slash == 0 ? QStringLiteral("/") : path.left(slash));
    for (const FolderEntry &e : entries)
        if (!e.addressable && e.name == name)
            return true;
    return false;
}

} // namespace core
