// SPDX-License-Identifier: GPL-3.0-or-later
#include "explorer/ThumbnailExplorer.h"

#include <QAction>
#include <QCoreApplication>
#include <QDirIterator>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLinearGradient>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QRegularExpression>
#include <QStyledItemDelegate>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

#include "core/FolderScan.h"
#include "core/Formats.h"
#include "core/Prompts.h"
#include "core/Twips.h"
#include "explorer/ExplorerModel.h"
#include "explorer/Logging.h"
#include "explorer/ThumbnailQueue.h"
#include "imaging/Thumbnail.h"

namespace explorer {

namespace {

constexpr double kMinWidthTwips = 1600;
constexpr double kTextMarginTwips = 200;
const QSize kCellSize(150, 125);
// The user interface is serviced after items 1, 21, 41, ...
constexpr int kYieldEvery = 20;
const QString kUnreadableKey = QStringLiteral("Unreadable");

QString folderOf(const QString &path)
{
    QString folder = path.isEmpty() ? QStringLiteral("/") : path;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

// A folder that exists but cannot be read lists as empty; the log says why.
void warnIfUnreadable(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.isDir() && !info.isReadable())
        qCWarning(lcExplorer, "The folder %s cannot be read", qUtf8Printable(folder));
}

QString lastComponent(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Every picture sits centred in the same cell, so labels line up whatever
// the picture's own size.
class CellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->decorationSize = kCellSize;
        // The selection shows only while the list has the keyboard focus.
        if (option->widget && !option->widget->hasFocus())
            option->state &= ~QStyle::State_Selected;
    }
};

bool byName(const QString &a, const QString &b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

void sortByName(QStringList &paths)
{
    std::sort(paths.begin(), paths.end(), byName);
}

// Said for a file whose name Qt cannot reach: it is listed, not read.
QString unaddressableText(const QString &name)
{
    return QStringLiteral("Cannot read %1: its name is not valid UTF-8 text, so Pictavo cannot "
                          "open it")
        .arg(name);
}

} // namespace

ThumbnailExplorer::ThumbnailExplorer(QWidget *parent) : QWidget(parent)
{
    setMinimumWidth(core::twipsToPixelsX(kMinWidthTwips));
    setFocusPolicy(Qt::StrongFocus);

    m_folderPicture = folderPicture();
    m_loadingPicture = loadingPicture();
    m_unreadablePicture = unreadablePicture();

    m_pictures = new PictureList(this);
    m_pictures->setObjectName(QStringLiteral("iList"));
    m_model = new ExplorerModel(m_pictures, this);

    m_listView = new QListView(this);
    m_listView->setObjectName(QStringLiteral("lv"));
    m_listView->setViewMode(QListView::IconMode);
    // Columns from the left edge, scrolling sideways, cells that stay put.
    m_listView->setFlow(QListView::TopToBottom);
    m_listView->setWrapping(true);
    m_listView->setMovement(QListView::Static);
    m_listView->setResizeMode(QListView::Adjust);
    m_listView->setUniformItemSizes(true);
    m_listView->setWordWrap(true);
    m_listView->setTextElideMode(Qt::ElideMiddle);
    m_listView->setIconSize(kCellSize);
    const int textHeight = 2 * m_listView->fontMetrics().lineSpacing();
    m_listView->setGridSize(QSize(kCellSize.width() + 12, kCellSize.height() + textHeight + 12));
    m_listView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listView->setDragEnabled(true);
    m_listView->setDragDropMode(QAbstractItemView::DragOnly);
    m_listView->setAcceptDrops(false);
    m_listView->setModel(m_model);
    m_listView->setItemDelegate(new CellDelegate(m_listView));
    m_listView->installEventFilter(this);
    m_listView->viewport()->installEventFilter(this);

    m_emptyNote = new QLineEdit(this);
    m_emptyNote->setObjectName(QStringLiteral("Text1"));
    m_emptyNote->setReadOnly(true);
    m_emptyNote->setFrame(false);
    m_emptyNote->setFocusPolicy(Qt::NoFocus);
    m_emptyNote->setText(QStringLiteral("there are no items to show."));
    m_emptyNote->setAlignment(Qt::AlignHCenter);
    m_emptyNote->setStyleSheet(
        QStringLiteral("QLineEdit { background: transparent; color: #707680; }"));
    m_emptyNote->hide();

    m_pool = std::make_unique<QThreadPool>();
    // One decoder more than there are cores: the user-interface thread no
    // longer decodes, and it mostly sleeps while the workers run.
    m_pool->setMaxThreadCount(std::max(1, QThread::idealThreadCount()) + 1);

    buildMenu();
    layoutChildren();
}

ThumbnailExplorer::~ThumbnailExplorer()
{
    ++m_generation;
    if (m_runningQueue)
        m_runningQueue->cancel();
    m_pool->clear();
    m_pool->waitForDone();
}

void ThumbnailExplorer::buildMenu()
{
    m_contextMenu = new QMenu(QStringLiteral("MENU"), this);
    m_contextMenu->setObjectName(QStringLiteral("mnuMenu"));
    const auto add = [this](const char *name, const QString &caption, auto slot) {
        QAction *a = m_contextMenu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
    };
    using core::FileOperation;
    add("mnuCopyImage", QStringLiteral("Copy Image"), [this] { copyImage(); });
    m_contextMenu->addSeparator()->setObjectName(QStringLiteral("mnuSep1"));
    add("mnuCopyTo", QStringLiteral("Copy To"), [this] { runFileCommand(FileOperation::CopyTo); });
    add("mnuMoveTo", QStringLiteral("Move To"), [this] { runFileCommand(FileOperation::MoveTo); });
    add("mnuDelete", QStringLiteral("Delete"), [this] {
        runFileCommand(QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier
                           ? FileOperation::DeletePermanently
                           : FileOperation::Delete);
    });
    add("mnuRename", QStringLiteral("Rename"), [this] { runFileCommand(FileOperation::Rename); });
}

// ---- pictures --------------------------------------------------------------

QPixmap ThumbnailExplorer::folderPicture()
{
    QPixmap pm(kCellSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(41, 38, 68, 50);
    const QColor outline(176, 124, 28);

    // Back of the folder with its tab.
    QPainterPath back;
    back.moveTo(body.left(), body.top() + 3);
    back.lineTo(body.left(), body.top() - 4);
    back.quadTo(body.left(), body.top() - 7, body.left() + 3, body.top() - 7);
    back.lineTo(body.left() + 22, body.top() - 7);
    back.lineTo(body.left() + 27, body.top() - 2);
    back.lineTo(body.right() - 3, body.top() - 2);
    back.quadTo(body.right(), body.top() - 2, body.right(), body.top() + 1);
    back.lineTo(body.right(), body.bottom() - 3);
    back.lineTo(body.left(), body.bottom() - 3);
    back.closeSubpath();
    QLinearGradient backFill(body.topLeft(), body.bottomLeft());
    backFill.setColorAt(0, QColor(238, 184, 62));
    backFill.setColorAt(1, QColor(214, 152, 36));
    p.setPen(QPen(outline, 1));
    p.setBrush(backFill);
    p.drawPath(back);

    // A sheet of paper peeking out.
    p.setPen(QPen(QColor(200, 200, 200), 1));
    p.setBrush(QColor(252, 252, 248));
    p.drawRect(QRectF(body.left() + 6, body.top() + 1, body.width() - 12, 14));

    // Front flap.
    const QRectF front(body.left(), body.top() + 8, body.width(), body.height() - 8);
    QLinearGradient frontFill(front.topLeft(), front.bottomLeft());
    frontFill.setColorAt(0, QColor(255, 222, 110));
    frontFill.setColorAt(1, QColor(246, 190, 50));
    p.setPen(QPen(outline, 1));
    p.setBrush(frontFill);
    p.drawRoundedRect(front, 3, 3);
    p.setPen(QPen(QColor(255, 240, 180), 1));
    p.drawLine(QPointF(front.left() + 3, front.top() + 1.5),
               QPointF(front.right() - 3, front.top() + 1.5));
    return pm;
}

QPixmap ThumbnailExplorer::loadingPicture()
{
    QPixmap pm(125, 125);
    pm.fill(QColor(244, 245, 247));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(QPen(QColor(214, 217, 222), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 124, 124));
    QFont font = p.font();
    font.setPointSizeF(9.5);
    p.setFont(font);
    p.setPen(QColor(128, 132, 140));
    p.drawText(QRect(0, 0, 125, 125), Qt::AlignCenter, QStringLiteral("Loading..."));
    return pm;
}

QPixmap ThumbnailExplorer::unreadablePicture()
{
    QPixmap pm(125, 125);
    pm.fill(QColor(244, 245, 247));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(QPen(QColor(214, 217, 222), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, 124, 124));

    // A picture torn in two: a frame with a hill and a sun, split by a
    // jagged line, the right half dropped a little.
    const QColor frame(150, 156, 166);
    const auto half = [&](const QPolygonF &clip, QPointF shift) {
        p.save();
        p.translate(shift);
        QPainterPath clipPath;
        clipPath.addPolygon(clip);
        p.setClipPath(clipPath);
        const QRectF r(37, 30, 51, 40);
        p.setPen(QPen(frame, 1.5));
        p.setBrush(QColor(255, 255, 255));
        p.drawRect(r);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(232, 190, 90));
        p.drawEllipse(QPointF(50, 42), 5, 5);
        QPainterPath hill;
        hill.moveTo(r.left() + 1, r.bottom() - 1);
        hill.lineTo(62, 48);
        hill.lineTo(74, 58);
        hill.lineTo(80, 53);
        hill.lineTo(r.right() - 1, r.bottom() - 8);
        hill.lineTo(r.right() - 1, r.bottom() - 1);
        hill.closeSubpath();
        p.setBrush(QColor(150, 176, 204));
        p.drawPath(hill);
        p.restore();
    };
    const QList<QPointF> tear = {{64, 26}, {60, 38}, {66, 46}, {59, 56}, {65, 64}, {61, 74}};
    QPolygonF left{QPointF(30, 26)};
    QPolygonF right{QPointF(96, 26)};
    for (const QPointF &pt : tear) {
        left.append(pt);
        right.append(pt);
    }
    left.append(QPointF(30, 74));
    right.append(QPointF(96, 74));
    half(left, QPointF(-2, 0));
    half(right, QPointF(3, 3));

    QFont font = p.font();
    font.setPointSizeF(9.5);
    p.setFont(font);
    p.setPen(QColor(160, 60, 60));
    p.drawText(QRect(0, 80, 125, 24), Qt::AlignCenter, QStringLiteral("Cannot read"));
    return pm;
}

QString ThumbnailExplorer::unreadableKey()
{
    return kUnreadableKey;
}

// ---- extensions ------------------------------------------------------------

void ThumbnailExplorer::setExtensions(const QString &extensions)
{
    if (extensions.isEmpty())
        core::msgBox(QStringLiteral("Extrsntions should be exist and separtated by spaces only "
                                    "like 'bmp jpg gif'"),
                     core::MsgIcon::Exclamation);
    m_extensions = extensions.toLower();
}

bool ThumbnailExplorer::isImageFile(const QString &path) const
{
    const QString e = core::extensionOf(path).toLower();
    if (e.size() < 3)
        return false;
    return m_extensions.contains(e);
}

// ---- listing ---------------------------------------------------------------

ThumbnailExplorer::Entries ThumbnailExplorer::enumerate(const QString &folder, bool sorted) const
{
    Entries e;
    // Hidden folders stay out of the list as they stay out of the folder
    // tree; hidden files count like any other. Names that are not valid
    // UTF-8 are listed too, so that nothing in the folder goes unseen.
    const QList<core::FolderEntry> entries = core::scanFolder(folder);
    for (const core::FolderEntry &entry : entries) {
        const QString full = folder + entry.name;
        if (entry.isDir) {
            if (!entry.hidden)
                e.folders.append(Entry{full, entry.addressable});
        } else if (isImageFile(full)) {
            e.images.append(Entry{full, entry.addressable});
        }
    }
    if (sorted) {
        const auto order = [](const Entry &a, const Entry &b) { return byName(a.path, b.path); };
        std::sort(e.folders.begin(), e.folders.end(), order);
        std::sort(e.images.begin(), e.images.end(), order);
    }
    return e;
}

bool ThumbnailExplorer::overtaken(quint64 generation) const
{
    return generation != m_generation;
}

void ThumbnailExplorer::explorePath(const QString &path)
{
    if (m_extensions.isEmpty()) {
        core::msgBox(QStringLiteral("You must call function 'SetExt' first"),
                     core::MsgIcon::Exclamation);
        emit listingFinished();
        return;
    }
    QPointer<ThumbnailExplorer> self(this);
    emit selectedImageChanged(QString());
    if (!self)
        return;

    m_listingStopped = false;
    m_failureShown = false;
    const quint64 generation = ++m_generation;
    // An older listing interrupted in a yield loses its queued decodes now;
    // it notices the new generation when it resumes and returns.
    if (m_runningQueue) {
        m_runningQueue->cancel();
        m_runningQueue = nullptr;
    }
    m_pool->clear();

    const QString folder = folderOf(path);
    warnIfUnreadable(folder);
    prepareListing(folder, generation);
    if (!self)
        return;
    if (!overtaken(generation)) {
        m_runningQueue = nullptr; // it lived on the filling pass's stack
        m_failureShown = false;
    }
    // The first item is selected and shown, but the keyboard stays where the
    // user put it (in the folder tree, say).
    if (!overtaken(generation) && m_itemCount > 0)
        selectItem(1, true, false);
    emit listingFinished();
}

void ThumbnailExplorer::prepareListing(const QString &folder, quint64 generation)
{
    m_model->resetPlaceholders(0);
    m_pictures->clear();
    m_itemCount = 0;
    m_emptyNote->hide();

    const Entries e = enumerate(folder, false);
    const int n = int(e.folders.size() + e.images.size());

    m_pictures->add(QStringLiteral("Folder"), m_folderPicture);
    m_pictures->add(QStringLiteral("A"), m_loadingPicture);
    m_pictures->add(kUnreadableKey, m_unreadablePicture);
    m_model->resetPlaceholders(n);
    // The user sees a loading picture for every item before any decoding.
    m_listView->doItemsLayout();
    m_listView->viewport()->repaint();

    QPointer<ThumbnailExplorer> self(this);
    emit placeholdersShown(n);
    if (!self || overtaken(generation) || m_listingStopped)
        return;
    fillListing(folder, generation);
}

void ThumbnailExplorer::fillListing(const QString &folder, quint64 generation)
{
    QPointer<ThumbnailExplorer> self(this);
    m_itemCount = 0;
    m_emptyNote->hide();

    const Entries e = enumerate(folder, true);
    QStringList decode;
    decode.reserve(e.images.size());
    for (const Entry &image : e.images)
        decode.append(image.addressable ? image.path : QString());
    // Each finished thumbnail wakes the event loop the filler waits in.
    ThumbnailQueue queue(m_pool.get(), decode, 4 * m_pool->maxThreadCount() + 4, [] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
    });
    m_runningQueue = &queue;

