// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/ImageEngine.h"

#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QTransform>

namespace imaging {

ImageError::ImageError(const QString &description)
    : std::runtime_error(description.toStdString()), m_description(description)
{
}

namespace {
int formatFromReader(const QByteArray &format)
{
    const QByteArray f = format.toLower();
    if (f == "jpeg" || f == "jpg") return FormatJPG;
    if (f == "png") return FormatPNG;
    if (f == "tif" || f == "tiff") return FormatTIF;
    if (f == "bmp") return FormatBMP;
    if (f == "gif") return FormatGIF;
    if (f == "ico") return FormatICO;
    if (f == "cur") return FormatCUR;
    if (f == "tga") return FormatTGA;
    if (f == "wbmp") return FormatWBMP;
    return FormatUnknown;
}
} // namespace

Decoded decodeFile(const QString &path, const DecodeOptions &options)
{
    Decoded d;
    d.path = path;
    const QString name = QFileInfo(path).fileName();
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (!reader.canRead()) {
        d.error = QStringLiteral("Cannot read %1: %2").arg(name, reader.errorString());
        return d;
    }
    d.formatCode = formatFromReader(reader.format());
    d.originalSize = reader.size();
    d.pageCount = std::max(1, reader.imageCount());
    if (!options.boundingSize.isEmpty() && d.originalSize.isValid())
        reader.setScaledSize(d.originalSize.scaled(options.boundingSize, Qt::KeepAspectRatioByExpanding)
                                 .boundedTo(d.originalSize));
    do {
        QImage image = reader.read();
        if (image.isNull()) {
            if (d.pages.isEmpty())
                d.error = QStringLiteral("Cannot read %1: %2").arg(name, reader.errorString());
            break;
        }
        if (d.pages.isEmpty()) {
            d.bitsPerPixel = image.depth();
            if (!d.originalSize.isValid())
                d.originalSize = image.size();
        }
        d.pages.append(image);
    } while (options.allPages && reader.jumpToNextImage());
    return d;
}

void initializeImaging()
{
    QImageReader::setAllocationLimit(1024);
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

int ImageEngine::ImagesT::Count() const { return int(e.m_pages.size()); }

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
    e.m_formatCode = FormatUnknown;
    e.m_bitsPerPixel = 0;
    e.changed();
}

int ImageEngine::ImageInfoT::Width() const { return e.currentImage().width(); }
int ImageEngine::ImageInfoT::Height() const { return e.currentImage().height(); }
int ImageEngine::ImageInfoT::BitsPerPixel() const { return e.m_bitsPerPixel; }
QString ImageEngine::ImageInfoT::FilePath() const { return e.m_path; }
QString ImageEngine::ImageInfoT::FileName() const { return QFileInfo(e.m_path).fileName(); }
int ImageEngine::ImageInfoT::FormatCode() const { return e.m_formatCode; }

void ImageEngine::TransformT::Resize(int w, int h, int, const QString &)
{
    QImage &img = e.m_pages[e.m_current];
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
    QImage &img = e.m_pages[e.m_current];
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
    QImage &img = e.m_pages[e.m_current];
    img = img.transformed(QTransform().rotate(angle));
    e.changed();
}

QColor ImageEngine::CanvasT::MakeColor(QRgb rgb, int opacity) const
{
    QColor c(rgb);
    c.setAlpha(opacity);
    return c;
}

QImage ImageEngine::OutputT::ToPicture() const { return e.currentImage(); }

void ImageEngine::OutputT::CopyToClipboard() const
{
    QGuiApplication::clipboard()->setImage(e.currentImage());
}

void ImageEngine::OutputT::Save(const QString &path, int formatCode, int, bool) const
{
    const char *format = nullptr;
    switch (formatCode) {
    case FormatJPG: format = "jpg"; break;
    case FormatPNG: format = "png"; break;
    case FormatTIF: format = "tif"; break;
    case FormatBMP: format = "bmp"; break;
    case FormatWBMP: format = "wbmp"; break;
    default: throw ImageError(QStringLiteral("This format cannot be written yet"));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw ImageError(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    QImageWriter writer(&file, format);
    if (!writer.write(e.currentImage()) || !file.commit())
        throw ImageError(QStringLiteral("Cannot write %1: %2").arg(path, writer.errorString()));
}

} // namespace imaging
