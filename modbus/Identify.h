// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two requests by which a unit says what it is, and their replies taken
// apart: function 17 (report slave id) and function 43 with MEI type 14 (read
// device identification, basic objects: vendor, product code, revision).
// Many units answer neither (exception 1); that is no fault of the line.
//
// Request frames:
//   17:    slave 11 CRC                          (4 bytes)
//   43/14: slave 2B 0E 01 OBJECT CRC             (7 bytes; 01: basic stream)
// Replies (after the slave address, before the CRC):
//   17:    11 COUNT SLAVE-ID RUN-INDICATOR DATA...  (COUNT bytes after it)
//   43/14: 2B 0E 01 CONFORMITY MORE NEXT N {ID LEN VALUE...} x N
// Frame.h's ReplyLength and ReplyMismatch know both, so the wire ends a read
// as soon as such a reply is whole and refuses one that does not answer.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "modbus/Frame.h"

namespace vyx {

inline constexpr uint8_t kReportSlaveId = 0x11;
inline constexpr uint8_t kEncapsulated = 0x2B;
inline constexpr uint8_t kMeiDeviceId = 0x0E;
inline constexpr uint8_t kBasicDeviceId = 0x01;

// Builds the request in the frame. Refuses the broadcast address 0 and
// addresses above 247 (vyx::Error "nieprawidłowy adres urządzenia"), leaving
// the frame as it was.
void BuildReportSlaveId(TFrame& frame, uint8_t slave);
// `firstObject`: where the unit is to begin (0 vendor; a reply that says more
// follows names the next).
void BuildReadDeviceId(TFrame& frame, uint8_t slave, uint8_t firstObject = 0);

// A reply to function 17.
struct TSlaveId {
    uint8_t Id = 0;             // the unit's own id byte
    bool Running = false;       // run indicator FF (00 stopped)
    uint8_t RunIndicator = 0;   // as sent
    std::vector<uint8_t> Data;  // what follows, as sent
    // Data as text: printable bytes (Windows-1250) as they are, others as \xNN;
    // trailing spaces and NULs cut.
    std::string DataText() const;
};
// The PDU of a reply (function byte first), none when it is not a whole reply
// to function 17 (a byte count that disagrees with the PDU's size, fewer than
// 2 bytes after the count).
std::optional<TSlaveId> DecodeSlaveId(const uint8_t* pdu, uint32_t size);

// A reply to function 43/14: the objects it carried, in order.
struct TDeviceIdObject {
    uint8_t Id = 0;
    std::string Value;  // UTF-8 of the bytes as sent (Windows-1250)
};
struct TDeviceIdReply {
    uint8_t Conformity = 0;
    bool MoreFollows = false;
    uint8_t NextObject = 0;
    std::vector<TDeviceIdObject> Objects;
};
// None when the PDU is not a whole reply to 43/14: another MEI type, a read
// code outside 1 to 4, an object running past the end, bytes left over, a
// count that disagrees with the objects. (Whether the read code echoes the
// request's is ReplyMismatch's to tell.)
std::optional<TDeviceIdReply> DecodeDeviceId(const uint8_t* pdu, uint32_t size);

// The basic objects a unit gave, gathered from one or more replies.
struct TDeviceId {
    std::string Vendor, ProductCode, Revision;  // objects 0, 1, 2
};

}  // namespace vyx
