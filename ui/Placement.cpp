// SPDX-License-Identifier: GPL-3.0-or-later
// Where the window opens.
#include "ui/Placement.h"

#include <algorithm>

namespace vyx::ui {

TPlacement PlaceWindow(QSize minimum, QRect remembered, const QList<QRect>& screens, QPoint pointer, QMargins frame) {
    if (screens.isEmpty()) return {remembered.isNull() ? QRect(QPoint(0, 0), minimum) : remembered, true};
    const auto holding = [&](QPoint p) {
        for (const QRect& screen : screens)
            if (screen.contains(p)) return &screen;
        return static_cast<const QRect*>(nullptr);
    };
    const QRect* screen = remembered.isNull() ? nullptr : holding(remembered.center());
    const bool centre = screen == nullptr;
    if (!screen) screen = holding(pointer);
    if (!screen) screen = &screens.front();

    // The room for the window itself, inside its frame.
    const QSize room = screen->marginsRemoved(frame).size();
    TPlacement placed;
    placed.Fits = minimum.width() <= room.width() && minimum.height() <= room.height();
    const QSize wanted = centre ? minimum : remembered.size().expandedTo(minimum);
    const QSize size = wanted.boundedTo(room);

    QRect outer(QPoint(0, 0), size.grownBy(frame));
    if (centre) {
        outer.moveCenter(screen->center());
    } else {
        outer.moveTopLeft(remembered.topLeft() - QPoint(frame.left(), frame.top()));
    }
    // Wholly on the screen, the title bar first.
    outer.moveLeft(std::max(screen->left(), std::min(outer.left(), screen->right() - outer.width() + 1)));
    outer.moveTop(std::max(screen->top(), std::min(outer.top(), screen->bottom() - outer.height() + 1)));
    placed.Geometry = outer.marginsRemoved(frame);
    return placed;
}

}  // namespace vyx::ui
