// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace core {

// Window and control sizes are designed in twips: pixels x twips per pixel,
// with 1440 / the primary screen's logical DPI twips per pixel (15 at 96 dpi).
double twipsPerPixelX();
double twipsPerPixelY();
int twipsToPixelsX(double twips);
int twipsToPixelsY(double twips);
double pixelsToTwipsX(int pixels);
double pixelsToTwipsY(int pixels);

} // namespace core
