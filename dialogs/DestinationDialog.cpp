// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/DestinationDialog.h"

#include <QDir>

#include "core/Prompts.h"

namespace dialogs {

DestinationDialog::DestinationDialog(QWidget *parent) : QDialog(parent) {}

QString DestinationDialog::chooseFolder(const QString &caption)
{
    QString folder = core::prompts().folderDialog(caption, QDir::homePath());
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

} // namespace dialogs
