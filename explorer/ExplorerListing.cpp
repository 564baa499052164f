// SPDX-License-Identifier: GPL-3.0-or-later
// The listing: the counting pass, the filling pass, and the thumbnails made
// for it, those on screen first.
#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QThreadPool>

#include <algorithm>

#include "core/FolderScan.h"
#include "core/Prompts.h"
#include "explorer/ExplorerModel.h"
#include "explorer/ExplorerShared.h"
#include "explorer/Logging.h"
#include "explorer/ThumbnailExplorer.h"
#include "explorer/ThumbnailQueue.h"

namespace explorer {

using namespace detail;

namespace {

// A folder that exists but cannot be read lists as empty; the log says why.
void warnIfUnreadable(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.isDir() && !info.isReadable())
        qCWarning(lcExplorer, "The folder %s cannot be read", qUtf8Printable(folder));
}

// Said for a file whose name Qt cannot reach: it is listed, not read.
QString unaddressableText(const QString &name)
{
    return QStringLiteral("Cannot read %1: its name is not valid UTF-8 text, so Pictavo cannot "
                          "open it")
        .arg(name);
}

bool isPlaceholder(const ExplorerItem &item)
{
    return item.label.isEmpty() && item.iconKey == kLoadingKey;
}

} // namespace

ThumbnailExplorer::Entries ThumbnailExplorer::enumerate(const QString &folder, bool sorted) const
{
    Entries e;
    // Hidden folders stay out of the list as they stay out of the folder
    // tree; hidden files count like any other. Names that are not valid
    // UTF-8 are listed too, so that nothing in the folder goes unseen.
    const QList<core::FolderEntry> entries = core::scanFolder(folder);
    for (const core::FolderEntry &entry : entries) {
        const QString full = folder + entry.name;
        if (entry.isDir) {
            if (!entry.hidden)
                e.folders.append(Entry{full, entry.addressable, entry.inode});
        } else if (isImageFile(full)) {
            e.images.append(Entry{full, entry.addressable, entry.inode});
        }
    }
    if (sorted) {
        const auto order = [](const Entry &a, const Entry &b) { return byName(a.path, b.path); };
        std::sort(e.folders.begin(), e.folders.end(), order);
        std::sort(e.images.begin(), e.images.end(), order);
    }
    return e;
}

bool ThumbnailExplorer::overtaken(quint64 generation) const
{
    return generation != m_generation;
}

void ThumbnailExplorer::explorePath(const QString &path)
{
    if (m_extensions.isEmpty()) {
        core::msgBox(QStringLiteral("You must call function 'SetExt' first"),
                     core::MsgIcon::Exclamation);
        emit listingFinished();
        return;
    }
    QPointer<ThumbnailExplorer> self(this);
    emit selectedImageChanged(QString());
    if (!self)
        return;

    m_listingStopped = false;
    m_failureShown = false;
    const quint64 generation = ++m_generation;
    // An older listing interrupted in a yield loses its thumbnails not yet
    // made; it notices the new generation when it resumes and returns.
    stopThumbnails();
    m_delivering = false;

    const QString folder = folderOf(path);
    warnIfUnreadable(folder);
    prepareListing(folder, generation);
    if (!self)
        return;
    if (!overtaken(generation))
        m_failureShown = false;
    // The first item is selected and shown, but the keyboard stays where the
    // user put it (in the folder tree, say).
    if (!overtaken(generation) && m_itemCount > 0)
        selectItem(1, true, false);
    emit listingFinished();
}

void ThumbnailExplorer::stopThumbnails()
{
    if (m_queue)
        m_queue->cancel();
    m_queue.reset();
    m_jobEntries.clear();
    m_jobRows.clear();
    m_jobsInMemory.clear();
    m_pool->clear();
}

void ThumbnailExplorer::prepareListing(const QString &folder, quint64 generation)
{
    m_model->resetPlaceholders(0);
    m_pictures->clear();
    m_itemCount = 0;
    m_emptyNote->hide();

    const Entries e = enumerate(folder, false);
    const int n = int(e.folders.size() + e.images.size());

    m_pictures->add(kFolderKey, m_folderPicture);
    m_pictures->add(kLoadingKey, m_loadingPicture);
    m_pictures->add(kUnreadableKey, m_unreadablePicture);
    m_model->resetPlaceholders(n);
    // The user sees a loading picture for every item before any decoding.
    m_listView->doItemsLayout();
    m_listView->viewport()->repaint();

    QPointer<ThumbnailExplorer> self(this);
    emit placeholdersShown(n);
    if (!self || overtaken(generation) || m_listingStopped)
        return;
    fillListing(folder, generation);
}

