// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/BrowserLayout.h"

#include <algorithm>

namespace app {

namespace {
constexpr int kMinWindowWidth = 3700;
constexpr int kMinWindowHeight = 2400;
} // namespace

QSize snapWindowSize(QSize outerTwips)
{
    return {std::max(outerTwips.width(), kMinWindowWidth),
            std::max(outerTwips.height(), kMinWindowHeight)};
}

QSize outerSplitterSize(QSize outerTwips)
{
    return {outerTwips.width() - 300, outerTwips.height() - 1000};
}

ContainerLayout containerLayout(QSize innerTwips, int toolbarHeightTwips, int previewWidthTwips)
{
    return {{innerTwips.width() - 20, innerTwips.height() - toolbarHeightTwips - 80},
            previewWidthTwips};
}

bool previewZoomStep(double &zoom, bool zoomIn)
{
    if (zoomIn ? zoom * 100 > 1600 : zoom * 100 < 0.5)
        return false;
    zoom *= zoomIn ? 1.25 : 0.75;
    return true;
}

imaging::ViewAlignment previewFitAlignment(QSizeF controlTwips, QSize image, double zoom, double tx,
                                           double ty)
{
    const float wide = float(zoom * image.width() * tx);
    const float high = float(zoom * image.height() * ty);
    return controlTwips.width() < wide || controlTwips.height() < high
               ? imaging::ViewAlignment::Panned
               : imaging::ViewAlignment::Plain;
}

} // namespace app
