// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

// The destination-folder dialog used by Copy To and Move To.
class frmFile : public QDialog
{
    Q_OBJECT

public:
    explicit frmFile(QWidget *parent = nullptr);

    // Asks for a destination folder; returns it with a trailing "/", or an
    // empty text when the user cancels.
    QString ShowFileForm(const QString &caption);
};