void ThumbnailExplorer::fillListing(const QString &folder, quint64 generation)
{
    QPointer<ThumbnailExplorer> self(this);
    m_itemCount = 0;
    m_emptyNote->hide();

    const Entries e = enumerate(folder, true);
    const auto stopped = [&] { return !self || overtaken(generation) || m_listingStopped; };
    watchFolder(folder, e);

    for (const Entry &f : e.folders) {
        if (stopped())
            return;
        fillRow(m_itemCount, f, true, nullptr, -1);
        if (!self || overtaken(generation))
            return;
        ++m_itemCount;
    }
    if (stopped())
        return;

    // Each image is bound to its placeholder now; the thumbnails come in the
    // order the user needs them: those on screen, then those near, then the
    // rest in list order.
    const int base = m_itemCount;
    const int placed = int(std::clamp<qsizetype>(m_model->rowCount() - base, 0, e.images.size()));
    m_jobEntries = e.images.mid(0, placed);
    m_jobRows.resize(placed);
    QStringList decode;
    decode.reserve(placed);
    for (int i = 0; i < placed; ++i) {
        m_jobRows[i] = base + i;
        m_model->setJob(base + i, i);
        decode.append(m_jobEntries.at(i).addressable ? m_jobEntries.at(i).path : QString());
    }
    const std::shared_ptr<const Thumbnailer> thumbnailer = m_thumbnailer;
    // Each finished thumbnail wakes the event loop, which hands it over.
    m_queue = std::make_unique<ThumbnailQueue>(
        m_pool.get(), decode, m_pool->maxThreadCount(),
        [thumbnailer](const QString &p) { return thumbnailer->thumbnail(p); },
        [this] {
            QMetaObject::invokeMethod(this, &ThumbnailExplorer::deliverFinished,
                                      Qt::QueuedConnection);
        });
    ThumbnailQueue *queue = m_queue.get();
    updateWanted();
    queue->start();

    while (!queue->allTaken()) {
        deliverFinished();
        if (stopped())
            return;
        if (!queue->allTaken())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (stopped())
            return;
    }
    // An image that appeared after the counting pass has no placeholder.
    if (placed < e.images.size()) {
        fillRow(m_model->rowCount(), e.images.at(placed), false, nullptr, -1);
        if (stopped())
            return;
    }
    if (m_itemCount == 0)
        m_emptyNote->show();
    m_listingStopped = true;
}

ThumbnailQueue *ThumbnailExplorer::ensureQueue()
{
    if (!m_queue) {
        const std::shared_ptr<const Thumbnailer> thumbnailer = m_thumbnailer;
        m_queue = std::make_unique<ThumbnailQueue>(
            m_pool.get(), QStringList(), m_pool->maxThreadCount(),
            [thumbnailer](const QString &p) { return thumbnailer->thumbnail(p); },
            [this] {
                QMetaObject::invokeMethod(this, &ThumbnailExplorer::deliverFinished,
                                          Qt::QueuedConnection);
            });
        m_queue->start();
    }
    return m_queue.get();
}

void ThumbnailExplorer::deliverFinished()
{
    if (m_delivering || !m_queue)
        return;
    m_delivering = true;
    QPointer<ThumbnailExplorer> self(this);
    const quint64 generation = m_generation;
    ThumbnailQueue *queue = m_queue.get();
    for (;;) {
        auto results = queue->takeFinished();
        if (results.empty())
            break;
        for (auto &[job, result] : results) {
            deliver(job, result);
            // A newer listing started in a yield has its own thumbnails.
            if (!self || overtaken(generation) || m_queue.get() != queue)
                return;
        }
    }
    m_delivering = false;
    trimPictures();
}

