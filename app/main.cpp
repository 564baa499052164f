// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmMain.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pictavo"));
    QApplication::setOrganizationName(QStringLiteral("Pictavo"));

    frmMain window;
    window.Form_Load(QApplication::arguments().mid(1).join(QLatin1Char(' ')));
    return QApplication::exec();
}
