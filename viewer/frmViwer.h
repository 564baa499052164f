// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QStringList>

class ImgXCtrl;

// The viewer window: shows one image of a list at a time.
class frmViwer : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmViwer(QWidget *parent = nullptr);

    ImgXCtrl *ImgX = nullptr;
    QStringList FilePaths;
    qint16 CurrentIndex = 0;
    bool bCommand = false;
};
