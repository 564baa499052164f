// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ViewerInstance.h"

#include "viewer/frmViwer.h"

#include <QPointer>

namespace viewer {

namespace {
QPointer<frmViwer> g_viewer;
}

frmViwer *viewer(BrowserLink *link)
{
    if (!viewerLoaded())
        g_viewer = new frmViwer(link);
    else if (link)
        g_viewer->setLink(link);
    return g_viewer;
}

bool viewerLoaded()
{
    return g_viewer && !g_viewer->isUnloaded();
}

void unloadViewer()
{
    if (viewerLoaded())
        g_viewer->unloadForShutdown();
    g_viewer = nullptr;
}

} // namespace viewer
