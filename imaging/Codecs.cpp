// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/Codecs.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSysInfo>
#include <QTransform>

#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <memory>
#include <type_traits>

#include "imaging/DecodeBudget.h"
#include "imaging/FormatDetection.h"
#include "imaging/HeaderChecks.h"
#include "imaging/Logging.h"
#include "imaging/MagickClient.h"
#include "imaging/Metafile.h"
#include "imaging/SafeFile.h"

namespace imaging::codecs {

namespace {

// Multi-page files stop adding pages beyond these bounds (the page count
// still tells how many there are).
constexpr int kMaxPages = 256;
constexpr qsizetype kMaxPagesBytes = qsizetype(1024) * 1024 * 1024;

QString tooLarge(QSize size)
{
    return QStringLiteral("the image is too large (%1 x %2 pixels)")
        .arg(size.width())
        .arg(size.height());
}

// The largest side each format can hold where it is below the engine's own
// limit: Photoshop files of the classic kind stop at 30000 pixels, JPEG at
// 65500.
int maxSideFor(int formatCode)
{
    switch (formatCode) {
    case core::FormatPSD:
        return 30000;
    case core::FormatJPG:
        return 65500;
    default:
        return INT_MAX;
    }
}

bool sideTooLarge(QSize size)
{
    return size.width() > kMaxImageSide || size.height() > kMaxImageSide;
}

int bitsPerPixelOf(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return 1;
    case QImage::Format_Indexed8: {
        const int colours = image.colorCount();
        return colours <= 2 ? 1 : colours <= 16 ? 4 : 8;
    }
    case QImage::Format_Grayscale8:
    case QImage::Format_Alpha8:
        return 8;
    case QImage::Format_Grayscale16:
        return 16;
    case QImage::Format_RGB32:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
        return 24;
    case QImage::Format_RGBX64:
        return 48;
    default:
        return image.depth();
    }
}

// A headerless DIB gets the 14-byte file header that Qt's BMP reader needs;
// the pixels start after the info header and the colour table.
QByteArray withBmpFileHeader(const QByteArray &dib, QString *reason)
{
    const quint32 headerSize = le32(dib, 0);
    quint32 tableBytes = 0;
    if (headerSize == 12) {
        const quint32 bits = le16(dib, 10);
        tableBytes = bits <= 8 ? (1u << bits) * 3 : 0;
    } else {
        const quint32 bits = le16(dib, 14);
        const quint32 compression = le32(dib, 16);
        quint32 colours = le32(dib, 32);
        if (colours == 0 && bits <= 8)
            colours = 1u << bits;
        if (colours > 256) {
            *reason = QStringLiteral("the file is damaged");
            return {};
        }
        tableBytes = colours * 4;
        if (headerSize == 40 && (compression == 3 || compression == 6))
            tableBytes += compression == 3 ? 12 : 16;
    }
    const quint64 offset = 14 + quint64(headerSize) + tableBytes;
    if (offset >= quint64(dib.size()) + 14) {
        *reason = QStringLiteral("the file is truncated");
        return {};
    }
    QByteArray bmp;
    bmp.reserve(dib.size() + 14);
    const quint32 total = quint32(dib.size() + 14);
    const quint32 off = quint32(offset);
    const char header[14] = {
        'B', 'M', char(total), char(total >> 8), char(total >> 16), char(total >> 24), 0, 0,
        0,   0,   char(off),   char(off >> 8),   char(off >> 16),   char(off >> 24)};
    bmp.append(header, 14);
    bmp.append(dib);
    return bmp;
}

QString reasonFromReader(const QImageReader &reader, const char *qtFormat, const QByteArray &data)
{
    if (!isComplete(qtFormat, data))
        return QStringLiteral("the file is truncated");
    switch (reader.error()) {
    case QImageReader::UnsupportedFormatError:
        return QStringLiteral("not an image file");
    case QImageReader::DeviceError:
        return QStringLiteral("the file could not be read");
    default:
        break;
    }
    const QString text = reader.errorString().toLower();
    if (text.contains(QLatin1String("limit")) || text.contains(QLatin1String("too large")))
        return QStringLiteral("the image is too large");
    if (text.contains(QLatin1String("end of")) || text.contains(QLatin1String("truncat")) ||
        text.contains(QLatin1String("premature")))
        return QStringLiteral("the file is truncated");
    return QStringLiteral("the file is damaged");
}

struct JpegErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void jpegErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrorManager *>(info->err)->jump, 1);
}