    const auto stopped = [&] { return !self || overtaken(generation) || m_listingStopped; };

    for (const Entry &f : e.folders) {
        if (stopped())
            return;
        addImage(f, true, nullptr);
        if (!self || overtaken(generation))
            return;
        ++m_itemCount;
    }
    for (int i = 0; i < e.images.size(); ++i) {
        if (stopped())
            return;
        // Items are filled in list order; while the next thumbnail is still
        // being made the user interface is serviced, so that scrolling,
        // clicks and a newer listing answer at once.
        std::optional<imaging::ThumbnailResult> thumb;
        while (!(thumb = queue.tryTake(i))) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (stopped() || queue.isCancelled())
                return;
        }
        addImage(e.images.at(i), false, &*thumb);
        if (!self || overtaken(generation))
            return;
        ++m_itemCount;
    }
    if (m_itemCount == 0)
        m_emptyNote->show();
    m_listingStopped = true;
}

void ThumbnailExplorer::addImage(const QString &path, bool isFolder)
{
    addImage(Entry{path, true}, isFolder, nullptr);
}

void ThumbnailExplorer::addImage(const Entry &entry, bool isFolder, imaging::ThumbnailResult *ready)
{
    const QString &path = entry.path;
    try {
        QString iconKey = isFolder ? QStringLiteral("Folder") : path;
        QString failure;
        if (!isFolder) {
            imaging::ThumbnailResult made;
            if (!entry.addressable) {
                made.error = unaddressableText(lastComponent(path));
                ready = &made;
            } else if (!ready) {
                made = imaging::makeThumbnail(path);
                ready = &made;
            }
            if (ready->ok()) {
                m_pictures->add(path, QPixmap::fromImage(std::move(ready->picture)));
            } else {
                // One bad file costs its own thumbnail only.
                failure = ready->error.isEmpty()
                              ? QStringLiteral("Cannot read %1").arg(lastComponent(path))
                              : ready->error;
                iconKey = kUnreadableKey;
            }
        }
        if (m_itemCount < 0 || m_itemCount >= m_model->rowCount())
            throw ExplorerError(QStringLiteral("Index out of bounds"));
        m_model->setItem(m_itemCount, ExplorerItem{iconKey, entry.addressable ? path : QString(),
                                                   lastComponent(path), failure});
        if (!failure.isEmpty()) {
            QPointer<ThumbnailExplorer> self(this);
            reportFailure(failure, false);
            if (!self)
                return;
        }
        if (m_itemCount % kYieldEvery == 0)
            QCoreApplication::processEvents();
    } catch (const imaging::ImageError &error) {
        reportFailure(error.description(), true);
    }
}

