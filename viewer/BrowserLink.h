// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "core/FileOperation.h"

class QWidget;

namespace viewer {

// What the viewer needs of the browser window, which lives above it: the
// browser implements this and hands it to viewer::viewer().
class BrowserLink
{
public:
    virtual ~BrowserLink() = default;
    // Shows the browser window.
    virtual void showBrowser() = 0;
    // Selects the folder of `path` in the folder tree and the file in the
    // thumbnail explorer.
    virtual void selectPath(const QString &path) = 0;
    // Tells the explorer that a file was renamed (newPath set) or removed
    // (newPath empty).
    virtual void refreshImages(const QString &oldPath, const QString &newPath) = 0;
    virtual QWidget *browserWindow() = 0;
    // The browser's skin: skins a top-level window, or one child with the
    // named element ("StatusBar", "Toolbar"). Without a usable skin nothing
    // changes.
    virtual void applySkin(QWidget *window) = 0;
    virtual void applySkinElement(QWidget *child, const QString &element) = 0;
    // Asks the destination-folder dialog where Copy To or Move To of source
    // goes; empty when the user cancelled.
    virtual QString chooseDestination(core::FileOperation operation, const QString &source)
    {
        Q_UNUSED(operation);
        Q_UNUSED(source);
        return {};
    }
};

} // namespace viewer
