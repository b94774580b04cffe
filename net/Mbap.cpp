// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Mbap.h"

#include <algorithm>
#include <cstring>

#include "modbus/Frame.h"

namespace vyx::net {

uint32_t MbapRequest(uint16_t tid, const uint8_t* rtu, uint32_t n, uint8_t* out) {
    if (n < 4 || n - 2 > kMbapMaxLength) return 0;
    const uint32_t length = n - 2;  // unit id and PDU
    out[0] = static_cast<uint8_t>(tid >> 8);
    out[1] = static_cast<uint8_t>(tid);
    out[2] = 0;
    out[3] = 0;
    out[4] = static_cast<uint8_t>(length >> 8);
    out[5] = static_cast<uint8_t>(length);
    std::memcpy(out + 6, rtu, length);
    return 6 + length;
}

TMbapReply CheckMbapReply(const uint8_t* p, uint32_t n, uint16_t tid) {
    TMbapReply r;
    if (n < 6) return r;
    if (p[2] != 0 || p[3] != 0) {
        r.State = TMbapState::BadProtocol;
        return r;
    }
    const uint32_t length = static_cast<uint32_t>(p[4]) << 8 | p[5];
    if (length < 2 || length > kMbapMaxLength) {
        r.State = TMbapState::BadLength;
        return r;
    }
    r.Frame = 6 + length;
    if (n < r.Frame) return r;
    const uint16_t got = static_cast<uint16_t>(p[0] << 8 | p[1]);
    r.State = got == tid ? TMbapState::Complete : TMbapState::Other;
    return r;
}

uint32_t MbapToRtu(const uint8_t* p, uint32_t n, uint8_t* rtu, uint32_t capacity) {
    if (n < kMbapHeaderSize || capacity < 2) return 0;
    const uint32_t body = n - 6;  // unit id and PDU
    if (body + 2 <= capacity) {
        std::memcpy(rtu, p + 6, body);
        const uint16_t crc = Crc16(rtu, static_cast<uint16_t>(body));
        rtu[body] = static_cast<uint8_t>(crc & 0xFF);
        rtu[body + 1] = static_cast<uint8_t>(crc >> 8);
        return body + 2;
    }
    // Cut to the buffer: the body and as much of its CRC as fits (one byte at most).
    const uint32_t copied = std::min(body, capacity);
    std::memcpy(rtu, p + 6, copied);
    if (copied < capacity) rtu[copied] = static_cast<uint8_t>(Crc16(rtu, static_cast<uint16_t>(body)) & 0xFF);
    // Too long for the buffer: what stands in the CRC's place is made wrong.
    if (CheckCrc(rtu, static_cast<uint16_t>(capacity))) rtu[capacity - 1] ^= 0xFF;
    return capacity;
}

}  // namespace vyx::net
