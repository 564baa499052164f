// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/MagickClient.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "imaging/DecodeBudget.h"
#include "imaging/MagickProtocol.h"

extern char **environ;

namespace imaging::magick {

namespace {

constexpr int kDefaultTimeoutMs = 5000;
constexpr qint64 kLargePicturePixels = 16'000'000;

// One persistent helper process, reached through a socket pair on its stdin
// and stdout. A socket (not a pipe) so that writing to a helper that died
// gives an error instead of SIGPIPE.
class Helper
{
public:
    ~Helper() { stop(); }

    // Sends one request and waits for the reply within the time limit. On
    // any failure the helper is killed and *reason says why.
    // pixels: the picture's size as its header claims it (0 when unknown);
    // a large picture is allowed time in proportion.
    bool transact(const QByteArray &request, QByteArray *reply, QString *reason, qint64 pixels = 0)
    {
        if (m_pid <= 0 && !start(reason))
            return false;
        m_pixels = pixels;
        const QDeadlineTimer deadline(timeoutMs(pixels));
        const quint64 length = quint64(request.size());
        if (!sendAll(reinterpret_cast<const char *>(&length), sizeof length, deadline, reason) ||
            !sendAll(request.constData(), size_t(request.size()), deadline, reason)) {
            stop();
            return false;
        }
        quint64 replyLength = 0;
        if (!recvAll(reinterpret_cast<char *>(&replyLength), sizeof replyLength, deadline,
                     reason)) {
            stop();
            return false;
        }
        if (replyLength > magickproto::kMaxMessage) {
            *reason = QStringLiteral("the decoder answered nonsense");
            stop();
            return false;
        }
        reply->resize(qsizetype(replyLength));
        if (!recvAll(reply->data(), size_t(replyLength), deadline, reason)) {
            stop();
            return false;
        }
        return true;
    }

    void stop()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            int status = 0;
            while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
            }
            m_pid = -1;
        }
    }

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
        QString dir;
        if (QCoreApplication::instance())
            dir = QCoreApplication::applicationDirPath();
        else
            dir = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget())
                      .absolutePath();
        // In a build tree the helper is beside the program; installed, it
        // is in Pictavo's own folder under libexec, off the PATH.
        const QString beside = dir + QStringLiteral("/pictavo-magick");
        if (QFileInfo::exists(beside))
            return beside;
        return QDir::cleanPath(dir + QStringLiteral("/" PICTAVO_HELPER_FROM_BIN "/pictavo-magick"));
    }

    bool start(QString *reason)
    {
        const QByteArray path = QFile::encodeName(helperPath());
        if (::access(path.constData(), X_OK) != 0) {
            *reason = QStringLiteral("the decoder for this format is not installed");
            return false;
        }
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
            *reason = QStringLiteral("the decoder could not be started");
            return false;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        char *argv[] = {const_cast<char *>(path.constData()), nullptr};
        pid_t pid = -1;
        const int rc = ::posix_spawn(&pid, path.constData(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(fds[0]);
            *reason = QStringLiteral("the decoder could not be started");
            return false;
        }
        m_pid = pid;
        m_fd = fds[0];
        return true;
    }

    // Why the exchange broke: the helper ended (crash or kill), or the time
    // ran out.
    QString brokenReason(bool timedOut)
    {
        // A picture of many megapixels that runs out of time is too large
        // for the time allowed, not a faulty decoder.
        if (timedOut && m_pixels >= kLargePicturePixels)
            return QStringLiteral("the picture is too large to decode in the time allowed "
                                  "(%1 megapixels)")
                .arg(m_pixels / 1'000'000);
        if (timedOut)
            return QStringLiteral("the decoder took too long");
        return QStringLiteral("the decoder stopped unexpectedly");
    }

    bool waitFor(short events, const QDeadlineTimer &deadline, QString *reason)
    {
        for (;;) {
            const qint64 left = deadline.remainingTime();
            if (left == 0) {
                *reason = brokenReason(true);
                return false;
            }
            pollfd p{m_fd, events, 0};
            const int n = ::poll(&p, 1, int(qMin<qint64>(left, 1000)));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                *reason = brokenReason(false);
                return false;
            }
            if (n > 0)
                return true;
        }
    }

    bool sendAll(const char *data, size_t size, const QDeadlineTimer &deadline, QString *reason)
    {
        while (size > 0) {
            if (!waitFor(POLLOUT, deadline, reason))
                return false;
            const ssize_t n = ::send(m_fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0) {
                *reason = brokenReason(false);
                return false;
            }
            data += n;
            size -= size_t(n);
        }
        return true;
    }

    bool recvAll(char *data, size_t size, const QDeadlineTimer &deadline, QString *reason)
    {
        while (size > 0) {
            if (!waitFor(POLLIN, deadline, reason))
                return false;
            const ssize_t n = ::recv(m_fd, data, size, MSG_DONTWAIT);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0) {
                *reason = brokenReason(false);
                return false;
            }
            data += n;
            size -= size_t(n);
        }
        return true;
    }

    pid_t m_pid = -1;
    int m_fd = -1;
    qint64 m_pixels = 0; // of the request under way
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
