// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/HelperProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace imaging {

HelperProcess::HelperProcess(quint64 maxReply) : m_maxReply(maxReply) {}

HelperProcess::~HelperProcess()
{
    stop();
}

QString HelperProcess::locate(const QString &name)
{
    QString dir;
    if (QCoreApplication::instance())
        dir = QCoreApplication::applicationDirPath();
    else
        dir = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).absolutePath();
    const QString beside = dir + QLatin1Char('/') + name;
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(dir + QStringLiteral("/" PICTAVO_HELPER_FROM_BIN "/") + name);
}

HelperProcess::Outcome HelperProcess::transact(const QString &path, QByteArray request,
                                               QByteArray *reply, int timeoutMs)
{
    Outcome why = Outcome::Answered;
    // A helper that went away while idle (killed from outside, out of
    // memory) is not this request's fault: start another.
    if (m_pid > 0) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            ::close(m_fd);
            m_fd = -1;
        }
    }
    if (m_pid <= 0 && !start(path, &why))
        return why;
    const QDeadlineTimer deadline(timeoutMs);
    const quint64 length = quint64(request.size());
    quint64 replyLength = 0;
    const bool sent =
        sendAll(reinterpret_cast<const char *>(&length), sizeof length, deadline, &why) &&
        sendAll(request.constData(), size_t(request.size()), deadline, &why);
    request = QByteArray();
    if (!sent ||
        !recvAll(reinterpret_cast<char *>(&replyLength), sizeof replyLength, deadline, &why)) {
        reap(why != Outcome::Ended);
        return why;
    }
    if (replyLength > m_maxReply) {
        stop();
        return Outcome::Nonsense;
    }
    reply->resize(qsizetype(replyLength));
    if (!recvAll(reply->data(), size_t(replyLength), deadline, &why)) {
        reap(why != Outcome::Ended);
        return why;
    }
    return Outcome::Answered;
}

void HelperProcess::stop()
{
    reap(true);
}

// Closes the connection and collects the process, killing it first unless
// it already went away on its own (then the signal that ended it is kept).
void HelperProcess::reap(bool kill)
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_endSignal = 0;
    if (m_pid <= 0)
        return;
    int status = 0;
    pid_t done = -1;
    if (!kill) {
        // It closed its end: give it a moment to exit, then end it, so that
        // a helper that hangs up but lives on cannot hold us here.
        for (int tries = 0; tries < 50 && done != m_pid; ++tries) {
            done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == 0)
                ::usleep(2000);
            else if (done < 0 && errno != EINTR)
                break;
        }
        kill = done != m_pid;
    }
    if (kill) {
        ::kill(m_pid, SIGKILL);
        while ((done = ::waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
        }
    }
    if (done == m_pid && WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL)
        m_endSignal = WTERMSIG(status);
    m_pid = -1;
}

bool HelperProcess::start(const QString &path, Outcome *why)
{
    const QByteArray file = QFile::encodeName(path);
    if (::access(file.constData(), X_OK) != 0) {
        *why = Outcome::NotInstalled;
        return false;
    }
    // A socket (not a pipe) so that writing to a helper that died gives an
    // error instead of SIGPIPE.
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) {
        *why = Outcome::NotStarted;
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    char *argv[] = {const_cast<char *>(file.constData()), nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, file.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        *why = Outcome::NotStarted;
        return false;
    }
    m_pid = pid;
    m_fd = fds[0];
    return true;
}

bool HelperProcess::waitFor(short events, const QDeadlineTimer &deadline, Outcome *why)
{
    for (;;) {
        const qint64 left = deadline.remainingTime();
        if (left == 0) {
            *why = Outcome::TimedOut;
            return false;
        }
        pollfd p{m_fd, events, 0};
        const int n = ::poll(&p, 1, int(qMin<qint64>(left, 1000)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *why = Outcome::Ended;
            return false;
        }
        if (n > 0)
            return true;
    }
}

bool HelperProcess::transfer(short events, size_t size, const QDeadlineTimer &deadline,
                             Outcome *why, const std::function<ssize_t(size_t done)> &step)
{
    size_t done = 0;
    while (done < size) {
        if (!waitFor(events, deadline, why))
            return false;
        const ssize_t n = step(done);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            *why = Outcome::Ended;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

bool HelperProcess::sendAll(const char *data, size_t size, const QDeadlineTimer &deadline,
                            Outcome *why)
{
    return transfer(POLLOUT, size, deadline, why, [&](size_t done) {
        return ::send(m_fd, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    });
}

bool HelperProcess::recvAll(char *data, size_t size, const QDeadlineTimer &deadline, Outcome *why)
{
    return transfer(POLLIN, size, deadline, why, [&](size_t done) {
        return ::recv(m_fd, data + done, size - done, MSG_DONTWAIT);
    });
}

} // namespace imaging
