// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace core {

namespace {
QString g_programFolder;
} // namespace

QString programFolder()
{
    if (!g_programFolder.isEmpty())
        return g_programFolder;
    // Built tree: <build>/bin/pictavo with data in <build>/share/pictavo.
    // Installed: <prefix>/bin/pictavo with data in <prefix>/share/pictavo.
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString data =
        QDir::cleanPath(bin.absoluteFilePath(QStringLiteral(PICTAVO_DATA_FROM_BIN)));
    if (QFileInfo(data).isDir())
        return data;
    return QDir::cleanPath(bin.absolutePath());
}

void setProgramFolder(const QString &folder)
{
    g_programFolder = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}

QString desktopFolder()
{
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir())
        return {};
    desktop = QDir::cleanPath(desktop);
    return desktop.endsWith(QLatin1Char('/')) ? desktop : desktop + QLatin1Char('/');
}

QString dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

} // namespace core
