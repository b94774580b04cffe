// SPDX-License-Identifier: GPL-3.0-or-later
#include "modbus/Wire.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <thread>

#include "base/Text.h"

namespace vyx {

std::u16string ReplyLine(const uint8_t* p, uint32_t n, std::u16string_view mark) {
    std::u16string line = u"> " + FromUtf8(HexDump(p, static_cast<uint16_t>(n)));
    line += mark;
    return line;
}

TExchangeResult TWire::Exchange(TPort& port, const TFrame& request, TLineOptions line,
                                const std::function<void(const TExchangeResult&)>& sent) {
    TExchangeResult r;
    if (!port.IsOpened()) {
        r.Outcome = TOutcome::PortClosed;
        return r;
    }
    const bool framed = port.LineFramed();
    if (framed) DrainLate(port, request.TxBuf[kOffSlave], r);
    // The pane shows the bytes as they go over the wire (on Modbus TCP, with their header).
    const std::vector<uint8_t> wire = port.WireRequest(request.TxBuf.data(), request.FrameLength);
    r.RequestHex = FromUtf8(HexDump(wire.data(), static_cast<uint16_t>(wire.size())));
    r.Lines.push_back(u"< " + r.RequestHex);
    r.SentLines = r.Lines.size();
    KeepGap(line);
    port.WritePort(request.TxBuf.data(), request.FrameLength);
    r.Sent = true;
    if (sent) sent(r);

    const bool echoed = !framed || !line.Echo || ReadEcho(port, request, wire, r);
    if (echoed) ReadReply(port, request, r);
    r.Heard = r.Received >= 1 || !echoed;
    if (echoed && r.Received >= 1) {
        Classify(port, request, line, r);
    } else if (echoed) {
        // The serial unit closes a port whose device went away.
        r.Outcome = port.IsOpened() ? TOutcome::Timeout : TOutcome::PortClosed;
        if (r.Outcome == TOutcome::Timeout && framed) {
            const TTimeouts& t = port.Timeouts();
            drain_ = {true, true, request.TxBuf[kOffSlave],
                      TClock::now() + std::chrono::milliseconds(uint64_t{t.ReadTotalMultiplier} * kPortBufferSize +
                                                                t.ReadTotalConstant)};
        }
    }
    r.PortOpen = port.IsOpened();
    return r;
}

bool TWire::ReadEcho(TPort& port, const TFrame& request, const std::vector<uint8_t>& wire, TExchangeResult& r) {
    const auto length = static_cast<uint32_t>(wire.size());
    port.ReadPort([length](const uint8_t*, uint32_t) { return length; });
    const uint32_t got = std::min<uint32_t>(port.Received(), kPortBufferSize);
    quietSince_ = TClock::now();
    if (got == 0) return true;  // nothing at all: the reply read finds out why
    r.Lines.push_back(ReplyLine(port.RxBuffer(), got, u" (echo)"));
    if (got == length && std::memcmp(port.RxBuffer(), wire.data(), length) == 0) return true;
    r.Outcome = TOutcome::Collision;
    r.ReplyHex = FromUtf8(HexDump(port.RxBuffer(), static_cast<uint16_t>(got)));
    drain_ = {true, false, request.TxBuf[kOffSlave], {}};
    return false;
}

void TWire::ReadReply(TPort& port, const TFrame& request, TExchangeResult& r) {
    // The read ends as soon as a complete reply with a good CRC to this request is
    // in, behind up to three stray bytes; anything else is ended by the port's
    // time-outs, as the line's silence tells.
    port.ReadPort([&request](const uint8_t* p, uint32_t n) { return ReplyEndFor(request, p, n); });
    r.Received = std::min<uint32_t>(port.Received(), kMaxReplySize);
    std::memcpy(r.Rx.data(), port.RxBuffer(), r.Received);
    quietSince_ = TClock::now();
    // Late replies to earlier requests the port knew and passed over (Modbus TCP).
    const std::span<const uint8_t> passed = port.PassedOver();
    if (!passed.empty())
        r.Lines.push_back(ReplyLine(passed.data(), static_cast<uint32_t>(passed.size()), u" (odrzucone)"));
}

void TWire::Classify(TPort& port, const TFrame& request, TLineOptions line, TExchangeResult& r) {
    const bool framed = port.LineFramed();
    r.At = framed ? StrayBytes(request, r.Rx.data(), r.Received) : 0;
    if (r.At > 0) r.Lines.push_back(ReplyLine(r.Rx.data(), r.At, u" (pominięte)"));
    // The pane shows the reply as it came over the wire (on Modbus TCP, with its header).
    const uint8_t* p = r.Rx.data() + r.At;
    const uint32_t n = r.Received - r.At;
    r.ReplyHex = FromUtf8(HexDump(p, static_cast<uint16_t>(n)));
    r.Lines.push_back(u"> " + r.ReplyHex);

    // Each transport takes its reply out of its own frame; the line's is the protocol's.
    const std::optional<TUnframed> own = port.Unframe(p, n);
    const TUnframed reply = own ? *own : UnframeRtu(p, n);
    // Without the echo setting, bytes that begin with the request are its echo.
    const bool echo =
        framed && !line.Echo && BeginsWithRequest(request.TxBuf.data(), request.FrameLength, p, n);
    if (reply.Fault == TFrameFault::Crc) {
        r.Outcome = echo ? TOutcome::Echo : TOutcome::CrcError;
    } else if (reply.Fault == TFrameFault::Header) {
        r.Outcome = TOutcome::Damaged;
        r.DetailPl = reply.DetailPl, r.DetailEn = reply.DetailEn;
    } else if (r.DetailEn = ReplyMismatch(request, reply, TLanguage::English); !r.DetailEn.empty()) {
        r.DetailPl = ReplyMismatch(request, reply, TLanguage::Polish);
        r.Outcome = echo ? TOutcome::Echo : TOutcome::Mismatch;
    } else if (reply.Pdu[0] & 0x80) {
        r.Outcome = TOutcome::Exception;
        r.ExceptionCode = reply.Pdu[1];
    } else {
        r.Outcome = echo && SecondCopyFollows(port, request, r) ? TOutcome::Echo : TOutcome::Good;
    }
    if (r.Outcome == TOutcome::Echo) r.DetailPl.clear(), r.DetailEn.clear();
    if (r.Outcome == TOutcome::Good || r.Outcome == TOutcome::Exception) {
        r.Unit = reply.Unit;
        r.PduAt = static_cast<uint32_t>(reply.Pdu - r.Rx.data());
        r.PduSize = reply.PduSize;
    } else if (framed) {
        drain_ = {true, false, request.TxBuf[kOffSlave], {}};
    }
}

bool TWire::SecondCopyFollows(TPort& port, const TFrame& request, TExchangeResult& r) {
    // Only a write (6) or a diagnostic (8) is answered by a copy of itself.
    if (!port.ReadLate(port.Timeouts().ReadInterval)) return false;
    const uint32_t n = std::min<uint32_t>(port.Received(), kPortBufferSize);
    quietSince_ = TClock::now();
    if (n == 0) return false;
    const bool copy = BeginsWithRequest(request.TxBuf.data(), request.FrameLength, port.RxBuffer(), n);
    r.Lines.push_back(ReplyLine(port.RxBuffer(), n, copy ? std::u16string_view{} : std::u16string_view{u" (odrzucone)"}));
    return copy;
}

void TWire::DrainLate(TPort& port, uint8_t unit, TExchangeResult& r) {
    if (!drain_.Pending) return;
    const auto drain = drain_;
    drain_.Pending = false;
    // Another unit's reply is told apart by its address: no wait for a late one.
    if (drain.AfterTimeout && drain.Unit != unit) return;
    uint32_t wait = 0;
    if (drain.AfterTimeout) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(drain.BeginBy - TClock::now()).count();
        wait = left > 0 ? static_cast<uint32_t>(left) : 0;
    }
    // A babbling line cannot hold the next request for long.
    constexpr int kMaxReads = 8;
    for (int i = 0; i < kMaxReads && port.ReadLate(wait); ++i) {
        const uint32_t late = std::min<uint32_t>(port.Received(), kPortBufferSize);
        if (late == 0) break;
        r.Lines.push_back(ReplyLine(port.RxBuffer(), late, u" (odrzucone)"));
        wait = 0;
    }
    quietSince_ = TClock::now();
}

void TWire::KeepGap(TLineOptions line) const {
    if (line.GapMs == 0) return;
    std::this_thread::sleep_until(quietSince_ + std::chrono::milliseconds(std::min(line.GapMs, kMaxGapMs)));
}

}  // namespace vyx
