// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's indicators: their colours, and how long each shows.
#include <cstdint>

namespace vyx::ui {

// The colours of the indicators and the connection shape.
struct TColor {
    uint8_t R, G, B;
    bool operator==(const TColor&) const = default;
};
inline constexpr TColor kGreen{0, 255, 0};
inline constexpr TColor kRed{255, 0, 0};
inline constexpr TColor kIdleGrey{128, 128, 128};
inline constexpr TColor kMediumGrey{160, 160, 164};
// The transmit and receive indicators, and how long each shows.
enum class TLed { Tx, Rx };
inline constexpr int kLedShortMs = 100;     // after a send, or a reply
inline constexpr int kLedTimeoutMs = 1000;  // red RX after a time-out
inline constexpr int kHighlightMs = 500;    // red value after a good reply

}  // namespace vyx::ui
