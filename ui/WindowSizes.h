// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's fixed measures, in pixels: the client area below the menu, the tree
// and the control panel beside the panes, the result pane and the status bar.
namespace vyx::ui {

inline constexpr int kClientWidth = 1071;
inline constexpr int kClientHeight = 809;
inline constexpr int kTreeWidth = 401;
inline constexpr int kTreeNarrowest = 200;  // on a screen too small for the fixed layout
inline constexpr int kUnitListHeight = 150;  // "Jednostki na linii", above the tree
inline constexpr int kPanelWidth = 270;
inline constexpr int kResultHeight = 433;
inline constexpr int kStatusHeight = 23;

}  // namespace vyx::ui