void jpegSilent(j_common_ptr, int) {}

// Decodes a colour or grey JPEG at full size straight into 32-bit pixels,
// which spares the RGB888 copy and per-line conversion Qt's reader makes
// (a third of the time of a 12-megapixel photo). Returns a null image for
// anything it does not handle (CMYK, damage); Qt's reader then decides.
QImage decodeJpegDirect(const QByteArray &data)
{
    jpeg_decompress_struct info;
    JpegErrorManager errors;
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = jpegErrorExit;
    errors.pub.emit_message = jpegSilent;
    // Only the object behind this pointer changes after setjmp, so nothing
    // is left indeterminate when libjpeg jumps back.
    const std::unique_ptr<QImage> image = std::make_unique<QImage>();
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    jpeg_create_decompress(&info);
    // Beyond the budget libjpeg fails (it has no backing store) instead of
    // allocating what a lying header asks for.
    info.mem->max_memory_to_use = long(std::min<qint64>(decodeBudget().memoryBytes, LONG_MAX));
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    if (info.num_components != 1 && info.num_components != 3) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    // Format_RGB32 keeps each pixel as 0xffRRGGBB in a 32-bit word.
    info.out_color_space =
        QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    jpeg_start_decompress(&info);
    *image = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB32);
    if (image->isNull()) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image->scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return *image;
}

