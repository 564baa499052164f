// SPDX-License-Identifier: GPL-3.0-or-later
// The Help menu: the about box, the user manual and the update program.
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "core/Paths.h"
#include "viewer/AboutDialog.h"
#include "viewer/ViewerWindow.h"

namespace viewer {

void ViewerWindow::showAbout()
{
    // One about box at a time; asking again brings it forward.
    if (auto *open = findChild<AboutDialog *>()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto *about = new AboutDialog(this, m_link);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->show();
}

// The manual opens in the desktop's browser. Without it installed nothing
// happens: the menu entry has never said anything about a missing manual.
void ViewerWindow::showHelpIndex()
{
    const QString manual = core::programFolder() + QStringLiteral("/help/index.html");
    if (QFileInfo(manual).isFile())
        QDesktopServices::openUrl(QUrl::fromLocalFile(manual));
}

// The update program is a separate download that is not always installed;
// when it is missing, the command does nothing.
void ViewerWindow::runUpdate()
{
    const QString program = core::programFolder() + QStringLiteral("/update/update");
    const QFileInfo info(program);
    if (info.isFile() && info.isExecutable())
        QProcess::startDetached(program, {QStringLiteral("0")}, QDir::rootPath());
}

} // namespace viewer
