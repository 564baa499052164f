// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmMain.h"

#include "explorer/ImageExplore.h"
#include "imaging/Formats.h"
#include "imaging/Platform.h"

#include <QGuiApplication>

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    ImageExplore1 = new ImageExplore(this);
    ImageExplore1->setObjectName(QStringLiteral("ImageExplore1"));
    setCentralWidget(ImageExplore1);
}

void frmMain::Form_Load(const QString &commandText)
{
    Q_UNUSED(commandText);
    QGuiApplication::setApplicationDisplayName(QString::fromUtf16(imaging::kAppTitle));
    setWindowTitle(QString::fromUtf16(imaging::kAppTitle));
    ImageExplore1->SetExt(QString::fromUtf16(imaging::kSupportedExtensions));
    show();
}
