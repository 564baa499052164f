// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>
#include <QHash>
#include <QIcon>
#include <QPixmap>
#include <QVector>

namespace explorer {

// The keyed picture collection the list shows: "Folder", "A" (loading) and
// one thumbnail per image, keyed by the image's full path.
class PictureList : public QObject
{
    Q_OBJECT

public:
    explicit PictureList(QObject *parent = nullptr);

    // Throws imaging::ImageError when the key is already present.
    void add(const QString &key, const QPixmap &picture);
    bool contains(const QString &key) const { return m_pictures.contains(key); }
    void remove(const QString &key) { m_pictures.remove(key); }
    QPixmap picture(const QString &key) const;
    QIcon icon(const QString &key) const;
    int count() const { return int(m_pictures.size()); }
    void clear();

private:
    struct Entry
    {
        QPixmap pixmap;
        QIcon icon;
    };
    QHash<QString, Entry> m_pictures;
};

// One list item: the key of its picture, its path (tag), its label, and why
// its file could not be read (empty when it could).
struct ExplorerItem
{
    QString iconKey;
    QString tag;
    QString label;
    QString error;
    // The listing's thumbnail job for this item's image; -1 for none.
    int job = -1;
};

class ExplorerModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role
    {
        TagRole = Qt::UserRole + 1,
        IconKeyRole
    };

    explicit ExplorerModel(PictureList *pictures, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;

    // Replaces every item with `count` placeholders (picture "A", no label).
    void resetPlaceholders(int count);
    void setItem(int row, const ExplorerItem &item);
    void setJob(int row, int job) { m_items[row].job = job; }
    void insertItem(int row, const ExplorerItem &item);
    // Moves the item at `from` so that it ends up at `to` (both before the move).
    void moveItem(int from, int to);
    // The item's picture changed.
    void touch(int row);
    const ExplorerItem &item(int row) const { return m_items.at(row); }
    void removeItem(int row);

private:
    PictureList *m_pictures;
    QVector<ExplorerItem> m_items;
};

} // namespace explorer
