// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/Platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace imaging {

namespace {
std::function<void(int)> g_endHandler;
QString g_programFolder;

double logicalDpi(bool horizontal)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? (horizontal ? screen->logicalDotsPerInchX()
                                            : screen->logicalDotsPerInchY())
                              : 96.0;
    return dpi > 0 ? dpi : 96.0;
}
} // namespace

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

QString programFolder()
{
    if (!g_programFolder.isEmpty())
        return g_programFolder;
    // Built tree: <build>/bin/pictavo with data in <build>/share/pictavo.
    // Installed: <prefix>/bin/pictavo with data in <prefix>/share/pictavo.
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString data = QDir::cleanPath(bin.absoluteFilePath(QStringLiteral("../share/pictavo")));
    if (QFileInfo(data).isDir())
        return data;
    return QDir::cleanPath(bin.absolutePath());
}

void setProgramFolder(const QString &folder)
{
    g_programFolder = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}

double twipsPerPixelX() { return 1440.0 / logicalDpi(true); }
double twipsPerPixelY() { return 1440.0 / logicalDpi(false); }
int twipsToPixelsX(double twips) { return int(std::lround(twips / twipsPerPixelX())); }
int twipsToPixelsY(double twips) { return int(std::lround(twips / twipsPerPixelY())); }
double pixelsToTwipsX(int pixels) { return pixels * twipsPerPixelX(); }
double pixelsToTwipsY(int pixels) { return pixels * twipsPerPixelY(); }

} // namespace imaging
