// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/Prefetcher.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QPointer>
#include <QPromise>
#include <QtConcurrent>

namespace viewer {

Prefetcher::Prefetcher(QObject *parent) : QObject(parent)
{
    m_pool.setMaxThreadCount(2);
}

Prefetcher::~Prefetcher()
{
    for (Entry &e : m_entries)
        e.future.cancel();
    m_pool.waitForDone();
}

void Prefetcher::newGeneration()
{
    ++m_generation;
    while (!m_entries.isEmpty())
        drop(0);
}

void Prefetcher::drop(qsizetype i)
{
    // A decode that has not started is cancelled; one that runs finishes on
    // its worker and its result is thrown away.
    m_entries[i].future.cancel();
    m_entries.removeAt(i);
}

void Prefetcher::want(const QStringList &paths)
{
    const QStringList wanted = paths.mid(0, kMaxKept);
    for (qsizetype i = m_entries.size() - 1; i >= 0; --i) {
        if (!wanted.contains(m_entries.at(i).path))
            drop(i);
    }
    for (const QString &path : wanted) {
        if (path.isEmpty() || has(path))
            continue;
        const QFileInfo info(path);
        if (!info.isFile())
            continue;
        Entry e;
        e.path = path;
        e.generation = m_generation;
        e.modified = info.lastModified();
        e.size = info.size();
        e.future = QtConcurrent::run(
            &m_pool,
            [](QPromise<imaging::Decoded> &promise, const QString &p) {
                if (promise.isCanceled())
                    return;
                // The first page only: others are decoded when asked for.
                promise.addResult(imaging::decodeFile(p));
            },
            path);
        auto *watcher = new QFutureWatcher<imaging::Decoded>(this);
        const quint64 tag = m_generation;
        connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, tag, path] {
            watcher->deleteLater();
            if (tag == m_generation && has(path))
                emit ready(path);
        });
        watcher->setFuture(e.future);
        m_entries.append(e);
    }
}

bool Prefetcher::has(const QString &path) const
{
    return std::any_of(m_entries.cbegin(), m_entries.cend(),
                       [&](const Entry &e) { return e.path == path; });
}

bool Prefetcher::isReady(const QString &path) const
{
    return std::any_of(m_entries.cbegin(), m_entries.cend(),
                       [&](const Entry &e) { return e.path == path && e.future.isFinished(); });
}

QStringList Prefetcher::kept() const
{
    QStringList paths;
    for (const Entry &e : m_entries)
        paths << e.path;
    return paths;
}

std::optional<imaging::Decoded> Prefetcher::take(const QString &path)
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).path != path)
            continue;
        Entry e = m_entries.takeAt(i);
        if (e.generation != m_generation)
            return std::nullopt;
        // A worker runs a queued decode itself if it has not started; this
        // costs no more than decoding here.
        e.future.waitForFinished();
        if (e.future.isCanceled() || e.future.resultCount() == 0)
            return std::nullopt;
        const QFileInfo info(path);
        if (info.lastModified() != e.modified || info.size() != e.size)
            return std::nullopt; // changed on disk since: read it again
        return e.future.result();
    }
    return std::nullopt;
}

void Prefetcher::waitForAll()
{
    for (Entry &e : m_entries)
        e.future.waitForFinished();
}

} // namespace viewer
