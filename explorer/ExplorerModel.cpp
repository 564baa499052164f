// SPDX-License-Identifier: GPL-3.0-or-later
#include "explorer/ExplorerModel.h"

#include <QMimeData>
#include <QUrl>

#include "imaging/ImageEngine.h"

namespace explorer {

PictureList::PictureList(QObject *parent) : QObject(parent) {}

void PictureList::add(const QString &key, const QPixmap &picture)
{
    if (m_pictures.contains(key))
        throw imaging::ImageError(QStringLiteral("Key is not unique in collection"));
    // The same picture when selected: a tinted photo would show wrong colours;
    // the highlighted label marks the selection.
    QIcon icon;
    icon.addPixmap(picture, QIcon::Normal);
    icon.addPixmap(picture, QIcon::Selected);
    m_pictures.insert(key, Entry{picture, icon});
}

QPixmap PictureList::picture(const QString &key) const
{
    return m_pictures.value(key).pixmap;
}

QIcon PictureList::icon(const QString &key) const
{
    const auto it = m_pictures.constFind(key);
    return it == m_pictures.cend() ? QIcon() : it->icon;
}

void PictureList::clear()
{
    m_pictures.clear();
}

ExplorerModel::ExplorerModel(PictureList *pictures, QObject *parent)
    : QAbstractListModel(parent), m_pictures(pictures)
{
}

int ExplorerModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant ExplorerModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_items.size())
        return {};
    const ExplorerItem &it = m_items.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return it.label;
    case Qt::DecorationRole:
        // A picture dropped from memory shows as loading until it is back.
        return m_pictures->contains(it.iconKey) ? m_pictures->icon(it.iconKey)
                                                : m_pictures->icon(QStringLiteral("A"));
    case Qt::ToolTipRole:
        if (!it.error.isEmpty())
            return it.error;
        return it.tag.isEmpty() ? QVariant() : QVariant(it.tag);
    case TagRole:
        return it.tag;
    case IconKeyRole:
        return it.iconKey;
    default:
        return {};
    }
}

Qt::ItemFlags ExplorerModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!m_items.at(index.row()).tag.isEmpty())
        f |= Qt::ItemIsDragEnabled;
    return f;
}

QStringList ExplorerModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *ExplorerModel::mimeData(const QModelIndexList &indexes) const
{
    QList<QUrl> urls;
    for (const QModelIndex &index : indexes) {
        const QString tag = data(index, TagRole).toString();
        if (!tag.isEmpty())
            urls.append(QUrl::fromLocalFile(tag));
    }
    if (urls.isEmpty())
        return nullptr;
    auto *mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}

void ExplorerModel::resetPlaceholders(int count)
{
    beginResetModel();
    m_items.clear();
    m_items.resize(count, ExplorerItem{QStringLiteral("A"), {}, {}, {}, -1});
    endResetModel();
}

void ExplorerModel::setItem(int row, const ExplorerItem &item)
{
    m_items[row] = item;
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
}

void ExplorerModel::touch(int row)
{
    const QModelIndex i = index(row);
    emit dataChanged(i, i, {Qt::DecorationRole});
}

void ExplorerModel::insertItem(int row, const ExplorerItem &item)
{
    beginInsertRows({}, row, row);
    m_items.insert(row, item);
    endInsertRows();
}

void ExplorerModel::moveItem(int from, int to)
{
    if (from == to)
        return;
    // Qt names the destination as the row the item goes before.
    if (!beginMoveRows({}, from, from, {}, to > from ? to + 1 : to))
        return;
    m_items.move(from, to);
    endMoveRows();
}

void ExplorerModel::removeItem(int row)
{
    beginRemoveRows({}, row, row);
    m_items.remove(row);
    endRemoveRows();
}

} // namespace explorer
