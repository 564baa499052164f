// SPDX-License-Identifier: GPL-3.0-or-later
// The image's context menu: built anew for every right click from the state
// of the toolbar and the main menu, shown at the pointer, and the chosen
// entry runs the same operation as its menu entry or toolbar button.
#include "viewer/ViewerContextMenu.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QToolButton>

#include "imaging/ImageView.h"
#include "viewer/ViewerWindow.h"

namespace viewer {

namespace {

struct Entry
{
    ContextCommand command; // None: a separator
    const char *caption;
};

// Top to bottom. Note "Antialias Display" here against the main menu's
// "AntiAlias Display": the two captions have always differed.
constexpr Entry kEntries[] = {
    {ContextCommand::FullScreen, "Full Screen"},
    {ContextCommand::Next, "Next"},
    {ContextCommand::Previous, "Previous"},
    {ContextCommand::None, nullptr},
    {ContextCommand::SlideShow, "Slide Show"},
    {ContextCommand::AntiAlias, "Antialias Display"},
    {ContextCommand::None, nullptr},
    {ContextCommand::RotatePlus90, "Rotate +90"},
    {ContextCommand::RotateMinus90, "Rotate -90"},
    {ContextCommand::None, nullptr},
    {ContextCommand::ZoomIn, "Zoom In"},
    {ContextCommand::ZoomOut, "Zoom Out"},
    {ContextCommand::None, nullptr},
    {ContextCommand::SetAsWallpaper, "Set As Wallpaper"},
};

void runContextCommand(ViewerWindow &viewer, ContextCommand command)
{
    switch (command) {
    case ContextCommand::None:
        break;
    case ContextCommand::AntiAlias:
        viewer.toggleAntiAlias();
        break;
    case ContextCommand::RotatePlus90:
        viewer.rotatePlus90();
        break;
    case ContextCommand::RotateMinus90:
        viewer.rotateMinus90();
        break;
    case ContextCommand::ZoomIn:
        viewer.zoomIn();
        break;
    case ContextCommand::ZoomOut:
        viewer.zoomOut();
        break;
    case ContextCommand::SetAsWallpaper:
        viewer.setAsWallpaper();
        break;
    case ContextCommand::Next:
        viewer.nextImage();
        break;
    case ContextCommand::Previous:
        viewer.previousImage();
        break;
    case ContextCommand::SlideShow:
        viewer.toggleSlideShow();
        break;
    case ContextCommand::FullScreen:
        viewer.toggleFullScreen();
        break;
    }
}

} // namespace

QMenu *buildContextMenu(const ContextMenuState &state, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("ViewerContextMenu"));
    for (const Entry &entry : kEntries) {
        if (entry.command == ContextCommand::None) {
            menu->addSeparator();
            continue;
        }
        QAction *a = menu->addAction(QString::fromLatin1(entry.caption));
        a->setData(int(entry.command));
        switch (entry.command) {
        case ContextCommand::FullScreen:
            a->setEnabled(state.fullScreenEnabled);
            break;
        case ContextCommand::Next:
            a->setEnabled(state.nextEnabled);
            break;
        case ContextCommand::Previous:
            a->setEnabled(state.previousEnabled);
            break;
        case ContextCommand::SlideShow:
            a->setCheckable(true);
            a->setChecked(state.slideShowRunning);
            break;
        case ContextCommand::AntiAlias:
            a->setCheckable(true);
            a->setChecked(state.antiAlias);
            break;
        default:
            break;
        }
    }
    return menu;
}

ContextCommand contextCommandOf(const QAction *chosen)
{
    if (!chosen || !chosen->isEnabled())
        return ContextCommand::None;
    const int id = chosen->data().toInt();
    return id >= int(ContextCommand::AntiAlias) && id <= int(ContextCommand::FullScreen)
               ? ContextCommand(id)
               : ContextCommand::None;
}

void ViewerWindow::onViewMousePressed(Qt::MouseButton button, Qt::KeyboardModifiers,
                                      QPoint position)
{
    if (button != Qt::RightButton)
        return;
    ContextMenuState state;
    state.fullScreenEnabled = m_buttons.at(int(ToolbarButton::FullScreen) - 1)->isEnabled();
    state.nextEnabled = m_buttons.at(int(ToolbarButton::Next) - 1)->isEnabled();
    state.previousEnabled = m_buttons.at(int(ToolbarButton::Previous) - 1)->isEnabled();
    state.slideShowRunning = m_buttons.at(int(ToolbarButton::SlideShow) - 1)->isChecked();
    state.antiAlias = action("mnuAntiAliasDisplay")->isChecked();

    // The position is the view's; the menu opens under the pointer.
    const QPoint at = m_imageView->viewport()->mapToGlobal(position);
    // A child of the window, so that it wears the window's skin.
    const QPointer<QMenu> menu(buildContextMenu(state, this));
    const QAction *chosen = menu->exec(at);
    // The viewer (and the menu with it) may have gone while the menu was
    // open: then there is nothing left to act on.
    if (!menu)
        return;
    const ContextCommand command = contextCommandOf(chosen);
    delete menu.data();
    runContextCommand(*this, command);
}

} // namespace viewer