// A 1-bit picture as true colour: Qt's scaling of 1-bit pictures drops their
// colour table for black and white.
QImage withoutPalette(const QImage &image)
{
    if (image.format() != QImage::Format_Mono && image.format() != QImage::Format_MonoLSB)
        return image;
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

// Applies an orientation as Qt's reader does: mirror and flip, then a
// quarter turn clockwise.
QImage oriented(const QImage &image, QImageIOHandler::Transformations how)
{
    QImage out = image.mirrored(how & QImageIOHandler::TransformationMirror,
                                how & QImageIOHandler::TransformationFlip);
    if (how & QImageIOHandler::TransformationRotate90)
        out = out.transformed(QTransform().rotate(90));
    return out;
}

void decodeWithQt(Decoded &d, const QByteArray &data, const char *qtFormat,
                  const DecodeOptions &options)
{
    const QSize claimed = claimedSize(qtFormat, data);
    if (claimed.isValid() && sideTooLarge(claimed)) {
        d.error = tooLarge(claimed);
        return;
    }
    const int page = options.allPages ? 0 : std::max(0, options.page);
    if (const QString over = budget::check(qtFormat, data, page); !over.isEmpty()) {
        d.error = over;
        d.refusedByBudget = true;
        return;
    }
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, qtFormat);
    reader.setAutoTransform(true);
    if (!reader.canRead()) {
        d.error = reasonFromReader(reader, qtFormat, data);
        return;
    }
    // Qt tells a GIF's first frame; every frame is decoded onto the whole
    // screen the header gives.
    const QSize stored =
        QByteArrayView(qtFormat) == "gif" && claimed.isValid() && !claimed.isEmpty()
            ? claimed
            : reader.size();
    if (stored.isValid() && sideTooLarge(stored)) {
        d.error = tooLarge(stored);
        return;
    }
    if (stored.isValid() && stored.isEmpty()) {
        d.error = QStringLiteral("the file is damaged");
        return;
    }
    // A JPEG, GIF or BMP cut short still decodes (the missing part grey or
    // black); refuse it.
    if (!isComplete(qtFormat, data)) {
        d.error = QStringLiteral("the file is truncated");
        return;
    }
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    // Qt scales a 1-bit picture with a black-and-white table in place of its
    // own two colours: such a picture is read at full size and scaled here.
    // Qt's JPEG and PNG readers leave the format unset for some damaged
    // headers: its bytes are looked at, never loaded as the enumeration.
    const QImage::Format reported = reader.imageFormat();
    std::underlying_type_t<QImage::Format> storedFormat = 0;
    std::memcpy(&storedFormat, &reported, sizeof storedFormat);
    const bool oneBit =
        storedFormat == QImage::Format_Mono || storedFormat == QImage::Format_MonoLSB;
    QSize scaleAfterReading;
    if (stored.isValid()) {
        d.originalSize = turned ? stored.transposed() : stored;
        if (!options.boundingSize.isEmpty()) {
            QSize target =
                d.originalSize.scaled(options.boundingSize, Qt::KeepAspectRatioByExpanding);
            if (target.width() < d.originalSize.width() &&
                target.height() < d.originalSize.height()) {
                target = target.expandedTo(QSize(1, 1));
                if (oneBit)
                    scaleAfterReading = target;
                else
                    reader.setScaledSize(turned ? target.transposed() : target);
            }
        }
    }
    // Refuse by name what the budget (and Qt's allocation limit) would
    // refuse anyway, counting the bytes Qt keeps per pixel (16-bit channels
    // take 8). A JPEG decoded at reduced scale only needs the reduced image.
    if (stored.isValid()) {
        const bool reducedJpeg =
            QByteArrayView(qtFormat) == "jpeg" && reader.scaledSize().isValid();
        const QSize decoded = reducedJpeg ? reader.scaledSize() : stored;
        qint64 limit = decodeBudget().memoryBytes;
        if (QImageReader::allocationLimit() > 0)
            limit = std::min(limit, qint64(QImageReader::allocationLimit()) * 1024 * 1024);
        if (budget::pixelBytes(decoded, headerBitsPerPixel(qtFormat, data)) > limit) {
            d.error = tooLarge(d.originalSize);
            return;
        }
    }
    const int tiffPages = QByteArrayView(qtFormat) == "tiff" ? tiffPageCount(data) : 0;
    d.pageCount = std::max(1, tiffPages > 0 ? tiffPages : reader.imageCount());
    // An icon's directory says at most 256 pixels; the picture tells.
    const bool icon = QByteArrayView(qtFormat) == "ico";
    if (icon) {
        const QList<QSize> entries = budget::iconEntrySizes(data);
        if (page < entries.size() && entries.at(page).isValid() && !entries.at(page).isEmpty())
            d.originalSize = entries.at(page);
    }
    // One page asked for: TIFF and ICO jump to it, GIF reads on to it.
    if (page > 0) {
        if (page >= d.pageCount) {
            d.error = QStringLiteral("there is no page %1").arg(page + 1);
            return;
        }
        if (!reader.jumpToImage(page)) {
            for (int skipped = 0; skipped < page; ++skipped)
                if (reader.read().isNull()) {
                    d.error = reasonFromReader(reader, qtFormat, data);
                    return;
                }
        }
    }
    qsizetype bytes = 0;
    for (;;) {
        QImage image;
        if (QByteArrayView(qtFormat) == "jpeg" && !reader.scaledSize().isValid() && page == 0) {
            image = decodeJpegDirect(data);
            if (!image.isNull())
                image = oriented(image, reader.transformation());
        }
        if (image.isNull())
            image = reader.read();
        if (image.isNull()) {
            if (d.pages.isEmpty())
                d.error = reasonFromReader(reader, qtFormat, data);
            break;
        }
        // The picture itself may be larger than its header said (an icon's
        // directory); a later page that is ends the pages kept.
        if (sideTooLarge(image.size())) {
            if (d.pages.isEmpty())
                d.error = tooLarge(image.size());
            break;
        }
        if (d.pages.isEmpty() && scaleAfterReading.isValid())
            image = withoutPalette(image).scaled(scaleAfterReading, Qt::IgnoreAspectRatio,
                                                 Qt::SmoothTransformation);
        bytes += image.sizeInBytes();
        if (page > 0 && d.pages.isEmpty())
            d.originalSize = image.size();
        if (d.pages.isEmpty()) {
            d.bitsPerPixel = bitsPerPixelOf(image);
            if (!d.originalSize.isValid())
                d.originalSize = image.size();
        } else if (bytes > std::min(kMaxPagesBytes, decodeBudget().memoryBytes)) {
            break;
        }
        d.pages.append(image);
        if (!options.allPages || d.pages.size() >= std::min(kMaxPages, d.pageCount))
            break;
        // TIFF and ICO move to the next page; GIF simply reads on.
        if (!reader.jumpToImage(int(d.pages.size())) && !reader.jumpToNextImage() &&
            !reader.canRead())
            break;
    }
    if (d.pageCount < d.pages.size())
        d.pageCount = int(d.pages.size());
    // Qt often widens pixels (GIF and palette TIFF to true colour); the
    // depth shown is the file's own where its header tells it.
    const int fileBits = headerBitsPerPixel(qtFormat, data);
    if (fileBits > 0)
        d.bitsPerPixel = fileBits;
}

