// SPDX-License-Identifier: GPL-3.0-or-later
#include "explorer/ThumbnailExplorer.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>

#include "core/Formats.h"
#include "core/Prompts.h"
#include "core/Twips.h"
#include "explorer/ExplorerModel.h"
#include "explorer/ExplorerShared.h"
#include "explorer/ThumbnailCache.h"
#include "explorer/ThumbnailQueue.h"

namespace explorer {

using namespace detail;

namespace {

constexpr double kMinWidthTwips = 1600;
constexpr double kTextMarginTwips = 200;

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
    // The thumbnails on screen are made first and follow the scroll.
    connect(m_listView->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            &ThumbnailExplorer::scrolled);
    connect(m_listView->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &ThumbnailExplorer::scrolled);

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

    setThumbnailCache(ThumbnailCache::defaultRoot());

    buildMenu();
    layoutChildren();
}

void ThumbnailExplorer::setThumbnailCache(const QString &root)
{
    m_cache = root.isEmpty() ? nullptr : std::make_shared<const ThumbnailCache>(root);
    m_thumbnailer = std::make_shared<const Thumbnailer>(m_cache, m_maker);
}

void ThumbnailExplorer::setPictureMaker(PictureMaker maker)
{
    m_maker = std::move(maker);
    m_thumbnailer = std::make_shared<const Thumbnailer>(m_cache, m_maker);
}

ThumbnailExplorer::~ThumbnailExplorer()
{
    ++m_generation;
    stopThumbnails();
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
    m_contextMenu->addSeparator()->setObjectName(QStringLiteral("mnuSep2"));
    // Files Pictavo could not read are remembered in the thumbnail cache
    // until they change; this forgets them all and tries those listed again.
    add("mnuRetryUnreadable", QStringLiteral("Try Unreadable Files Again"),
        [this] { clearFailedThumbnails(); });
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
        removeRow(row);
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
    // The list lays its cells out anew first.
    QTimer::singleShot(0, this, &ThumbnailExplorer::updateWanted);
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
