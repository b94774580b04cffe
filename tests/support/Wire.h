// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shorthands for tests that put frames on a line: bytes with their CRC, a
// register record, and one request sent with its reply read.
#include <cstdint>
#include <vector>

#include "modbus/Frame.h"
#include "registers/RegData.h"
#include "serial/Serial.h"

namespace vyx::test {

using Bytes = std::vector<uint8_t>;

// The bytes with their CRC appended, low byte first.
inline Bytes WithCrc(Bytes bytes) {
    const uint16_t crc = Crc16(bytes.data(), static_cast<uint16_t>(bytes.size()));
    bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
    return bytes;
}

// A's bytes, then B's.
inline Bytes Join(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// An RW register named "R" with the given number, type, length and value.
inline TRegData RegisterRecord(const char16_t* address, const char16_t* type, const char16_t* length,
                               const char16_t* value = u"") {
    return {u"R", u"", address, type, length, u"RW", value};
}

// Sends the frame and reads the reply as the transaction does (ended as soon as
// it is complete); the number of bytes received.
inline uint32_t Exchange(TSerial& port, const TFrame& frame) {
    port.WritePort(frame.TxBuf.data(), frame.FrameLength);
    port.ReadPort(ReplyEnd);
    return port.Received();
}

}  // namespace vyx::test
