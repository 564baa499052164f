// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/DesktopIdentity.h"

#include <QApplication>
#include <QIcon>

#include "core/Paths.h"

namespace app {

void setDesktopIdentity()
{
    QGuiApplication::setDesktopFileName(QStringLiteral("pictavo"));
    const QIcon own(core::programFolder() + QStringLiteral("/icons/pictavo.png"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("pictavo"), own));
}

} // namespace app
