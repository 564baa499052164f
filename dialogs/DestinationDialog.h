// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace dialogs {

class FolderTree;

// The destination-folder dialog of Copy To and Move To: the source
// path, a folder tree with the desktop at its root and an editable
// destination that the tree fills in. One window serves every copy and move
// of the program; it is only hidden between uses, so the destination and the
// tree's folder carry over to the next use.
class DestinationDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DestinationDialog(QWidget *parent = nullptr);

    // Asks for the destination folder of a copy (opType 1, caption "Copy To")
    // or a move (4, "Move To"; other values keep the caption) of sSource.
    // Returns the destination as typed or as set by the tree, or an empty
    // text when the user cancelled or left the destination empty.
    QString showFileForm(int opType, const QString &sSource);

    // How the browser's skin engine styles a child: applied to the window
    // ("smallform") and to both buttons ("Button") when the window is made.
    using SkinApplier = std::function<void(QWidget *, const QString &element)>;
    void applySkin(const SkinApplier &apply);

    bool cancelFlag() const { return m_cancelFlag; }
    QLineEdit *sourceBox() const { return m_source; }
    QLineEdit *destinationBox() const { return m_destination; }
    FolderTree *folderTree() const { return m_tree; }
    QPushButton *okButton() const { return m_ok; }
    QPushButton *cancelButton() const { return m_cancel; }

protected:
    void closeEvent(QCloseEvent *event) override;

public slots:
    // OK: a typed folder that does not exist is said and the window stays.
    void accept() override;
    // Cancel: sets the cancel flag.
    void reject() override;

private:
    void folderChosen();
    void desktopChosen();

    QLabel *m_sourceLabel = nullptr;
    QLineEdit *m_source = nullptr;
    QLabel *m_destinationLabel = nullptr;
    QLineEdit *m_destination = nullptr;
    FolderTree *m_tree = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    bool m_cancelFlag = false;
};

} // namespace dialogs
