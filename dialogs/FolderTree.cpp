// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/FolderTree.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include "core/Paths.h"
#include "dialogs/Logging.h"

namespace dialogs {

namespace {

// Folder text as the model knows it: no trailing "/" except for the root.
QString withoutTrailingSlash(QString folder)
{
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

} // namespace

FolderTree::FolderTree(QWidget *parent) : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    auto *places = new QHBoxLayout;
    places->setContentsMargins(2, 2, 2, 0);
    places->setSpacing(2);
    auto makePlace = [this, places](const QString &name, const QString &text,
                                    QStyle::StandardPixmap icon) {
        auto *button = new QToolButton(this);
        button->setObjectName(name);
        button->setText(text);
        button->setIcon(style()->standardIcon(icon));
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        button->setAutoRaise(true);
        places->addWidget(button);
        return button;
    };
    m_desktop = makePlace(QStringLiteral("desktopRoot"), tr("Desktop"), QStyle::SP_DesktopIcon);
    m_home = makePlace(QStringLiteral("homeFolder"), tr("Home"), QStyle::SP_DirHomeIcon);
    places->addStretch(1);
    layout->addLayout(places);

    m_model = new QFileSystemModel(this);
    m_model->setObjectName(QStringLiteral("folderModel"));
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setReadOnly(true);
    m_model->setRootPath(QStringLiteral("/"));

    m_view = new QTreeView(this);
    m_view->setObjectName(QStringLiteral("folders"));
    m_view->setModel(m_model);
    m_view->setHeaderHidden(true);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_view->hideColumn(column);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(0, Qt::AscendingOrder);
    m_view->setUniformRowHeights(true);
    m_view->setAnimated(false);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->header()->setStretchLastSection(false);
    m_view->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(m_view, 1);
    // "/" is the top item; open it so that the first level is in sight.
    m_view->expand(m_model->index(QStringLiteral("/")));

    m_view->viewport()->installEventFilter(this);
    m_view->installEventFilter(this);
    connect(m_view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { currentChanged(current); });
    connect(m_view, &QTreeView::clicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            emit clicked();
    });
    // Rows arrive in the background; keep the selected folder in sight.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this] {
        if (m_view->currentIndex().isValid())
            m_view->scrollTo(m_view->currentIndex());
    });
    connect(m_desktop, &QToolButton::clicked, this, [this] {
        const QString desktop = desktopFolder();
        if (!desktop.isEmpty())
            selectSilently(desktop);
        else
            qCWarning(lcDialogs, "There is no desktop folder to show");
        emit desktopRootClicked();
    });
    connect(m_home, &QToolButton::clicked, this, [this] {
        selectSilently(QDir::homePath());
        emit clicked();
    });
}

QString FolderTree::desktopFolder()
{
    return withoutTrailingSlash(core::desktopFolder());
}

QString FolderTree::folderOf(const QModelIndex &index) const
{
    if (!index.isValid())
        return {};
    QString folder = m_model->filePath(index);
    if (folder.isEmpty())
        return {};
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString FolderTree::path() const
{
    return folderOf(m_view->currentIndex());
}

void FolderTree::setPath(const QString &folder)
{
    selectSilently(folder);
}

void FolderTree::selectSilently(const QString &folder)
{
    const QString clean = withoutTrailingSlash(QDir::cleanPath(folder));
    if (clean.isEmpty() || !QFileInfo(clean).isDir())
        return;
    const QModelIndex index = m_model->index(clean);
    if (!index.isValid())
        return;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        m_view->expand(parent);
    m_silent = true;
    m_view->setCurrentIndex(index);
    m_silent = false;
    m_view->scrollTo(index);
}

void FolderTree::currentChanged(const QModelIndex &current)
{
    // A mouse click reports itself as clicked once the button is released; the
    // selection it makes on the way is not reported twice.
    if (m_silent || m_mousePressed || !current.isValid())
        return;
    emit folderSelected(folderOf(current));
}

bool FolderTree::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view->viewport()) {
        if (event->type() == QEvent::MouseButtonPress)
            m_mousePressed = true;
        else if (event->type() == QEvent::MouseButtonRelease)
            m_mousePressed = false;
    } else if (watched == m_view && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_view->currentIndex().isValid()) {
            emit nodeActivated(path());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace dialogs
