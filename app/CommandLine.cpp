// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "app/frmMain.h"
#include "explorer/ThumbnailExplorer.h"
#include "imaging/ImageView.h"
#include "shell/Associations.h"
#include "viewer/frmViwer.h"

namespace modMain {

bool PathExists(const QString &path)
{
    // The root is this system's drive root: it is always there.
    if (path == QLatin1String("/"))
        return true;
    // A text with a NUL in it cannot name a file; the file system would only
    // see the part before it.
    if (path.isEmpty() || path.contains(QChar(u'\0')))
        return false;
    return QFileInfo::exists(path);
}

int FindImageIndex(const QStringList &list, const QString &path)
{
    const qsizetype i = list.indexOf(path);
    return i < 0 ? 0 : int(i);
}

QString ParentFolder(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    QString parent = path.left(slash);
    while (parent.endsWith(QLatin1Char('/')))
        parent.chop(1);
    return parent.isEmpty() ? QStringLiteral("/") : parent;
}

QString AbsoluteCommandPath(const QString &commandText)
{
    if (commandText.isEmpty() || QDir::isAbsolutePath(commandText))
        return commandText;
    // A name typed in a terminal is relative to where Pictavo was started;
    // its folder is that folder, not the root.
    QString path = QDir::cleanPath(QDir::current().absoluteFilePath(commandText));
    if (commandText.endsWith(QLatin1Char('/')) && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

} // namespace modMain

void frmMain::HandleCommandLine(const QString &commandText)
{
    // The switches count only as the whole text, exactly as written.
    const bool deassociate = commandText == QStringView(modMain::kDeAssociateSwitch);
    const bool associate = commandText == QStringView(modMain::kAssociateSwitch);

    // Either the bindings go back to their previous programs, or the start-up
    // check runs: on "/Associate" and on every ordinary start, before any
    // window but the splash is up, so that its question comes first.
    if (deassociate)
        shell::associations::restorePrevious();
    else
        shell::associations::ensureAssociated();

    // A switch is all this start was for: the process ends without a window.
    if (deassociate || associate) {
        EndMe();
        return;
    }

    // Anything else that names a file or folder opens the viewer on it, with
    // the images of its folder to step through; whatever names nothing (a
    // quoted or misspelt path) starts the browser.
    if (!modMain::PathExists(commandText))
        return;
    const QString path = modMain::AbsoluteCommandPath(commandText);
    const QStringList list =
        ImageExplore1->imageList(modMain::ParentFolder(path), QStringLiteral("*.*"));
    // A folder without images would leave an empty viewer and a hidden
    // browser, so nothing on screen: the browser starts instead.
    if (list.isEmpty())
        return;

    bHiddenByCommand = true;
    hide();
    frmViwer *viewer = Viewer();
    viewer->ImgX->setZoom(1.0);
    // Closing this viewer ends the program.
    viewer->bCommand = true;
    // A folder, an unsupported file or a name in another letter case than on
    // disk is not in the list: the viewer opens on the folder's first image.
    viewer->ViewImage(list, modMain::FindImageIndex(list, path));

    // Let the viewer paint before the start-up returns.
    for (int i = 0; i < 9; ++i)
        QCoreApplication::processEvents();
}