// The pixels a file for the Magick helper claims in its header, 0 when
// unknown: the helper is given time in proportion.
qint64 magickClaimedPixels(const QByteArray &data, const char *magickFormat)
{
    const QByteArrayView f(magickFormat);
    if (f == "PSD")
        return qint64(be16(data, 14) << 16 | be16(data, 16)) *
               qint64(be16(data, 18) << 16 | be16(data, 20));
    if (f == "TGA")
        return qint64(le16(data, 12)) * le16(data, 14);
    if (f == "PCX")
        return (qint64(le16(data, 8)) - le16(data, 4) + 1) *
               (qint64(le16(data, 10)) - le16(data, 6) + 1);
    return 0;
}

void decodeWithMagick(Decoded &d, const QByteArray &data, const char *magickFormat,
                      const DecodeOptions &options)
{
    magick::DecodeResult r =
        magick::decode(data, magickFormat, magickClaimedPixels(data, magickFormat));
    if (r.image.isNull()) {
        d.error = r.reason;
        return;
    }
    d.originalSize = r.image.size();
    d.bitsPerPixel = r.bitsPerPixel;
    d.pageCount = 1;
    QImage image = r.image;
    if (!options.boundingSize.isEmpty()) {
        const QSize target =
            image.size().scaled(options.boundingSize, Qt::KeepAspectRatioByExpanding);
        if (target.width() < image.width() && target.height() < image.height())
            image = image.scaled(target.expandedTo(QSize(1, 1)), Qt::IgnoreAspectRatio,
                                 Qt::SmoothTransformation);
    }
    d.pages.append(image);
}

QImage flattened(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.drawImage(0, 0, image);
    painter.end();
    return out;
}

bool writeWithQt(const QImage &image, const char *format, int quality, int compression,
                 QIODevice &out, QString *reason)
{
    QImageWriter writer(&out, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (compression >= 0)
        writer.setCompression(compression);
    if (!writer.write(image)) {
        *reason = writer.errorString();
        return false;
    }
    return true;
}

} // namespace

// Qt's reader for the formats Qt decodes well by itself.
static const char *qtReaderFormat(int formatCode)
{
    switch (formatCode) {
    case core::FormatJPG:
        return "jpeg";
    case core::FormatPNG:
        return "png";
    case core::FormatGIF:
        return "gif";
    case core::FormatBMP:
        return "bmp";
    case core::FormatTIF:
        return "tiff";
    case core::FormatICO:
    case core::FormatCUR:
        return "ico";
    case core::FormatWBMP:
        return "wbmp";
    default:
        return nullptr;
    }
}

