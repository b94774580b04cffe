// SPDX-License-Identifier: GPL-3.0-or-later
// Where the window opens, from sizes alone: any screen can be tried without one.
#include <gtest/gtest.h>

#include "ui/Placement.h"

using namespace vyx;

TEST(WindowPlacement, CentredOnThePointersScreenOrWhereItWasClosed) {
    const QSize minimum(1071, 834);
    const QMargins frame = ui::kFrameAllowance;
    const QRect left(0, 0, 1920, 1050), right(1920, 0, 2560, 1400), laptop(0, 0, 1366, 738);
    const QRect elsewhere(3000, 200, 1100, 900);  // on the right-hand screen

    // Nothing remembered: centred, with its frame, on the pointer's screen.
    ui::TPlacement p = ui::PlaceWindow(minimum, {}, {left, right}, QPoint(2500, 300));
    EXPECT_TRUE(p.Fits);
    EXPECT_EQ(p.Geometry.size(), minimum);
    EXPECT_EQ(p.Geometry.marginsAdded(frame).center(), right.center());
    // Remembered where a screen still is: there, at its size.
    p = ui::PlaceWindow(minimum, elsewhere, {left, right}, QPoint(10, 10));
    EXPECT_EQ(p.Geometry, elsewhere);
    // That screen is gone: centred where the pointer is.
    p = ui::PlaceWindow(minimum, elsewhere, {left}, QPoint(10, 10));
    EXPECT_EQ(p.Geometry.marginsAdded(frame).center(), left.center());
    // Half off its screen: moved onto it, title bar first.
    p = ui::PlaceWindow(minimum, QRect(1200, -50, 1100, 900), {left}, QPoint(10, 10));
    EXPECT_TRUE(left.contains(p.Geometry.marginsAdded(frame)));
    EXPECT_EQ(p.Geometry.size(), QSize(1100, 900));
    // Too short a screen: its whole height, without the fixed layout.
    for (const QRect& remembered : {QRect(), QRect(0, 0, 1300, 1000)}) {
        p = ui::PlaceWindow(minimum, remembered, {laptop}, QPoint(10, 10));
        EXPECT_FALSE(p.Fits);
        EXPECT_TRUE(laptop.contains(p.Geometry.marginsAdded(frame)));
        EXPECT_EQ(p.Geometry.marginsAdded(frame).height(), laptop.height());
        EXPECT_EQ(p.Geometry.width(), remembered.isNull() ? 1071 : 1300);
    }
}
