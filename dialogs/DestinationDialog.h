// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace dialogs {

// The destination-folder dialog used by Copy To and Move To.
class DestinationDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DestinationDialog(QWidget *parent = nullptr);

    // Asks for a destination folder; returns it with a trailing "/", or an
    // empty text when the user cancels.
    QString chooseFolder(const QString &caption);
};

} // namespace dialogs
