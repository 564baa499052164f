// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/ThumbnailHelpers.h"

#include <QDataStream>
#include <QFileInfo>
#include <QIODevice>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <memory>
#include <mutex>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "imaging/HelperMessages.h"
#include "imaging/HelperProcess.h"
#include "imaging/Logging.h"

namespace imaging {

namespace {

constexpr int kDefaultTimeoutMs = 20000;
// The largest reply: a thumbnail is small, but icons come back as they are
// (at most the side limit squared is refused well before this).
constexpr quint64 kMaxReply = quint64(600) * 1024 * 1024;

enum Status : qint32
{
    StatusOk = 0,
    StatusFailed = 1
};

std::atomic_bool g_isolated{false};

QString cannotRead(const QString &path, const QString &why)
{
    return QStringLiteral("Cannot read %1: %2").arg(QFileInfo(path).fileName(), why);
}

QByteArray replyFor(const ThumbnailSource &result)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    if (!result.ok()) {
        out << qint32(StatusFailed) << result.error;
        return body;
    }
    const bool alpha = result.picture.hasAlphaChannel();
    const QImage image =
        result.picture.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    QByteArray pixels;
    pixels.reserve(qsizetype(image.width()) * image.height() * 4);
    for (int y = 0; y < image.height(); ++y)
        pixels.append(reinterpret_cast<const char *>(image.constScanLine(y)),
                      qsizetype(image.width()) * 4);
    out << qint32(StatusOk) << qint32(image.width()) << qint32(image.height()) << alpha << pixels
        << result.original << result.asIs;
    return body;
}

ThumbnailSource failed(const QString &path, const QString &why)
{
    ThumbnailSource result;
    result.error = cannotRead(path, why);
    return result;
}

ThumbnailSource readReply(const QByteArray &reply, const QString &path)
{
    ThumbnailSource result;
    QDataStream in(reply);
    qint32 status = StatusFailed;
    in >> status;
    if (status != StatusOk) {
        in >> result.error;
        if (in.status() != QDataStream::Ok || result.error.isEmpty())
            result.error = cannotRead(path, QStringLiteral("the file is damaged"));
        return result;
    }
    qint32 width = 0, height = 0;
    bool alpha = false;
    QByteArray pixels;
    in >> width >> height >> alpha >> pixels >> result.original >> result.asIs;
    if (in.status() != QDataStream::Ok || width <= 0 || height <= 0 ||
        pixels.size() != qsizetype(width) * height * 4 || !result.original.isValid())
        return failed(path, QStringLiteral("the thumbnail maker answered nonsense"));
    QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        return failed(path, QStringLiteral("there is not enough memory"));
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), pixels.constData() + qsizetype(y) * width * 4,
                    size_t(width) * 4);
    result.picture = image;
    return result;
}

// Helpers waiting for work, and how many exist; a thread that asks takes an
// idle one or starts another, up to one per thread the machine runs.
class Pool
{
public:
    std::unique_ptr<HelperProcess> acquire()
    {
        std::unique_lock lock(m_mutex);
        m_available.wait(lock, [this] { return !m_idle.empty() || m_count < limit(); });
        if (!m_idle.empty()) {
            std::unique_ptr<HelperProcess> helper = std::move(m_idle.back());
            m_idle.pop_back();
            return helper;
        }
        ++m_count;
        return std::make_unique<HelperProcess>(kMaxReply);
    }

    void release(std::unique_ptr<HelperProcess> helper)
    {
        {
            std::lock_guard lock(m_mutex);
            m_idle.push_back(std::move(helper));
        }
        m_available.notify_one();
    }

    void shutdownIdle()
    {
        std::lock_guard lock(m_mutex);
        m_count -= int(m_idle.size());
        m_idle.clear();
    }

    QList<qint64> pids()
    {
        std::lock_guard lock(m_mutex);
        QList<qint64> result;
        for (const auto &helper : m_idle)
            if (helper->pid() > 0)
                result.append(helper->pid());
        return result;
    }

    QString path() const
    {
        const QString env = qEnvironmentVariable("PICTAVO_THUMBNAIL_HELPER");
        if (!env.isEmpty())
            return env;
        std::lock_guard lock(m_settingsMutex);
        if (!m_overridePath.isEmpty())
            return m_overridePath;
        return HelperProcess::locate(QStringLiteral("pictavo-thumbnailer"));
    }

    int timeoutMs() const
    {
        bool ok = false;
        const int env = qEnvironmentVariableIntValue("PICTAVO_THUMBNAIL_TIMEOUT_MS", &ok);
        if (ok && env > 0)
            return env;
        return m_overrideTimeoutMs > 0 ? int(m_overrideTimeoutMs) : kDefaultTimeoutMs;
    }

    void setPath(const QString &path)
    {
        shutdownIdle();
        std::lock_guard lock(m_settingsMutex);
        m_overridePath = path;
    }

