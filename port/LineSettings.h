// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the program talks on a line, one set for the window and `vyx` alike: the
// mode string the port is opened with (speed and parity), how long a reply may
// take to begin, and how the line behaves beyond that (an echoing adapter, a
// gap between exchanges). A network port takes the reply wait and the gap; the
// mode means nothing to it.
#include <cstdint>
#include <string>

namespace vyx {

// The wait for the first byte of a reply, in ms; it also bounds connecting to
// a network port (plus 3 s).
inline constexpr uint16_t kReplyWaitMinMs = 10;
inline constexpr uint16_t kReplyWaitDefaultMs = 40;
inline constexpr uint16_t kReplyWaitMaxMs = 10000;
inline constexpr uint16_t kMaxGapMs = 1000;

// How the line behaves beyond its time-outs.
struct TLineOptions {
    bool Echo = false;   // the adapter returns each request's own bytes before the reply
    uint16_t GapMs = 0;  // the least quiet time between the end of a reply and the next request
    bool operator==(const TLineOptions&) const = default;
};

struct TLineSettings {
    std::string Mode = "19200,e,8,1";
    uint16_t ReplyWaitMs = kReplyWaitDefaultMs;
    TLineOptions Line;
    bool operator==(const TLineSettings&) const = default;
};

}  // namespace vyx