void ThumbnailExplorer::deliver(int job, imaging::ThumbnailResult &result)
{
    if (job < 0 || job >= m_jobRows.size())
        return;
    const int row = m_jobRows.at(job);
    if (row < 0 || row >= m_model->rowCount())
        return; // its item has left the list
    const ExplorerItem &item = m_model->item(row);
    if (isPlaceholder(item)) {
        QPointer<ThumbnailExplorer> self(this);
        const quint64 generation = m_generation;
        fillRow(row, m_jobEntries.at(job), false, &result, job);
        if (self && !overtaken(generation))
            ++m_itemCount;
        return;
    }
    // A picture dropped from memory, or one whose file changed, made again.
    const bool changed = m_refreshing.remove(job);
    ExplorerItem updated = item;
    if (result.ok()) {
        const QString key = isThumbnailKey(item.iconKey) ? item.iconKey : item.tag;
        if (key.isEmpty() || m_pictures->contains(key))
            return;
        m_pictures->add(key, QPixmap::fromImage(std::move(result.picture)));
        m_jobsInMemory.insert(job);
        updated.iconKey = key;
        updated.error.clear();
    } else if (changed) {
        updated.iconKey = kUnreadableKey;
        updated.error = result.error;
    } else {
        return;
    }
    m_model->setItem(row, updated);
}

void ThumbnailExplorer::addImage(const QString &path, bool isFolder)
{
    fillRow(m_itemCount, Entry{path, true}, isFolder, nullptr, -1);
}

void ThumbnailExplorer::fillRow(int row, const Entry &entry, bool isFolder,
                                imaging::ThumbnailResult *ready, int job)
{
    const QString &path = entry.path;
    try {
        QString iconKey = isFolder ? kFolderKey : path;
        QString failure;
        if (!isFolder) {
            imaging::ThumbnailResult made;
            if (!entry.addressable) {
                made.error = unaddressableText(lastComponent(path));
                ready = &made;
            } else if (!ready) {
                made = m_thumbnailer->thumbnail(path);
                ready = &made;
            }
            if (ready->ok()) {
                m_pictures->add(path, QPixmap::fromImage(std::move(ready->picture)));
                if (job >= 0)
                    m_jobsInMemory.insert(job);
            } else {
                // One bad file costs its own thumbnail only.
                failure = ready->error.isEmpty()
                              ? QStringLiteral("Cannot read %1").arg(lastComponent(path))
                              : ready->error;
                iconKey = kUnreadableKey;
            }
        }
        if (row < 0 || row >= m_model->rowCount())
            throw ExplorerError(QStringLiteral("Index out of bounds"));
        const ExplorerItem item{iconKey, entry.addressable ? path : QString(), lastComponent(path),
                                failure, m_model->item(row).job};
        m_model->setItem(row, item);
        // A file another program adds later says why only in its tooltip.
        if (!failure.isEmpty() && (!m_listingStopped || job < 0)) {
            QPointer<ThumbnailExplorer> self(this);
            reportFailure(failure, false);
            if (!self)
                return;
        }
        if (m_itemCount % kYieldEvery == 0)
            QCoreApplication::processEvents();
    } catch (const imaging::ImageError &error) {
        reportFailure(error.description(), true);
    }
}

void ThumbnailExplorer::reportFailure(const QString &description, bool stopsListing)
{
    // A real message box runs its own event loop; a listing started from
    // there has already run to its end, and this one sees it and stops.
    QPointer<ThumbnailExplorer> self(this);
    const quint64 generation = m_generation;
    if (!m_failureShown) {
        m_failureShown = true;
        core::msgBox(description, core::MsgIcon::Critical);
    }
    if (stopsListing && self && generation == m_generation)
        m_listingStopped = true;
}

// ---- what is on screen -----------------------------------------------------

