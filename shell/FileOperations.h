// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include "core/FileOperation.h"

namespace shell {

class FileSystem;

// Shows how far a long copy or move has come and lets the user stop it.
class OperationProgress
{
public:
    virtual ~OperationProgress() = default;
    // A command that may copy totalBytes in totalFiles files begins.
    virtual void begin(core::FileOperation operation, qint64 totalBytes, int totalFiles) = 0;
    // Progress so far; false when the user asked to stop.
    virtual bool advance(qint64 bytesDone, int filesDone, const QString &currentName) = 0;
    virtual void end() = 0;
};

// The progress dialog: it appears only when a command has run for about half
// a second, keeps the windows painted while the copy runs and has a Cancel
// button.
std::unique_ptr<OperationProgress> createProgressDialog();

// Copy, move, rename and delete of the user's files, as the desktop's own
// file operation does them, built so that no file is ever lost:
//  - a copy is written under a temporary name in the target folder and
//    renamed into place only when complete; a failed or cancelled copy
//    leaves nothing behind, and a file it replaces stays as it was until the
//    new one is whole (and synced to the disk);
//  - a move within one file system is a rename; across file systems the
//    file is copied, synced, checked against the source and only then is the
//    source removed;
//  - an existing file is replaced only when the user says so (replace, skip
//    or cancel, with "apply to all" when several files are involved), and
//    deleting asks first;
//  - modification times and permissions go with the file.
// Every failure is told to the user in one message through the prompts.
class FileOperations
{
public:
    enum Result
    {
        Done = 0,
        Cancelled = 1,
        Failed = 2,
    };

    // fileSystem and progress are not owned; nullptr uses the machine's own
    // file system and the progress dialog.
    explicit FileOperations(FileSystem *fileSystem = nullptr,
                            OperationProgress *progress = nullptr);
    virtual ~FileOperations();

    // Carries out operation on sources. Copy and move: target is the
    // destination path of a single source, and its folder receives every
    // source when there are several (or when target is an existing folder).
    // Rename: one source, target its new full path. Delete: target unused.
    // Returns Done, or Cancelled or Failed (non-zero) after the user stopped
    // the command or a step failed; files handled before that stay handled.
    virtual int run(core::FileOperation operation, const QStringList &sources,
                    const QString &target);

    // A move across file systems compares a copy of up to this size with its
    // source byte for byte before the source goes; larger ones by size.
    static constexpr qint64 kVerifyContentLimit = 64LL * 1024 * 1024;

private:
    struct Command;
    int copyOrMove(Command &command, const QString &source, const QString &destination);
    int renameFile(Command &command, const QString &source, const QString &destination);
    int deleteFiles(Command &command, const QStringList &sources);
    int copyFile(Command &command, const QString &source, const QString &destination, bool replace,
                 bool isMove);
    int verifyCopy(const QString &source, const QString &copy, qint64 size);
    int askReplace(Command &command, const QString &destination);
    int fail(const QString &what, int error);

    FileSystem *m_givenFileSystem = nullptr;
    FileSystem *m_fileSystem = nullptr; // in force during a run
    OperationProgress *m_progress = nullptr;
};

// The service in force: the real one unless a test installed its own.
FileOperations &fileOperations();
// Install a replacement (not owned); nullptr restores the real one.
void setFileOperations(FileOperations *replacement);

// What a user's errno means, in the user's terms ("the disk is full").
QString describeError(int error);

// How the rename command takes the name the user typed.
enum class NewNameCheck
{
    Accept,      // a name to rename to
    EndSilently, // nothing to do: cancelled, empty, "." or ".."
    RefuseSlash, // holds a "/", which would put the file in another folder
    RefuseNul,   // holds a NUL character
};
NewNameCheck checkNewName(const QString &name);
// The message for a refused name.
QString refusedNameMessage(NewNameCheck check);
// Asks for a new name of the file at path ("Rename File") and returns the
// path it would take in the same folder; nothing when the command ends
// there: cancelled, a refused name (said in a message), the same name or
// the name of a sub-folder.
std::optional<QString> askRenameTarget(const QString &path);

} // namespace shell
