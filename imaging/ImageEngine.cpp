// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/ImageEngine.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QTransform>

#include "imaging/Codecs.h"

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

void initializeImaging()
{
    // Enough for a 40-megapixel photo at 4 bytes per pixel with room to
    // spare, but bounded, so a lying header cannot make Qt allocate gigabytes.
    QImageReader::setAllocationLimit(512);
}

ImageEngine::ImageEngine() = default;

const QImage &ImageEngine::currentImage() const
{
    return m_current >= 0 && m_current < m_pages.size() ? m_pages.at(m_current) : m_empty;
}

void ImageEngine::setDecoded(const Decoded &decoded)
{
    m_pages = decoded.pages;
    m_current = m_pages.isEmpty() ? -1 : 0;
    m_path = decoded.path;
    m_formatCode = decoded.formatCode;
    m_bitsPerPixel = decoded.bitsPerPixel;
    changed();
}

void ImageEngine::changed()
{
    if (onChanged)
        onChanged();
}

void ImageEngine::LoaderT::LoadFile(const QString &path, int, const QString &, QSize boundingSize)
{
    DecodeOptions options;
    options.boundingSize = boundingSize;
    options.allPages = boundingSize.isEmpty();
    const Decoded d = decodeFile(path, options);
    if (!d.ok())
        throw ImageError(d.error);
    e.setDecoded(d);
}

void ImageEngine::LoaderT::LoadPicture(const QImage &picture, const QString &)
{
    if (picture.isNull())
        throw ImageError(QStringLiteral("The picture is empty"));
    Decoded d;
    d.pages = {picture};
    d.bitsPerPixel = picture.depth();
    d.originalSize = picture.size();
    d.pageCount = 1;
    e.setDecoded(d);
}

void ImageEngine::LoaderT::LoadDecoded(const Decoded &decoded)
{
    if (!decoded.ok())
        throw ImageError(decoded.error);
    e.setDecoded(decoded);
}

int ImageEngine::ImagesT::Count() const
{
    return int(e.m_pages.size());
}

ImageEngine::ImageItem ImageEngine::ImagesT::Item(int i) const
{
    if (i < 0 || i >= e.m_pages.size())
        return {};
    return {e.m_pages.at(i).width(), e.m_pages.at(i).height(), i};
}

void ImageEngine::ImagesT::Select(const ImageItem &image)
{
    if (image.index < 0 || image.index >= e.m_pages.size())
        throw ImageError(QStringLiteral("There is no such page"));
    e.m_current = image.index;
    e.changed();
}

void ImageEngine::ImagesT::Clear(const QString &)
{
    e.m_pages.clear();
    e.m_current = -1;
    e.m_path.clear();
    e.m_formatCode = core::FormatUnknown;
    e.m_bitsPerPixel = 0;
    e.changed();
}

int ImageEngine::ImageInfoT::Width() const
{
    return e.currentImage().width();
}
int ImageEngine::ImageInfoT::Height() const
{
    return e.currentImage().height();
}
int ImageEngine::ImageInfoT::BitsPerPixel() const
{
    return e.m_bitsPerPixel;
}
QString ImageEngine::ImageInfoT::FilePath() const
{
    return e.m_path;
}
QString ImageEngine::ImageInfoT::FileName() const
{
    return QFileInfo(e.m_path).fileName();
}
int ImageEngine::ImageInfoT::FormatCode() const
{
    return e.m_formatCode;
}

QImage &ImageEngine::currentForChange()
{
    if (m_current < 0 || m_current >= m_pages.size())
        throw ImageError(QStringLiteral("There is no image"));
    return m_pages[m_current];
}

void ImageEngine::TransformT::Resize(int w, int h, int, const QString &)
{
    QImage &img = e.currentForChange();
    if ((w <= 0 && h <= 0) || w > kMaxImageSide || h > kMaxImageSide)
        throw ImageError(QStringLiteral("Cannot resize the image to %1 x %2 pixels").arg(w).arg(h));
    if (h <= 0)
        img = img.scaledToWidth(w, Qt::SmoothTransformation);
    else if (w <= 0)
        img = img.scaledToHeight(h, Qt::SmoothTransformation);
    else
        img = img.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    e.changed();
}

void ImageEngine::TransformT::ResizeCanvas(int w, int h, const QColor &fill, int x, int y,
                                           const QString &)
{
    QImage &img = e.currentForChange();
    if (w <= 0 || h <= 0 || w > kMaxImageSide || h > kMaxImageSide)
        throw ImageError(
            QStringLiteral("Cannot resize the canvas to %1 x %2 pixels").arg(w).arg(h));
    QImage canvas(w, h, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(fill);
    {
        QPainter painter(&canvas);
        painter.drawImage(x, y, img);
    }
    img = canvas;
    e.changed();
}

void ImageEngine::TransformT::Rotate(double angle, const QString &, int, const QString &)
{
    QImage &img = e.currentForChange();
    img = img.transformed(QTransform().rotate(angle));
    e.changed();
}

QColor ImageEngine::CanvasT::MakeColor(QRgb rgb, int opacity) const
{
    QColor c(rgb);
    c.setAlpha(opacity);
    return c;
}

QImage ImageEngine::OutputT::ToPicture() const
{
    return e.currentImage();
}

void ImageEngine::OutputT::CopyToClipboard() const
{
    QGuiApplication::clipboard()->setImage(e.currentImage());
}

void ImageEngine::OutputT::Save(const QString &path, int formatCode, int, bool overwrite) const
{
    const QString error = codecs::saveImage(e.currentImage(), path, formatCode, overwrite);
    if (!error.isEmpty())
        throw ImageError(error);
}

} // namespace imaging
