// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include <atomic>
#include <memory>
#include <vector>

#include "imaging/Thumbnail.h"

class QThreadPool;

namespace explorer {

// Decodes the thumbnails of one listing ahead of the filling pass on a
// thread pool, a bounded window ahead of the item being filled, and hands
// them out strictly in list order. When the filler needs a thumbnail no
// worker has started yet, it makes it itself instead of waiting in line.
class ThumbnailQueue
{
public:
    ThumbnailQueue(QThreadPool *pool, const QStringList &paths, int window);
    // Drops the work not started yet; running decodes finish into nothing.
    ~ThumbnailQueue();
    ThumbnailQueue(const ThumbnailQueue &) = delete;
    ThumbnailQueue &operator=(const ThumbnailQueue &) = delete;

    int size() const { return int(m_tasks.size()); }
    // The thumbnail of paths[index]; blocks until it is made.
    imaging::ThumbnailResult take(int index);
    // Stops every task of this queue that has not started.
    void cancel();

private:
    struct Task;
    void submitUpTo(int end);

    QThreadPool *m_pool;
    std::vector<std::shared_ptr<Task>> m_tasks;
    std::shared_ptr<std::atomic_bool> m_cancelled;
    int m_submitted = 0;
    int m_window;
};

} // namespace explorer
