// SPDX-License-Identifier: GPL-3.0-or-later
// pictavo-magick: decodes and encodes the formats Pictavo hands to Magick++,
// in a process of its own. It serves requests on stdin/stdout until stdin
// closes; Pictavo kills and restarts it when a request crashes or hangs.

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QString>

#include <Magick++.h>
#include <cerrno>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "imaging/HelperMessages.h"
#include "imaging/MagickProtocol.h"

namespace {

using namespace imaging::magickproto;

QByteArray failure(const QString &reason)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out << qint32(StatusFailed) << reason;
    return body;
}

// Turns Magick's technical messages into the short texts Pictavo shows.
QString reasonFor(const std::string &what)
{
    const QString text = QString::fromStdString(what).toLower();
    if (text.contains(QLatin1String("end-of-file")) ||
        text.contains(QLatin1String("end of file")) ||
        text.contains(QLatin1String("insufficient image data")) ||
        text.contains(QLatin1String("truncated")) ||
        text.contains(QLatin1String("unable to read image data")))
        return QStringLiteral("the file is truncated");
    if (text.contains(QLatin1String("limit")) || text.contains(QLatin1String("memory allocation")))
        return QStringLiteral("the image is too large");
    if (text.contains(QLatin1String("improper image header")) ||
        text.contains(QLatin1String("not a ")) ||
        text.contains(QLatin1String("no decode delegate")))
        return QStringLiteral("not an image file");
    return QStringLiteral("the file is damaged");
}

// Magick chains the first problem behind the final one ("unable to
// decompress image" after "unexpected end-of-file"): look at all of them.
std::string allMessages(const Magick::Exception &e)
{
    std::string text = e.what();
    for (const Magick::Exception *n = e.nested(); n; n = n->nested())
        text += std::string(" / ") + n->what();
    return text;
}

int bitsPerPixel(const Magick::Image &image)
{
    const int depth = int(image.depth());
    switch (image.type()) {
    case Magick::BilevelType:
        return 1;
    case Magick::GrayscaleType:
        return depth;
    case Magick::GrayscaleMatteType:
        return 2 * depth;
    case Magick::PaletteType:
    case Magick::PaletteMatteType: {
        const size_t colours = image.colorMapSize();
        return colours <= 2 ? 1 : colours <= 16 ? 4 : 8;
    }
    case Magick::TrueColorMatteType:
    case Magick::ColorSeparationType:
        return 4 * depth;
    case Magick::ColorSeparationMatteType:
        return 5 * depth;
    default:
        return 3 * depth;
    }
}

QByteArray decode(const QString &format, const QByteArray &data)
{
    const Magick::Blob blob(data.constData(), size_t(data.size()));
    const std::string magick = format.toStdString();
    try {
        // Check the size the header claims before decoding any pixels.
        Magick::Image ping;
        ping.quiet(true);
        ping.magick(magick);
        ping.ping(blob);
        const size_t w = ping.columns(), h = ping.rows();
        if (w == 0 || h == 0)
            return failure(QStringLiteral("not an image file"));
        if (w > 32767 || h > 32767 || quint64(w) * h > kMaxPixels)
            return failure(QStringLiteral("the image is too large (%1 x %2 pixels)").arg(w).arg(h));

        Magick::Image image;
        image.quiet(true);
        image.magick(magick);
        image.read(blob);
        const size_t width = image.columns(), height = image.rows();
        if (width == 0 || height == 0 || width > 32767 || height > 32767)
            return failure(QStringLiteral("not an image file"));
        const int bits = bitsPerPixel(image);
        const bool alpha = image.matte();
        image.colorSpace(Magick::sRGBColorspace);
        QByteArray pixels(qsizetype(width * height * 4), Qt::Uninitialized);
        image.write(0, 0, width, height, "BGRA", Magick::CharPixel, pixels.data());

        QByteArray body;
        QDataStream out(&body, QIODevice::WriteOnly);
        out << qint32(StatusOk) << qint32(width) << qint32(height) << qint32(bits) << alpha
            << pixels;
        return body;
    } catch (const Magick::Exception &e) {
        return failure(reasonFor(allMessages(e)));
    } catch (const std::bad_alloc &) {
        return failure(QStringLiteral("the image is too large"));
    }
}

