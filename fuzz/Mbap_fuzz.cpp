// SPDX-License-Identifier: GPL-3.0-or-later
// The Modbus TCP reply parser on any bytes, read as the port reads them: the
// header check over every prefix of the stream, late replies passed over, and
// the bytes the read ends with taken out of their frame. Each answer is held
// against a model of the header written out here from its fields. Nothing may
// be read or written past its buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/Mbap.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "Mbap_fuzz: %s\n", what);
    std::abort();
}

// What a read of n bytes ending the stream must give: the fault, or the unit and PDU.
void CheckUnframed(const uint8_t* p, uint32_t n, uint16_t tid) {
    using vyx::TFrameFault;
    const vyx::TUnframed u = vyx::net::UnframeMbap(p, n, tid);
    const bool protocol = n >= 4 && (p[2] | p[3]) != 0;
    const uint32_t length = n >= 6 ? uint32_t{p[4]} << 8 | p[5] : 0;
    const bool badLength = !protocol && n >= 6 && (length < 2 || length > 254);
    const bool whole = n >= 7 && n >= 6 + length;
    const bool ours = whole && (p[0] << 8 | p[1]) == tid;
    const bool good = !protocol && !badLength && ours;
    if (good != (u.Fault == TFrameFault::None)) Fail("a reply good against the model's header, or not");
    if (!good) {
        if (u.Fault != TFrameFault::Header || u.DetailPl.empty() || u.DetailEn.empty()) Fail("a damage unnamed");
        if (u.Pdu != nullptr || u.PduSize != 0) Fail("a PDU out of a damaged frame");
        return;
    }
    if (u.Unit != p[6] || u.Pdu != p + 7 || u.PduSize != length - 1) Fail("unit id and PDU not where the header puts them");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vyx::net;
    if (size < 3) return 0;
    // The first two bytes are the transaction id the port waits for, the third
    // how many requests went before it.
    const uint16_t tid = static_cast<uint16_t>(data[0] << 8 | data[1]);
    const uint32_t earlier = data[2];
    data += 3, size -= 3;
    // The port reads into a buffer of one whole frame and never more.
    uint8_t wire[kMbapMaxFrame];
    size_t used = 0;
    uint32_t got = 0;
    while (true) {
        const TMbapReply r = CheckMbapReply(wire, got, tid);
        if (r.Frame > kMbapMaxFrame) Fail("a frame longer than the buffer");
        if (r.State == TMbapState::Other && MbapLate(static_cast<uint16_t>(wire[0] << 8 | wire[1]), tid, earlier)) {
            if (got != r.Frame) Fail("a late reply of other length than read");
            got = 0;  // passed over
            continue;
        }
        if (r.State != TMbapState::NeedMore) {
            if ((r.State == TMbapState::Complete || r.State == TMbapState::Other) && got != r.Frame)
                Fail("a whole reply of other length than read");
            break;
        }
        const uint32_t want = r.Frame ? r.Frame : kMbapHeaderSize - 1;
        if (want <= got) Fail("asks for no more bytes while incomplete");
        if (used >= size) break;  // the stream ended mid-reply: the read's time ran out
        const size_t take = std::min<size_t>(want - got, size - used);
        std::memcpy(wire + got, data + used, take);
        got += static_cast<uint32_t>(take), used += take;
    }
    if (got > 0) CheckUnframed(wire, got, tid);
    return 0;
}
