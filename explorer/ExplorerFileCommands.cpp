// SPDX-License-Identifier: GPL-3.0-or-later
// The explorer's file commands: Copy To, Move To, Delete, Delete for good and
// Rename on the selected items, and Copy Image. The file-operation service
// does the work and asks the questions; here the list is kept in step with
// what is on disk.
#include <QDir>
#include <QFileInfo>
#include <QListView>

#include <algorithm>

#include "core/Formats.h"
#include "core/Prompts.h"
#include "explorer/ExplorerModel.h"
#include "explorer/Logging.h"
#include "explorer/ThumbnailExplorer.h"
#include "imaging/ImageEngine.h"
#include "shell/FileOperations.h"

namespace explorer {

namespace {

QString fileNameOf(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// A file in the root folder would otherwise get "//" in its path.
QString withoutDoubledSeparators(QString path)
{
    while (path.contains(QLatin1String("//")))
        path.replace(QLatin1String("//"), QLatin1String("/"));
    return path;
}

} // namespace

void ThumbnailExplorer::setDestinationChooser(DestinationChooser chooser)
{
    m_destinationChooser = std::move(chooser);
}

QStringList ThumbnailExplorer::selectedPaths() const
{
    QStringList paths;
    for (int position : selectedPositions()) {
        const QString tag = m_model->item(position - 1).tag;
        if (!tag.isEmpty())
            paths << tag;
    }
    return paths;
}

void ThumbnailExplorer::removeSelectedItem(int index0)
{
    if (index0 < 0 || index0 >= count())
        return;
    setAllSelected(false);
    // Positions are 1-based: this selects and announces the item before the
    // removed one, and nothing when the first item goes.
    if (index0 >= 1)
        selectItem(index0, true);
    removeRow(index0);
}

void ThumbnailExplorer::removeRow(int row)
{
    const ExplorerItem &item = m_model->item(row);
    // A running listing keeps filling the placeholders it was at.
    const bool filled = !item.label.isEmpty();
    if (item.job >= 0 && item.job < m_jobRows.size()) {
        m_jobRows[item.job] = -1;
        m_jobsInMemory.remove(item.job);
    }
    for (int &r : m_jobRows)
        if (r > row)
            --r;
    m_model->removeItem(row);
    if (!m_listingStopped && filled)
        --m_itemCount;
}

void ThumbnailExplorer::runFileCommand(core::FileOperation operation)
{
    using core::FileOperation;
    const int current = currentPosition();
    if (current < 1)
        return;
    const int currentRow = current - 1;
    const QString currentPath = m_model->item(currentRow).tag;
    if (currentPath.isEmpty())
        return; // a placeholder: nothing on disk is known yet

    QStringList sources = selectedPaths();
    if (sources.isEmpty())
        sources << currentPath;
    QString target;
    switch (operation) {
    case FileOperation::CopyTo:
    case FileOperation::MoveTo: {
        const QString folder =
            m_destinationChooser ? m_destinationChooser(operation, currentPath) : QString();
        if (folder.isEmpty())
            return;
        target = folder.endsWith(QLatin1Char('/'))
                     ? folder + fileNameOf(currentPath)
                     : folder + QLatin1Char('/') + fileNameOf(currentPath);
        break;
    }
    case FileOperation::Rename: {
        const std::optional<QString> renamed = shell::askRenameTarget(currentPath);
        if (!renamed)
            return;
        target = *renamed;
        sources = QStringList{currentPath};
        break;
    }
    case FileOperation::Delete:
    case FileOperation::DeletePermanently:
        break;
    }

    const int result = shell::fileOperations().run(operation, sources, target);

    if (operation == FileOperation::CopyTo)
        return;
    if (operation == FileOperation::Rename) {
        if (result != 0 || !QFileInfo::exists(target))
            return;
        // The item keeps its place and its picture.
        ExplorerItem item = m_model->item(currentRow);
        item.tag = withoutDoubledSeparators(target);
        item.label = fileNameOf(item.tag);
        m_model->setItem(currentRow, item);
        m_listView->viewport()->update();
        return;
    }

    // Delete and move: every listed file that is gone from the disk leaves
    // the list, also after a command that stopped half-way.
    QList<int> goneRows;
    for (int position : selectedPositions()) {
        const QString tag = m_model->item(position - 1).tag;
        if (!tag.isEmpty() && sources.contains(tag) && !QFileInfo::exists(tag))
            goneRows << position - 1;
    }
    if (goneRows.isEmpty())
        return;
    if (goneRows.contains(currentRow)) {
        // The current item's removal moves the selection to the item before.
        const int before = int(std::count_if(goneRows.cbegin(), goneRows.cend(),
                                             [&](int row) { return row < currentRow; }));
        // Rows go from the last so that the earlier positions stay valid. A reversed
        // range over a QList does not build with clang 14 and libstdc++ 12's ranges.
        // NOLINTNEXTLINE(modernize-loop-convert): see above
        for (auto it = goneRows.crbegin(); it != goneRows.crend(); ++it)
            if (*it != currentRow)
                removeRow(*it);
        removeSelectedItem(currentRow - before);
    } else {
        // NOLINTNEXTLINE(modernize-loop-convert): last row first, as above
        for (auto it = goneRows.crbegin(); it != goneRows.crend(); ++it)
            removeRow(*it);
    }
    m_listView->viewport()->update();
}

void ThumbnailExplorer::copyImage()
{
    const int current = currentPosition();
    if (current < 1)
        return;
    const QString path = m_model->item(current - 1).tag;
    QString reason;
    if (path.isEmpty())
        reason = QStringLiteral("the item is still being listed");
    else if (QFileInfo(path).isDir())
        reason = QStringLiteral("it is a folder");
    if (reason.isEmpty()) {
        // A private engine: the host's preview and the thumbnails stay as
        // they are, and so does the clipboard when the file cannot be read.
        imaging::ImageEngine engine;
        try {
            if (core::usesPictureLoader(path)) {
                QString error;
                const QImage picture = imaging::loadPicture(path, &error);
                if (picture.isNull())
                    throw imaging::ImageError(error);
                engine.loadPicture(picture);
            } else {
                engine.loadFile(path);
            }
            engine.copyToClipboard();
            return;
        } catch (const imaging::ImageError &e) {
            reason = QStringLiteral("it cannot be read as a picture");
            qCInfo(lcExplorer) << "copy image" << path << e.description();
        }
    }
    const QString name = path.isEmpty() ? QStringLiteral("the image") : fileNameOf(path);
    core::msgBox(QStringLiteral("Cannot copy %1 to the clipboard: %2").arg(name, reason),
                 core::MsgIcon::Exclamation);
}

} // namespace explorer
