// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the explorer's source files share: cell size, picture keys and the
// small path rules of the listing.

#include <QSize>
#include <QString>

namespace explorer::detail {

inline const QSize kCellSize(150, 125);
// The user interface is serviced after items 1, 21, 41, ...
inline constexpr int kYieldEvery = 20;
inline const QString kFolderKey = QStringLiteral("Folder");
inline const QString kLoadingKey = QStringLiteral("A");
inline const QString kUnreadableKey = QStringLiteral("Unreadable");

// A key that names an image's own thumbnail, not a built-in picture.
inline bool isThumbnailKey(const QString &key)
{
    return !key.isEmpty() && key != kFolderKey && key != kLoadingKey && key != kUnreadableKey;
}

// The folder with exactly one trailing "/"; an empty path is the root.
inline QString folderOf(const QString &path)
{
    QString folder = path.isEmpty() ? QStringLiteral("/") : path;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

inline QString lastComponent(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// By name regardless of case; names that differ only in case by their code.
inline bool byName(const QString &a, const QString &b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

} // namespace explorer::detail
