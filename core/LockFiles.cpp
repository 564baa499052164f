// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/LockFiles.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

namespace core {

void removeOwnerlessRemovalGuard(const QString &lockPath, qint64 olderThanMs)
{
    const QString guard = lockPath + QLatin1String(".rmlock");
    const QFileInfo info(guard);
    if (!info.isFile() || info.isSymLink())
        return;
    qint64 pid = 0;
    QString host;
    QString application;
    if (QLockFile(guard).getLockInfo(&pid, &host, &application))
        return;
    if (qAbs(info.lastModified().msecsTo(QDateTime::currentDateTime())) < olderThanMs)
        return;
    QFile::remove(guard);
}

} // namespace core
