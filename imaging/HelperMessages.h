// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The helper programs' side of the messages HelperProcess exchanges with
// them: a 64-bit length (host byte order) and a body, read from stdin and
// written to stdout. Header-only, so the Magick helper, which links no
// imaging library, shares it.

#include <QByteArray>

#include <cerrno>
#include <unistd.h>

namespace imaging::helpermessages {

// Moves exactly size bytes with read or write, going on after
// interruptions; false when the other side is gone.
template <typename Buffer, typename Transfer>
bool transferAll(Buffer data, size_t size, Transfer transfer)
{
    while (size > 0) {
        const ssize_t n = transfer(data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// Reads one message from stdin into body; false at the end of the input or
// when the message is longer than maxLength.
inline bool readMessage(QByteArray *body, quint64 maxLength)
{
    quint64 length = 0;
    const auto reader = [](char *p, size_t n) { return ::read(STDIN_FILENO, p, n); };
    if (!transferAll(reinterpret_cast<char *>(&length), sizeof length, reader) ||
        length > maxLength)
        return false;
    body->resize(qsizetype(length));
    return transferAll(body->data(), size_t(length), reader);
}

// Writes one message to stdout; false when Pictavo is gone.
inline bool writeMessage(const QByteArray &body)
{
    const quint64 length = quint64(body.size());
    const auto writer = [](const char *p, size_t n) { return ::write(STDOUT_FILENO, p, n); };
    return transferAll(reinterpret_cast<const char *>(&length), sizeof length, writer) &&
           transferAll(body.constData(), size_t(body.size()), writer);
}

} // namespace imaging::helpermessages
