// SPDX-License-Identifier: GPL-3.0-or-later
#include "explorer/ImageExplore.h"

#include <QAction>
#include <QCoreApplication>
#include <QDirIterator>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QLineEdit>
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

#include "explorer/ExplorerModel.h"
#include "imaging/Thumbnail.h"
#include "explorer/ThumbnailQueue.h"
#include "core/Formats.h"
#include "core/Twips.h"
#include "core/Prompts.h"

#include <algorithm>

using explorer::ExplorerItem;
using explorer::ExplorerModel;

namespace {

constexpr double kMinWidthTwips = 1600;
constexpr double kTextMarginTwips = 200;
const QSize kCellSize(150, 125);
// The user interface is serviced after items 1, 21, 41, ...
constexpr int kYieldEvery = 20;

QString folderOf(const QString &path)
{
    QString folder = path.isEmpty() ? QStringLiteral("/") : path;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
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

void sortByName(QStringList &paths)
{
    std::sort(paths.begin(), paths.end(), [](const QString &a, const QString &b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
}

} // namespace

ImageExplore::ImageExplore(QWidget *parent) : QWidget(parent)
{
    setMinimumWidth(core::twipsToPixelsX(kMinWidthTwips));
    setFocusPolicy(Qt::StrongFocus);

    imgFolder = folderPicture();
    imgLoading = loadingPicture();

    iList = new explorer::PictureList(this);
    iList->setObjectName(QStringLiteral("iList"));
    m_model = new ExplorerModel(iList, this);

    lv = new QListView(this);
    lv->setObjectName(QStringLiteral("lv"));
    lv->setViewMode(QListView::IconMode);
    // Columns from the left edge, scrolling sideways, cells that stay put.
    lv->setFlow(QListView::TopToBottom);
    lv->setWrapping(true);
    lv->setMovement(QListView::Static);
    lv->setResizeMode(QListView::Adjust);
    lv->setUniformItemSizes(true);
    lv->setWordWrap(true);
    lv->setTextElideMode(Qt::ElideMiddle);
    lv->setIconSize(kCellSize);
    const int textHeight = 2 * lv->fontMetrics().lineSpacing();
    lv->setGridSize(QSize(kCellSize.width() + 12, kCellSize.height() + textHeight + 12));
    lv->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lv->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lv->setDragEnabled(true);
    lv->setDragDropMode(QAbstractItemView::DragOnly);
    lv->setAcceptDrops(false);
    lv->setModel(m_model);
    lv->setItemDelegate(new CellDelegate(lv));
    lv->installEventFilter(this);
    lv->viewport()->installEventFilter(this);

    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setReadOnly(true);
    Text1->setFrame(false);
    Text1->setFocusPolicy(Qt::NoFocus);
    Text1->setText(QStringLiteral("there are no items to show."));
    Text1->setAlignment(Qt::AlignHCenter);
    Text1->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; color: #707680; }"));
    Text1->hide();

    m_pool = std::make_unique<QThreadPool>();
    m_pool->setMaxThreadCount(std::max(1, QThread::idealThreadCount()));

    buildMenu();
    layoutChildren();
}

ImageExplore::~ImageExplore()
{
    ++m_generation;
    if (m_runningQueue)
        m_runningQueue->cancel();
    m_pool->clear();
    m_pool->waitForDone();
}

void ImageExplore::buildMenu()
{
    mnuMenu = new QMenu(QStringLiteral("MENU"), this);
    mnuMenu->setObjectName(QStringLiteral("mnuMenu"));
    const auto add = [this](const char *name, const QString &caption, auto slot) {
        QAction *a = mnuMenu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, slot);
    };
    add("mnuCopyImage", QStringLiteral("Copy Image"), [this] { CopyImage(); });
    mnuMenu->addSeparator()->setObjectName(QStringLiteral("mnuSep1"));
    add("mnuCopyTo", QStringLiteral("Copy To"), [this] { FileCommand(1); });
    add("mnuMoveTo", QStringLiteral("Move To"), [this] { FileCommand(4); });
    add("mnuDelete", QStringLiteral("Delete"), [this] {
        FileCommand(QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier ? 3 : 2);
    });
    add("mnuRename", QStringLiteral("Rename"), [this] { FileCommand(5); });
}

// ---- pictures --------------------------------------------------------------

QPixmap ImageExplore::folderPicture()
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

QPixmap ImageExplore::loadingPicture()
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

// ---- extensions ------------------------------------------------------------

void ImageExplore::SetExt(const QString &s)
{
    if (s.isEmpty())
        core::msgBox(QStringLiteral("Extrsntions should be exist and separtated by spaces only "
                                       "like 'bmp jpg gif'"),
                        core::MsgIcon::Exclamation);
    m_extList = s.toLower();
}

bool ImageExplore::IsImageFile(const QString &p) const
{
    const QString e = core::extensionOf(p).toLower();
    if (e.size() < 3)
        return false;
    return m_extList.contains(e);
}

// ---- listing ---------------------------------------------------------------

ImageExplore::Entries ImageExplore::enumerate(const QString &folder, bool sorted) const
{
    Entries e;
    // Hidden and system entries count like any other; only being a folder
    // and the extension decide.
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QFileInfo fi = it.fileInfo();
        const QString full = folder + fi.fileName();
        if (fi.isDir())
            e.folders.append(full);
        else if (IsImageFile(full))
            e.images.append(full);
    }
    if (sorted) {
        sortByName(e.folders);
        sortByName(e.images);
    }
    return e;
}

bool ImageExplore::overtaken(quint64 generation) const
{
    return generation != m_generation;
}

void ImageExplore::ExplorePath(const QString &path)
{
    if (m_extList.isEmpty()) {
        core::msgBox(QStringLiteral("You must call function 'SetExt' first"),
                        core::MsgIcon::Exclamation);
        emit listingFinished();
        return;
    }
    QPointer<ImageExplore> self(this);
    emit CurrSelectedImage(QString());
    if (!self)
        return;

    m_stopListing = false;
    const quint64 generation = ++m_generation;
    // An older listing interrupted in a yield loses its queued decodes now;
    // it notices the new generation when it resumes and returns.
    if (m_runningQueue) {
        m_runningQueue->cancel();
        m_runningQueue = nullptr;
    }
    m_pool->clear();

    PrepareListing(folderOf(path), generation);
    if (!self)
        return;
    if (!overtaken(generation))
        m_runningQueue = nullptr; // it lived on the filling pass's stack
    if (!overtaken(generation) && m_itemCount > 0)
        SelectItem(1, true);
    emit listingFinished();
}

void ImageExplore::PrepareListing(const QString &folder, quint64 generation)
{
    m_model->resetPlaceholders(0);
    iList->clear();
    m_itemCount = 0;
    Text1->hide();

    const Entries e = enumerate(folder, false);
    const int n = int(e.folders.size() + e.images.size());

    iList->add(QStringLiteral("Folder"), imgFolder);
    iList->add(QStringLiteral("A"), imgLoading);
    m_model->resetPlaceholders(n);
    // The user sees a loading picture for every item before any decoding.
    lv->doItemsLayout();
    lv->viewport()->repaint();

    QPointer<ImageExplore> self(this);
    emit placeholdersShown(n);
    if (!self || overtaken(generation) || m_stopListing)
        return;
    FillListing(folder, generation);
}

void ImageExplore::FillListing(const QString &folder, quint64 generation)
{
    QPointer<ImageExplore> self(this);
    m_itemCount = 0;
    Text1->hide();

    Entries e = enumerate(folder, true);
    explorer::ThumbnailQueue queue(m_pool.get(), e.images, 4 * m_pool->maxThreadCount() + 4);
    m_runningQueue = &queue;

    const auto stopped = [&] { return !self || overtaken(generation) || m_stopListing; };

    for (const QString &f : std::as_const(e.folders)) {
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
        imaging::ThumbnailResult thumb = queue.take(i);
        addImage(e.images.at(i), false, &thumb);
        if (!self || overtaken(generation))
            return;
        ++m_itemCount;
    }
    if (m_itemCount == 0)
        Text1->show();
    m_stopListing = true;
}

void ImageExplore::AddImage(const QString &strPath, bool bIsFolder)
{
    addImage(strPath, bIsFolder, nullptr);
}

void ImageExplore::addImage(const QString &strPath, bool bIsFolder,
                            imaging::ThumbnailResult *ready)
{
    try {
        if (!bIsFolder) {
            imaging::ThumbnailResult made;
            if (!ready) {
                made = imaging::makeThumbnail(strPath);
                ready = &made;
            }
            if (!ready->ok())
                throw imaging::ImageError(ready->error);
            iList->add(strPath, QPixmap::fromImage(std::move(ready->picture)));
        }
        if (m_itemCount < 0 || m_itemCount >= m_model->rowCount())
            throw ExplorerError(QStringLiteral("Index out of bounds"));
        m_model->setItem(m_itemCount, ExplorerItem{bIsFolder ? QStringLiteral("Folder") : strPath,
                                                   strPath, lastComponent(strPath)});
        if (m_itemCount % kYieldEvery == 0)
            QCoreApplication::processEvents();
    } catch (const imaging::ImageError &error) {
        // A real message box runs its own event loop; a listing started from
        // there has already run to its end, and this one sees it and stops.
        QPointer<ImageExplore> self(this);
        const quint64 generation = m_generation;
        core::msgBox(error.description(), core::MsgIcon::Critical);
        if (self && generation == m_generation)
            m_stopListing = true;
    }
}

QStringList ImageExplore::GetImageList(const QString &path, const QString &SearchStr) const
{
    const QString folder = folderOf(path);
    const bool everything =
        SearchStr.isEmpty() || SearchStr == QLatin1String("*.*") || SearchStr == QLatin1String("*");
    const QRegularExpression pattern =
        everything ? QRegularExpression()
                   : QRegularExpression::fromWildcard(SearchStr, Qt::CaseInsensitive);
    QStringList result;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        const QString full = folder + name;
        if (!everything && !pattern.match(name).hasMatch())
            continue;
        if (IsImageFile(full))
            result.append(full);
    }
    sortByName(result);
    return result;
}

