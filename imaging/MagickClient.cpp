// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/MagickClient.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>
#include <mutex>

#include "imaging/DecodeBudget.h"
#include "imaging/HelperProcess.h"
#include "imaging/MagickProtocol.h"

namespace imaging::magick {

namespace {

constexpr int kDefaultTimeoutMs = 5000;
constexpr qint64 kLargePicturePixels = 16'000'000;

// The one Magick helper process, with the texts its failures give.
class Helper
{
public:
    enum class Work
    {
        Decoding,
        Encoding
    };

    // Sends one request and waits for the reply within the time limit. On
    // any failure the helper is ended and *reason says why.
    // pixels: the picture's size (as its header claims it when decoding; 0
    // when unknown); a large picture is allowed time in proportion.
    bool transact(QByteArray request, QByteArray *reply, QString *reason, qint64 pixels, Work work)
    {
        const bool encoding = work == Work::Encoding;
        const QString worker = encoding ? QStringLiteral("encoder") : QStringLiteral("decoder");
        switch (m_process.transact(helperPath(), std::move(request), reply, timeoutMs(pixels))) {
        case HelperProcess::Outcome::Answered:
            return true;
        case HelperProcess::Outcome::NotInstalled:
            *reason = QStringLiteral("the %1 for this format is not installed").arg(worker);
            return false;
        case HelperProcess::Outcome::NotStarted:
            *reason = QStringLiteral("the %1 could not be started").arg(worker);
            return false;
        case HelperProcess::Outcome::TimedOut:
            // A picture of many megapixels that runs out of time is too
            // large for the time allowed, not a faulty decoder.
            if (pixels >= kLargePicturePixels)
                *reason = QStringLiteral("the picture is too large to %1 in the time allowed "
                                         "(%2 megapixels)")
                              .arg(encoding ? QStringLiteral("encode") : QStringLiteral("decode"))
                              .arg(pixels / 1'000'000);
            else
                *reason = QStringLiteral("the %1 took too long").arg(worker);
            return false;
        case HelperProcess::Outcome::Ended:
            *reason = QStringLiteral("the %1 stopped unexpectedly").arg(worker);
            return false;
        case HelperProcess::Outcome::Nonsense:
            *reason = QStringLiteral("the %1 answered nonsense").arg(worker);
            return false;
        }
        return false;
    }

    void stop() { m_process.stop(); }

    QString overridePath;
    int overrideTimeoutMs = 0;

private:
    int timeoutMs(qint64 pixels) const
    {
        if (overrideTimeoutMs > 0)
            return overrideTimeoutMs;
        bool ok = false;
        const int env = qEnvironmentVariableIntValue("PICTAVO_MAGICK_TIMEOUT_MS", &ok);
        if (ok && env > 0)
            return env;
        return std::max(kDefaultTimeoutMs, budget::timeAllowedMs(pixels));
    }

    QString helperPath() const
    {
        const QString env = qEnvironmentVariable("PICTAVO_MAGICK_HELPER");
        if (!env.isEmpty())
            return env;
        if (!overridePath.isEmpty())
            return overridePath;
        return HelperProcess::locate(QStringLiteral("pictavo-magick"));
    }

