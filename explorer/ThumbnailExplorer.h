// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QPixmap>
#include <QSet>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

#include "core/FileOperation.h"
#include "explorer/Thumbnailer.h"
#include "imaging/ImageEngine.h"

class QLineEdit;
class QListView;
class QMenu;
class QAction;
class QFileSystemWatcher;
class QThreadPool;
class QTimer;

namespace imaging {
struct ThumbnailResult;
}

namespace explorer {

class ExplorerModel;
class PictureList;
class ThumbnailCache;
class ThumbnailQueue;
class Thumbnailer;

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
// into folder pictures (in list order) and thumbnails, servicing the user
// interface after every twentieth item and whenever it waits for a
// thumbnail. Thumbnails are made on a thread pool, those on screen first,
// then those near it in the direction of scrolling, then the rest in list
// order; they come from the desktop's thumbnail cache when it holds them,
// and are written to it when made. Only the pictures near the view stay in
// memory. A newer listing stops an older one at once. A file that cannot be
// read gets the "cannot read" picture and its name, the first such file of a
// listing says why in a message, and the listing goes on. Files that other
// programs add, remove, rename or change in the listed folder show up in the
// list without listing again.
class ThumbnailExplorer : public QWidget
{
    Q_OBJECT

public:
    explicit ThumbnailExplorer(QWidget *parent = nullptr);
    ~ThumbnailExplorer() override;

    // The desktop's thumbnail cache the explorer reads and writes (its
    // "thumbnails" folder; ThumbnailCache::defaultRoot() unless set); an
    // empty root makes every thumbnail afresh and stores none.
    void setThumbnailCache(const QString &root);
    // What turns a file into the picture its thumbnail is made from
    // (makePicture unless set); called on worker threads.
    void setPictureMaker(PictureMaker maker);

    // Sets the accepted extensions ("JPG GIF BMP ..."), kept lower-cased.
    void setExtensions(const QString &extensions);
    QString extensions() const { return m_extensions; }
    bool isImageFile(const QString &path) const;

    // Lists a folder (with or without a trailing "/"): folders first, then
    // images, each group by name regardless of case.
    void explorePath(const QString &path);
    // Full paths of the image files of a folder whose names match pattern
    // ("*.*" matches every name), in listing order.
    QStringList imageList(const QString &path,
                          const QString &pattern = QStringLiteral("*.*")) const;
    // Fills item itemCount() + 1 with a folder picture or a thumbnail. A
    // file that cannot be read gets the "cannot read" picture; the first
    // failure of a listing shows its description. A missing placeholder
    // stops the listing.
    void addImage(const QString &path, bool isFolder);

    // How many thumbnails at most stay in memory; those farthest from the
    // view are dropped first and made again from the cache when seen.
    void setPictureBudget(int pictures);
    int picturesInMemory() const;
    // The rows on screen (0-based, first and last), -1 and -1 for none.
    QPair<int, int> visibleRows() const;
    // Removes Pictavo's own records of files it could not read and tries the
    // listed ones again; other programs' entries stay. Returns how many
    // records went.
    int clearFailedThumbnails();

    // Items the running or last listing has filled so far.
    int itemCount() const { return m_itemCount; }
    bool isListingStopped() const { return m_listingStopped; }

    // Selection; positions are 1-based.
    void selectItem(int index1Based, bool announce);
    void setAllSelected(bool selected);
    void selectNext();
    void selectPrevious();
    // Makes the listed item with this path (any letter case) the only
    // selected and current item without announcing it; throws ExplorerError
    // when no item has that path.
    void selectPath(const QString &path);
    // Position (1-based) of the first item with this path, any letter case;
    // -1 when none.
    int findItemByPath(const QString &path) const;
    // Follows a file the viewer renamed or moved (newPath set) or deleted
    // (newPath empty). A path not listed here is ignored.
    void updateAfterOperation(const QString &oldPath, const QString &newPath);

    // --- file commands (ExplorerFileCommands.cpp)
    // Asks where Copy To or Move To of the current file goes (the host's
    // destination dialog); an empty answer ends the command.
    using DestinationChooser =
        std::function<QString(core::FileOperation operation, const QString &source)>;
    void setDestinationChooser(DestinationChooser chooser);
    // Copy To, Delete, Delete for good, Move To and Rename, as the context
    // menu and the Delete key run them.
    void runFileCommand(core::FileOperation operation);
    // Copies the current item's image to the clipboard; a folder, an item
    // still being listed or an unreadable file says so instead.
    void copyImage();
    // The paths of the selected items, in list order.
    QStringList selectedPaths() const;
    // The item at index0 (0-based) has gone: the item before it becomes the
    // selected one and is announced, and the item leaves the list.
    void removeSelectedItem(int index0);