// ---- what the list holds ---------------------------------------------------

int ImageExplore::count() const
{
    return m_model->rowCount();
}

QString ImageExplore::itemPath(int index1Based) const
{
    if (index1Based < 1 || index1Based > count())
        return {};
    return m_model->item(index1Based - 1).tag;
}

QString ImageExplore::itemLabel(int index1Based) const
{
    if (index1Based < 1 || index1Based > count())
        return {};
    return m_model->item(index1Based - 1).label;
}

QString ImageExplore::itemPictureKey(int index1Based) const
{
    if (index1Based < 1 || index1Based > count())
        return {};
    return m_model->item(index1Based - 1).iconKey;
}

QPixmap ImageExplore::picture(const QString &key) const
{
    return iList->picture(key);
}

int ImageExplore::currentPosition() const
{
    const QModelIndex c = lv->currentIndex();
    return c.isValid() ? c.row() + 1 : 0;
}

QList<int> ImageExplore::selectedPositions() const
{
    QList<int> result;
    const QModelIndexList rows = lv->selectionModel()->selectedIndexes();
    for (const QModelIndex &i : rows)
        result.append(i.row() + 1);
    std::sort(result.begin(), result.end());
    return result;
}

// ---- selection -------------------------------------------------------------

void ImageExplore::announceCurrent()
{
    const QModelIndex c = lv->currentIndex();
    emit CurrSelectedImage(c.isValid() ? m_model->item(c.row()).tag : QString());
}