    HelperProcess m_process{magickproto::kMaxMessage};
};

std::mutex g_mutex;
Helper &helper()
{
    static Helper h;
    return h;
}

// The encode request: the picture's pixels as 32-bit BGRA rows, converted a
// band at a time and written straight into the request, so that a large
// picture is not copied whole on its way to the helper.
QByteArray encodeRequest(const QImage &source, const char *format, bool alpha)
{
    const QImage::Format wanted = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    const qsizetype rowBytes = qsizetype(source.width()) * 4;
    const qsizetype pixelBytes = rowBytes * source.height();
    QByteArray request;
    request.reserve(pixelBytes + 256);
    QDataStream stream(&request, QIODevice::WriteOnly);
    // Laid out as a QByteArray of the pixels would be: its length, then its bytes.
    stream << qint32(magickproto::OpEncode) << QString::fromLatin1(format) << qint32(source.width())
           << qint32(source.height()) << alpha << quint32(pixelBytes);
    constexpr int kBand = 64;
    for (int top = 0; top < source.height(); top += kBand) {
        const int rows = std::min(kBand, source.height() - top);
        const QImage band = source.format() == wanted
                                ? source
                                : source.copy(0, top, source.width(), rows).convertToFormat(wanted);
        const int first = source.format() == wanted ? top : 0;
        for (int y = first; y < first + rows; ++y)
            stream.writeRawData(reinterpret_cast<const char *>(band.constScanLine(y)),
                                int(rowBytes));
    }
    return request;
}

} // namespace

DecodeResult decode(const QByteArray &data, const char *format, qint64 claimedPixels)
{
    DecodeResult result;
    QByteArray request;
    {
        QDataStream out(&request, QIODevice::WriteOnly);
        out << qint32(magickproto::OpDecode) << QString::fromLatin1(format) << data;
    }
    QByteArray reply;
    {
        std::lock_guard lock(g_mutex);
        if (!helper().transact(std::move(request), &reply, &result.reason, claimedPixels,
                               Helper::Work::Decoding))
            return result;
    }
    QDataStream in(reply);
    qint32 status = magickproto::StatusFailed;
    in >> status;
    if (status != magickproto::StatusOk) {
        in >> result.reason;
        if (result.reason.isEmpty())
            result.reason = QStringLiteral("the file is damaged");
        return result;
    }
    qint32 width = 0, height = 0, bits = 0;
    bool alpha = false;
    QByteArray pixels;
    in >> width >> height >> bits >> alpha >> pixels;
    if (in.status() != QDataStream::Ok || width <= 0 || height <= 0 ||
        pixels.size() != qsizetype(width) * height * 4) {
        result.reason = QStringLiteral("the decoder answered nonsense");
        return result;
    }
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull()) {
        result.reason = QStringLiteral("there is not enough memory");
        return result;
    }
    for (int y = 0; y < height; ++y)
        memcpy(image.scanLine(y), pixels.constData() + qsizetype(y) * width * 4, size_t(width) * 4);
    result.image = image;
    result.bitsPerPixel = bits;
    return result;
}

bool encode(const QImage &source, const char *format, QIODevice &out, QString *reason)
{
    const qint64 pixels = qint64(source.width()) * source.height();
    if (source.isNull()) {
        *reason = QStringLiteral("there is no image");
        return false;
    }
    if (pixels * 4 + 256 > qint64(magickproto::kMaxMessage)) {
        *reason = QStringLiteral("the image is too large for this format (%1 megapixels)")
                      .arg(pixels / 1'000'000);
        return false;
    }
    QByteArray reply;
    {
        QByteArray request = encodeRequest(source, format, source.hasAlphaChannel());
        std::lock_guard lock(g_mutex);
        if (!helper().transact(std::move(request), &reply, reason, pixels, Helper::Work::Encoding))
            return false;
    }
    QDataStream in(reply);
    qint32 status = magickproto::StatusFailed;
    in >> status;
    if (status != magickproto::StatusOk) {
        in >> *reason;
        return false;
    }
    // The encoded file follows as a QByteArray: written from the reply as it
    // stands rather than copied out of it.
    quint32 length = 0;
    in >> length;
    const qint64 at = in.device()->pos();
    if (in.status() != QDataStream::Ok || length == 0 || length == 0xFFFFFFFFu ||
        at + qint64(length) != reply.size()) {
        *reason = QStringLiteral("the encoder answered nonsense");
        return false;
    }
    if (out.write(reply.constData() + at, qint64(length)) != qint64(length)) {
        *reason = QStringLiteral("the file could not be written");
        return false;
    }
    return true;
}

void setHelperPath(const QString &path)
{
    std::lock_guard lock(g_mutex);
    helper().stop();
    helper().overridePath = path;
}

void setTimeoutMs(int ms)
{
    std::lock_guard lock(g_mutex);
    helper().overrideTimeoutMs = ms;
}

void shutdownHelper()
{
    std::lock_guard lock(g_mutex);
    helper().stop();
}

} // namespace imaging::magick
