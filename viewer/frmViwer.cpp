// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/frmViwer.h"

#include "imaging/ImgXCtrl.h"

frmViwer::frmViwer(QWidget *parent) : QMainWindow(parent)
{
    ImgX = new ImgXCtrl(this);
    ImgX->setObjectName(QStringLiteral("ImgX"));
    setCentralWidget(ImgX);
}
