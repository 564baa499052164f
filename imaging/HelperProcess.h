// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A persistent helper process that serves one request at a time: decoders
// that Pictavo does not trust with its own address space run in one, so
// that a crash, a hang or a runaway allocation fails one file instead of
// taking the program down. Messages in both directions are a 64-bit length
// (host byte order: both ends run on one machine) and a body.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <functional>
#include <sys/types.h>

namespace imaging {

class HelperProcess
{
public:
    enum class Outcome
    {
        Answered,
        NotInstalled, // no executable at the path
        NotStarted,   // the system refused to start it
        TimedOut,     // no answer within the time allowed; killed
        Ended,        // it went away mid-request (crash, limit, kill)
        Nonsense      // the answer's length is beyond what a reply may be
    };

    explicit HelperProcess(quint64 maxReply);
    ~HelperProcess();
    HelperProcess(const HelperProcess &) = delete;
    HelperProcess &operator=(const HelperProcess &) = delete;

    // Sends one request to the executable at path (started on first use or
    // after a failure) and waits up to timeoutMs for its reply. On any
    // outcome but Answered the process has been ended, and the next request
    // starts a fresh one. The request is let go of once sent: a large one
    // handed over with std::move is not held while the helper works on it.
    Outcome transact(const QString &path, QByteArray request, QByteArray *reply, int timeoutMs);

    // The signal that ended the process on the last Ended outcome, 0 if it
    // exited or was killed by us.
    int endSignal() const { return m_endSignal; }
    // The running process's id, or -1.
    pid_t pid() const { return m_pid; }

    void stop();

    // A helper executable in Pictavo's own folders: `name` beside the running
    // program (a build tree), else in Pictavo's folder under libexec
    // (installed), off the PATH.
    static QString locate(const QString &name);

private:
    bool start(const QString &path, Outcome *why);
    bool waitFor(short events, const QDeadlineTimer &deadline, Outcome *why);
    // Moves size bytes through the socket, waiting for it to be ready
    // (events) each time; step does one non-blocking send or receive from
    // byte `done` on and answers as send and recv do.
    bool transfer(short events, size_t size, const QDeadlineTimer &deadline, Outcome *why,
                  const std::function<ssize_t(size_t done)> &step);
    bool sendAll(const char *data, size_t size, const QDeadlineTimer &deadline, Outcome *why);
    bool recvAll(char *data, size_t size, const QDeadlineTimer &deadline, Outcome *why);
    void reap(bool kill);

    quint64 m_maxReply;
    pid_t m_pid = -1;
    int m_fd = -1;
    int m_endSignal = 0;
};

} // namespace imaging