QPair<int, int> ThumbnailExplorer::visibleRows() const
{
    const int n = m_model->rowCount();
    if (n == 0)
        return {-1, -1};
    // Cells run down the columns, so those on screen are one run of rows.
    const QRect area = m_listView->viewport()->rect();
    const QSize grid = m_listView->gridSize().isValid() ? m_listView->gridSize() : QSize(32, 32);
    const int stepX = std::max(1, grid.width() / 2);
    const int stepY = std::max(1, grid.height() / 2);
    int first = n;
    int last = -1;
    for (int x = area.left(); x <= area.right() + stepX - 1; x += stepX)
        for (int y = area.top(); y <= area.bottom() + stepY - 1; y += stepY) {
            const QModelIndex index =
                m_listView->indexAt(QPoint(std::min(x, area.right()), std::min(y, area.bottom())));
            if (index.isValid()) {
                first = std::min(first, index.row());
                last = std::max(last, index.row());
            }
        }
    if (last < 0)
        return {-1, -1};
    return {first, last};
}

void ThumbnailExplorer::updateWanted()
{
    if (!m_queue)
        return;
    const auto [first, last] = visibleRows();
    if (first < 0)
        return;
    const int n = m_model->rowCount();
    const int span = last - first + 1;
    QList<int> urgent;
    const auto want = [&](int row) {
        if (row >= 0 && row < n && m_model->item(row).job >= 0)
            urgent.append(m_model->item(row).job);
    };
    watchVisibleFiles(first, last);
    for (int row = first; row <= last; ++row) {
        want(row);
        // A picture dropped from memory comes back when its item is seen.
        const ExplorerItem &item = m_model->item(row);
        if (item.job >= 0 && isThumbnailKey(item.iconKey) && !m_pictures->contains(item.iconKey))
            m_queue->request(item.job);
    }
    // A screenful ahead in the direction of the last scroll, half behind.
    for (int i = 1; i <= span; ++i)
        want(m_scrollDirection >= 0 ? last + i : first - i);
    for (int i = 1; i <= span / 2; ++i)
        want(m_scrollDirection >= 0 ? first - i : last + i);
    m_queue->setUrgent(urgent);
}

void ThumbnailExplorer::scrolled(int value)
{
    if (value != m_lastScroll)
        m_scrollDirection = value > m_lastScroll ? 1 : -1;
    m_lastScroll = value;
    updateWanted();
}

void ThumbnailExplorer::trimPictures()
{
    if (m_jobsInMemory.size() <= m_pictureBudget + m_pictureBudget / 4)
        return;
    // Drop the pictures farthest from the view; their items keep keys and
    // paths, and the pictures come back from the cache when seen again.
    const auto [first, last] = visibleRows();
    const int centre = first < 0 ? 0 : (first + last) / 2;
    std::vector<std::pair<int, int>> far; // distance, job
    far.reserve(size_t(m_jobsInMemory.size()));
    for (const int job : std::as_const(m_jobsInMemory)) {
        const int row = m_jobRows.value(job, -1);
        far.emplace_back(row < 0 ? INT_MAX : std::abs(row - centre), job);
    }
    const size_t drop = far.size() - size_t(m_pictureBudget);
    std::nth_element(far.begin(), far.begin() + qsizetype(drop), far.end(),
                     [](const auto &a, const auto &b) { return a.first > b.first; });
    for (size_t i = 0; i < drop; ++i) {
        const int job = far[i].second;
        const int row = m_jobRows.value(job, -1);
        const QString key = row >= 0 ? m_model->item(row).iconKey : m_jobEntries.at(job).path;
        if (isThumbnailKey(key))
            m_pictures->remove(key);
        m_jobsInMemory.remove(job);
    }
}

void ThumbnailExplorer::setPictureBudget(int pictures)
{
    m_pictureBudget = std::max(1, pictures);
    trimPictures();
}

int ThumbnailExplorer::picturesInMemory() const
{
    return int(m_jobsInMemory.size());
}

QStringList ThumbnailExplorer::imageList(const QString &path, const QString &pattern) const
{
    const QString folder = folderOf(path);
    warnIfUnreadable(folder);
    const bool everything =
        pattern.isEmpty() || pattern == QLatin1String("*.*") || pattern == QLatin1String("*");
    const QRegularExpression wildcard =
        everything ? QRegularExpression()
                   : QRegularExpression::fromWildcard(pattern, Qt::CaseInsensitive);
    QStringList result;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        const QString full = folder + name;
        if (!everything && !wildcard.match(name).hasMatch())
            continue;
        if (isImageFile(full))
            result.append(full);
    }
    std::sort(result.begin(), result.end(), byName);
    return result;
}

} // namespace explorer
