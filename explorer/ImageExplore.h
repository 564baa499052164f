// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

// The thumbnail explorer: lists one folder's sub-folders and images with
// thumbnails, keeps the selection and announces it to its host.
class ImageExplore : public QWidget
{
    Q_OBJECT

public:
    explicit ImageExplore(QWidget *parent = nullptr);

    // Sets the accepted extensions ("JPG GIF BMP ..."), kept lower-cased.
    void SetExt(const QString &s);
    QString ExtList() const { return m_extList; }
    bool IsImageFile(const QString &p) const;

signals:
    void CurrSelectedImage(const QString &path);

private:
    QString m_extList;
};
