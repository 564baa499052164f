// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/frmFile.h"

#include "core/Prompts.h"

#include <QDir>

frmFile::frmFile(QWidget *parent) : QDialog(parent)
{
}

QString frmFile::ShowFileForm(const QString &caption)
{
    QString folder = core::prompts().folderDialog(caption, QDir::homePath());
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}
