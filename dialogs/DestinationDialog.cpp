// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/DestinationDialog.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/Prompts.h"
#include "core/Twips.h"
#include "dialogs/FolderTree.h"

namespace dialogs {

namespace {

// Places, in twips, as the window was always laid out.
QRect twipsRect(int left, int top, int width, int height)
{
    return {core::twipsToPixelsX(left), core::twipsToPixelsY(top), core::twipsToPixelsX(width),
            core::twipsToPixelsY(height)};
}

// A typed "~/Pictures" means the user's folder, as in a file dialog.
QString expandHome(const QString &folder)
{
    if (folder == QLatin1String("~") || folder.startsWith(QLatin1String("~/")))
        return QDir::homePath() + folder.mid(1);
    return folder;
}

} // namespace

DestinationDialog::DestinationDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("destinationDialog"));
    // A fixed single border without minimise and maximise buttons.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setWindowTitle(QStringLiteral("Caption will be set at run time!!"));
    setFixedSize(core::twipsToPixelsX(7710), core::twipsToPixelsY(5940));
    setModal(true);

    m_sourceLabel = new QLabel(QStringLiteral("Source"), this);
    m_sourceLabel->setObjectName(QStringLiteral("Label1"));
    m_sourceLabel->setGeometry(twipsRect(165, 30, 7380, 225));
    m_source = new QLineEdit(this);
    m_source->setObjectName(QStringLiteral("txtSource"));
    m_source->setGeometry(twipsRect(165, 255, 7380, 315));
    m_destinationLabel = new QLabel(QStringLiteral("Destination"), this);
    m_destinationLabel->setObjectName(QStringLiteral("Label2"));
    m_destinationLabel->setGeometry(twipsRect(165, 600, 7380, 240));
    m_destination = new QLineEdit(this);
    m_destination->setObjectName(QStringLiteral("txtDestination"));
    m_destination->setGeometry(twipsRect(165, 855, 7380, 345));
    m_tree = new FolderTree(this);
    m_tree->setObjectName(QStringLiteral("FolderTree"));
    m_tree->setGeometry(twipsRect(165, 1275, 7380, 3915));
    m_ok = new QPushButton(QStringLiteral("         &Ok"), this);
    m_ok->setObjectName(QStringLiteral("cmdOk"));
    m_ok->setGeometry(twipsRect(4125, 5400, 1515, 465));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("         &Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cancel->setGeometry(twipsRect(5910, 5385, 1620, 465));

    connect(m_ok, &QPushButton::clicked, this, &DestinationDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &DestinationDialog::reject);
    connect(m_tree, &FolderTree::clicked, this, &DestinationDialog::folderChosen);
    connect(m_tree, &FolderTree::folderSelected, this, &DestinationDialog::folderChosen);
    connect(m_tree, &FolderTree::nodeActivated, this, &DestinationDialog::folderChosen);
    connect(m_tree, &FolderTree::desktopRootClicked, this, &DestinationDialog::desktopChosen);
}

void DestinationDialog::applySkin(const SkinApplier &apply)
{
    if (!apply)
        return;
    apply(this, QStringLiteral("smallform"));
    apply(m_cancel, QStringLiteral("Button"));
    apply(m_ok, QStringLiteral("Button"));
}

QString DestinationDialog::showFileForm(int opType, const QString &sSource)
{
    m_cancelFlag = false;
    if (opType == 1)
        setWindowTitle(QStringLiteral("Copy To"));
    else if (opType == 4)
        setWindowTitle(QStringLiteral("Move To"));
    m_source->setText(sSource);
    m_source->setCursorPosition(0);
    m_destination->setFocus();
    exec();
    if (m_cancelFlag)
        return {};
    return expandHome(m_destination->text());
}

void DestinationDialog::folderChosen()
{
    const QString path = m_tree->path();
    if (!path.isEmpty())
        m_destination->setText(path);
}

void DestinationDialog::desktopChosen()
{
    const QString desktop = FolderTree::desktopFolder();
    m_destination->setText(desktop.isEmpty() ? QString() : desktop + QLatin1Char('/'));
}

void DestinationDialog::accept()
{
    // A typed folder that is not there is said here, while the user can
    // still mend it, rather than by a failed copy afterwards.
    const QString folder = expandHome(m_destination->text());
    if (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
        core::msgBox(QStringLiteral("The folder %1 does not exist.").arg(folder),
                     core::MsgIcon::Exclamation);
        m_destination->setFocus();
        m_destination->selectAll();
        return;
    }
    QDialog::accept();
}

void DestinationDialog::reject()
{
    m_cancelFlag = true;
    QDialog::reject();
}

void DestinationDialog::closeEvent(QCloseEvent *event)
{
    // The close box ends this showing as Cancel does.
    m_cancelFlag = true;
    QDialog::closeEvent(event);
}

} // namespace dialogs
