// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "core/FolderScan.h"
#include "core/Prompts.h"
#include "shell/Associations.h"

namespace app::commandline {

bool pathExists(const QString &path)
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

int findImageIndex(const QStringList &list, const QString &path)
{
    const qsizetype i = list.indexOf(path);
    return i < 0 ? 0 : int(i);
}

QString parentFolder(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return QString();
    QString parent = path.left(slash);
    while (parent.endsWith(QLatin1Char('/')))
        parent.chop(1);
    return parent.isEmpty() ? QStringLiteral("/") : parent;
}

QString absoluteCommandPath(const QString &commandText)
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

QString commandTextOf(const QStringList &arguments)
{
    return arguments.mid(1).join(QLatin1Char(' '));
}

bool handleCommandLine(Host &host, const QString &commandText)
{
    // The switches count only as the whole text, exactly as written.
    const bool deassociate = commandText == QStringView(kDeAssociateSwitch);
    const bool associate = commandText == QStringView(kAssociateSwitch);

    // Either the bindings go back to their previous programs, or the start-up
    // check runs: on "/Associate" and on every ordinary start, before any
    // window but the splash is up, so that its question comes first.
    if (deassociate)
        shell::associations::restorePrevious();
    else
        shell::associations::ensureAssociated();

    // A switch is all this start was for: the process ends without a window.
    if (deassociate || associate) {
        host.shutdown();
        return false;
    }

    // Anything else that names a file or folder opens the viewer on it, with
    // the images of its folder to step through; whatever names nothing (a
    // quoted or misspelt path) starts the browser.
    if (!pathExists(commandText)) {
        // A file whose name is not valid UTF-8 arrives with replacement
        // characters that name nothing Qt can open: say so rather than start
        // as if no file had been named.
        const QString named = absoluteCommandPath(commandText);
        if (core::isUnaddressableName(named))
            core::msgBox(QStringLiteral("Pictavo cannot open %1: its name is not valid UTF-8 "
                                        "text.")
                             .arg(named),
                         core::MsgIcon::Exclamation);
        return false;
    }
    const QString path = absoluteCommandPath(commandText);
    const QStringList list = host.imageList(parentFolder(path));
    // A folder without images would leave an empty viewer and a hidden
    // browser, so nothing on screen: the browser starts instead.
    if (list.isEmpty())
        return false;

    // A folder, an unsupported file or a name in another letter case than on
    // disk is not in the list: the viewer opens on the folder's first image.
    host.openFromCommandLine(list, findImageIndex(list, path));

    // Let the viewer paint before the start-up returns.
    for (int i = 0; i < 9; ++i)
        QCoreApplication::processEvents();
    return true;
}

} // namespace app::commandline
