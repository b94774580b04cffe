// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one serial port of the program: open a device and configure its line from a
// mode string, apply the read and write time-outs, send one request frame, read one
// reply into the 128-byte receive buffer, close, and list the ports of the system.
//
// TSerial is the port of port/Port.h on a serial line (the time-outs are told
// there). One back end per platform implements it (SerialPosix.cpp: termios + poll;
// SerialWin.cpp: the comm functions of Windows).
// Operations return a boolean or a count and report nothing themselves.
#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "port/Port.h"

namespace vyx {

// The serial line a mode string sets.
struct TSerialLine {
    uint32_t Baud = 0;
    char Parity = 'N';  // 'N' none, 'E' even, 'O' odd
    uint8_t DataBits = 8;
    uint8_t StopBits = 1;

    bool operator==(const TSerialLine&) const = default;
};

// Mode string: the baud rate in decimal digits, optionally followed by
// ",parity" (e, o or n, either case), ",data bits" (5 to 8) and ",stop bits"
// (1 or 2), each only after the one before; spaces around a field are allowed.
// What is not given is even parity, 8 data bits, 1 stop bit (the Modbus RTU
// default), so "19200" opens 19200,e,8,1. False for anything else (letters only,
// a zero or out-of-range baud, trailing text).
bool ParseMode(const std::string& mode, TSerialLine& line);

#ifdef _WIN32
using TPortHandle = void*;
// INVALID_HANDLE_VALUE, which windows.h defines by this very cast; the header
// stays free of windows.h.
// NOLINTNEXTLINE(performance-no-int-to-ptr): a handle value, never dereferenced
inline const TPortHandle kInvalidPortHandle = reinterpret_cast<void*>(static_cast<intptr_t>(-1));
#else
using TPortHandle = int;
inline constexpr TPortHandle kInvalidPortHandle = -1;
#endif

class TSerial : public TPort {
public:
    TSerial() = default;
    ~TSerial() override;
    TSerial(const TSerial&) = delete;
    TSerial& operator=(const TSerial&) = delete;

    // Opens the device at the path for exclusive read and write, only if it exists
    // and is a terminal. Exclusive for every other opener, root included: a second
    // open of the same device, in this process or another, fails. The handle
    // belongs to the caller; OpenPort keeps it as the port's handle.
    TPortHandle OpenDevice(const std::string& path);

    // Closes an open port first, then opens the device and configures its line
    // from the mode string: raw bytes, no flow control. A baud rate outside the
    // system's standard table is set as a custom rate; if the system refuses it,
    // or the mode string does not parse, the device is closed again and the result
    // is false. Refused parity is not acted on (pseudo-terminals have none).
    // On success both queues are purged.
    bool OpenPort(const std::string& path, const std::string& mode) override;

    // Applies the five time-outs (see TTimeouts). When the port is not open or
    // no longer answers, the port is closed and the result is false.
    bool SetTimeouts(uint16_t ri, uint16_t rm, uint16_t rc, uint16_t wm, uint16_t wc) override;

    // Purges both queues, zeroes the receive buffer and the transmit copy, copies
    // the frame into the transmit copy and writes it within the write time-out.
    // Returns Written, or 0 when the port is closed, n is above 128, the purge
    // failed (each of these sends nothing and leaves the receive buffer as it
    // was) or the system reported failure.
    uint16_t WritePort(const uint8_t* frame, uint16_t n) override;

    // Reads up to 128 bytes into the start of the receive buffer within the read
    // time-outs, or until `end` says the reply is complete; Received gets the
    // count. Does not check Opened. A failed read leaves Received at 0 and
    // returns false.
    bool ReadPort(const TReplyEnd& end) override;
    using TPort::ReadPort;
    bool ReadLate(uint32_t waitMs) override;
    // A device that has gone away (a hang-up of the line, an unplugged adapter,
    // EIO, ENXIO or ENODEV from the system) ends a read or write at once as a
    // failure and closes the port, so what follows takes the path of a closed
    // port. Opening it again works once the device is back.

    // Purges, closes and resets the state; does nothing when no device is open.
    void ClosePort() override;

    // Why the last open failed; OpenErrno() is the system's errno of a System fault.
    TOpenFault OpenFault() const override { return OpenFault_; }
    int OpenErrno() const override { return OpenErrno_; }

    bool IsOpened() const override { return Com.Opened; }
    uint32_t Received() const override { return Com.Received; }
    const uint8_t* RxBuffer() const override { return RxBuf.data(); }

    const TSerialLine& Line() const { return Line_; }
    const TTimeouts& Timeouts() const override { return Timeouts_; }
    TPortHandle Handle() const { return Handle_; }
    const std::array<uint8_t, kPortBufferSize>& TxCopy() const { return TxBuf_; }

    TCOM Com;
    std::array<uint8_t, kPortBufferSize> RxBuf{};

private:
    // What ClosePort does, also from the destructor, where no override may run.
    void ReleasePort();
    bool ApplyLine();
    bool Purge();
    // The checks and copies every back end's WritePort begins with: false (and
    // nothing sent) for a closed port, a frame above 128 bytes or a failed purge;
    // else the receive buffer is zeroed and the frame is in the transmit copy.
    bool PrepareWrite(const uint8_t* frame, uint16_t n);
#ifndef _WIN32
    // A read that waits for its first byte until `firstBound`, then until the
    // read interval passes without a byte, the rule says the reply is complete,
    // or the line time of a full buffer has passed.
    bool Read(const TReplyEnd& end, std::chrono::steady_clock::time_point firstBound);
#endif
    // Closes the port when the last system call failed because the device is gone.
    void CloseIfGone();

    using TClock = std::chrono::steady_clock;

    TPortHandle Handle_ = kInvalidPortHandle;
    TOpenFault OpenFault_ = TOpenFault::None;
    int OpenErrno_ = 0;
    TSerialLine Line_;
    TTimeouts Timeouts_;
    std::array<uint8_t, kPortBufferSize> TxBuf_{};
    TClock::time_point LineFree_{};  // when the last request has left the line
};

// A port name typed by the user: a path when it starts with "/", else /dev/NAME.
// On Windows a path when it holds "\", "/" or ":", else "\\.\" + NAME (so that
// COM10 and above open too). Empty stays empty.
std::string PortPathFromName(const std::string& name);

}  // namespace vyx
