#pragma once
// What the transaction needs of a port: send one frame, read one reply into a
// 128-byte buffer. The protocol code sees only this, so a test can put a
// pseudo-terminal or a scripted port behind it.
#include <cstdint>

namespace vyx {

class TPort {
public:
    virtual ~TPort() = default;

    // True from a successful open until the port is closed.
    virtual bool IsOpened() const = 0;
    // Sends n frame bytes; the number of bytes sent, 0 on any failure.
    virtual uint16_t WritePort(const uint8_t* frame, uint16_t n) = 0;
    // Reads one reply into RxBuffer(); false when the system read failed.
    virtual bool ReadPort() = 0;
    // Number of bytes the last ReadPort placed in RxBuffer().
    virtual uint32_t Received() const = 0;
    // The 128-byte receive buffer.
    virtual const uint8_t* RxBuffer() const = 0;
};

}  // namespace vyx