void ThumbnailExplorer::reportFailure(const QString &description, bool stopsListing)
{
    // A real message box runs its own event loop; a listing started from
    // there has already run to its end, and this one sees it and stops.
    QPointer<ThumbnailExplorer> self(this);
    const quint64 generation = m_generation;
    if (!m_failureShown) {
        m_failureShown = true;
        core::msgBox(description, core::MsgIcon::Critical);
    }
    if (stopsListing && self && generation == m_generation)
        m_listingStopped = true;
}

QStringList ThumbnailExplorer::imageList(const QString &path, const QString &pattern) const
{
    const QString folder = folderOf(path);
    warnIfUnreadable(folder);
    const bool everything =
        pattern.isEmpty() || pattern == QLatin1String("*.*") || pattern == QLatin1String("*");
    const QRegularExpression wildcard =
        everything ? QRegularExpression()
                   : QRegularExpression::fromWildcard(pattern, Qt::CaseInsensitive);
    QStringList result;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        const QString full = folder + name;
        if (!everything && !wildcard.match(name).hasMatch())
            continue;
        if (isImageFile(full))
            result.append(full);
    }
    sortByName(result);
    return result;
}

// ---- what the list holds ---------------------------------------------------

int ThumbnailExplorer::count() const
{
    return m_model->rowCount();
}