// The Magick coder for the formats Qt's reader decodes; the helper reads
// many variants Qt's reader refuses (12-bit grey, 16-bit or planar TIFF).
static const char *magickFallbackFormat(int formatCode)
{
    switch (formatCode) {
    case core::FormatJPG:
        return "JPEG";
    case core::FormatPNG:
        return "PNG";
    case core::FormatGIF:
        return "GIF";
    case core::FormatBMP:
    case core::FormatDIB:
        return "BMP";
    case core::FormatTIF:
        return "TIFF";
    case core::FormatICO:
        return "ICO";
    case core::FormatCUR:
        return "CUR";
    case core::FormatWBMP:
        return "WBMP";
    default:
        return nullptr;
    }
}

// When Qt's reader refuses a file that is by its content a format the Magick
// helper reads too, the helper gets a try before the file is called damaged.
// A file found truncated or too large is not retried: the helper would only
// say the same, or show a picture with a missing part.
static void retryWithMagick(Decoded &d, const QByteArray &data, const DecodeOptions &options)
{
    const char *magickFormat = magickFallbackFormat(d.formatCode);
    if (!magickFormat || !d.pages.isEmpty() || d.refusedByBudget ||
        (d.error != QLatin1String("the file is damaged") &&
         d.error != QLatin1String("not an image file")))
        return;
    Decoded retry;
    retry.formatCode = d.formatCode;
    decodeWithMagick(retry, data, magickFormat, options);
    if (retry.pages.isEmpty())
        return;
    if (d.formatCode == core::FormatTIF)
        retry.pageCount = std::max(1, tiffPageCount(data));
    d = retry;
}

Decoded decodeData(const QByteArray &data, const QString &name, const QString &extension,
                   const DecodeOptions &options)
{
    Decoded d;
    const auto fail = [&](const QString &reason) {
        d.pages.clear();
        d.error = QStringLiteral("Cannot read %1: %2").arg(name, reason);
        return d;
    };
    if (data.isEmpty())
        return fail(QStringLiteral("the file is empty"));
    d.formatCode = detectFormat(data, extension);
    switch (d.formatCode) {
    case core::FormatJPG:
    case core::FormatPNG:
    case core::FormatGIF:
    case core::FormatBMP:
    case core::FormatTIF:
    case core::FormatICO:
    case core::FormatCUR:
    case core::FormatWBMP:
        decodeWithQt(d, data, qtReaderFormat(d.formatCode), options);
        retryWithMagick(d, data, options);
        break;
    case core::FormatDIB: {
        QString reason;
        const QByteArray bmp = withBmpFileHeader(data, &reason);
        if (bmp.isEmpty())
            return fail(reason);
        decodeWithQt(d, bmp, "bmp", options);
        retryWithMagick(d, bmp, options);
        break;
    }
    case core::FormatTGA:
        if (qtReadsTga(data))
            decodeWithQt(d, data, "tga", options);
        else
            decodeWithMagick(d, data, "TGA", options);
        break;
    case core::FormatPSD: {
        const quint32 columns = be16(data, 18) << 16 | be16(data, 20);
        const quint32 rows = be16(data, 14) << 16 | be16(data, 16);
        const QSize claimed(int(std::min<quint32>(columns, INT_MAX)),
                            int(std::min<quint32>(rows, INT_MAX)));
        if (sideTooLarge(claimed))
            return fail(tooLarge(claimed));
        if (!psdIsComplete(data))
            return fail(QStringLiteral("the file is truncated"));
        decodeWithMagick(d, data, "PSD", options);
        break;
    }
    case core::FormatPCX:
        decodeWithMagick(d, data, "PCX", options);
        break;
    case core::FormatPCD:
        decodeWithMagick(d, data, "PCD", options);
        break;
    case core::FormatWMF:
    case core::FormatEMF: {
        // Metafiles are drawn by our own bounds-checked record player.
        QString reason;
        const QImage image = metafile::render(data, &reason, options.boundingSize);
        if (image.isNull())
            return fail(reason.isEmpty() ? QStringLiteral("the metafile is damaged") : reason);
        const QSize natural = metafile::frameSize(data);
        d.originalSize = natural.isValid() ? natural : image.size();
        d.bitsPerPixel = 24;
        d.pageCount = 1;
        d.pages.append(image);
        break;
    }
    default:
        return fail(QStringLiteral("not an image file"));
    }
    if (!d.error.isEmpty())
        return fail(d.error);
    if (d.pages.isEmpty())
        return fail(QStringLiteral("the file is damaged"));
    if (sideTooLarge(d.originalSize))
        return fail(tooLarge(d.originalSize));
    if (options.allPages && d.pages.size() < d.pageCount)
        qCWarning(lcImaging, "%s: %lld of its %d pages are kept, the rest is past the limits",
                  qUtf8Printable(name), qlonglong(d.pages.size()), d.pageCount);
    return d;
}

