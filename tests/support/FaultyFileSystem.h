// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A file system for tests of the file operations: the machine's own, with
// faults on demand. Header-only: its tests link pictavo_shell anyway.

#include <QStringList>

#include <cerrno>
#include <functional>
#include <unistd.h>

#include "core/FileOperation.h"
#include "shell/FileOperations.h"
#include "shell/FileSystem.h"

namespace testsupport {

class FaultyFileSystem : public shell::FileSystem
{
public:
    // Called before every call with its name ("status", "openForReading",
    // "createNew", "copyChunk", "copyAttributes", "sync", "close", "rename",
    // "remove", "moveToTrash", "syncFolder") and its path (empty for calls
    // on a descriptor); a non-zero errno fails the call untouched.
    std::function<int(const QString &call, const QString &path)> fault;
    // Bytes that copies may still write; past that a copy writes what fits
    // and fails as a full disk does. Negative: no limit.
    qint64 freeSpace = -1;
    // Every copied chunk gets one byte wrong, as a bad cable would.
    bool corruptCopies = false;
    QStringList calls;

    int status(const QString &path, shell::FileStatus *out) override
    {
        if (int e = check(QStringLiteral("status"), path)) {
            *out = {};
            return e;
        }
        return shell::FileSystem::status(path, out);
    }
    int openForReading(const QString &path, int *fd) override
    {
        if (int e = check(QStringLiteral("openForReading"), path))
            return e;
        return shell::FileSystem::openForReading(path, fd);
    }
    int createNew(const QString &path, uint mode, int *fd) override
    {
        if (int e = check(QStringLiteral("createNew"), path))
            return e;
        return shell::FileSystem::createNew(path, mode, fd);
    }
    int copyChunk(int from, int to, qint64 length, qint64 *copied) override
    {
        *copied = 0;
        if (int e = check(QStringLiteral("copyChunk"), {}))
            return e;
        if (freeSpace == 0)
            return ENOSPC;
        if (freeSpace > 0)
            length = std::min(length, freeSpace);
        const int e = shell::FileSystem::copyChunk(from, to, length, copied);
        if (freeSpace > 0)
            freeSpace -= *copied;
        if (e == 0 && corruptCopies && *copied > 0) {
            const off_t end = ::lseek(to, 0, SEEK_CUR);
            char flipped = 0;
            if (::pread(to, &flipped, 1, end - 1) < 0)
                flipped = 0;
            flipped = char(flipped ^ 0x5a);
            if (::pwrite(to, &flipped, 1, end - 1) != 1)
                return EIO;
        }
        return e;
    }
    int copyAttributes(int fd, const shell::FileStatus &like) override
    {
        if (int e = check(QStringLiteral("copyAttributes"), {}))
            return e;
        return shell::FileSystem::copyAttributes(fd, like);
    }
    int sync(int fd) override
    {
        if (int e = check(QStringLiteral("sync"), {}))
            return e;
        return shell::FileSystem::sync(fd);
    }
    int rename(const QString &from, const QString &to, bool replace) override
    {
        if (int e = check(QStringLiteral("rename"), from))
            return e;
        return shell::FileSystem::rename(from, to, replace);
    }
    int remove(const QString &path) override
    {
        if (int e = check(QStringLiteral("remove"), path))
            return e;
        return shell::FileSystem::remove(path);
    }
    int moveToTrash(const QString &path) override
    {
        if (int e = check(QStringLiteral("moveToTrash"), path))
            return e;
        return shell::FileSystem::moveToTrash(path);
    }
    int syncFolder(const QString &folder) override
    {
        if (int e = check(QStringLiteral("syncFolder"), folder))
            return e;
        return shell::FileSystem::syncFolder(folder);
    }

private:
    int check(const QString &call, const QString &path)
    {
        calls << call;
        return fault ? fault(call, path) : 0;
    }
};

// Progress that records what it was told and stops the command once
// stopAtBytes have been copied (never when negative).
class RecordingProgress : public shell::OperationProgress
{
public:
    qint64 stopAtBytes = -1;
    qint64 totalBytes = 0;
    int totalFiles = 0;
    qint64 lastBytes = 0;
    int advances = 0;
    bool ended = false;

    void begin(core::FileOperation, qint64 bytes, int files) override
    {
        totalBytes = bytes;
        totalFiles = files;
    }
    bool advance(qint64 bytesDone, int, const QString &) override
    {
        ++advances;
        lastBytes = bytesDone;
        return stopAtBytes < 0 || bytesDone < stopAtBytes;
    }
    void end() override { ended = true; }
};

} // namespace testsupport
