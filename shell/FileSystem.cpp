// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shell {

namespace {

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

int lastError(int fallback = EIO)
{
    return errno != 0 ? errno : fallback;
}

FileSystem *g_replacement = nullptr;

} // namespace

int FileSystem::status(const QString &path, FileStatus *out)
{
    *out = FileStatus{};
    struct stat st = {};
    if (::stat(native(path).constData(), &st) != 0)
        return lastError(ENOENT);
    out->exists = true;
    out->isFolder = S_ISDIR(st.st_mode);
    out->size = qint64(st.st_size);
    out->device = quint64(st.st_dev);
    out->inode = quint64(st.st_ino);
    out->mode = uint(st.st_mode & 07777);
    out->accessSeconds = qint64(st.st_atim.tv_sec);
    out->accessNanoseconds = qint64(st.st_atim.tv_nsec);
    out->modifiedSeconds = qint64(st.st_mtim.tv_sec);
    out->modifiedNanoseconds = qint64(st.st_mtim.tv_nsec);
    return 0;
}

int FileSystem::openForReading(const QString &path, int *fd)
{
    *fd = ::open(native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (*fd < 0)
        return lastError(ENOENT);
    // Only regular files are copied; a folder or a device is refused here.
    struct stat st = {};
    if (::fstat(*fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(*fd);
        *fd = -1;
        return error;
    }
    ::posix_fadvise(*fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return 0;
}

int FileSystem::createNew(const QString &path, uint mode, int *fd)
{
    *fd = ::open(native(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                 mode_t(mode & 0777));
    return *fd < 0 ? lastError() : 0;
}

int FileSystem::copyChunk(int from, int to, qint64 length, qint64 *copied)
{
    *copied = 0;
    // In-kernel copy where the file systems allow it, as cp does; a plain
    // read and write where they do not.
    const ssize_t n = ::copy_file_range(from, nullptr, to, nullptr, size_t(length), 0);
    if (n >= 0) {
        *copied = qint64(n);
        return 0;
    }
    const int error = errno;
    if (error != EXDEV && error != ENOSYS && error != EINVAL && error != EOPNOTSUPP)
        return error;
    constexpr qint64 kBuffer = 1 << 20;
    QByteArray buffer(int(std::min(length, kBuffer)), Qt::Uninitialized);
    ssize_t got = 0;
    do {
        got = ::read(from, buffer.data(), size_t(buffer.size()));
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        return lastError();
    qint64 written = 0;
    while (written < got) {
        const ssize_t w = ::write(to, buffer.constData() + written, size_t(got - written));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        written += w;
    }
    *copied = written;
    return 0;
}

int FileSystem::read(int fd, char *buffer, qint64 length, qint64 *got)
{
    ssize_t n = 0;
    do {
        n = ::read(fd, buffer, size_t(length));
    } while (n < 0 && errno == EINTR);
    *got = n < 0 ? 0 : qint64(n);
    return n < 0 ? lastError() : 0;
}

int FileSystem::copyAttributes(int fd, const FileStatus &like)
{
    struct timespec times[2] = {};
    times[0].tv_sec = time_t(like.accessSeconds);
    times[0].tv_nsec = long(like.accessNanoseconds);
    times[1].tv_sec = time_t(like.modifiedSeconds);
    times[1].tv_nsec = long(like.modifiedNanoseconds);
    if (::futimens(fd, times) != 0)
        return lastError();
    // Some file systems (FAT) keep no permissions; that loses nothing.
    if (::fchmod(fd, mode_t(like.mode & 0777)) != 0 && errno != EPERM && errno != ENOTSUP)
        return lastError();
    return 0;
}

int FileSystem::sync(int fd)
{
    return ::fsync(fd) == 0 ? 0 : lastError();
}

int FileSystem::close(int fd)
{
    // A write error can show up only now (network file systems).
    return ::close(fd) == 0 || errno == EINTR ? 0 : lastError();
}

int FileSystem::rename(const QString &from, const QString &to, bool replace)
{
    const QByteArray f = native(from);
    const QByteArray t = native(to);
    if (replace)
        return ::rename(f.constData(), t.constData()) == 0 ? 0 : lastError();
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return lastError();
    // A file system without the no-replace rename: a hard link fails on an
    // existing name just the same.
    if (::link(f.constData(), t.constData()) == 0)
        return ::unlink(f.constData()) == 0 ? 0 : lastError();
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP)
        return lastError();
    if (::access(t.constData(), F_OK) == 0)
        return EEXIST;
    return ::rename(f.constData(), t.constData()) == 0 ? 0 : lastError();
}

int FileSystem::remove(const QString &path)
{
    const QByteArray p = native(path);
    struct stat st = {};
    if (::lstat(p.constData(), &st) != 0)
        return lastError(ENOENT);
    if (!S_ISDIR(st.st_mode))
        return ::unlink(p.constData()) == 0 ? 0 : lastError();
    errno = 0;
    return QDir(path).removeRecursively() ? 0 : lastError(EACCES);
}

int FileSystem::moveToTrash(const QString &path)
{
    errno = 0;
    if (!QFileInfo::exists(path))
        return ENOENT;
    // The trash folder is made inside the user's data folder, which a new
    // account may not have yet.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return QFile::moveToTrash(path) ? 0 : lastError(EACCES);
}

int FileSystem::syncFolder(const QString &folder)
{
    const int fd = ::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return lastError();
    const int result = ::fsync(fd) == 0 || errno == EINVAL ? 0 : lastError();
    ::close(fd);
    return result;
}

FileSystem &fileSystem()
{
    static FileSystem machine;
    return g_replacement ? *g_replacement : machine;
}

void setFileSystem(FileSystem *replacement)
{
    g_replacement = replacement;
}

} // namespace shell