bool encodeImage(const QImage &image, int formatCode, QByteArray *out, QString *reason)
{
    QBuffer buffer(out);
    buffer.open(QIODevice::WriteOnly);
    return encodeImage(image, formatCode, buffer, reason);
}

bool encodeImage(const QImage &image, int formatCode, QIODevice &out, QString *reason)
{
    if (image.isNull()) {
        *reason = QStringLiteral("there is no image");
        return false;
    }
    if (const int limit = maxSideFor(formatCode); image.width() > limit || image.height() > limit) {
        *reason = QStringLiteral("the image is too large for the %1 format (%2 x %3 pixels, at "
                                 "most %4 on a side)")
                      .arg(core::formatExtension(formatCode).toUpper())
                      .arg(image.width())
                      .arg(image.height())
                      .arg(limit);
        return false;
    }
    switch (formatCode) {
    case core::FormatJPG:
        return writeWithQt(flattened(image), "jpeg", 90, -1, out, reason);
    case core::FormatPNG:
        return writeWithQt(image, "png", -1, -1, out, reason);
    case core::FormatTIF:
        return writeWithQt(image, "tiff", -1, 1, out, reason);
    case core::FormatBMP:
        return writeWithQt(image, "bmp", -1, -1, out, reason);
    case core::FormatWBMP:
        // One bit per pixel: error diffusion keeps grey areas recognisable,
        // and a black-and-white image stays exact.
        return writeWithQt(
            flattened(image).convertToFormat(QImage::Format_Mono, Qt::MonoOnly | Qt::DiffuseDither),
            "wbmp", -1, -1, out, reason);
    case core::FormatPCX:
        return magick::encode(flattened(image), "PCX", out, reason);
    case core::FormatTGA:
        return magick::encode(image, "TGA", out, reason);
    case core::FormatPSD:
        return magick::encode(image, "PSD", out, reason);
    case core::FormatWMF:
    case core::FormatEMF:
        // A metafile that holds the raster, as other programs expect.
        return metafile::write(
            image, formatCode == core::FormatWMF ? metafile::Kind::Wmf : metafile::Kind::Emf, out,
            reason);
    default:
        *reason = QStringLiteral("there is no format with code %1").arg(formatCode);
        return false;
    }
}

QString saveImage(const QImage &image, const QString &path, int formatCode, bool overwrite)
{
    const QString name = QFileInfo(path).fileName();
    const auto fail = [&](const QString &reason) {
        return QStringLiteral("Cannot write %1: %2").arg(name, reason);
    };
    if (!overwrite && QFileInfo::exists(path))
        return fail(QStringLiteral("the file already exists"));
    // The target is checked before the work of encoding, and again when the
    // file is written.
    if (const QString problem = checkWriteTarget(path); !problem.isEmpty())
        return fail(problem);
    // The encoder writes straight into the temporary file: a large picture
    // is never held in memory a second time as its file's bytes.
    const QString problem = replaceFile(path, [&](QIODevice &out, QString *reason) {
        return encodeImage(image, formatCode, out, reason);
    });
    if (!problem.isEmpty())
        return fail(problem);
    return {};
}

} // namespace imaging::codecs
