// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging {

namespace {

// The file whose contents are replaced: a link is followed (so that the link
// itself stays); anything else is the path itself.
QString resolvedTarget(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() && info.exists())
        return info.canonicalFilePath();
    return info.absoluteFilePath();
}

mode_t currentUmask()
{
    // Read without a window in which files would be created with mask 0:
    // only this thread saves files.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

bool writeAll(int fd, const char *data, qsizetype size, int *error)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(std::min<qsizetype>(size, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = errno;
            return false;
        }
        if (n == 0) {
            *error = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

// The temporary file as a device for encoders: writes are gathered into
// large blocks, and the first failure's error number is kept, so that a full
// disk is reported as such rather than as the encoder's own complaint.
class TemporaryFileDevice : public QIODevice
{
public:
    explicit TemporaryFileDevice(int fd) : m_fd(fd) { open(WriteOnly | Unbuffered); }
    ~TemporaryFileDevice() override { close(); }

    int error() const { return m_error; }

    bool flushPending()
    {
        if (m_error != 0)
            return false;
        const bool ok = writeAll(m_fd, m_pending.constData(), m_pending.size(), &m_error);
        m_pending.clear();
        return ok;
    }

    bool seek(qint64 position) override
    {
        if (!flushPending())
            return false;
        if (::lseek(m_fd, off_t(position), SEEK_SET) < 0) {
            m_error = errno;
            return false;
        }
        return QIODevice::seek(position);
    }

    qint64 size() const override
    {
        struct stat st = {};
        const qint64 written = ::fstat(m_fd, &st) == 0 ? qint64(st.st_size) : 0;
        return std::max(written, pos());
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }

    qint64 writeData(const char *data, qint64 size) override
    {
        if (m_error != 0)
            return -1;
        if (m_pending.size() + size > kBlock && !flushPending())
            return -1;
        if (size >= kBlock)
            return writeAll(m_fd, data, size, &m_error) ? size : -1;
        m_pending.append(data, size);
        return size;
    }

private:
    static constexpr qsizetype kBlock = 1 << 20;
    int m_fd;
    int m_error = 0;
    QByteArray m_pending;
};

} // namespace

QString describeWriteError(int error)
{
    switch (error) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("the disk is full");
    case EFBIG:
        return QStringLiteral("the file is too large for the disk");
    case EACCES:
    case EPERM:
        return QStringLiteral("the folder cannot be written");
    case EROFS:
        return QStringLiteral("the disk is read-only");
    case ENAMETOOLONG:
        return QStringLiteral("the file name is too long");
    case EISDIR:
        return QStringLiteral("it is a folder");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("the folder does not exist");
    case EIO:
        return QStringLiteral("the disk reported an error");
    default: {
        QString text = QString::fromLocal8Bit(std::strerror(error));
        if (!text.isEmpty())
            text[0] = text.at(0).toLower();
        return text;
    }
    }
}

QString checkWriteTarget(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || info.fileName().isEmpty())
        return QStringLiteral("the file name is empty");
    if (info.isSymLink() && !info.exists())
        return QStringLiteral("it is a link to nothing");
    if (info.exists()) {
        if (info.isDir())
            return QStringLiteral("it is a folder");
        // A pipe or a device would take the bytes somewhere else, or block.
        if (!info.isFile())
            return QStringLiteral("it is not a regular file");
    }
    const QFileInfo folder(QFileInfo(resolvedTarget(path)).absolutePath());
    if (!folder.isDir())
        return QStringLiteral("the folder does not exist");
    const QByteArray encodedFolder = QFile::encodeName(folder.absoluteFilePath());
    if (::access(encodedFolder.constData(), W_OK | X_OK) != 0)
        return describeWriteError(errno == ENOENT ? ENOTDIR : errno);
    return {};
}

QString replaceFile(const QString &path, const QByteArray &bytes)
{
    return replaceFile(path, [&bytes](QIODevice &out, QString *reason) {
        if (out.write(bytes) == bytes.size())
            return true;
        *reason = QStringLiteral("the file could not be written");
        return false;
    });
}

QString replaceFile(const QString &path, const ContentWriter &write)
{
    if (const QString problem = checkWriteTarget(path); !problem.isEmpty())
        return problem;
    const QString target = resolvedTarget(path);
    const QByteArray encodedTarget = QFile::encodeName(target);
    const QFileInfo targetInfo(target);

    struct stat old = {};
    const bool replacing = ::stat(encodedTarget.constData(), &old) == 0;
    const mode_t mode = replacing ? (old.st_mode & 07777) : (0666 & ~currentUmask());

    // The temporary name starts with a dot so that file browsers and the
    // explorer's listing do not show it while it is being written.
    QByteArray name = QFile::encodeName(targetInfo.fileName());
    if (name.size() > NAME_MAX - 16)
        name = "pictavo";
    QByteArray temporary = QFile::encodeName(targetInfo.absolutePath()) + "/." + name + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return describeWriteError(errno);

    int error = 0;
    QString reason;
    bool ok = true;
    {
        TemporaryFileDevice device(fd);
        ok = write(device, &reason) && device.flushPending();
        error = device.error();
        if (!ok && error == 0 && reason.isEmpty())
            reason = QStringLiteral("the file could not be written");
    }
    if (ok && ::fchmod(fd, mode) != 0) {
        error = errno;
        ok = false;
    }
    if (ok && replacing && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        // Only the owner's own processes (or root) may hand the file back to
        // its owner; elsewhere the new file keeps the saver's ownership.
        [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
    }
    // Space on some file systems is only claimed when the data reaches the
    // disk, so a full disk may show here and not in write.
    if (ok && ::fsync(fd) != 0) {
        error = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok) {
        error = errno;
        ok = false;
    }
    if (ok && ::rename(temporary.constData(), encodedTarget.constData()) != 0) {
        error = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temporary.constData());
        return error != 0 ? describeWriteError(error) : reason;
    }
    return {};
}

} // namespace imaging
