// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's file commands: Copy To, Move To, Rename and Delete on the file
// of the image shown, and Copy Image. The file-operation service does the
// work and asks the questions; here the list, the title and the browser are
// brought in step with what happened on disk.
#include <QFileInfo>

#include "core/Prompts.h"
#include "imaging/ImageView.h"
#include "shell/FileOperations.h"
#include "viewer/BrowserLink.h"
#include "viewer/SlideShow.h"
#include "viewer/ViewerRules.h"
#include "viewer/ViewerWindow.h"

namespace viewer {

namespace {

// The chosen folder, a "/" unless it ends with one, and the file name.
QString joinDestination(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

void ViewerWindow::runFileOperation(core::FileOperation operation)
{
    using core::FileOperation;
    if (m_index < 0 || m_index >= m_paths.size() || m_paths.at(m_index).isEmpty())
        return;
    const QString source = m_paths.at(m_index);
    const QString name = fileNamePart(source);

    QString destination;
    switch (operation) {
    case FileOperation::CopyTo:
    case FileOperation::MoveTo: {
        const QString folder = m_link ? m_link->chooseDestination(operation, source) : QString();
        if (folder.isEmpty())
            return;
        destination = joinDestination(folder, name);
        break;
    }
    case FileOperation::Rename: {
        const std::optional<QString> renamed = shell::askRenameTarget(source);
        if (!renamed)
            return;
        destination = *renamed;
        break;
    }
    case FileOperation::Delete:
    case FileOperation::DeletePermanently:
        break;
    }

    if (shell::fileOperations().run(operation, {source}, destination) != 0)
        return;

    if (operation == FileOperation::Rename) {
        // A rename that changed only the letter case leaves a file at the
        // old name on a file system that ignores case; it still took place.
        if (!QFileInfo::exists(destination))
            return;
        if (!m_openedFromCommandLine && m_link)
            m_link->refreshImages(source, destination);
        m_paths[m_index] = destination;
        setWindowTitle(imageTitle(destination));
        return;
    }
    // A copy leaves the list alone; so does a move or delete that the user
    // skipped.
    if (operation == FileOperation::CopyTo || QFileInfo::exists(source))
        return;
    if (!m_openedFromCommandLine && m_link)
        m_link->refreshImages(source, QString());
    removeListEntry(m_index);
    if (m_paths.isEmpty()) {
        // Nothing left to show: an empty view, and back to the browser.
        if (m_slideShow->isRunning())
            stopSlideShow();
        m_index = 0;
        clearView();
        setWindowTitle(QString());
        returnToBrowser();
        return;
    }
    // The image after the removed one now has its place; after the last one
    // the list wraps to the first.
    viewImage(m_paths, m_index);
}

void ViewerWindow::removeListEntry(int index)
{
    if (index >= 0 && index < m_paths.size())
        m_paths.removeAt(index);
}

void ViewerWindow::deleteImage()
{
    runFileOperation(core::FileOperation::Delete);
}

void ViewerWindow::copyImage()
{
    if (m_imageView->engine().pageCount() > 0)
        m_imageView->engine().copyToClipboard();
}

} // namespace viewer
