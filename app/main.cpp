// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include "app/BrowserWindow.h"
#include "app/CommandLine.h"
#include "app/DesktopIdentity.h"
#include "imaging/Startup.h"

int main(int argc, char *argv[])
{
    imaging::prepareProgram(imaging::ProgramKind::Windows);
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pictavo"));
    QApplication::setOrganizationName(QStringLiteral("Pictavo"));
    app::setDesktopIdentity();
    imaging::initializeImaging(imaging::ProgramKind::Windows);

    app::BrowserWindow window;
    window.start(app::commandline::commandTextOf(QApplication::arguments()));
    return QApplication::exec();
}
