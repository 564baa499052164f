// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The browser window's layout and preview-zoom rules as plain functions, in
// twips, so that each can be checked without a window.

#include <QSize>
#include <QSizeF>

#include "imaging/ImageView.h"

namespace app {

// The window's outer frame never gets smaller than 3700 x 2400.
QSize snapWindowSize(QSize outerTwips);
// The outer splitter is 300 narrower and 1000 lower than the window.
QSize outerSplitterSize(QSize outerTwips);
struct ContainerLayout
{
    QSize previewSplitter; // the inner splitter's size
    int toolbarWidth = 0;
};
// Given the container's inner size, the toolbar's height and the preview's
// width after the inner splitter took its new size.
ContainerLayout containerLayout(QSize innerTwips, int toolbarHeightTwips, int previewWidthTwips);
// One zoom step of the preview: false (zoom unchanged) when the limit is
// reached: zooming in stops above a factor of 16, zooming out below 0.005.
bool previewZoomStep(double &zoom, bool zoomIn);
// View mode of the preview after a zoom: Panned when the zoomed image is
// wider or taller than the control, else Plain. controlTwips is the
// control's size in twips, image its size in pixels, tx / ty twips per pixel.
imaging::ViewAlignment previewFitAlignment(QSizeF controlTwips, QSize image, double zoom, double tx,
                                           double ty);

} // namespace app
