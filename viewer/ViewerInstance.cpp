// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ViewerInstance.h"

#include "viewer/frmViwer.h"

#include <QPointer>

namespace viewer {

namespace {
QPointer<frmViwer> g_viewer;

frmViwer *loaded()
{
    frmViwer *v = g_viewer.data();
    return v && !v->isUnloaded() ? v : nullptr;
}
} // namespace

frmViwer *viewer(BrowserLink *link)
{
    if (frmViwer *v = loaded()) {
        if (link)
            v->setLink(link);
        return v;
    }
    auto *v = new frmViwer(link);
    g_viewer = v;
    return v;
}

bool viewerLoaded()
{
    return loaded() != nullptr;
}

void unloadViewer()
{
    if (frmViwer *v = loaded())
        v->unloadForShutdown();
    g_viewer = nullptr;
}

} // namespace viewer
