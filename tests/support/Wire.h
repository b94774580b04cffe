// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shorthands for tests that put frames on a line: a register record, and one
// request sent with its reply read.
#include <cstdint>

#include "modbus/Frame.h"
#include "registers/RegData.h"
#include "serial/Serial.h"

namespace vyx::test {

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
