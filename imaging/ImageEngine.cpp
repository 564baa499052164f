// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/ImageEngine.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QTransform>

#include "imaging/Codecs.h"
#include "imaging/DecodeBudget.h"
#include "imaging/Logging.h"

namespace imaging {

ImageError::ImageError(const QString &description)
    : std::runtime_error(description.toStdString()), m_description(description)
{
}

namespace {
// Larger files are refused before reading: no image Pictavo can show needs
// more than this on disk.
constexpr qint64 kMaxFileBytes = qint64(1024) * 1024 * 1024;
} // namespace

Decoded decodeFile(const QString &path, const DecodeOptions &options)
{
    const QString name = QFileInfo(path).fileName();
    // The file is opened and read once; the format is then found from the
    // bytes in memory and the matching decoder gets them directly.
    QFile file(path);
    QByteArray data;
    QString problem;
    const QFileInfo info(path);
    // A pipe or device named like an image would block the reader forever.
    if (info.exists() && !info.isFile())
        problem = info.isDir() ? QStringLiteral("it is a folder")
                               : QStringLiteral("it is not a regular file");
    else if (!file.open(QIODevice::ReadOnly))
        problem = QFileInfo::exists(path) ? QStringLiteral("the file cannot be opened")
                                          : QStringLiteral("the file does not exist");
    else if (file.size() > kMaxFileBytes)
        problem = QStringLiteral("the file is too large");
    else
        data = file.readAll();
    if (problem.isEmpty() && file.error() != QFileDevice::NoError)
        problem = QStringLiteral("the file could not be read");
    if (!problem.isEmpty()) {
        Decoded d;
        d.path = path;
        d.error = QStringLiteral("Cannot read %1: %2").arg(name, problem);
        return d;
    }
    file.close();
    Decoded d = codecs::decodeData(data, name, core::extensionOf(path), options);
    d.path = path;
    return d;
}

QImage loadPicture(const QString &path, QString *error)
{
    const Decoded d = decodeFile(path);
    if (!d.ok()) {
        if (error)
            *error = d.error;
        return {};
    }
    return d.pages.constFirst();
}

ImageEngine::ImageEngine(QObject *parent) : QObject(parent) {}

const QImage &ImageEngine::currentImage() const
{
    return m_current >= 0 && m_current < m_pages.size() ? m_pages.at(m_current) : m_empty;
}

void ImageEngine::setDecoded(const Decoded &decoded)
{
    m_pages = decoded.pages;
    // The other pages of a file are decoded when they are asked for.
    if (!decoded.path.isEmpty() && !m_pages.isEmpty())
        while (m_pages.size() < decoded.pageCount)
            m_pages.append(QImage());
    m_current = m_pages.isEmpty() ? -1 : 0;
    m_path = decoded.path;
    m_formatCode = decoded.formatCode;
    m_bitsPerPixel = decoded.bitsPerPixel;
    if (m_current >= 0)
        qCDebug(lcImaging, "%s: %d x %d pixels", qUtf8Printable(QFileInfo(m_path).fileName()),
                m_pages.constFirst().width(), m_pages.constFirst().height());
    emit changed();
}

void ImageEngine::loadFile(const QString &path, QSize boundingSize)
{
    DecodeOptions options;
    options.boundingSize = boundingSize;
    const Decoded d = decodeFile(path, options);
    if (!d.ok()) {
        qCDebug(lcImaging, "%s", qUtf8Printable(d.error));
        throw ImageError(d.error);
    }
    setDecoded(d);
}

void ImageEngine::loadPicture(const QImage &picture)
{
    if (picture.isNull())
        throw ImageError(QStringLiteral("The picture is empty"));
    Decoded d;
    d.pages = {picture};
    d.bitsPerPixel = picture.depth();
    d.originalSize = picture.size();
    d.pageCount = 1;
    setDecoded(d);
}

void ImageEngine::loadDecoded(const Decoded &decoded)
{
    if (!decoded.ok())
        throw ImageError(decoded.error);
    setDecoded(decoded);
}

void ImageEngine::clear()
{
    m_pages.clear();
    m_current = -1;
    m_path.clear();
    m_formatCode = core::FormatUnknown;
    m_bitsPerPixel = 0;
    emit changed();
}

int ImageEngine::pageCount() const
{
    return int(m_pages.size());
}

QString ImageEngine::ensurePage(int index) const
{
    if (index < 0 || index >= m_pages.size())
        return QStringLiteral("There is no such page");
    if (!m_pages.at(index).isNull())
        return {};
    DecodeOptions options;
    options.page = index;
    const Decoded d = decodeFile(m_path, options);
    if (!d.ok())
        return d.error;
    // Pages of a long file are not all held at once.
    for (qsizetype i = 1; i < m_pages.size(); ++i)
        if (i != m_current)
            m_pages[i] = QImage();
    m_pages[index] = d.pages.constFirst();
    return {};
}

QSize ImageEngine::pageSize(int index) const
{
    if (!ensurePage(index).isEmpty())
        return {};
    return m_pages.at(index).size();
}

void ImageEngine::selectPage(int index)
{
    if (const QString error = ensurePage(index); !error.isEmpty())
        throw ImageError(error);
    m_current = index;
    emit changed();
}

int ImageEngine::width() const
{
    return currentImage().width();
}

int ImageEngine::height() const
{
    return currentImage().height();
}

int ImageEngine::bitsPerPixel() const
{
    return m_bitsPerPixel;
}

QString ImageEngine::filePath() const
{
    return m_path;
}

QString ImageEngine::fileName() const
{
    return QFileInfo(m_path).fileName();
}

int ImageEngine::formatCode() const
{
    return m_formatCode;
}

QImage &ImageEngine::currentForChange()
{
    if (m_current < 0 || m_current >= m_pages.size())
        throw ImageError(QStringLiteral("There is no image"));
    return m_pages[m_current];
}

void ImageEngine::resize(int width, int height)
{
    QImage &img = currentForChange();
    if ((width <= 0 && height <= 0) || width > kMaxImageSide || height > kMaxImageSide)
        throw ImageError(
            QStringLiteral("Cannot resize the image to %1 x %2 pixels").arg(width).arg(height));
    if (height <= 0)
        img = img.scaledToWidth(width, Qt::SmoothTransformation);
    else if (width <= 0)
        img = img.scaledToHeight(height, Qt::SmoothTransformation);
    else
        img = img.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    emit changed();
}

void ImageEngine::resizeCanvas(int width, int height, const QColor &fill, int x, int y)
{
    QImage &img = currentForChange();
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide)
        throw ImageError(
            QStringLiteral("Cannot resize the canvas to %1 x %2 pixels").arg(width).arg(height));
    QImage canvas(width, height, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(fill);
    {
        QPainter painter(&canvas);
        painter.drawImage(x, y, img);
    }
    img = canvas;
    emit changed();
}

void ImageEngine::rotate(double angle)
{
    QImage &img = currentForChange();
    img = img.transformed(QTransform().rotate(angle));
    emit changed();
}

void ImageEngine::copyToClipboard() const
{
    QGuiApplication::clipboard()->setImage(currentImage());
}

void ImageEngine::save(const QString &path, int formatCode, bool overwrite) const
{
    const QString error = codecs::saveImage(currentImage(), path, formatCode, overwrite);
    if (!error.isEmpty())
        throw ImageError(error);
}

QColor makeColor(QRgb rgb, int opacity)
{
    QColor c(rgb);
    c.setAlpha(opacity);
    return c;
}

} // namespace imaging
