// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small image files generated in code for the tests.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QString>

namespace fixtures {

// A picture with a colour gradient, so scaling has something to smooth.
inline QImage picture(int w, int h, QColor colour = QColor(40, 110, 200))
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    QPainter p(&img);
    QLinearGradient g(0, 0, w, h);
    g.setColorAt(0, colour);
    g.setColorAt(1, colour.darker(180));
    p.fillRect(img.rect(), g);
    return img;
}

// Writes an image in the format its extension names (GIF, which Qt cannot
// write, as PNG data: readers go by content); returns the path.
inline QString writeImage(const QString &folder, const QString &name, int w, int h,
                          const char *format = nullptr)
{
    const QString path = QDir(folder).filePath(name);
    if (name.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive) ||
        QByteArray(format).toLower() == "gif")
        format = "PNG";
    const bool ok = picture(w, h).save(path, format);
    Q_ASSERT(ok);
    Q_UNUSED(ok);
    return path;
}

inline QString writeBytes(const QString &folder, const QString &name, const QByteArray &bytes)
{
    const QString path = QDir(folder).filePath(name);
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

// A JPEG whose data stops after its header: the reader knows its size but
// cannot decode it.
inline QString writeDamagedJpeg(const QString &folder, const QString &name)
{
    const QString path = QDir(folder).filePath(name);
    picture(400, 300).save(path, "JPG");
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    QByteArray bytes = f.readAll();
    f.close();
    bytes.truncate(300);
    bytes.append(QByteArray(64, '\x5a'));
    return writeBytes(folder, name, bytes);
}

} // namespace fixtures