    void setTimeoutMs(int ms) { m_overrideTimeoutMs = ms; }

private:
    static int limit() { return std::max(2, QThread::idealThreadCount()); }

    std::mutex m_mutex;
    std::condition_variable m_available;
    std::vector<std::unique_ptr<HelperProcess>> m_idle;
    int m_count = 0;

    mutable std::mutex m_settingsMutex;
    QString m_overridePath;
    std::atomic_int m_overrideTimeoutMs{0};
};

Pool &pool()
{
    static Pool p;
    return p;
}

// The address-space limit cannot coexist with AddressSanitizer, which
// reserves terabytes of shadow memory up front; sanitized builds keep only
// the CPU limit.
constexpr bool kSanitized =
#if defined(__SANITIZE_ADDRESS__)
    true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    true;
#else
    false;
#endif
#else
    false;
#endif

void limitThisProcess()
{
    // Ends with Pictavo, even if Pictavo is killed.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    if (!kSanitized) {
        const rlimit space{rlim_t(thumbnailhelper::kAddressSpaceBytes),
                           rlim_t(thumbnailhelper::kAddressSpaceBytes)};
        ::setrlimit(RLIMIT_AS, &space);
    }
}

// CPU time is counted over the process's life; each request may use a fixed
// amount more than what was used so far (the soft limit may be raised again
// up to the hard one, which stays open).
void allowCpuForOneRequest()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const rlim_t used = rlim_t(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec);
    rlimit cpu{};
    ::getrlimit(RLIMIT_CPU, &cpu);
    cpu.rlim_cur = used + thumbnailhelper::kCpuSecondsPerRequest;
    if (cpu.rlim_max != RLIM_INFINITY && cpu.rlim_cur > cpu.rlim_max)
        cpu.rlim_cur = cpu.rlim_max;
    ::setrlimit(RLIMIT_CPU, &cpu);
}

} // namespace

void setThumbnailsIsolated(bool isolated)
{
    g_isolated = isolated;
}

bool thumbnailsIsolated()
{
    return g_isolated;
}

ThumbnailSource decodeInHelper(const QString &path, QSize box)
{
    QByteArray request;
    {
        QDataStream out(&request, QIODevice::WriteOnly);
        out << path << box;
    }
    const QString program = pool().path();
    std::unique_ptr<HelperProcess> helper = pool().acquire();
    QByteArray reply;
    const HelperProcess::Outcome outcome =
        helper->transact(program, request, &reply, pool().timeoutMs());
    const int endSignal = helper->endSignal();
    pool().release(std::move(helper));
    switch (outcome) {
    case HelperProcess::Outcome::Answered:
        return readReply(reply, path);
    case HelperProcess::Outcome::NotInstalled:
    case HelperProcess::Outcome::NotStarted: {
        static std::once_flag warned;
        std::call_once(warned, [&] {
            qCWarning(lcImaging,
                      "thumbnail helper %s cannot be started; thumbnails are made "
                      "in this process",
                      qUtf8Printable(program));
        });
        return decodeForThumbnailHere(path, box);
    }
    case HelperProcess::Outcome::TimedOut:
        return failed(path, QStringLiteral("the decoder took too long"));
    case HelperProcess::Outcome::Ended:
        if (endSignal == SIGXCPU)
            return failed(path, QStringLiteral("the decoder took too long"));
        return failed(path, QStringLiteral("the decoder stopped unexpectedly"));
    case HelperProcess::Outcome::Nonsense:
        break;
    }
    return failed(path, QStringLiteral("the thumbnail maker answered nonsense"));
}

void setThumbnailHelperPath(const QString &path)
{
    pool().setPath(path);
}

void setThumbnailHelperTimeoutMs(int ms)
{
    pool().setTimeoutMs(ms);
}

QString thumbnailHelperProgram()
{
    return pool().path();
}

void shutdownThumbnailHelpers()
{
    pool().shutdownIdle();
}

QList<qint64> thumbnailHelperPids()
{
    return pool().pids();
}

namespace thumbnailhelper {

int serve()
{
    limitThisProcess();
    // Answers go nowhere but to Pictavo: a dead reader must not kill us with
    // SIGPIPE before we can exit cleanly.
    ::signal(SIGPIPE, SIG_IGN);
    QByteArray request;
    while (helpermessages::readMessage(&request, quint64(64) * 1024)) {
        QString path;
        QSize box;
        QDataStream in(request);
        in >> path >> box;
        ThumbnailSource result;
        if (in.status() != QDataStream::Ok || path.isEmpty() || !box.isValid()) {
            result.error = QStringLiteral("Cannot read the file: the request was damaged");
        } else {
            allowCpuForOneRequest();
            result = decodeForThumbnailHere(path, box);
        }
        if (!helpermessages::writeMessage(replyFor(result)))
            break;
    }
    return 0;
}

} // namespace thumbnailhelper

} // namespace imaging
