// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The port the program talks through, whatever carries the bytes: a serial
// line (TSerial), or a TCP connection to a serial device server (net/). It is
// opened by name with a mode string, given its time-outs, sends one frame and
// reads one reply into a 128-byte buffer, and is closed. The protocol code sees
// only this, so a test can put a pseudo-terminal or a scripted port behind it.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vyx {

// Size of the receive buffer and of the transmit copy.
inline constexpr uint16_t kPortBufferSize = 128;
// The longest reply any transport delivers whole: a Modbus TCP frame (a 6-byte
// header and up to 254 bytes of unit id and PDU). A line's reply fits the 128 bytes.
inline constexpr uint16_t kMaxReplySize = 260;

// A reply taken out of its transport's frame: the unit that sent it and its PDU
// (function code and data), or what of the frame does not hold. Detail names a
// damaged header, in Polish and in English ("nagłówek MBAP (protokół 1)",
// "MBAP header (protocol 1)"). Overhead is what the frame adds to the PDU (3 on
// the line: the address and the CRC), so lengths can be told in the frame's terms.
enum class TFrameFault { None, Crc, Header };
struct TUnframed {
    TFrameFault Fault = TFrameFault::None;
    std::string DetailPl, DetailEn;
    uint8_t Unit = 0;
    const uint8_t* Pdu = nullptr;
    uint32_t PduSize = 0;
    uint32_t Overhead = 0;
};

// Port state. Other units read Opened and Received; the connection panel keeps
// PortPath and ModeText, and sets TimeoutFault when applying the time-outs failed.
struct TCOM {
    bool Opened = false;
    uint32_t Written = 0;   // bytes the system took in the last WritePort
    uint32_t Received = 0;  // bytes the last ReadPort placed in the receive buffer
    int32_t TimeoutFault = 0;
    std::string PortPath;
    std::string ModeText;
};

// Time-outs in milliseconds, in the order SetTimeouts takes them.
//  - A read returns as soon as 128 bytes have arrived, or as soon as the reply is
//    complete when the caller gives a rule that tells (TReplyEnd).
//  - It waits ReadTotalConstant + 128 * ReadTotalMultiplier ms for the first byte
//    and returns with nothing when none came. The wait counts from the moment the
//    last request has left the line (its line time at the port's speed after the
//    write returned), so a slow line does not eat into the device's time.
//  - Once bytes arrive it returns ReadInterval ms after the last one (0: no
//    interval bound), but never later than the first-byte bound plus the line time
//    of 128 bytes at the port's speed (on a network port, plus the first-byte
//    wait once more), so a reply still arriving is not cut while a babbling line
//    cannot hold the read.
//  - A write returns at the latest WriteTotalConstant + n * WriteTotalMultiplier ms
//    after it started (0: it takes what the system accepts at once).
// The defaults are the values the connection panel applies.
struct TTimeouts {
    uint32_t ReadInterval = 30;
    uint32_t ReadTotalMultiplier = 0;
    uint32_t ReadTotalConstant = 40;
    uint32_t WriteTotalMultiplier = 0;
    uint32_t WriteTotalConstant = 30;

    bool operator==(const TTimeouts&) const = default;
};

// Why the last OpenPort failed, for a caller that tells the user.
enum class TOpenFault {
    None,         // the last open succeeded
    NoDevice,     // nothing at the path, or no device behind it
    Busy,         // held by another program (or by this one)
    NoPermission, // the user may not open the device (EACCES, EPERM); on Linux
                  // a serial device is for the group dialout
    NotTerminal,  // the path is not a terminal device
    BadMode,      // the mode string does not parse
    LineRefused,  // the port refused the line settings (e.g. the baud rate)
    System,       // another refusal of the system; its errno (on Windows, its
                  // GetLastError code) is kept beside it
    BadAddress,   // a network port's name is not HOST[:PORT] with a port 1 to 65535
    NoHost,       // the host name is not known (or did not resolve in time)
    Refused,      // the server refused the connection (nothing listens there)
    NoConnection, // no connection within the reply wait plus 3 s (no route, a
                  // server that does not answer)
};
// A short English text for the fault, e.g. "busy: held by another program".
std::string OpenFaultText(TOpenFault fault, int error);