QString ThumbnailExplorer::itemPath(int index1Based) const
{
    if (index1Based < 1 || index1Based > count())
        return {};
    return m_model->item(index1Based - 1).tag;
}

QString ThumbnailExplorer::itemLabel(int index1Based) const
{
    if (index1Based < 1 || index1Based > count())
        return {};
    return m_model->item(index1Based - 1).label;
}

QString ThumbnailExplorer::itemPictureKey(int index1Based) const
{
    if (index1Based < 1 || index1Based > count())
        return {};
    return m_model->item(index1Based - 1).iconKey;
}

QPixmap ThumbnailExplorer::picture(const QString &key) const
{
    return m_pictures->picture(key);
}

int ThumbnailExplorer::currentPosition() const
{
    const QModelIndex c = m_listView->currentIndex();
    return c.isValid() ? c.row() + 1 : 0;
}

QList<int> ThumbnailExplorer::selectedPositions() const
{
    QList<int> result;
    const QModelIndexList rows = m_listView->selectionModel()->selectedIndexes();
    for (const QModelIndex &i : rows)
        result.append(i.row() + 1);
    std::sort(result.begin(), result.end());
    return result;
}

// ---- selection -------------------------------------------------------------

void ThumbnailExplorer::announceCurrent()
{
    const QModelIndex c = m_listView->currentIndex();
    emit selectedImageChanged(c.isValid() ? m_model->item(c.row()).tag : QString());
}

