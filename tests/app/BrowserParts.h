// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The browser window's parts, found by their object names as a script would
// find them.

#include <QSplitter>
#include <QToolBar>
#include <QToolButton>

#include <memory>

#include "app/BrowserWindow.h"
#include "dialogs/FolderTree.h"
#include "explorer/ThumbnailExplorer.h"
#include "imaging/ImageView.h"
#include "viewer/ViewerWindow.h"

namespace browsertest {

inline const app::BrowserWindow *windowOf(const app::BrowserWindow *w)
{
    return w;
}

inline const app::BrowserWindow *windowOf(const std::unique_ptr<app::BrowserWindow> &w)
{
    return w.get();
}

template <typename T, typename W> T *part(const W &w, const char *name)
{
    return windowOf(w)->template findChild<T *>(QString::fromLatin1(name));
}

template <typename W> imaging::ImageView *preview(const W &w)
{
    return part<imaging::ImageView>(w, "ImgX");
}

template <typename W> dialogs::FolderTree *tree(const W &w)
{
    return part<dialogs::FolderTree>(w, "TV1");
}

template <typename W> explorer::ThumbnailExplorer *explorerOf(const W &w)
{
    return part<explorer::ThumbnailExplorer>(w, "ImageExplore1");
}

template <typename W> QSplitter *mainSplitter(const W &w)
{
    return part<QSplitter>(w, "Splitter2");
}

template <typename W> QSplitter *previewSplitter(const W &w)
{
    return part<QSplitter>(w, "Splitter1");
}

template <typename W> QWidget *container(const W &w)
{
    return part<QWidget>(w, "container");
}

template <typename W> QToolBar *toolbar(const W &w)
{
    return part<QToolBar>(w, "Toolbar");
}

template <typename W> QToolButton *button(const W &w, const char *name)
{
    return part<QToolButton>(w, name);
}

// The image view of a viewer window.
inline imaging::ImageView *viewOf(const viewer::ViewerWindow *v)
{
    return v->findChild<imaging::ImageView *>(QStringLiteral("ImgX"));
}

} // namespace browsertest
