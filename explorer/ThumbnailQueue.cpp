// SPDX-License-Identifier: GPL-3.0-or-later
#include "explorer/ThumbnailQueue.h"

#include <QMutex>
#include <QMutexLocker>
#include <QThreadPool>

#include <deque>

namespace explorer {

struct ThumbnailQueue::State
{
    enum Item : unsigned char
    {
        Pending,
        Running,
        Done
    };

    // Under the mutex: the next item a worker should make, or -1.
    int next()
    {
        while (!urgent.empty()) {
            const int i = urgent.front();
            urgent.pop_front();
            if (i >= 0 && i < int(items.size()) && items[size_t(i)] == Pending)
                return i;
        }
        while (cursor < int(items.size()) && items[size_t(cursor)] != Pending)
            ++cursor;
        return cursor < int(items.size()) ? cursor++ : -1;
    }

    QMutex mutex;
    QStringList paths;
    std::vector<Item> items;
    std::deque<int> urgent;
    int cursor = 0; // list order, for when nothing urgent waits
    std::vector<std::pair<int, imaging::ThumbnailResult>> finished;
    int takenOnce = 0;
    std::vector<bool> taken;
    int workers = 0;
    bool cancelled = false;
    Work work;
    std::function<void()> notify;
};

ThumbnailQueue::ThumbnailQueue(QThreadPool *pool, const QStringList &paths, int workers, Work work,
                               std::function<void()> finished)
    : m_pool(pool), m_state(std::make_shared<State>()), m_maxWorkers(std::max(1, workers))
{
    State &s = *m_state;
    s.paths = paths;
    s.items.assign(size_t(paths.size()), State::Pending);
    s.taken.assign(size_t(paths.size()), false);
    s.work = std::move(work);
    s.notify = std::move(finished);
    for (int i = 0; i < paths.size(); ++i)
        if (paths.at(i).isEmpty()) {
            s.items[size_t(i)] = State::Done;
            s.finished.emplace_back(
                i, imaging::ThumbnailResult{QImage(), QStringLiteral("No file to read")});
        }
}

void ThumbnailQueue::start()
{
    m_started = true;
    startWorkers();
}

ThumbnailQueue::~ThumbnailQueue()
{
    cancel();
}

int ThumbnailQueue::size() const
{
    return int(m_state->items.size());
}

QString ThumbnailQueue::path(int index) const
{
    return m_state->paths.value(index);
}

void ThumbnailQueue::startWorkers()
{
    if (!m_started)
        return;
    QMutexLocker lock(&m_state->mutex);
    for (; m_state->workers < m_maxWorkers && !m_state->cancelled; ++m_state->workers) {
        std::shared_ptr<State> state = m_state;
        m_pool->start([state] {
            QMutexLocker held(&state->mutex);
            for (;;) {
                const int i = state->cancelled ? -1 : state->next();
                if (i < 0)
                    break;
                state->items[size_t(i)] = State::Running;
                const QString path = state->paths.at(i);
                held.unlock();
                imaging::ThumbnailResult r = state->work(path);
                held.relock();
                state->items[size_t(i)] = State::Done;
                if (state->cancelled)
                    break;
                state->finished.emplace_back(i, std::move(r));
                held.unlock();
                if (state->notify)
                    state->notify();
                held.relock();
            }
            --state->workers;
        });
    }
}

void ThumbnailQueue::setUrgent(const QList<int> &indices)
{
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->urgent.assign(indices.cbegin(), indices.cend());
    }
    startWorkers();
}

int ThumbnailQueue::add(const QString &path)
{
    int index = 0;
    {
        QMutexLocker lock(&m_state->mutex);
        index = int(m_state->items.size());
        m_state->paths.append(path);
        m_state->items.push_back(path.isEmpty() ? State::Done : State::Pending);
        m_state->taken.push_back(false);
        if (path.isEmpty())
            m_state->finished.emplace_back(
                index, imaging::ThumbnailResult{QImage(), QStringLiteral("No file to read")});
        else
            m_state->urgent.push_front(index);
    }
    startWorkers();
    return index;
}

void ThumbnailQueue::request(int index)
{
    {
        QMutexLocker lock(&m_state->mutex);
        if (index < 0 || index >= int(m_state->items.size()) || m_state->paths.at(index).isEmpty())
            return;
        if (m_state->items[size_t(index)] == State::Done)
            m_state->items[size_t(index)] = State::Pending;
        m_state->urgent.push_front(index);
    }
    startWorkers();
}

std::vector<std::pair<int, imaging::ThumbnailResult>> ThumbnailQueue::takeFinished()
{
    QMutexLocker lock(&m_state->mutex);
    std::vector<std::pair<int, imaging::ThumbnailResult>> out;
    out.swap(m_state->finished);
    for (const auto &r : out)
        if (!m_state->taken[size_t(r.first)]) {
            m_state->taken[size_t(r.first)] = true;
            ++m_state->takenOnce;
        }
    return out;
}

bool ThumbnailQueue::allTaken() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->takenOnce == int(m_state->items.size());
}

void ThumbnailQueue::cancel()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->cancelled = true;
    m_state->urgent.clear();
}

bool ThumbnailQueue::isCancelled() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->cancelled;
}

} // namespace explorer
