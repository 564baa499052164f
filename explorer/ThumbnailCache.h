// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace explorer {

// The desktop's shared thumbnail cache ($XDG_CACHE_HOME/thumbnails), which
// the file manager and other viewers read and write too. An entry is a PNG
// named after the MD5 of the file's URI; it counts only while its URI,
// modification time and (when it says) size still match the file, so a
// stale, foreign or damaged entry is a miss, never a wrong picture. Pictavo
// writes the "large" (256-pixel) size and records the files it cannot read
// in a failure folder of its own. Safe to use from any thread.
class ThumbnailCache
{
public:
    // root: the "thumbnails" folder itself.
    explicit ThumbnailCache(const QString &root);

    // $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails when it is unset.
    static QString defaultRoot();
    QString root() const { return m_root; }

    // What identifies a file to the cache; a missing file gives no URI.
    struct Stamp
    {
        QByteArray uri;
        qint64 mtime = -1; // whole seconds since the epoch
        qint64 size = -1;
        bool isValid() const { return !uri.isEmpty(); }
    };
    static Stamp stampOf(const QString &path);
    // "file://" and the absolute path, escaped as the desktop's file
    // managers escape it, so that all of them find the same entry.
    static QByteArray fileUri(const QString &absolutePath);
    // <md5 of the URI>.png
    static QString entryName(const QByteArray &uri);

    enum class Outcome
    {
        Miss,
        Hit,   // picture and original are set
        Failed // Pictavo could not read this version of the file before
    };
    struct Lookup
    {
        Outcome outcome = Outcome::Miss;
        QImage picture;
        QSize original; // the picture's true size, as far as the entry says
        QString error;  // for a recorded failure: why
    };
    Lookup lookup(const Stamp &stamp) const;

    // The long side a stored picture is scaled to.
    static constexpr int kLargeEdge = 256;
    // Writes the "large" entry of a file from its picture (any size; scaled
    // to fit 256 x 256 when larger). False when nothing was written: the file
    // lies inside the cache, or the cache cannot be written.
    bool store(const QString &path, const Stamp &stamp, const QImage &picture,
               QSize original) const;
    // Records that this version of the file cannot be read, and why.
    bool storeFailure(const QString &path, const Stamp &stamp, const QString &error) const;
    // Removes Pictavo's own failure records (other programs' entries stay);
    // returns how many went.
    int clearFailures() const;
    // Pictavo's failure folder: fail/pictavo-<version>.
    QString failFolder() const;
    // True for a path inside the cache folder: such files never get entries.
    bool holds(const QString &path) const;

private:
    bool write(const QString &folder, const QString &name, const QImage &image) const;

    QString m_root;
};

} // namespace explorer
