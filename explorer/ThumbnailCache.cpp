// SPDX-License-Identifier: GPL-3.0-or-later
#include "explorer/ThumbnailCache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeDatabase>
#include <QTemporaryFile>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>

namespace explorer {

namespace {

const char *const kUriKey = "Thumb::URI";
const char *const kMTimeKey = "Thumb::MTime";
const char *const kSizeKey = "Thumb::Size";
const char *const kWidthKey = "Thumb::Image::Width";
const char *const kHeightKey = "Thumb::Image::Height";
const char *const kMimeKey = "Thumb::Mimetype";
const char *const kErrorKey = "X-Pictavo::Error";

// Entries larger than this are not thumbnails; they are not read.
constexpr qint64 kMaxEntryBytes = qint64(8) * 1024 * 1024;
constexpr int kMaxEntrySide = 1024;

// The sizes looked in, best first for a 140-pixel thumbnail.
const char *const kSizes[] = {"large", "x-large", "normal"};

// Creates the missing parts of a folder, each readable by its owner only.
bool makeFolder(const QString &folder)
{
    if (QFileInfo(folder).isDir())
        return true;
    const QString parent = QFileInfo(folder).path();
    if (parent != folder && !makeFolder(parent))
        return false;
    return ::mkdir(QFile::encodeName(folder).constData(), 0700) == 0 || errno == EEXIST;
}

// A whole number of seconds, as the writers of the cache put it; some
// write a fraction too.
bool parseSeconds(const QString &text, qint64 *seconds)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return false;
    *seconds = qint64(std::floor(value));
    return true;
}

bool matches(const QImage &entry, const ThumbnailCache::Stamp &stamp)
{
    if (entry.text(QLatin1String(kUriKey)).toUtf8() != stamp.uri)
        return false;
    qint64 mtime = 0;
    if (!parseSeconds(entry.text(QLatin1String(kMTimeKey)), &mtime) || mtime != stamp.mtime)
        return false;
    const QString size = entry.text(QLatin1String(kSizeKey));
    if (!size.isEmpty()) {
        bool ok = false;
        if (size.trimmed().toLongLong(&ok) != stamp.size || !ok)
            return false;
    }
    return true;
}

// Reads one entry; a missing, damaged, oversized or foreign one is null.
QImage readEntry(const QString &file, const ThumbnailCache::Stamp &stamp)
{
    const QFileInfo info(file);
    if (!info.isFile() || info.size() > kMaxEntryBytes)
        return {};
    QImageReader reader(file, "png");
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > kMaxEntrySide || size.height() > kMaxEntrySide)
        return {};
    QImage image;
    if (!reader.read(&image) || image.isNull() || !matches(image, stamp))
        return {};
    return image;
}

int positiveKey(const QImage &entry, const char *key)
{
    bool ok = false;
    const int value = entry.text(QLatin1String(key)).trimmed().toInt(&ok);
    return ok && value > 0 ? value : 0;
}

} // namespace

ThumbnailCache::ThumbnailCache(const QString &root) : m_root(QDir::cleanPath(root)) {}

QString ThumbnailCache::defaultRoot()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    // The desktop's rule: a relative value is ignored.
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.cache");
    return QDir::cleanPath(base + QStringLiteral("/thumbnails"));
}

QByteArray ThumbnailCache::fileUri(const QString &absolutePath)
{
    // Letters, digits and -._~!$&'()*+,=:@/ stay; every other byte of the
    // file name's encoding is written %XX in capitals.
    static const QByteArray kept = QByteArrayLiteral("-._~!$&'()*+,=:@/");
    const QByteArray raw = QFile::encodeName(QDir::cleanPath(absolutePath));
    QByteArray uri = QByteArrayLiteral("file://");
    uri.reserve(uri.size() + raw.size() * 3);
    for (const char c : raw) {
        const auto b = static_cast<unsigned char>(c);
        if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
            kept.contains(c)) {
            uri.append(c);
        } else {
            static const char hex[] = "0123456789ABCDEF";
            uri.append('%');
            uri.append(hex[b >> 4]);
            uri.append(hex[b & 15]);
        }
    }
    return uri;
}

QString ThumbnailCache::entryName(const QByteArray &uri)
{
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
           QStringLiteral(".png");
}

