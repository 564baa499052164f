// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include "app/frmMain.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pictavo"));
    QApplication::setOrganizationName(QStringLiteral("Pictavo"));

    frmMain window;
    window.Form_Load(commandTextOf(QApplication::arguments()));
    return QApplication::exec();
}