// Where a reply ends, as the protocol on the line tells it from the first n bytes
// received: n when they are a complete reply (the read ends at once); a larger
// count when more bytes are due (the read takes no more than that count before
// asking again, so bytes behind the reply stay in the queue); anything else
// when no end is known, and the port's time-outs end the read. The rule may know
// the request it waits for (its slave address, its length).
using TReplyEnd = std::function<uint32_t(const uint8_t* bytes, uint32_t n)>;

class TPort {
public:
    virtual ~TPort() = default;

    // Closes an open port first, then opens the one named; `mode` sets a serial
    // line and means nothing to a network port. False with OpenFault() telling why.
    virtual bool OpenPort(const std::string& path, const std::string& mode) = 0;
    // Applies the five time-outs (see TTimeouts). When the port is not open or
    // no longer answers, the port is closed and the result is false.
    virtual bool SetTimeouts(uint16_t ri, uint16_t rm, uint16_t rc, uint16_t wm, uint16_t wc) = 0;
    virtual const TTimeouts& Timeouts() const = 0;
    // Closes and resets the state; does nothing when the port is not open.
    virtual void ClosePort() = 0;
    // Why the last open failed; OpenErrno() is the system's code of a System fault.
    virtual TOpenFault OpenFault() const = 0;
    virtual int OpenErrno() const = 0;

    // True from a successful open until the port is closed, or has gone away
    // (a device unplugged, a connection reset): a port that went away closes
    // itself, so what follows takes the path of a closed port.
    virtual bool IsOpened() const = 0;
    // Sends n frame bytes; the number of bytes sent, 0 on any failure.
    virtual uint16_t WritePort(const uint8_t* frame, uint16_t n) = 0;
    // Reads one reply into RxBuffer(), ended by the port's time-outs or, given a
    // rule, as soon as the rule says the reply is complete; false when the system
    // read failed.
    virtual bool ReadPort(const TReplyEnd& end) = 0;
    bool ReadPort() { return ReadPort(nullptr); }
    // Reads what comes unasked (a late reply, an echo's tail, noise) into
    // RxBuffer(): what has arrived, or what begins within `waitMs` from now (0:
    // only what has arrived), then until the line has been quiet for the read
    // interval, at most 128 bytes; the request's timing is not touched. False
    // when the system read failed.
    virtual bool ReadLate(uint32_t waitMs) = 0;
    // True when replies come as on the serial line (address, PDU, CRC), told
    // apart by their timing and contents alone: the line may echo, carry stray
    // bytes or a late reply. False for Modbus TCP, whose header frames each
    // reply and names the request it answers.
    virtual bool LineFramed() const { return true; }
    // Number of bytes the last ReadPort placed in RxBuffer() (at most
    // kMaxReplySize, at most kPortBufferSize on a line).
    virtual uint32_t Received() const = 0;
    // The receive buffer: the bytes as they came over the wire (on Modbus TCP,
    // header and all).
    virtual const uint8_t* RxBuffer() const = 0;

    // Takes n bytes of a reply (a copy of what the last ReadPort received) out
    // of this transport's frame. None for a line's frame (address, PDU, CRC),
    // which the protocol takes apart itself.
    virtual std::optional<TUnframed> Unframe(const uint8_t*, uint32_t) const { return std::nullopt; }
    // Whole replies to earlier requests that the last ReadPort passed over (on
    // Modbus TCP, known by their transaction id), for the pane to show.
    virtual std::span<const uint8_t> PassedOver() const { return {}; }

    // What WritePort sends for this frame, for the communication pane: on
    // Modbus TCP it goes with a header in place of the address and the CRC.
    virtual std::vector<uint8_t> WireRequest(const uint8_t* frame, uint16_t n) const {
        return std::vector<uint8_t>(frame, frame + n);
    }
};

}  // namespace vyx
