// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One request and its reply on the wire, apart from anything that shows them.
// TWire runs where the port lives (the bus's thread, or the caller's for a
// program that waits): it reads what an earlier exchange may have left coming,
// keeps the line's gap, sends the request, reads its echo and the reply, and
// says what the bytes received are. Nothing here touches the tree, the panes or
// the indicators: the result carries the lines the communication pane shows, in
// the order they came, and the transaction presents it (modbus/Transaction.h).
//
// On a line (not Modbus TCP, whose header names the request a reply answers):
//  - after a time-out, before the next request to the same unit, the line is
//    listened to for up to one more reply wait for a late reply to begin; after
//    a failed reply it is read until quiet. What comes is shown as discarded.
//  - with Echo the request's own bytes are read back and compared first;
//    without it, a failed reply that begins with the request is named an echo,
//    and so is a write's reply followed at once by a second copy of itself.
//  - up to three stray bytes before a whole, matching reply are skipped.
//  - GapMs keeps the line quiet that long between a reply and the next request.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "modbus/Frame.h"
#include "port/LineSettings.h"
#include "port/Port.h"

namespace vyx {

// What one exchange gave. Lines are the communication pane's lines in their
// order: those before SentLines (bytes drained before the request, and the
// request itself, "< ...") are known once the request has left; the rest (its
// echo, late or stray bytes, the reply) when the exchange has ended.
struct TExchangeResult {
    TOutcome Outcome = TOutcome::None;
    bool Sent = false;          // the request went out (a closed port sends nothing)
    bool Heard = false;         // something came back: the receive indicator turns green
    bool PortOpen = false;      // the port after the exchange (one that went away closed itself)
    uint8_t ExceptionCode = 0;  // of an exception reply
    std::string DetailPl, DetailEn;  // what of the reply did not hold or did not answer
    std::vector<std::u16string> Lines;
    size_t SentLines = 0;
    std::u16string RequestHex;
    std::u16string ReplyHex;    // the reply (or the wrong echo) as the pane shows it; empty after a time-out
    // The reply as received: Rx[At, Received) is the reply in its frame, and
    // for a reply that answered, Rx[PduAt, PduAt + PduSize) its PDU.
    std::array<uint8_t, kMaxReplySize> Rx{};
    uint32_t Received = 0, At = 0, PduAt = 0, PduSize = 0;
    uint8_t Unit = 0;
};

class TWire {
public:
    // Runs one exchange of `request` on `port`. `sent`, when given, is called
    // with the result so far as soon as the request has left.
    TExchangeResult Exchange(TPort& port, const TFrame& request, TLineOptions line,
                             const std::function<void(const TExchangeResult&)>& sent = nullptr);
    // A port opened or closed: nothing is owed to the line any more.
    void Forget() { drain_ = {}; }

private:
    using TClock = std::chrono::steady_clock;

    bool ReadEcho(TPort& port, const TFrame& request, const std::vector<uint8_t>& wire, TExchangeResult& r);
    void ReadReply(TPort& port, const TFrame& request, TExchangeResult& r);
    void Classify(TPort& port, const TFrame& request, TLineOptions line, TExchangeResult& r);
    bool SecondCopyFollows(TPort& port, const TFrame& request, TExchangeResult& r);
    void DrainLate(TPort& port, uint8_t unit, TExchangeResult& r);
    void KeepGap(TLineOptions line) const;

    struct {
        bool Pending = false;
        bool AfterTimeout = false;  // wait for a late reply to begin, to the same unit only
        uint8_t Unit = 0;
        TClock::time_point BeginBy{};
    } drain_;
    TClock::time_point quietSince_{};  // when the line was last heard quiet after a read
};

// "> " and the bytes in hex, with a mark after them (" (odrzucone)").
std::u16string ReplyLine(const uint8_t* p, uint32_t n, std::u16string_view mark = {});

}  // namespace vyx
