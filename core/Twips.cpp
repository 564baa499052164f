// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace core {

namespace {

double logicalDpi(bool horizontal)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi =
        screen ? (horizontal ? screen->logicalDotsPerInchX() : screen->logicalDotsPerInchY())
               : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

} // namespace

double twipsPerPixelX()
{
    return 1440.0 / logicalDpi(true);
}
double twipsPerPixelY()
{
    return 1440.0 / logicalDpi(false);
}
int twipsToPixelsX(double twips)
{
    return int(std::lround(twips / twipsPerPixelX()));
}
int twipsToPixelsY(double twips)
{
    return int(std::lround(twips / twipsPerPixelY()));
}
double pixelsToTwipsX(int pixels)
{
    return pixels * twipsPerPixelX();
}
double pixelsToTwipsY(int pixels)
{
    return pixels * twipsPerPixelY();
}

} // namespace core
