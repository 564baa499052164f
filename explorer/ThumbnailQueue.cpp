// SPDX-License-Identifier: GPL-3.0-or-later
#include "explorer/ThumbnailQueue.h"

#include <QMutex>
#include <QMutexLocker>
#include <QRunnable>
#include <QThreadPool>

namespace explorer {

struct ThumbnailQueue::Task
{
    enum State
    {
        Pending,
        Running,
        Done
    };

    explicit Task(QString p) : path(std::move(p)) {}

    // Moves Pending -> Running for exactly one caller.
    bool claim()
    {
        int expected = Pending;
        return state.compare_exchange_strong(expected, Running);
    }

    void finish(imaging::ThumbnailResult r)
    {
        QMutexLocker lock(&mutex);
        result = std::move(r);
        state.store(Done);
    }

    const QString path;
    std::atomic_int state{Pending};
    QMutex mutex;
    imaging::ThumbnailResult result;
};

ThumbnailQueue::ThumbnailQueue(QThreadPool *pool, const QStringList &paths, int window,
                               std::function<void()> finished)
    : m_pool(pool), m_cancelled(std::make_shared<std::atomic_bool>(false)),
      m_finished(std::move(finished)), m_window(std::max(1, window))
{
    m_tasks.reserve(size_t(paths.size()));
    for (const QString &p : paths) {
        auto task = std::make_shared<Task>(p);
        if (p.isEmpty()) {
            task->claim();
            task->finish({QImage(), QStringLiteral("No file to read")});
        }
        m_tasks.push_back(std::move(task));
    }
    submitUpTo(m_window);
}

ThumbnailQueue::~ThumbnailQueue()
{
    cancel();
}

void ThumbnailQueue::cancel()
{
    m_cancelled->store(true);
}

void ThumbnailQueue::submitUpTo(int end)
{
    end = std::min(end, size());
    for (; m_submitted < end; ++m_submitted) {
        std::shared_ptr<Task> task = m_tasks[size_t(m_submitted)];
        if (task->state.load() != Task::Pending)
            continue;
        std::shared_ptr<std::atomic_bool> cancelled = m_cancelled;
        m_pool->start([task, cancelled, finished = m_finished] {
            if (cancelled->load() || !task->claim())
                return;
            task->finish(imaging::makeThumbnail(task->path));
            if (finished)
                finished();
        });
    }
}

std::optional<imaging::ThumbnailResult> ThumbnailQueue::tryTake(int index)
{
    submitUpTo(index + 1 + m_window);
    Task &task = *m_tasks[size_t(index)];
    if (task.state.load() != Task::Done)
        return std::nullopt;
    QMutexLocker lock(&task.mutex);
    imaging::ThumbnailResult r = std::move(task.result);
    task.result = {};
    return r;
}

} // namespace explorer
