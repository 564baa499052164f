// SPDX-License-Identifier: GPL-3.0-or-later
// The listed folder as other programs change it, and the cache's upkeep.
#include <QDateTime>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLineEdit>
#include <QListView>
#include <QTimer>

#include <sys/stat.h>

#include "explorer/ExplorerModel.h"
#include "explorer/ExplorerShared.h"
#include "explorer/ThumbnailCache.h"
#include "explorer/ThumbnailExplorer.h"
#include "explorer/ThumbnailQueue.h"

namespace explorer {

using namespace detail;

namespace {

// Changes come in bursts (a copy, a save through a temporary file): the
// folder is read again once they have settled.
constexpr int kSettleMs = 150;

qint64 modifiedSeconds(const QString &path)
{
    struct stat st = {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -1;
    return qint64(st.st_mtime);
}

} // namespace

void ThumbnailExplorer::watchFolder(const QString &folder, const Entries &entries)
{
    if (!m_watcher) {
        m_watcher = new QFileSystemWatcher(this);
        m_rescanTimer = new QTimer(this);
        m_rescanTimer->setSingleShot(true);
        m_rescanTimer->setInterval(kSettleMs);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, m_rescanTimer,
                qOverload<>(&QTimer::start));
        connect(m_watcher, &QFileSystemWatcher::fileChanged, m_rescanTimer,
                qOverload<>(&QTimer::start));
        connect(m_rescanTimer, &QTimer::timeout, this, &ThumbnailExplorer::folderChanged);
    }
    const QStringList old = m_watcher->directories() + m_watcher->files();
    if (!old.isEmpty())
        m_watcher->removePaths(old);
    m_watchedFiles.clear();
    m_rescanTimer->stop();
    m_watchedFolder = folder;
    m_lastSeen = QDateTime::currentSecsSinceEpoch();
    m_listedInodes.clear();
    m_listedInodes.reserve(entries.folders.size() + entries.images.size());
    for (const Entry &e : entries.folders)
        m_listedInodes.insert(e.path, e.inode);
    for (const Entry &e : entries.images)
        m_listedInodes.insert(e.path, e.inode);
    m_watcher->addPath(folder);
}

void ThumbnailExplorer::watchVisibleFiles(int first, int last)
{
    // The folder tells of files added, removed and renamed; a file written
    // in place tells only itself, so those on screen are watched too.
    if (!m_watcher || m_watchedFolder.isEmpty())
        return;
    QStringList wanted;
    for (int row = std::max(0, first); row <= last && row < m_model->rowCount(); ++row) {
        const ExplorerItem &item = m_model->item(row);
        if (item.job >= 0 && !item.tag.isEmpty())
            wanted.append(item.tag);
    }
    if (wanted == m_watchedFiles)
        return;
    if (!m_watchedFiles.isEmpty())
        m_watcher->removePaths(m_watchedFiles);
    m_watchedFiles = wanted;
    if (!wanted.isEmpty())
        m_watcher->addPaths(wanted);
}

QString ThumbnailExplorer::listedPath(int row) const
{
    // A placeholder the running listing has bound to a file stands for it
    // before its thumbnail is made.
    const ExplorerItem &item = m_model->item(row);
    if (item.tag.isEmpty() && item.label.isEmpty() && item.job >= 0 &&
        item.job < m_jobEntries.size() && m_jobEntries.at(item.job).addressable)
        return m_jobEntries.at(item.job).path;
    return item.tag;
}

int ThumbnailExplorer::rowOfPath(const QString &path) const
{
    for (int row = 0; row < m_model->rowCount(); ++row)
        if (listedPath(row) == path)
            return row;
    return -1;
}

QString ThumbnailExplorer::rowName(int row) const
{
    const ExplorerItem &item = m_model->item(row);
    if (!item.tag.isEmpty())
        return item.tag;
    if (item.job >= 0 && item.job < m_jobEntries.size())
        return m_jobEntries.at(item.job).path;
    return item.label.isEmpty() ? QString() : m_watchedFolder + item.label;
}

int ThumbnailExplorer::insertionRow(const QString &path, bool isFolder, int skip) const
{
    // Folders first, then images, each by name; placeholders of the listing
    // that were never filled stay at the end.
    const int n = m_model->rowCount();
    int row = 0;
    int position = 0; // counting the rows other than skip
    const auto before = [&](int r) {
        const QString name = rowName(r);
        return !name.isEmpty() && byName(name, path);
    };
    for (; row < n; ++row) {
        if (row == skip)
            continue;
        const bool folderRow = m_model->item(row).iconKey == kFolderKey;
        if (isFolder ? !(folderRow && before(row)) : !(folderRow || before(row)))
            break;
        ++position;
    }
    return position;
}

void ThumbnailExplorer::insertEntry(const Entry &entry, bool isFolder)
{
    const int row = insertionRow(entry.path, isFolder, -1);
    for (int &r : m_jobRows)
        if (r >= row)
            ++r;
    if (isFolder) {
        m_model->insertItem(row, ExplorerItem{kFolderKey,
                                              entry.addressable ? entry.path : QString(),
                                              lastComponent(entry.path),
                                              {},
                                              -1});
        ++m_itemCount;
        return;
    }
    ThumbnailQueue *queue = ensureQueue();
    const int job = int(m_jobEntries.size());
    m_jobEntries.append(entry);
    m_jobRows.append(row);
    m_model->insertItem(row, ExplorerItem{kLoadingKey, {}, {}, {}, job});
    const int added = queue->add(entry.addressable ? entry.path : QString());
    Q_ASSERT(added == job);
    Q_UNUSED(added);
}

void ThumbnailExplorer::renameRow(int row, const Entry &to, bool isFolder)
{
    ExplorerItem item = m_model->item(row);
    item.tag = to.addressable ? to.path : QString();
    item.label = lastComponent(to.path);
    m_model->setItem(row, item);
    if (item.job >= 0 && item.job < m_jobEntries.size())
        m_jobEntries[item.job] = to;
    // The item moves to its place by name, keeping its selection.
    const int target = insertionRow(to.path, isFolder, row);
    if (target == row)
        return;
    for (int &r : m_jobRows) {
        if (target > row && r > row && r <= target)
            --r;
        else if (target < row && r >= target && r < row)
            ++r;
    }
    if (item.job >= 0 && item.job < m_jobRows.size())
        m_jobRows[item.job] = target;
    m_model->moveItem(row, target);
}

void ThumbnailExplorer::refreshThumbnail(int row)
{
    const ExplorerItem &item = m_model->item(row);
    if (item.job < 0 || !m_queue)
        return;
    if (isThumbnailKey(item.iconKey))
        m_pictures->remove(item.iconKey);
    m_jobsInMemory.remove(item.job);
    m_refreshing.insert(item.job);
    m_model->touch(row);
    m_queue->request(item.job);
}

void ThumbnailExplorer::folderChanged()
{
    if (m_watchedFolder.isEmpty())
        return;
    // A listing that has not yet bound its images to their places reads the
    // folder itself; look again once it has. Once it has, changes apply at
    // once, while the thumbnails are still being made.
    if (!m_listingStopped && !m_queue) {
        m_rescanTimer->start();
        return;
    }
    const qint64 since = m_lastSeen;
    m_lastSeen = QDateTime::currentSecsSinceEpoch();
    const Entries now = enumerate(m_watchedFolder, true);
    QHash<QString, const Entry *> byPath;
    QHash<quint64, const Entry *> byInode;
    QSet<QString> folders;
    for (const Entry &e : now.folders) {
        byPath.insert(e.path, &e);
        byInode.insert(e.inode, &e);
        folders.insert(e.path);
    }
    for (const Entry &e : now.images) {
        byPath.insert(e.path, &e);
        byInode.insert(e.inode, &e);
    }
    QSet<QString> listed;
    for (int row = 0; row < m_model->rowCount(); ++row)
        if (const QString path = listedPath(row); !path.isEmpty())
            listed.insert(path);

    // Gone, or renamed: the same file under a new name.
    for (const QString &path : std::as_const(listed)) {
        if (byPath.contains(path) || !m_listedInodes.contains(path))
            continue;
        const int row = rowOfPath(path);
        if (row < 0)
            continue;
        const Entry *to = byInode.value(m_listedInodes.value(path), nullptr);
        // A placeholder still waiting for its thumbnail is made again under
        // the new name rather than from the name that has gone.
        const bool waiting = m_model->item(row).tag.isEmpty();
        if (to && !listed.contains(to->path) && to->addressable && waiting) {
            removeRow(row);
            insertEntry(*to, folders.contains(to->path));
            listed.insert(to->path);
        } else if (to && !listed.contains(to->path) && to->addressable) {
            renameRow(row, *to, folders.contains(to->path));
            listed.insert(to->path);
        } else {
            removeRow(row);
        }
    }
    // New, or written anew.
    for (const Entry &e : now.folders)
        if (e.addressable && !listed.contains(e.path))
            insertEntry(e, true);
    for (const Entry &e : now.images) {
        if (!e.addressable)
            continue;
        if (!listed.contains(e.path)) {
            insertEntry(e, false);
            continue;
        }
        const qint64 modified = modifiedSeconds(e.path);
        if (modified >= since - 1 && m_listedInodes.contains(e.path)) {
            const int row = rowOfPath(e.path);
            if (row >= 0 && !m_model->item(row).tag.isEmpty())
                refreshThumbnail(row);
        }
    }
    m_listedInodes.clear();
    for (const Entry &e : now.folders)
        m_listedInodes.insert(e.path, e.inode);
    for (const Entry &e : now.images)
        m_listedInodes.insert(e.path, e.inode);
    m_emptyNote->setVisible(m_model->rowCount() == 0);
    updateWanted();
}

int ThumbnailExplorer::clearFailedThumbnails()
{
    const int cleared = m_cache ? m_cache->clearFailures() : 0;
    if (m_listingStopped)
        for (int row = 0; row < m_model->rowCount(); ++row)
            if (m_model->item(row).iconKey == kUnreadableKey)
                refreshThumbnail(row);
    return cleared;
}

} // namespace explorer
