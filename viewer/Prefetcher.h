// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QFuture>
#include <QList>
#include <QObject>
#include <QThreadPool>

#include <optional>

#include "imaging/ImageEngine.h"

namespace viewer {

// Decodes the images the viewer is likely to show next on worker threads and
// keeps at most two of them. Every request carries the generation of the
// list it belongs to; a newer list drops older work.
class Prefetcher : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxKept = 2;

    explicit Prefetcher(QObject *parent = nullptr);
    ~Prefetcher() override;

    // A new list: cancels and drops everything of the old one.
    void newGeneration();
    quint64 generation() const { return m_generation; }

    // Wants these paths decoded (at most kMaxKept, in order of need); drops
    // what is no longer wanted.
    void want(const QStringList &paths);

    // The decode of `path`, waiting for it when it is under way; nullopt when
    // it was never asked for or the file changed since.
    std::optional<imaging::Decoded> take(const QString &path);

    bool isReady(const QString &path) const;
    bool has(const QString &path) const;
    QStringList kept() const;

    // Waits for every running decode (tests and benchmarks).
    void waitForAll();

signals:
    // A decode of the current generation is ready.
    void ready(const QString &path);

private:
    struct Entry
    {
        QString path;
        quint64 generation = 0;
        QDateTime modified;
        qint64 size = -1;
        QFuture<imaging::Decoded> future;
    };
    void drop(qsizetype i);

    QThreadPool m_pool;
    QList<Entry> m_entries;
    quint64 m_generation = 1;
};

} // namespace viewer