void ThumbnailExplorer::selectItem(int index1Based, bool announce)
{
    selectItem(index1Based, announce, true);
}

void ThumbnailExplorer::selectItem(int index1Based, bool announce, bool takeFocus)
{
    if (index1Based <= 0 || index1Based > count())
        return;
    m_listView->selectionModel()->setCurrentIndex(m_model->index(index1Based - 1),
                                                  QItemSelectionModel::Select);
    if (announce)
        announceCurrent();
    if (takeFocus)
        m_listView->setFocus();
}

void ThumbnailExplorer::setAllSelected(bool selected)
{
    if (selected)
        m_listView->selectAll();
    else
        m_listView->clearSelection();
    m_listView->setFocus();
}

void ThumbnailExplorer::selectNext()
{
    if (count() == 0)
        return;
    m_listView->setFocus();
    sendArrowKey(Qt::Key_Right);
}

void ThumbnailExplorer::selectPrevious()
{
    if (count() == 0)
        return;
    m_listView->setFocus();
    sendArrowKey(Qt::Key_Left);
}

void ThumbnailExplorer::sendArrowKey(int key)
{
    // A real press and release: the list moves by its own arrow-key rule,
    // and the release announces where it went.
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(m_listView, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(m_listView, &release);
}

int ThumbnailExplorer::findItemByPath(const QString &path) const
{
    const QString wanted = path.toLower();
    for (int i = 0; i < count(); ++i)
        if (m_model->item(i).tag.toLower() == wanted)
            return i + 1;
    return -1;
}

void ThumbnailExplorer::selectPath(const QString &path)
{
    const int position = findItemByPath(path);
    setAllSelected(false);
    if (position < 1)
        throw ExplorerError(QStringLiteral("Index out of bounds"));
    // Selected without scrolling the list to it.
    const bool autoScroll = m_listView->hasAutoScroll();
    m_listView->setAutoScroll(false);
    m_listView->selectionModel()->setCurrentIndex(m_model->index(position - 1),
                                                  QItemSelectionModel::Select);
    m_listView->setAutoScroll(autoScroll);
}

void ThumbnailExplorer::updateAfterOperation(const QString &oldPath, const QString &newPath)
{
    const int position = findItemByPath(oldPath);
    if (position < 1)
        return;
    const int row = position - 1;
    if (!newPath.isEmpty()) {
        ExplorerItem item = m_model->item(row);
        item.tag = newPath;
        item.label = lastComponent(newPath);
        m_model->setItem(row, item);
    } else {
        m_model->removeItem(row);
        // A running listing keeps filling the placeholder it was at.
        if (!m_listingStopped && row < m_itemCount)
            --m_itemCount;
    }
    m_listView->viewport()->update();
}

// ---- keys and mouse --------------------------------------------------------

bool ThumbnailExplorer::handleKeyPress(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Delete:
        runFileCommand(event->modifiers() & Qt::ShiftModifier
                           ? core::FileOperation::DeletePermanently
                           : core::FileOperation::Delete);
        update();
        m_listView->viewport()->update();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        openStep(m_listView->currentIndex().isValid() ? m_listView->currentIndex().row() : -1);
        return true;
    default:
        return false;
    }
}

