// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the window opens and whether its fixed layout fits there, worked out from
// sizes alone so that any screen can be tried without one.
#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace vyx::ui {

// What a window manager adds around a window before the window has been shown
// (a title bar and thin borders).
inline constexpr QMargins kFrameAllowance(4, 30, 4, 4);

struct TPlacement {
    QRect Geometry;     // the window without its frame
    bool Fits = true;   // the minimum size fits the screen: the fixed layout holds
};

// `minimum`: the window's minimum size, frame excluded. `remembered`: where it was
// last closed (null: nowhere). `screens`: the available area of each screen (the
// first is the primary one). It opens where it was remembered when a screen still
// holds that place's centre, else centred on the screen holding `pointer` (else on
// the first). On a screen smaller than the minimum plus the frame it takes the
// whole available area and Fits is false.
TPlacement PlaceWindow(QSize minimum, QRect remembered, const QList<QRect>& screens, QPoint pointer,
                       QMargins frame = kFrameAllowance);

}  // namespace vyx::ui
