// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Listing helpers shared by the explorer's tests.

#include <QAbstractItemModel>
#include <QListView>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>

#include "core/Formats.h"
#include "explorer/ThumbnailExplorer.h"
#include "support/ImageFixtures.h"

namespace explorertest {

inline const QString kHostList = QString::fromUtf16(core::kSupportedExtensions);

// Runs a listing to its end (bounded wait).
inline void explore(explorer::ThumbnailExplorer &w, const QString &path)
{
    QSignalSpy done(&w, &explorer::ThumbnailExplorer::listingFinished);
    w.explorePath(path);
    QCOMPARE(done.count(), 1);
}

// Shows the explorer with one row of cells and lists a folder in it.
inline void showListing(explorer::ThumbnailExplorer &w, const QString &path)
{
    w.setExtensions(kHostList);
    w.resize(1000, 220);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    explore(w, path);
}

inline QStringList paths(const explorer::ThumbnailExplorer &w)
{
    QStringList result;
    for (int i = 1; i <= w.count(); ++i)
        result.append(w.itemPath(i));
    return result;
}

inline int filledItems(const explorer::ThumbnailExplorer &w)
{
    int n = 0;
    for (int i = 1; i <= w.count(); ++i)
        n += w.itemPath(i).isEmpty() ? 0 : 1;
    return n;
}

// A folder of numbered small images 001.png ...
inline void writeNumbered(const QString &folder, int n, const QString &ext = QStringLiteral("png"))
{
    for (int i = 1; i <= n; ++i)
        fixtures::writeImage(
            folder, QStringLiteral("%1.%2").arg(i, 3, 10, QLatin1Char('0')).arg(ext), 60, 40);
}

// Counts the files the explorer decodes (rather than finds in the cache).
inline void countDecodes(explorer::ThumbnailExplorer &w, std::atomic_int &decodes)
{
    w.setPictureMaker([&decodes](const QString &path) {
        ++decodes;
        return explorer::makePicture(path);
    });
}

// The rows of the items in the order they are filled.
struct FillOrder
{
    explicit FillOrder(explorer::ThumbnailExplorer &w)
    {
        QObject::connect(w.listView()->model(), &QAbstractItemModel::dataChanged, &context,
                         [this, &w](const QModelIndex &from) {
                             if (!w.itemLabel(from.row() + 1).isEmpty() &&
                                 !rows.contains(from.row()))
                                 rows.append(from.row());
                         });
    }
    QObject context;
    QList<int> rows;
};

} // namespace explorertest
