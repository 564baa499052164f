// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QMutex>
#include <QThreadPool>
#include <QtTest>

#include "explorer/ThumbnailQueue.h"
#include "support/TestSupport.h"

using explorer::ThumbnailQueue;

namespace {

// Work that notes the order it is asked for things and makes a 1 x 1 picture.
struct Recorder
{
    ThumbnailQueue::Work work()
    {
        return [this](const QString &path) {
            QMutexLocker lock(&mutex);
            order.append(path);
            QImage image(1, 1, QImage::Format_RGB32);
            image.fill(Qt::white);
            return imaging::ThumbnailResult{image, {}};
        };
    }
    QMutex mutex;
    QStringList order;
};

QStringList numbered(int n)
{
    QStringList paths;
    for (int i = 0; i < n; ++i)
        paths.append(QString::number(i));
    return paths;
}

// Collects results until every item has been taken once (bounded wait).
std::vector<int> drain(ThumbnailQueue &queue)
{
    std::vector<int> taken;
    QElapsedTimer t;
    t.start();
    while (!queue.allTaken() && t.elapsed() < 10000) {
        for (const auto &r : queue.takeFinished())
            taken.push_back(r.first);
        QThread::msleep(1);
    }
    for (const auto &r : queue.takeFinished())
        taken.push_back(r.first);
    return taken;
}

} // namespace

class TestThumbnailQueue : public QObject
{
    Q_OBJECT

private slots:
    void urgentFirstThenListOrder_data();
    void urgentFirstThenListOrder();
    void droppedResultIsMadeAgain();
    void emptyPathFailsWithoutWork();
    void cancelledQueueMakesNothingMore();
};

void TestThumbnailQueue::urgentFirstThenListOrder_data()
{
    QTest::addColumn<QList<int>>("urgent");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("nothing urgent: list order") << QList<int>() << numbered(6);
    QTest::newRow("the view in the middle")
        << QList<int>{3, 4, 5, 2} << QStringList{"3", "4", "5", "2", "0", "1"};
    QTest::newRow("out of range and repeated entries are skipped")
        << QList<int>{9, 1, -1, 1} << QStringList{"1", "0", "2", "3", "4", "5"};
}

void TestThumbnailQueue::urgentFirstThenListOrder()
{
    QFETCH(QList<int>, urgent);
    QFETCH(QStringList, expected);
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    Recorder r;
    ThumbnailQueue queue(&pool, numbered(6), 1, r.work());
    queue.setUrgent(urgent);
    QVERIFY(r.order.isEmpty()); // nothing before start
    queue.start();
    const std::vector<int> taken = drain(queue);
    QCOMPARE(int(taken.size()), 6);
    QCOMPARE(r.order, expected);
}

void TestThumbnailQueue::droppedResultIsMadeAgain()
{
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    Recorder r;
    ThumbnailQueue queue(&pool, numbered(4), 2, r.work());
    queue.start();
    drain(queue);
    QCOMPARE(r.order.size(), 4);
    queue.request(2);
    queue.request(7); // not an item: ignored
    std::vector<int> again;
    QTRY_VERIFY([&] {
        for (const auto &res : queue.takeFinished())
            again.push_back(res.first);
        return !again.empty();
    }());
    QCOMPARE(again, std::vector<int>{2});
    QCOMPARE(r.order.size(), 5);
    QVERIFY(queue.allTaken());
}

void TestThumbnailQueue::emptyPathFailsWithoutWork()
{
    QThreadPool pool;
    Recorder r;
    ThumbnailQueue queue(&pool, {"a", QString(), "b"}, 2, r.work());
    queue.start();
    drain(queue);
    QCOMPARE(r.order.size(), 2);
    QVERIFY(!r.order.contains(QString()));
}

void TestThumbnailQueue::cancelledQueueMakesNothingMore()
{
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    QMutex gate;
    gate.lock();
    int made = 0;
    ThumbnailQueue queue(&pool, numbered(50), 1, [&](const QString &) {
        // The first item waits until the queue has been cancelled.
        QMutexLocker lock(&gate);
        ++made;
        return imaging::ThumbnailResult{};
    });
    queue.start();
    QTest::qWait(20);
    queue.cancel();
    gate.unlock();
    pool.waitForDone();
    // At most the item that had started when the queue was cancelled.
    QVERIFY(made <= 1);
    QVERIFY(queue.takeFinished().empty());
    QVERIFY(queue.isCancelled());
}

PICTAVO_TEST_MAIN(TestThumbnailQueue)
#include "tst_thumbnailqueue.moc"