ThumbnailCache::Stamp ThumbnailCache::stampOf(const QString &path)
{
    Stamp s;
    struct stat st = {};
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (::stat(QFile::encodeName(absolute).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return s;
    s.uri = fileUri(absolute);
    s.mtime = qint64(st.st_mtime);
    s.size = qint64(st.st_size);
    return s;
}

ThumbnailCache::Lookup ThumbnailCache::lookup(const Stamp &stamp) const
{
    Lookup result;
    if (!stamp.isValid())
        return result;
    const QString name = entryName(stamp.uri);
    for (const char *size : kSizes) {
        const QImage entry = readEntry(
            m_root + QLatin1Char('/') + QLatin1String(size) + QLatin1Char('/') + name, stamp);
        if (entry.isNull())
            continue;
        result.outcome = Outcome::Hit;
        const int w = positiveKey(entry, kWidthKey);
        const int h = positiveKey(entry, kHeightKey);
        result.original = w > 0 && h > 0 ? QSize(w, h) : entry.size();
        result.picture = entry;
        return result;
    }
    const QImage failure = readEntry(failFolder() + QLatin1Char('/') + name, stamp);
    if (!failure.isNull()) {
        result.outcome = Outcome::Failed;
        result.error = failure.text(QLatin1String(kErrorKey));
    }
    return result;
}

bool ThumbnailCache::holds(const QString &path) const
{
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    return clean == m_root || clean.startsWith(m_root + QLatin1Char('/'));
}

QString ThumbnailCache::failFolder() const
{
    return m_root + QStringLiteral("/fail/pictavo-") + QStringLiteral(PICTAVO_VERSION);
}

bool ThumbnailCache::write(const QString &folder, const QString &name, const QImage &image) const
{
    if (!makeFolder(folder))
        return false;
    // A reader never sees half an entry: it is written under a temporary
    // name in the same folder, then renamed into place.
    QTemporaryFile file(folder + QLatin1Char('/') + name + QStringLiteral(".XXXXXX"));
    if (!file.open())
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QImageWriter writer(&file, "png");
    // Light compression: entries are small, and written while the user waits.
    writer.setQuality(90);
    if (!writer.write(image) || !file.flush()) {
        file.remove();
        return false;
    }
    const QByteArray from = QFile::encodeName(file.fileName());
    const QByteArray to = QFile::encodeName(folder + QLatin1Char('/') + name);
    if (std::rename(from.constData(), to.constData()) != 0) {
        file.remove();
        return false;
    }
    file.setAutoRemove(false);
    return true;
}

bool ThumbnailCache::store(const QString &path, const Stamp &stamp, const QImage &picture,
                           QSize original) const
{
    if (!stamp.isValid() || picture.isNull() || holds(path))
        return false;
    QImage entry = picture;
    if (picture.width() > kLargeEdge || picture.height() > kLargeEdge)
        entry =
            picture.scaled(kLargeEdge, kLargeEdge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    entry.setText(QLatin1String(kUriKey), QString::fromUtf8(stamp.uri));
    entry.setText(QLatin1String(kMTimeKey), QString::number(stamp.mtime));
    entry.setText(QLatin1String(kSizeKey), QString::number(stamp.size));
    if (original.isValid()) {
        entry.setText(QLatin1String(kWidthKey), QString::number(original.width()));
        entry.setText(QLatin1String(kHeightKey), QString::number(original.height()));
    }
    static const QMimeDatabase mimes;
    const QString mime = mimes.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
    if (!mime.isEmpty())
        entry.setText(QLatin1String(kMimeKey), mime);
    entry.setText(QStringLiteral("Software"), QStringLiteral("Pictavo " PICTAVO_VERSION));
    return write(m_root + QStringLiteral("/large"), entryName(stamp.uri), entry);
}

bool ThumbnailCache::storeFailure(const QString &path, const Stamp &stamp,
                                  const QString &error) const
{
    if (!stamp.isValid() || holds(path))
        return false;
    QImage entry(1, 1, QImage::Format_ARGB32);
    entry.fill(Qt::transparent);
    entry.setText(QLatin1String(kUriKey), QString::fromUtf8(stamp.uri));
    entry.setText(QLatin1String(kMTimeKey), QString::number(stamp.mtime));
    entry.setText(QLatin1String(kSizeKey), QString::number(stamp.size));
    entry.setText(QLatin1String(kErrorKey), error);
    entry.setText(QStringLiteral("Software"), QStringLiteral("Pictavo " PICTAVO_VERSION));
    return write(failFolder(), entryName(stamp.uri), entry);
}

int ThumbnailCache::clearFailures() const
{
    int removed = 0;
    QDirIterator it(failFolder(), {QStringLiteral("*.png")}, QDir::Files | QDir::Hidden);
    while (it.hasNext())
        removed += QFile::remove(it.next()) ? 1 : 0;
    return removed;
}

} // namespace explorer
