// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/ViewerInstance.h"

#include <QPointer>

#include "viewer/ViewerWindow.h"

namespace viewer {

namespace {
QPointer<ViewerWindow> g_viewer;

ViewerWindow *loaded()
{
    ViewerWindow *v = g_viewer.data();
    return v && !v->isUnloaded() ? v : nullptr;
}
} // namespace

ViewerWindow *viewer(BrowserLink *link)
{
    if (ViewerWindow *v = loaded()) {
        if (link)
            v->setLink(link);
        return v;
    }
    auto *v = new ViewerWindow(link);
    g_viewer = v;
    return v;
}

bool viewerLoaded()
{
    return loaded() != nullptr;
}

void unloadViewer()
{
    if (ViewerWindow *v = loaded())
        v->unloadForShutdown();
    g_viewer = nullptr;
}

} // namespace viewer