void ImageExplore::SelectItem(int index1Based, bool announce)
{
    if (index1Based <= 0 || index1Based > count())
        return;
    lv->selectionModel()->setCurrentIndex(m_model->index(index1Based - 1),
                                          QItemSelectionModel::Select);
    if (announce)
        announceCurrent();
    lv->setFocus();
}

void ImageExplore::SetAllSelected(bool b)
{
    if (b)
        lv->selectAll();
    else
        lv->clearSelection();
    lv->setFocus();
}

void ImageExplore::NextItem()
{
    if (count() == 0)
        return;
    lv->setFocus();
    sendArrowKey(Qt::Key_Right);
}

void ImageExplore::PrevItem()
{
    if (count() == 0)
        return;
    lv->setFocus();
    sendArrowKey(Qt::Key_Left);
}

void ImageExplore::sendArrowKey(int key)
{
    // A real press and release: the list moves by its own arrow-key rule,
    // and the release announces where it went.
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(lv, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(lv, &release);
}

int ImageExplore::FindItemByPath(const QString &p) const
{
    const QString wanted = p.toLower();
    for (int i = 0; i < count(); ++i)
        if (m_model->item(i).tag.toLower() == wanted)
            return i + 1;
    return -1;
}

void ImageExplore::SetSelectedFocus(const QString &sPath)
{
    const int position = FindItemByPath(sPath);
    SetAllSelected(false);
    if (position < 1)
        throw ExplorerError(QStringLiteral("Index out of bounds"));
    // Selected without scrolling the list to it.
    const bool autoScroll = lv->hasAutoScroll();
    lv->setAutoScroll(false);
    lv->selectionModel()->setCurrentIndex(m_model->index(position - 1),
                                          QItemSelectionModel::Select);
    lv->setAutoScroll(autoScroll);
}

void ImageExplore::UpdateAfterOperation(QString &oldPath, QString &newPath)
{
    const int position = FindItemByPath(oldPath);
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
        if (!m_stopListing && row < m_itemCount)
            --m_itemCount;
    }
    lv->viewport()->update();
}

