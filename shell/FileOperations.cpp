// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/FileOperations.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <optional>

#include "core/Prompts.h"
#include "shell/FileSystem.h"
#include "shell/Logging.h"

namespace shell {

namespace {

// Failures that are not errno values.
constexpr int kSameFile = -1;
constexpr int kFolderClash = -2;
constexpr int kNoSuchFolder = -3;
constexpr int kCopyDiffers = -4;
constexpr int kFolderCopy = -5;

// Large enough for the in-kernel copy to run at full speed, small enough that
// Cancel answers at once.
constexpr qint64 kChunk = 8LL * 1024 * 1024;

FileOperations *g_replacement = nullptr;

QString fileName(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    const qsizetype slash = p.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? p : p.mid(slash + 1);
}

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString joinPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

struct FileOperations::Command
{
    core::FileOperation operation = core::FileOperation::CopyTo;
    bool several = false;
    std::optional<core::ReplaceAnswer> answerForAll;
    qint64 totalBytes = 0;
    qint64 bytesDone = 0;
    int filesDone = 0;
    OperationProgress *progress = nullptr;

    bool isMove() const { return operation == core::FileOperation::MoveTo; }
    QString verb() const
    {
        switch (operation) {
        case core::FileOperation::MoveTo:
            return QStringLiteral("move");
        case core::FileOperation::Rename:
            return QStringLiteral("rename");
        case core::FileOperation::Delete:
        case core::FileOperation::DeletePermanently:
            return QStringLiteral("delete");
        case core::FileOperation::CopyTo:
            break;
        }
        return QStringLiteral("copy");
    }
    bool advance(const QString &name)
    {
        return !progress || progress->advance(bytesDone, filesDone, name);
    }
};

FileOperations::FileOperations(FileSystem *fileSystem, OperationProgress *progress)
    : m_givenFileSystem(fileSystem), m_progress(progress)
{
}

FileOperations::~FileOperations() = default;

int FileOperations::fail(const QString &what, int error)
{
    qCWarning(lcShell) << what << error;
    core::msgBox(what + QStringLiteral(": ") + describeError(error), core::MsgIcon::Critical);
    return Failed;
}

int FileOperations::run(core::FileOperation operation, const QStringList &sources,
                        const QString &target)
{
    // The file system in force now: a test may have installed its own.
    m_fileSystem = m_givenFileSystem ? m_givenFileSystem : &fileSystem();
    Command command;
    command.operation = operation;
    command.several = sources.size() > 1;
    if (sources.isEmpty())
        return Done;

    switch (operation) {
    case core::FileOperation::Delete:
    case core::FileOperation::DeletePermanently:
        return deleteFiles(command, sources);
    case core::FileOperation::Rename:
        return renameFile(command, sources.first(), target);
    case core::FileOperation::CopyTo:
    case core::FileOperation::MoveTo:
        break;
    }

    // Several sources, or a target that is a folder: everything goes into
    // that folder under its own name.
    FileStatus targetStatus;
    const bool intoFolder = command.several || (m_fileSystem->status(target, &targetStatus) == 0 &&
                                                targetStatus.isFolder && !target.isEmpty());
    const QString folder = command.several ? folderOf(target) : target;

    for (const QString &source : sources) {
        FileStatus st;
        if (m_fileSystem->status(source, &st) == 0)
            command.totalBytes += st.size;
    }
    std::unique_ptr<OperationProgress> dialog;
    command.progress = m_progress;
    if (!command.progress) {
        dialog = createProgressDialog();
        command.progress = dialog.get();
    }
    command.progress->begin(operation, command.totalBytes, int(sources.size()));
    int result = Done;
    for (const QString &source : sources) {
        const QString destination = intoFolder ? joinPath(folder, fileName(source)) : target;
        result = copyOrMove(command, source, destination);
        if (result != Done)
            break;
    }
    command.progress->end();
    return result;
}

int FileOperations::askReplace(Command &command, const QString &destination)
{
    if (command.answerForAll)
        return int(*command.answerForAll);
    QString doing = QStringLiteral("copying");
    if (command.operation == core::FileOperation::MoveTo)
        doing = QStringLiteral("moving");
    else if (command.operation == core::FileOperation::Rename)
        doing = QStringLiteral("renaming");
    const QString text =
        QStringLiteral("There is already a file named %1 in %2.\n\nReplace it with the one you "
                       "are %3?")
            .arg(fileName(destination), folderOf(destination), doing);
    const core::ReplaceChoice choice = core::prompts().replaceQuestion(text, command.several);
    if (choice.applyToAll && command.several)
        command.answerForAll = choice.answer;
    return int(choice.answer);
}

int FileOperations::copyOrMove(Command &command, const QString &source, const QString &destination)
{
    const QString name = fileName(source);
    const QString folder = folderOf(destination);
    QString what = QStringLiteral("Cannot %1 %2 to %3").arg(command.verb(), name, folder);
    if (fileName(destination) != name)
        what = QStringLiteral("Cannot %1 %2 to %3").arg(command.verb(), name, destination);

    FileStatus src;
    if (const int error = m_fileSystem->status(source, &src))
        return fail(what, error);
    FileStatus folderStatus;
    if (m_fileSystem->status(folder, &folderStatus) != 0 || !folderStatus.isFolder)
        return fail(what, kNoSuchFolder);
    FileStatus dst;
    m_fileSystem->status(destination, &dst);
    if (dst.exists &&
        (src.isSameFile(dst) || QDir::cleanPath(source) == QDir::cleanPath(destination)))
        return fail(what, kSameFile);
    if (dst.exists && (dst.isFolder || src.isFolder))
        return fail(what, kFolderClash);

    bool replace = false;
    if (dst.exists) {
        switch (core::ReplaceAnswer(askReplace(command, destination))) {
        case core::ReplaceAnswer::Replace:
            replace = true;
            break;
        case core::ReplaceAnswer::Skip:
            command.bytesDone += src.size;
            ++command.filesDone;
            return command.advance(name) ? int(Done) : int(Cancelled);
        case core::ReplaceAnswer::Cancel:
            return Cancelled;
        }
    }

    if (command.isMove()) {
        const int error = m_fileSystem->rename(source, destination, replace);
        if (error == 0) {
            command.bytesDone += src.size;
            ++command.filesDone;
            return command.advance(name) ? int(Done) : int(Cancelled);
        }
        if (error != EXDEV)
            return fail(what, error);
    }
    if (src.isFolder)
        return fail(what, kFolderCopy);

    const int result = copyFile(command, source, destination, replace, command.isMove());
    if (result != Done)
        return result;
    if (command.isMove()) {
        // The copy is whole, on the disk and checked: only now may the
        // original go.
        if (const int error = m_fileSystem->remove(source)) {
            return fail(what + QStringLiteral(": the copy is there, but the original could not "
                                              "be removed"),
                        error);
        }
        m_fileSystem->syncFolder(folderOf(source));
    }
    ++command.filesDone;
    return command.advance(name) ? int(Done) : int(Cancelled);
}

int FileOperations::copyFile(Command &command, const QString &source, const QString &destination,
                             bool replace, bool isMove)
{
    const QString name = fileName(source);
    const QString folder = folderOf(destination);
    const QString what = QStringLiteral("Cannot %1 %2 to %3").arg(command.verb(), name, folder);
    // A copy that replaces a file, or that a move will remove the original
    // of, must be on the disk before that happens. A copy to a new name is
    // not synced, as cp does not: nothing is lost if the machine stops.
    const bool durable = replace || isMove;

    int in = -1;
    if (const int error = m_fileSystem->openForReading(source, &in))
        return fail(what, error);
    FileStatus src;
    if (const int error = m_fileSystem->status(source, &src)) {
        m_fileSystem->close(in);
        return fail(what, error);
    }

    QString temporary;
    int out = -1;
    int error = EEXIST;
    for (int attempt = 0; attempt < 16 && error == EEXIST; ++attempt) {
        temporary = joinPath(
            folder, QStringLiteral(".pictavo-%1.part")
                        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        error = m_fileSystem->createNew(temporary, src.mode | 0600, &out);
    }
    if (error) {
        m_fileSystem->close(in);
        return fail(what, error);
    }

    auto discard = [&] {
        if (out >= 0)
            m_fileSystem->close(out);
        m_fileSystem->close(in);
        m_fileSystem->remove(temporary);
    };

    const qint64 startBytes = command.bytesDone;
    for (;;) {
        qint64 copied = 0;
        if ((error = m_fileSystem->copyChunk(in, out, kChunk, &copied))) {
            discard();
            command.bytesDone = startBytes;
            return fail(what, error);
        }
        if (copied == 0)
            break;
        command.bytesDone += copied;
        if (!command.advance(name)) {
            discard();
            command.bytesDone = startBytes;
            return Cancelled;
        }
    }
    if ((error = m_fileSystem->copyAttributes(out, src)))
        qCWarning(lcShell) << "times of" << destination << "not kept:" << describeError(error);
    if (durable && (error = m_fileSystem->sync(out))) {
        discard();
        return fail(what, error);
    }
    error = m_fileSystem->close(out);
    out = -1;
    if (error) {
        discard();
        return fail(what, error);
    }
    if (isMove && (error = verifyCopy(source, temporary, src.size))) {
        discard();
        return fail(what, error);
    }
    m_fileSystem->close(in);
    if ((error = m_fileSystem->rename(temporary, destination, replace))) {
        m_fileSystem->remove(temporary);
        return fail(what, error);
    }
    if (durable)
        m_fileSystem->syncFolder(folder);
    return Done;
}

int FileOperations::verifyCopy(const QString &source, const QString &copy, qint64 size)
{
    FileStatus st;
    if (const int error = m_fileSystem->status(copy, &st))
        return error;
    if (st.size != size)
        return kCopyDiffers;
    if (size > kVerifyContentLimit)
        return 0;
    int a = -1;
    int b = -1;
    if (const int error = m_fileSystem->openForReading(source, &a))
        return error;
    if (const int error = m_fileSystem->openForReading(copy, &b)) {
        m_fileSystem->close(a);
        return error;
    }
    constexpr qint64 kBlock = 1 << 20;
    QByteArray x(kBlock, Qt::Uninitialized);
    QByteArray y(kBlock, Qt::Uninitialized);
    int result = 0;
    for (;;) {
        qint64 gotA = 0;
        qint64 gotB = 0;
        if ((result = m_fileSystem->read(a, x.data(), kBlock, &gotA)) ||
            (result = m_fileSystem->read(b, y.data(), kBlock, &gotB)))
            break;
        if (gotA != gotB || std::memcmp(x.constData(), y.constData(), size_t(gotA)) != 0) {
            result = kCopyDiffers;
            break;
        }
        if (gotA == 0)
            break;
    }
    m_fileSystem->close(a);
    m_fileSystem->close(b);
    return result;
}

int FileOperations::renameFile(Command &command, const QString &source, const QString &destination)
{
    const QString what =
        QStringLiteral("Cannot rename %1 to %2").arg(fileName(source), fileName(destination));
    if (source == destination)
        return Done;
    FileStatus src;
    if (const int error = m_fileSystem->status(source, &src))
        return fail(what, error);
    FileStatus dst;
    m_fileSystem->status(destination, &dst);
    bool replace = false;
    if (dst.exists && src.isSameFile(dst)) {
        // The same file under another letter case, on a file system that
        // does not tell case apart: the rename only changes the case.
        replace = true;
    } else if (dst.exists) {
        if (dst.isFolder || src.isFolder)
            return fail(what, kFolderClash);
        if (core::ReplaceAnswer(askReplace(command, destination)) != core::ReplaceAnswer::Replace)
            return Cancelled;
        replace = true;
    }
    if (const int error = m_fileSystem->rename(source, destination, replace))
        return fail(what, error);
    return Done;
}

int FileOperations::deleteFiles(Command &command, const QStringList &sources)
{
    const bool toTrash = command.operation == core::FileOperation::Delete;
    const QString subject = sources.size() == 1
                                ? fileName(sources.first())
                                : QStringLiteral("these %1 items").arg(sources.size());
    const QString question =
        toTrash ? QStringLiteral("Do you want to move %1 to the trash?").arg(subject)
                : QStringLiteral("Do you want to delete %1 for good?\n\nThis cannot be undone.")
                      .arg(subject);
    if (core::msgBox(question, toTrash ? core::MsgIcon::Question : core::MsgIcon::Exclamation,
                     core::MsgButtons::YesNo) != core::MsgResult::Yes)
        return Cancelled;

    for (const QString &source : sources) {
        const QString name = fileName(source);
        const QString what = toTrash ? QStringLiteral("Cannot move %1 to the trash").arg(name)
                                     : QStringLiteral("Cannot delete %1").arg(name);
        FileStatus st;
        if (const int error = m_fileSystem->status(source, &st))
            return fail(what, error);
        const int error =
            toTrash ? m_fileSystem->moveToTrash(source) : m_fileSystem->remove(source);
        if (error)
            return fail(what, error);
        ++command.filesDone;
    }
    return Done;
}

FileOperations &fileOperations()
{
    static FileOperations real;
    return g_replacement ? *g_replacement : real;
}

void setFileOperations(FileOperations *replacement)
{
    g_replacement = replacement;
}

QString describeError(int error)
{
    switch (error) {
    case kSameFile:
        return QStringLiteral("the source and the destination are the same file");
    case kFolderClash:
        return QStringLiteral("a folder of that name is already there");
    case kNoSuchFolder:
        return QStringLiteral("the folder does not exist");
    case kCopyDiffers:
        return QStringLiteral("the copy does not match the original");
    case kFolderCopy:
        return QStringLiteral("folders can only be moved within one disk, not copied");
    case ENOSPC:
        return QStringLiteral("the disk is full");
    case EDQUOT:
        return QStringLiteral("your disk quota is used up");
    case EROFS:
        return QStringLiteral("the disk is read-only");
    case EACCES:
    case EPERM:
        return QStringLiteral("you do not have permission");
    case ENOENT:
        return QStringLiteral("the file no longer exists");
    case ENOTDIR:
        return QStringLiteral("the folder does not exist");
    case ENAMETOOLONG:
        return QStringLiteral("the name is too long");
    case EEXIST:
        return QStringLiteral("a file of that name is already there");
    case EISDIR:
        return QStringLiteral("it is a folder");
    case EIO:
        return QStringLiteral("the disk reported an error");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("the file is in use");
    case EXDEV:
        return QStringLiteral("the destination is on another disk");
    case EFBIG:
        return QStringLiteral("the file is too large for that disk");
    default:
        break;
    }
    const QString text = QString::fromLocal8Bit(std::strerror(error));
    return text.isEmpty() ? text : text.at(0).toLower() + text.mid(1);
}

NewNameCheck checkNewName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return NewNameCheck::EndSilently;
    if (name.contains(QLatin1Char('/')))
        return NewNameCheck::RefuseSlash;
    if (name.contains(QChar(0)))
        return NewNameCheck::RefuseNul;
    return NewNameCheck::Accept;
}

QString refusedNameMessage(NewNameCheck check)
{
    switch (check) {
    case NewNameCheck::RefuseSlash:
        return QStringLiteral("A file name cannot contain \"/\".");
    case NewNameCheck::RefuseNul:
        return QStringLiteral("A file name cannot contain a NUL character.");
    case NewNameCheck::Accept:
    case NewNameCheck::EndSilently:
        break;
    }
    return {};
}

std::optional<QString> askRenameTarget(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString answer =
        core::prompts()
            .input(QStringLiteral("File Name:"), QStringLiteral("Rename File"), path.mid(slash + 1))
            .value_or(QString());
    const NewNameCheck check = checkNewName(answer);
    if (check == NewNameCheck::EndSilently)
        return std::nullopt;
    if (check != NewNameCheck::Accept) {
        core::msgBox(refusedNameMessage(check), core::MsgIcon::Exclamation);
        return std::nullopt;
    }
    const QString target = (slash <= 0 ? QString() : path.left(slash)) + QLatin1Char('/') + answer;
    // A sub-folder's name ends the command, and so does the same name.
    if (QFileInfo(target).isDir() || target == path)
        return std::nullopt;
    return target;
}

} // namespace shell
