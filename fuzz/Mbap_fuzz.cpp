// SPDX-License-Identifier: GPL-3.0-or-later
// The Modbus TCP reply parser on any bytes: the header check over every prefix
// of the stream, as the port reads it, and the line form of every reply it calls
// whole. Nothing may be read or written past its buffer, and a reply that does
// not fit the receive buffer must never pass for one with a good CRC.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "modbus/Frame.h"
#include "net/Mbap.h"
#include "serial/Port.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "Mbap_fuzz: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vyx::net;
    if (size < 2) return 0;
    // The first two bytes are the transaction id the port waits for.
    const uint16_t tid = static_cast<uint16_t>(data[0] << 8 | data[1]);
    data += 2, size -= 2;
    // The port reads into a buffer of one whole frame and never more.
    uint8_t wire[kMbapMaxFrame];
    size_t used = 0;
    while (used < size) {
        uint32_t got = 0;
        while (true) {
            const TMbapReply r = CheckMbapReply(wire, got, tid);
            if (r.State == TMbapState::BadProtocol || r.State == TMbapState::BadLength) return 0;
            if (r.Frame > kMbapMaxFrame) Fail("a frame longer than the buffer");
            if (r.State == TMbapState::Complete || r.State == TMbapState::Other) {
                if (got != r.Frame) Fail("a whole reply of other length than read");
                if (r.State == TMbapState::Complete) {
                    uint8_t rtu[vyx::kPortBufferSize];
                    const uint32_t n = MbapToRtu(wire, got, rtu, sizeof rtu);
                    if (n != std::min<uint32_t>(got - 4, sizeof rtu)) Fail("a line form of the wrong length");
                    const bool good = vyx::CheckCrc(rtu, static_cast<uint16_t>(n));
                    if (good != (got - 4 <= sizeof rtu)) Fail("the CRC of the line form");
                    // A form cut to the buffer may have its last byte spoiled on
                    // purpose (so that it never holds a good CRC): every byte
                    // before it must be the unit id and PDU as received.
                    const uint32_t kept = good ? got - 6 : std::min<uint32_t>(got - 6, n - 1);
                    if (std::memcmp(rtu, wire + 6, kept) != 0) Fail("unit id and PDU changed");
                }
                break;
            }
            const uint32_t want = r.Frame ? r.Frame : kMbapHeaderSize - 1;
            if (want <= got) Fail("asks for no more bytes while incomplete");
            if (used >= size) return 0;  // the stream ended mid-reply
            const size_t take = std::min<size_t>(want - got, size - used);
            std::memcpy(wire + got, data + used, take);
            got += static_cast<uint32_t>(take), used += take;
        }
    }
    return 0;
}
