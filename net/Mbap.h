// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Modbus TCP framing as pure functions over bytes: the MBAP header (transaction
// id, protocol 0, length, unit id) that stands where the serial line has the
// address and the CRC. The network port frames its requests and takes its
// replies apart with these; no CRC is made up or checked.
#include <cstdint>

#include "port/Port.h"

namespace vyx::net {

inline constexpr uint32_t kMbapHeaderSize = 7;   // transaction, protocol, length, unit
inline constexpr uint32_t kMbapMaxLength = 254;  // the length field: unit id and PDU
inline constexpr uint32_t kMbapMaxFrame = 6 + kMbapMaxLength;
static_assert(kMbapMaxFrame <= kMaxReplySize);

// The Modbus TCP request for an RTU frame of n bytes (address, PDU, CRC) under
// transaction id `tid`, into `out` (room for n + 4 bytes): the CRC is dropped,
// the address becomes the unit id. Returns its length; 0 for a frame too short
// to hold an address, a function and a CRC (n < 4) or too long (n > 256).
uint32_t MbapRequest(uint16_t tid, const uint8_t* rtu, uint32_t n, uint8_t* out);

// What the first n bytes of a reply stream say.
enum class TMbapState {
    NeedMore,     // fewer bytes than the header, or than the length it gives
    Complete,     // Frame bytes are a whole reply with the expected transaction id
    Other,        // Frame bytes are a whole reply of another transaction (late if MbapLate says so)
    BadProtocol,  // the protocol id is not 0
    BadLength,    // the length field is below 2 (no room for a function) or above 254
};
struct TMbapReply {
    TMbapState State = TMbapState::NeedMore;
    uint32_t Frame = 0;  // the length of the whole reply once the header is in
};
TMbapReply CheckMbapReply(const uint8_t* p, uint32_t n, uint16_t tid);

// True when transaction id `got` is one of the `earlier` requests sent before
// the one of id `tid` (at most the last 16): its reply is a late one.
bool MbapLate(uint16_t got, uint16_t tid, uint32_t earlier);

// The n bytes a read of the reply to transaction `tid` ended with, taken out of
// their frame: unit id and PDU, or a damaged header, checked in this order:
// "protokół 1", "długość 0" (outside 2 to 254), "nagłówek MBAP niepełny (3 z 7
// bajtów)", "ramka MBAP niepełna (9 z 13 bajtów)", "identyfikator transakcji 7
// zamiast 5" (each with "nagłówek MBAP (…)" around the first, second and last;
// English "MBAP header (protocol 1)", "MBAP header (length 0)", "MBAP header
// incomplete (3 of 7 bytes)", "MBAP frame incomplete (9 of 13 bytes)", "MBAP
// header (transaction id 7 instead of 5)"). Bytes past the frame's length are
// not part of it.
TUnframed UnframeMbap(const uint8_t* p, uint32_t n, uint16_t tid);

}  // namespace vyx::net