    // What the list holds, for the host and for tests (positions 1-based).
    int count() const;
    QString itemPath(int index1Based) const;
    QString itemLabel(int index1Based) const;
    QString itemPictureKey(int index1Based) const;
    QPixmap picture(const QString &key) const;
    int currentPosition() const; // 0 when there is no current item
    QList<int> selectedPositions() const;
    QListView *listView() const { return m_listView; }

    // The built-in pictures: a yellow folder on a transparent 150 x 125
    // field, "Loading..." on a light 125 x 125 field, and a torn picture
    // over "Cannot read" on the same field for a file that cannot be read.
    static QPixmap folderPicture();
    static QPixmap loadingPicture();
    static QPixmap unreadablePicture();
    // The key of the picture an unreadable file's item shows.
    static QString unreadableKey();

signals:
    // The current item changed (its path; empty when the list was cleared).
    void selectedImageChanged(const QString &path);
    // A request to open paths[index] in the viewer, or folder in the tree
    // when it is not empty. Declared for the host; the open step does not
    // raise it yet.
    void openRequested(const QStringList &paths, int index, const QString &folder);
    // The counting pass has painted its placeholders.
    void placeholdersShown(int count);
    // Emitted at the end of every explorePath.
    void listingFinished();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Entry
    {
        QString path;
        // False for a name Qt cannot reach: the item shows the name but
        // holds no path, so nothing can act on another file by mistake.
        bool addressable = true;
        quint64 inode = 0;
    };
    struct Entries
    {
        QList<Entry> folders;
        QList<Entry> images;
    };
    Entries enumerate(const QString &folder, bool sorted) const;
    bool overtaken(quint64 generation) const;
    void prepareListing(const QString &folder, quint64 generation);
    void fillListing(const QString &folder, quint64 generation);
    void fillRow(int row, const Entry &entry, bool isFolder, imaging::ThumbnailResult *ready,
                 int job);
    void stopThumbnails();
    void deliverFinished();
    void deliver(int job, imaging::ThumbnailResult &result);
    void updateWanted();
    void scrolled(int value);
    void trimPictures();
    ThumbnailQueue *ensureQueue();
    void watchFolder(const QString &folder, const Entries &entries);
    void watchVisibleFiles(int first, int last);
    void folderChanged();
    QString listedPath(int row) const;
    int rowOfPath(const QString &path) const;
    QString rowName(int row) const;
    int insertionRow(const QString &path, bool isFolder, int skip) const;
    void insertEntry(const Entry &entry, bool isFolder);
    void renameRow(int row, const Entry &to, bool isFolder);
    void refreshThumbnail(int row);
    void reportFailure(const QString &description, bool stopsListing);
    void selectItem(int index1Based, bool announce, bool takeFocus);
    void layoutChildren();
    void announceCurrent();
    bool handleKeyPress(QKeyEvent *event);
    void handleKeyRelease(QKeyEvent *event, bool onList);
    void sendArrowKey(int key);
    void openStep(int index0);
    void removeRow(int row);
    void buildMenu();

    QListView *m_listView = nullptr;
    QLineEdit *m_emptyNote = nullptr;
    PictureList *m_pictures = nullptr;
    ExplorerModel *m_model = nullptr;
    QMenu *m_contextMenu = nullptr;
    std::unique_ptr<QThreadPool> m_pool;
    std::shared_ptr<const ThumbnailCache> m_cache;
    PictureMaker m_maker;
    std::shared_ptr<const Thumbnailer> m_thumbnailer;

    QPixmap m_folderPicture;
    QPixmap m_loadingPicture;
    QPixmap m_unreadablePicture;
    QString m_extensions;
    int m_itemCount = 0;
    bool m_listingStopped = false;
    bool m_failureShown = false; // the listing's one message has been shown
    quint64 m_generation = 0;
    // The running or last listing's thumbnails: the files (job i is
    // m_jobEntries[i]), the row each job fills (-1 once its item has gone),
    // and the jobs whose pictures are in memory.
    std::unique_ptr<ThumbnailQueue> m_queue;
    QList<Entry> m_jobEntries;
    QList<int> m_jobRows;
    QSet<int> m_jobsInMemory;
    QSet<int> m_refreshing; // jobs made again because their files changed
    bool m_delivering = false;
    int m_pictureBudget = 800;
    int m_lastScroll = 0;
    int m_scrollDirection = 1;
    // The listed folder, watched for other programs' changes.
    QString m_watchedFolder;
    QHash<QString, quint64> m_listedInodes; // path -> inode, as last seen
    qint64 m_lastSeen = 0;                  // when the folder was last read (seconds)
    QStringList m_watchedFiles;             // the files on screen
    QFileSystemWatcher *m_watcher = nullptr;
    QTimer *m_rescanTimer = nullptr;
    DestinationChooser m_destinationChooser;
};

} // namespace explorer
