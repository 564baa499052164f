// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QWidget>

class QFileSystemModel;
class QModelIndex;
class QToolButton;
class QTreeView;

namespace dialogs {

// The folder tree of the browser and the destination dialog: the folders of
// the machine from "/" down (hidden folders left out, sorted by name), with
// Desktop and Home buttons above it.
//
// What the user does is reported by signals; setting the path from code
// reports nothing:
//   clicked            a folder was clicked with the mouse, or Home was
//                      pressed; the click also makes it the selected folder
//   folderSelected     the selection moved to another folder by keyboard
//   nodeActivated      Return or Enter was pressed on the selected folder
//   desktopRootClicked the Desktop button was pressed (the desktop folder
//                      becomes the selected folder when it exists)
// Expanding or collapsing a folder changes nothing but the tree's view and is
// not reported: the handlers list the selected folder, which stays the same.
class FolderTree : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString path READ path WRITE setPath)

public:
    explicit FolderTree(QWidget *parent = nullptr);

    // The selected folder with a trailing "/" ("/" for the root), or an
    // empty text when none is selected.
    QString path() const;
    // Selects folder (with or without a trailing "/"), expanding its parents
    // and scrolling it into view. A folder that does not exist, or is hidden
    // from the tree, leaves the selection as it was.
    void setPath(const QString &folder);

    QTreeView *view() const { return m_view; }
    QFileSystemModel *model() const { return m_model; }
    QToolButton *desktopButton() const { return m_desktop; }
    QToolButton *homeButton() const { return m_home; }

    // The user's desktop folder without a trailing "/", empty when there is
    // none.
    static QString desktopFolder();

signals:
    void clicked();
    void nodeActivated(const QString &folder);
    void folderSelected(const QString &folder);
    void desktopRootClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString folderOf(const QModelIndex &index) const;
    void currentChanged(const QModelIndex &current);
    void selectSilently(const QString &folder);

    QFileSystemModel *m_model = nullptr;
    QTreeView *m_view = nullptr;
    QToolButton *m_desktop = nullptr;
    QToolButton *m_home = nullptr;
    bool m_silent = false;
    bool m_mousePressed = false;
};

} // namespace dialogs