// request holds the pixels from `at` on; it is let go of once Magick has
// its own copy, so that a large picture is not held twice while encoding.
QByteArray encode(const QString &format, qint32 width, qint32 height, bool alpha,
                  QByteArray &&request, qint64 at, qint64 size)
{
    if (width <= 0 || height <= 0 || size != qint64(width) * height * 4)
        return failure(QStringLiteral("the image is empty"));
    try {
        Magick::Image image(size_t(width), size_t(height), "BGRA", Magick::CharPixel,
                            request.constData() + at);
        request = QByteArray();
        image.matte(alpha);
        image.magick(format.toStdString());
        Magick::Blob blob;
        image.write(&blob);
        QByteArray body;
        QDataStream out(&body, QIODevice::WriteOnly);
        out << qint32(StatusOk)
            << QByteArray::fromRawData(static_cast<const char *>(blob.data()),
                                       qsizetype(blob.length()));
        return body;
    } catch (const Magick::Exception &e) {
        // Magick's own text names the helper and Magick's source files: the
        // user gets the short reason.
        const QString text = QString::fromStdString(allMessages(e)).toLower();
        if (text.contains(QLatin1String("exhausted")) || text.contains(QLatin1String("limit")) ||
            text.contains(QLatin1String("memory allocation")))
            return failure(QStringLiteral("the image is too large for this format"));
        return failure(QStringLiteral("the encoder failed"));
    } catch (const std::bad_alloc &) {
        return failure(QStringLiteral("the image is too large for this format"));
    }
}

// The helper's limits, all set here at start-up: the process itself, and
// bounds for every decode, beyond which Magick gives up with an error instead
// of eating the machine. A 61-megapixel camera photo takes about 500 MB of
// Magick's pixel cache; what exceeds the memory bound goes to mapped files.
void setLimits(const char *program)
{
    // A crash leaves no core file, and outside the sanitizer builds (whose
    // shadow memory needs a huge address space) the whole process is capped.
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
#if !defined(__SANITIZE_ADDRESS__)
    const rlimit addressSpace{rlim_t(3) << 30, rlim_t(3) << 30};
    setrlimit(RLIMIT_AS, &addressSpace);
#endif
    Magick::InitializeMagick(program);
    Magick::ResourceLimits::memory(MagickCore::MagickSizeType(512) << 20);
    Magick::ResourceLimits::map(MagickCore::MagickSizeType(1024) << 20);
    Magick::ResourceLimits::disk(MagickCore::MagickSizeType(1024) << 20);
    Magick::ResourceLimits::area(kMaxPixels);
    Magick::ResourceLimits::width(32767);
    Magick::ResourceLimits::height(32767);
    Magick::ResourceLimits::listLength(64);
    Magick::ResourceLimits::thread(1);
}

} // namespace

int main(int, char *argv[])
{
    setLimits(argv[0]);
    for (;;) {
        QByteArray request;
        if (!imaging::helpermessages::readMessage(&request, kMaxMessage))
            return 0;
        QDataStream in(request);
        qint32 op = 0;
        QString format;
        in >> op >> format;
        QByteArray reply;
        if (op == OpDecode) {
            QByteArray data;
            in >> data;
            reply = decode(format, data);
        } else if (op == OpEncode) {
            // The pixels are used where they lie in the request, not copied out.
            qint32 width = 0, height = 0;
            bool alpha = false;
            quint32 size = 0;
            in >> width >> height >> alpha >> size;
            const qint64 at = in.device()->pos();
            const bool complete =
                in.status() == QDataStream::Ok && at + qint64(size) <= request.size();
            in.setDevice(nullptr); // the stream's hold on the request
            if (!complete)
                reply = failure(QStringLiteral("the image is empty"));
            else
                reply = encode(format, width, height, alpha, std::move(request), at, size);
        } else {
            reply = failure(QStringLiteral("unknown request"));
        }
        if (!imaging::helpermessages::writeMessage(reply))
            return 0;
    }
}
