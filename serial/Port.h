// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the transaction needs of a port: send one frame, read one reply into a
// 128-byte buffer. The protocol code sees only this, so a test can put a
// pseudo-terminal or a scripted port behind it.
#include <cstdint>

namespace vyx {

// Where a reply ends, as the protocol on the line tells it from the first n bytes
// received: n when they are a complete reply (the read ends at once); a larger
// count when more bytes are due (the read takes no more than that count before
// asking again, so bytes behind the reply stay in the queue); anything else
// when no end is known, and the port's time-outs end the read.
using TReplyEnd = uint32_t (*)(const uint8_t* bytes, uint32_t n);

class TPort {
public:
    virtual ~TPort() = default;

    // True from a successful open until the port is closed.
    virtual bool IsOpened() const = 0;
    // Sends n frame bytes; the number of bytes sent, 0 on any failure.
    virtual uint16_t WritePort(const uint8_t* frame, uint16_t n) = 0;
    // Reads one reply into RxBuffer(), ended by the port's time-outs or, given a
    // rule, as soon as the rule says the reply is complete; false when the system
    // read failed.
    virtual bool ReadPort(TReplyEnd end) = 0;
    bool ReadPort() { return ReadPort(nullptr); }
    // Number of bytes the last ReadPort placed in RxBuffer().
    virtual uint32_t Received() const = 0;
    // The 128-byte receive buffer.
    virtual const uint8_t* RxBuffer() const = 0;
};

}  // namespace vyx
