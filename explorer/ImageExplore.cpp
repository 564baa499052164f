// SPDX-License-Identifier: GPL-3.0-or-later
#include "explorer/ImageExplore.h"

#include "imaging/Formats.h"
#include "imaging/Prompts.h"

ImageExplore::ImageExplore(QWidget *parent) : QWidget(parent)
{
}

void ImageExplore::SetExt(const QString &s)
{
    if (s.isEmpty())
        imaging::msgBox(QStringLiteral("Extrsntions should be exist and separtated by spaces only "
                                       "like 'bmp jpg gif'"),
                        imaging::MsgIcon::Exclamation);
    m_extList = s.toLower();
}

bool ImageExplore::IsImageFile(const QString &p) const
{
    const QString e = imaging::extensionOf(p).toLower();
    if (e.size() < 3)
        return false;
    return m_extList.contains(e);
}
