// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

namespace shell {

// What the file operations need to know of a path.
struct FileStatus
{
    bool exists = false;
    bool isFolder = false;
    qint64 size = 0;
    quint64 device = 0;
    quint64 inode = 0;
    uint mode = 0; // permission bits
    qint64 accessSeconds = 0;
    qint64 accessNanoseconds = 0;
    qint64 modifiedSeconds = 0;
    qint64 modifiedNanoseconds = 0;

    // The same file under two names (a hard link, or a name in other letter
    // case on a file system that does not tell case apart).
    bool isSameFile(const FileStatus &other) const
    {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
};

// The calls the file operations make on the disk, behind an interface so
// that tests can make any of them fail the way a full disk, a read-only
// folder or a vanished file would. Every call returns 0 or an errno value;
// files are plain descriptors.
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // Follows symbolic links. A path that does not exist gives ENOENT.
    virtual int status(const QString &path, FileStatus *out);
    virtual int openForReading(const QString &path, int *fd);
    // Creates a new file that must not exist yet (EEXIST otherwise).
    virtual int createNew(const QString &path, uint mode, int *fd);
    // Copies up to length bytes from the read position of `from` to the write
    // position of `to`; *copied is 0 at the end of `from`.
    virtual int copyChunk(int from, int to, qint64 length, qint64 *copied);
    virtual int read(int fd, char *buffer, qint64 length, qint64 *got);
    // Gives the file the access and modification times and the permission
    // bits of `like`.
    virtual int copyAttributes(int fd, const FileStatus &like);
    // Writes the file's data through to the disk.
    virtual int sync(int fd);
    virtual int close(int fd);
    // Renames `from` to `to`; without replace an existing `to` gives EEXIST
    // and is left alone. Across file systems EXDEV.
    virtual int rename(const QString &from, const QString &to, bool replace);
    // Removes a file, or a folder with everything in it.
    virtual int remove(const QString &path);
    // Moves a file or folder to the user's trash.
    virtual int moveToTrash(const QString &path);
    // Makes the folder's entries (a rename into it) durable.
    virtual int syncFolder(const QString &folder);
};

// The file system in force: the machine's own unless a test installed
// another.
FileSystem &fileSystem();
// Install a replacement (not owned); nullptr restores the machine's own.
void setFileSystem(FileSystem *replacement);

} // namespace shell
