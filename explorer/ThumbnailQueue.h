// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "imaging/Thumbnail.h"

class QThreadPool;

namespace explorer {

// Decodes the thumbnails of one listing ahead of the filling pass on a
// thread pool, a bounded window ahead of the item being filled, and hands
// them out strictly in list order. The filler never decodes itself: it asks
// with tryTake and services the user interface until the thumbnail is there,
// so a listing of large photos never holds up the event loop. Each finished
// decode calls `finished` on its worker thread, so that a waiting filler can
// wake up. An empty path makes no task: it comes back at once as a failure.
class ThumbnailQueue
{
public:
    ThumbnailQueue(QThreadPool *pool, const QStringList &paths, int window,
                   std::function<void()> finished = {});
    // Drops the work not started yet; running decodes finish into nothing.
    ~ThumbnailQueue();
    ThumbnailQueue(const ThumbnailQueue &) = delete;
    ThumbnailQueue &operator=(const ThumbnailQueue &) = delete;

    int size() const { return int(m_tasks.size()); }
    // The thumbnail of paths[index] once a worker has made it, nothing while
    // it is still being made. Each index is taken once.
    std::optional<imaging::ThumbnailResult> tryTake(int index);
    // Stops every task of this queue that has not started.
    void cancel();
    bool isCancelled() const { return m_cancelled->load(); }

private:
    struct Task;
    void submitUpTo(int end);

    QThreadPool *m_pool;
    std::vector<std::shared_ptr<Task>> m_tasks;
    std::shared_ptr<std::atomic_bool> m_cancelled;
    std::function<void()> m_finished;
    int m_submitted = 0;
    int m_window;
};

} // namespace explorer
