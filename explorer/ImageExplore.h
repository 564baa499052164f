// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPixmap>
#include <QStringList>
#include <QWidget>

#include "imaging/ImageEngine.h"

#include <memory>

class QLineEdit;
class QListView;
class QMenu;
class QAction;
class QThreadPool;

namespace explorer {
class ExplorerModel;
class PictureList;
class ThumbnailQueue;
} // namespace explorer

namespace imaging {
struct ThumbnailResult;
}

// A selection or update asked for an item the list does not hold.
class ExplorerError : public imaging::ImageError
{
public:
    using imaging::ImageError::ImageError;
};

// The thumbnail explorer: lists one folder's sub-folders and images with
// thumbnails, keeps the selection and announces it to its host.
//
// A listing has two passes: the counting pass puts one placeholder per item
// into the list and paints it, then the filling pass turns the placeholders
// into folder pictures and thumbnails in list order, servicing the user
// interface after every twentieth item. Thumbnails are decoded ahead on a
// thread pool; a newer listing stops an older one at once.
class ImageExplore : public QWidget
{
    Q_OBJECT

public:
    explicit ImageExplore(QWidget *parent = nullptr);
    ~ImageExplore() override;

    // Sets the accepted extensions ("JPG GIF BMP ..."), kept lower-cased.
    void SetExt(const QString &s);
    QString ExtList() const { return m_extList; }
    bool IsImageFile(const QString &p) const;

    // Lists a folder (with or without a trailing "/"): folders first, then
    // images, each group by name regardless of case.
    void ExplorePath(const QString &path);
    // Full paths of the image files of a folder whose names match SearchStr
    // ("*.*" matches every name), in listing order.
    QStringList GetImageList(const QString &path,
                             const QString &SearchStr = QStringLiteral("*.*")) const;
    // Fills item ItemCount() + 1 with a folder picture or a thumbnail; a
    // failure shows its description and stops the listing.
    void AddImage(const QString &strPath, bool bIsFolder);

    int ItemCount() const { return m_itemCount; }
    bool StopListing() const { return m_stopListing; }

    // Selection; positions are 1-based.
    void SelectItem(int index1Based, bool announce);
    void SetAllSelected(bool b);
    void NextItem();
    void PrevItem();
    // Makes the listed item with this path (any letter case) the only
    // selected and current item without announcing it; throws ExplorerError
    // when no item has that path.
    void SetSelectedFocus(const QString &sPath);
    // Position (1-based) of the first item with this path, any letter case;
    // -1 when none.
    int FindItemByPath(const QString &p) const;
    // Follows a file the viewer renamed or moved (newPath set) or deleted
    // (newPath empty). A path not listed here is ignored.
    void UpdateAfterOperation(QString &oldPath, QString &newPath);

    // What the list holds, for the host and for tests (positions 1-based).
    int count() const;
    QString itemPath(int index1Based) const;
    QString itemLabel(int index1Based) const;
    QString itemPictureKey(int index1Based) const;
    QPixmap picture(const QString &key) const;
    int currentPosition() const; // 0 when there is no current item
    QList<int> selectedPositions() const;
    QListView *listView() const { return lv; }

    // The built-in pictures: a yellow folder on a transparent 150 x 125
    // field, and "Loading..." on a light 125 x 125 field.
    static QPixmap folderPicture();
    static QPixmap loadingPicture();

signals:
    void CurrSelectedImage(const QString &path);
    // Declared for the host; the open step does not raise it.
    void OpenItem(QStringList &ImagePaths, int &Index, QString &sFolderPath);
    // The counting pass has painted its placeholders.
    void placeholdersShown(int count);
    // Emitted at the end of every ExplorePath.
    void listingFinished();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Entries
    {
        QStringList folders;
        QStringList images;
    };
    Entries enumerate(const QString &folder, bool sorted) const;
    bool overtaken(quint64 generation) const;
    void PrepareListing(const QString &folder, quint64 generation);
    void FillListing(const QString &folder, quint64 generation);
    void addImage(const QString &strPath, bool bIsFolder, imaging::ThumbnailResult *ready);
    void layoutChildren();
    void announceCurrent();
    bool handleKeyPress(QKeyEvent *event);
    void handleKeyRelease(QKeyEvent *event, bool onList);
    void sendArrowKey(int key);
    void openStep(int index0);
    void FileCommand(int code);
    void CopyImage();
    void buildMenu();

    QListView *lv = nullptr;
    QLineEdit *Text1 = nullptr;
    explorer::PictureList *iList = nullptr;
    explorer::ExplorerModel *m_model = nullptr;
    QMenu *mnuMenu = nullptr;
    std::unique_ptr<QThreadPool> m_pool;

    QPixmap imgFolder;
    QPixmap imgLoading;
    QString m_extList;
    int m_itemCount = 0;
    bool m_stopListing = false;
    quint64 m_generation = 0;
    explorer::ThumbnailQueue *m_runningQueue = nullptr; // the filling pass's decoder
};
