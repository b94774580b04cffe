// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Modbus TCP framing as pure functions over bytes: the MBAP header (transaction
// id, protocol 0, length, unit id) that stands where the serial line has the
// address and the CRC. The network port translates with these, so that the
// transaction above it sees every reply in the form of the line.
#include <cstdint>

namespace vyx::net {

inline constexpr uint32_t kMbapHeaderSize = 7;   // transaction, protocol, length, unit
inline constexpr uint32_t kMbapMaxLength = 254;  // the length field: unit id and PDU
inline constexpr uint32_t kMbapMaxFrame = 6 + kMbapMaxLength;

// The Modbus TCP request for an RTU frame of n bytes (address, PDU, CRC) under
// transaction id `tid`, into `out` (room for n + 4 bytes): the CRC is dropped,
// the address becomes the unit id. Returns its length; 0 for a frame too short
// to hold an address, a function and a CRC (n < 4) or too long (n > 256).
uint32_t MbapRequest(uint16_t tid, const uint8_t* rtu, uint32_t n, uint8_t* out);

// What the first n bytes of a reply stream say.
enum class TMbapState {
    NeedMore,     // fewer bytes than the header, or than the length it gives
    Complete,     // Frame bytes are a whole reply with the expected transaction id
    Other,        // Frame bytes are a whole reply of another transaction (a late one)
    BadProtocol,  // the protocol id is not 0
    BadLength,    // the length field is below 2 (no room for a function) or above 254
};
struct TMbapReply {
    TMbapState State = TMbapState::NeedMore;
    uint32_t Frame = 0;  // the length of the whole reply once the header is in
};
TMbapReply CheckMbapReply(const uint8_t* p, uint32_t n, uint16_t tid);

// The RTU form of a whole reply of n bytes (MBAP header and PDU): unit id,
// PDU, CRC (n - 4 bytes), into `rtu` of `capacity` bytes. A form
// longer than the capacity is cut to it, and its last two bytes then never hold
// a good CRC, so a reply that does not fit is never taken for a good one.
// Returns the bytes written; 0 for n below the header.
uint32_t MbapToRtu(const uint8_t* p, uint32_t n, uint8_t* rtu, uint32_t capacity);

}  // namespace vyx::net