void ThumbnailExplorer::handleKeyRelease(QKeyEvent *event, bool onList)
{
    // A held key repeats its press only; the release comes once.
    if (event->isAutoRepeat() || event->key() == Qt::Key_Control)
        return;
    const Qt::KeyboardModifiers mods =
        event->modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (mods == Qt::ControlModifier) {
        // Moving with Ctrl held shows the item without changing the selection.
        announceCurrent();
        if (onList)
            m_listView->setFocus();
        return;
    }
    const QModelIndex current = m_listView->currentIndex();
    if (current.isValid())
        selectItem(current.row() + 1, true);
}

void ThumbnailExplorer::keyPressEvent(QKeyEvent *event)
{
    if (!handleKeyPress(event))
        QWidget::keyPressEvent(event);
}

void ThumbnailExplorer::keyReleaseEvent(QKeyEvent *event)
{
    handleKeyRelease(event, false);
    QWidget::keyReleaseEvent(event);
}

bool ThumbnailExplorer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_listView) {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
            m_listView->viewport()->update();
        if (event->type() == QEvent::KeyPress)
            return handleKeyPress(static_cast<QKeyEvent *>(event));
        if (event->type() == QEvent::KeyRelease) {
            // Handled here; it must not reach the control's own rule as well.
            handleKeyRelease(static_cast<QKeyEvent *>(event), true);
            return true;
        }
    } else if (watched == m_listView->viewport()) {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto *me = static_cast<QMouseEvent *>(event);
            if (me->button() == Qt::LeftButton) {
                if (count() > 0 && m_listView->currentIndex().isValid())
                    announceCurrent();
            } else if (me->button() == Qt::RightButton) {
                if (count() > 0 && m_listView->indexAt(me->position().toPoint()).isValid())
                    m_contextMenu->popup(me->globalPosition().toPoint());
            }
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            openStep(m_listView->currentIndex().isValid() ? m_listView->currentIndex().row() : -1);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ThumbnailExplorer::openStep(int index0)
{
    // Enter and double-click open nothing yet: the host offers a handler for
    // openRequested, but which list and position to hand it is still to be
    // decided.
    Q_UNUSED(index0);
}

// ---- geometry --------------------------------------------------------------

void ThumbnailExplorer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}

void ThumbnailExplorer::layoutChildren()
{
    m_listView->setGeometry(rect());
    // The message sits centred, as wide as the list less 400 twips.
    m_emptyNote->setGeometry(core::twipsToPixelsX(kTextMarginTwips),
                             core::twipsToPixelsY(kTextMarginTwips),
                             std::max(0, width() - core::twipsToPixelsX(2 * kTextMarginTwips)),
                             m_emptyNote->sizeHint().height());
    m_emptyNote->raise();
}

} // namespace explorer
