// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SingleInstance.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include "app/Logging.h"
#include "core/LockFiles.h"

namespace app {

namespace {
constexpr qint64 kUnreadableLockAgeMs = 5000;

QString defaultLockPath()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QLatin1String("/pictavo.lock");
}
} // namespace

LockFileInstance::LockFileInstance(const QString &lockPath)
    : m_path(lockPath.isEmpty() ? defaultLockPath() : lockPath)
{
}

LockFileInstance::~LockFileInstance() = default;

bool LockFileInstance::claim()
{
    if (m_lock && m_lock->isLocked())
        return true;
    core::removeOwnerlessRemovalGuard(m_path, kUnreadableLockAgeMs);
    m_lock = std::make_unique<QLockFile>(m_path);
    // No age limit: a lock is stale only when the process that holds it is
    // gone, however long the first instance has been running.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    if (m_lock->error() == QLockFile::LockFailedError) {
        // A running instance writes its process id into the lock at once. A
        // lock that still tells no owner after a while was left by a start
        // that died half-way; without this it would keep Pictavo out forever.
        qint64 pid = 0;
        QString host, appName;
        const QFileInfo info(m_path);
        if (m_lock->getLockInfo(&pid, &host, &appName) || !info.exists() ||
            qAbs(info.lastModified().msecsTo(QDateTime::currentDateTime())) < kUnreadableLockAgeMs)
            return false;
        m_lock->removeStaleLockFile();
        return m_lock->tryLock(0) || m_lock->error() != QLockFile::LockFailedError;
    }
    // Could not even create the lock file: run, unguarded.
    qCWarning(lcApp, "The lock %s cannot be made; a second Pictavo would not be stopped",
              qUtf8Printable(m_path));
    m_lock.reset();
    return true;
}

void LockFileInstance::release()
{
    if (m_lock)
        m_lock->unlock();
    m_lock.reset();
}

std::unique_ptr<SingleInstance> makeSingleInstance()
{
    return std::make_unique<LockFileInstance>();
}

} // namespace app