// ---- keys and mouse --------------------------------------------------------

bool ImageExplore::handleKeyPress(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Delete:
        FileCommand(event->modifiers() & Qt::ShiftModifier ? 3 : 2);
        update();
        lv->viewport()->update();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        openStep(lv->currentIndex().isValid() ? lv->currentIndex().row() : -1);
        return true;
    default:
        return false;
    }
}

void ImageExplore::handleKeyRelease(QKeyEvent *event, bool onList)
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
            lv->setFocus();
        return;
    }
    const QModelIndex current = lv->currentIndex();
    if (current.isValid())
        SelectItem(current.row() + 1, true);
}

void ImageExplore::keyPressEvent(QKeyEvent *event)
{
    if (!handleKeyPress(event))
        QWidget::keyPressEvent(event);
}

void ImageExplore::keyReleaseEvent(QKeyEvent *event)
{
    handleKeyRelease(event, false);
    QWidget::keyReleaseEvent(event);
}

bool ImageExplore::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lv) {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)
            lv->viewport()->update();
        if (event->type() == QEvent::KeyPress)
            return handleKeyPress(static_cast<QKeyEvent *>(event));
        if (event->type() == QEvent::KeyRelease) {
            // Handled here; it must not reach the control's own rule as well.
            handleKeyRelease(static_cast<QKeyEvent *>(event), true);
            return true;
        }
    } else if (watched == lv->viewport()) {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto *me = static_cast<QMouseEvent *>(event);
            if (me->button() == Qt::LeftButton) {
                if (count() > 0 && lv->currentIndex().isValid())
                    announceCurrent();
            } else if (me->button() == Qt::RightButton) {
                if (count() > 0 && lv->indexAt(me->position().toPoint()).isValid())
                    mnuMenu->popup(me->globalPosition().toPoint());
            }
        } else if (event->type() == QEvent::MouseButtonDblClick) {
            openStep(lv->currentIndex().isValid() ? lv->currentIndex().row() : -1);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ImageExplore::openStep(int index0)
{
    // Enter and double-click open nothing yet: the host offers OpenItem, but
    // which list and position to hand it is still to be decided.
    Q_UNUSED(index0);
}

void ImageExplore::FileCommand(int code)
{
    // Copy To (1), Delete (2), Delete permanently (3), Move To (4) and
    // Rename (5) arrive with the explorer's file commands.
    Q_UNUSED(code);
}

void ImageExplore::CopyImage()
{
    // Copying the current image to the clipboard arrives with the file
    // commands.
}

// ---- geometry --------------------------------------------------------------

void ImageExplore::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutChildren();
}

void ImageExplore::layoutChildren()
{
    lv->setGeometry(rect());
    // The message sits centred, as wide as the list less 400 twips.
    Text1->setGeometry(core::twipsToPixelsX(kTextMarginTwips),
                       core::twipsToPixelsY(kTextMarginTwips),
                       std::max(0, width() - core::twipsToPixelsX(2 * kTextMarginTwips)),
                       Text1->sizeHint().height());
    Text1->raise();
}
