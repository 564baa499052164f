// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/MagickClient.h"

#include <QDataStream>
#include <QIODevice>

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
    // Sends one request and waits for the reply within the time limit. On
    // any failure the helper is ended and *reason says why.
    // pixels: the picture's size as its header claims it (0 when unknown);
    // a large picture is allowed time in proportion.
    bool transact(const QByteArray &request, QByteArray *reply, QString *reason, qint64 pixels = 0)
    {
        switch (m_process.transact(helperPath(), request, reply, timeoutMs(pixels))) {
        case HelperProcess::Outcome::Answered:
            return true;
        case HelperProcess::Outcome::NotInstalled:
            *reason = QStringLiteral("the decoder for this format is not installed");
            return false;
        case HelperProcess::Outcome::NotStarted:
            *reason = QStringLiteral("the decoder could not be started");
            return false;
        case HelperProcess::Outcome::TimedOut:
            // A picture of many megapixels that runs out of time is too
            // large for the time allowed, not a faulty decoder.
            if (pixels >= kLargePicturePixels)
                *reason = QStringLiteral("the picture is too large to decode in the time allowed "
                                         "(%1 megapixels)")
                              .arg(pixels / 1'000'000);
            else
                *reason = QStringLiteral("the decoder took too long");
            return false;
        case HelperProcess::Outcome::Ended:
            *reason = QStringLiteral("the decoder stopped unexpectedly");
            return false;
        case HelperProcess::Outcome::Nonsense:
            *reason = QStringLiteral("the decoder answered nonsense");
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

QByteArray pixelsOf(const QImage &image)
{
    QByteArray pixels;
    pixels.reserve(qsizetype(image.width()) * image.height() * 4);
    for (int y = 0; y < image.height(); ++y)
        pixels.append(reinterpret_cast<const char *>(image.constScanLine(y)),
                      qsizetype(image.width()) * 4);
    return pixels;
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
        if (!helper().transact(request, &reply, &result.reason, claimedPixels))
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

bool encode(const QImage &source, const char *format, QByteArray *out, QString *reason)
{
    const bool alpha = source.hasAlphaChannel();
    const QImage image =
        source.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QByteArray request;
    {
        QDataStream stream(&request, QIODevice::WriteOnly);
        stream << qint32(magickproto::OpEncode) << QString::fromLatin1(format)
               << qint32(image.width()) << qint32(image.height()) << alpha << pixelsOf(image);
    }
    QByteArray reply;
    {
        std::lock_guard lock(g_mutex);
        if (!helper().transact(request, &reply, reason))
            return false;
    }
    QDataStream in(reply);
    qint32 status = magickproto::StatusFailed;
    in >> status;
    if (status != magickproto::StatusOk) {
        in >> *reason;
        return false;
    }
    in >> *out;
    if (in.status() != QDataStream::Ok || out->isEmpty()) {
        *reason = QStringLiteral("the encoder answered nonsense");
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
