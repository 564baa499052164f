// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/Wallpaper.h"

#include <QDir>
#include <QFileInfo>

#include "core/Formats.h"
#include "core/Paths.h"
#include "core/Prompts.h"
#include "imaging/ImageEngine.h"
#include "shell/DesktopBackground.h"

namespace shell {

QString wallpaperFolder()
{
    QString folder = core::dataFolder() + QStringLiteral("/wallpaper");
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

bool isProtectedWallpaperFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.fileName().startsWith(QLatin1Char('.')))
        return false;
    return !(info.permissions() & QFileDevice::WriteOwner) || !info.isWritable();
}

void setWallpaper(imaging::ImageEngine &image, const QString &shownPath)
{
    if (image.pageCount() == 0)
        return;
    // The file keeps the shown image's name, extension included, although
    // its content is always a bitmap.
    QString name = image.fileName();
    if (name.isEmpty())
        name = QFileInfo(shownPath).fileName();
    if (name.isEmpty())
        name = QStringLiteral("wallpaper.bmp");
    const QString target = wallpaperFolder() + name;
    if (isProtectedWallpaperFile(target)) {
        core::msgBox(QString::fromUtf16(kProtectedWallpaperMessage), core::MsgIcon::None,
                     core::MsgButtons::Ok);
        return;
    }
    QDir().mkpath(wallpaperFolder());
    try {
        image.save(target, core::FormatBMP);
    } catch (const imaging::ImageError &e) {
        core::msgBox(e.description(), core::MsgIcon::Exclamation);
        return;
    }
    QString problem;
    if (!desktopBackground().setPicture(target, &problem))
        core::msgBox(QStringLiteral("The picture was saved as %1, but the wallpaper could not "
                                    "be set: %2.")
                         .arg(QDir::toNativeSeparators(target), problem),
                     core::MsgIcon::Exclamation);
}

} // namespace shell
