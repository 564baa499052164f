// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Process.h"

#include <cstdio>
#include <cstdlib>

namespace core {

namespace {
std::function<void(int)> g_endHandler;
QString g_title;
} // namespace

void setApplicationTitle(const QString &title)
{
    g_title = title;
}

QString applicationTitle()
{
    return g_title;
}

void endProcess(int status)
{
    if (g_endHandler) {
        g_endHandler(status);
        throw ProcessEnded{status};
    }
    std::fflush(nullptr);
    std::_Exit(status);
}

void setEndProcessHandler(std::function<void(int)> handler)
{
    g_endHandler = std::move(handler);
}

} // namespace core
