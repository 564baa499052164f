// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/ScreenArea.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace core {

QRect keepWithin(const QRect &outer, const QRect &area)
{
    if (area.isEmpty())
        return outer;
    const QSize size = outer.size().boundedTo(area.size());
    const int left =
        std::clamp(outer.left(), area.left(), area.left() + area.width() - size.width());
    const int top = std::clamp(outer.top(), area.top(), area.top() + area.height() - size.height());
    return {QPoint(left, top), size};
}

QRect availableArea(const QWidget *window)
{
    const QScreen *s =
        window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry() : QRect();
}

void keepOnScreen(QWidget *window)
{
    if (!window || window->isFullScreen() || window->isMaximized() || window->isMinimized())
        return;
    const QMargins frame =
        window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
    const QRect outer = window->geometry().marginsAdded(frame);
    const QRect inside = keepWithin(outer, availableArea(window));
    if (inside == outer)
        return;
    const QRect client = inside.marginsRemoved(frame);
    window->resize(client.size().expandedTo(QSize(1, 1)));
    // move() places the frame's top-left corner of a top-level window.
    window->move(inside.topLeft());
}

} // namespace core
