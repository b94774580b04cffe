// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A port on a serial device server: a TCP connection that carries either the
// RTU frames of the line as they are (RTU over TCP) or Modbus TCP, which this
// port frames: each request goes with an MBAP header in place of the address
// and the CRC, and each reply is taken apart by its header (Unframe).
//
// Opening resolves the host and connects within the first-byte wait plus 3 s
// (a numeric address never asks the resolver; a name is resolved in a worker
// thread under the same bound). The reads keep the rules of the serial line
// (port/Port.h): the first-byte wait from the write, the reply's end as soon
// as it is complete, the gap after the last byte, and a bound on the whole read
// of twice the first-byte wait. A connection refused, reset or closed by the
// server closes the port, as a serial device that went away does.
//
// Modbus TCP: each request gets the next transaction id; a reply to one of the
// last 16 requests before it (a late one) is passed over (PassedOver) and the
// read goes on; a header with a protocol id other than 0, a length outside 2 to
// 254 or a transaction id never sent ends the read at once, and Unframe names
// the damaged header; what follows of it is purged before the next request.
// Every buffer is of fixed size.
#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "net/Address.h"
#include "net/Mbap.h"
#include "port/Port.h"

namespace vyx::net {

#ifdef _WIN32
using TSocket = uintptr_t;
inline constexpr TSocket kNoSocket = ~TSocket{0};
#else
using TSocket = int;
inline constexpr TSocket kNoSocket = -1;
#endif

// Connecting may take this much longer than the first-byte wait.
inline constexpr std::chrono::milliseconds kConnectExtra{3000};

class TNetPort : public TPort {
public:
    explicit TNetPort(TPortKind kind) : kind_(kind) {}
    ~TNetPort() override;
    TNetPort(const TNetPort&) = delete;
    TNetPort& operator=(const TNetPort&) = delete;

    // `path` is a network name (net/Address.h) of this port's kind; `mode` is not used.
    bool OpenPort(const std::string& path, const std::string& mode) override;
    bool SetTimeouts(uint16_t ri, uint16_t rm, uint16_t rc, uint16_t wm, uint16_t wc) override;
    // The time-outs the next open connects with, before the port is open.
    void PresetTimeouts(const TTimeouts& timeouts) { timeouts_ = timeouts; }
    const TTimeouts& Timeouts() const override { return timeouts_; }
    void ClosePort() override;
    TOpenFault OpenFault() const override { return openFault_; }
    int OpenErrno() const override { return openErrno_; }

    bool IsOpened() const override { return socket_ != kNoSocket; }
    uint16_t WritePort(const uint8_t* frame, uint16_t n) override;
    bool ReadPort(const TReplyEnd& end) override;
    using TPort::ReadPort;
    // On Modbus TCP the bytes are taken as they come, header and all.
    bool ReadLate(uint32_t waitMs) override;
    bool LineFramed() const override { return kind_ != TPortKind::ModbusTcp; }
    uint32_t Received() const override { return received_; }
    const uint8_t* RxBuffer() const override { return rx_.data(); }

    std::optional<TUnframed> Unframe(const uint8_t* p, uint32_t n) const override;
    std::span<const uint8_t> PassedOver() const override { return {passed_.data(), passedOver_}; }
    std::vector<uint8_t> WireRequest(const uint8_t* frame, uint16_t n) const override;

    TPortKind Kind() const { return kind_; }

private:
    // What ClosePort does, also from the destructor, where no override may run.
    void CloseConnection();
    using TClock = std::chrono::steady_clock;

    // Reads and drops what the server sent unasked; false when the connection is gone.
    bool Purge();
    // Waits for readable bytes until the deadline and reads up to `room` of them:
    // the count, 0 at the deadline, -1 when the connection is gone (the port is
    // then closed) or failed.
    int Receive(uint8_t* into, uint32_t room, TClock::time_point deadline);
    bool ReadRtu(const TReplyEnd& end);
    bool ReadMbap();

    TPortKind kind_;
    TSocket socket_ = kNoSocket;
    TTimeouts timeouts_;
    TOpenFault openFault_ = TOpenFault::None;
    int openErrno_ = 0;
    uint16_t tid_ = 0;       // of the last Modbus TCP request
    uint32_t requests_ = 0;  // sent on this connection
    TClock::time_point sent_{};
    std::array<uint8_t, kMaxReplySize> rx_{};  // as received, on Modbus TCP header and all
    uint32_t received_ = 0;
    std::array<uint8_t, 2 * kMbapMaxFrame> passed_{};  // late replies the last read passed over
    uint32_t passedOver_ = 0;
};

}  // namespace vyx::net
