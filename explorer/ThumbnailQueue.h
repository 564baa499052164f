// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QStringList>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "imaging/Thumbnail.h"

class QThreadPool;

namespace explorer {

// Makes the thumbnails of one listing on a thread pool, the urgent ones
// first: the explorer names the items on screen and near it, most urgent
// first, and workers take those before anything else; when none waits they
// go on through the rest in list order. Results are collected as they
// finish. A result that was dropped from memory can be asked for again. An
// empty path makes no task: it comes back at once as a failure.
class ThumbnailQueue
{
public:
    using Work = std::function<imaging::ThumbnailResult(const QString &path)>;
    // finished is called on the worker's thread after each result. Nothing
    // is made before start().
    ThumbnailQueue(QThreadPool *pool, const QStringList &paths, int workers, Work work,
                   std::function<void()> finished = {});
    // Drops the work not started yet; running tasks finish into nothing.
    ~ThumbnailQueue();
    ThumbnailQueue(const ThumbnailQueue &) = delete;
    ThumbnailQueue &operator=(const ThumbnailQueue &) = delete;

    void start();
    int size() const;
    QString path(int index) const;
    // The items to make before all others, most urgent first; replaces the
    // previous list. Items made already are skipped.
    void setUrgent(const QList<int> &indices);
    // Appends an item (made ahead of the rest) and returns its index.
    int add(const QString &path);
    // Makes an item again whose result was taken, ahead of everything.
    void request(int index);
    // The results finished since the last call, in the order they finished.
    std::vector<std::pair<int, imaging::ThumbnailResult>> takeFinished();
    // True once every item has been made and taken at least once.
    bool allTaken() const;
    void cancel();
    bool isCancelled() const;

private:
    struct State;
    void startWorkers();

    QThreadPool *m_pool;
    std::shared_ptr<State> m_state;
    int m_maxWorkers;
    bool m_started = false;
};

} // namespace explorer
