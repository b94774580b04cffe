// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The port that the window and the service sessions hold: one object for the
// whole run, which the transaction is given once, while the name of each open
// chooses what is behind it (net/Address.h): a serial line (TSerial), RTU over
// TCP or Modbus TCP (net::TNetPort). Com mirrors the state of the port behind it.
#include <memory>
#include <string>

#include "net/Address.h"
#include "port/LineSettings.h"
#include "port/Port.h"

namespace vyx {

// A new closed port of the kind the name stands for.
std::unique_ptr<TPort> MakePort(const std::string& name);

// What opens the port of a typed name: a network name as it is, a serial name
// as serial/Serial.h's PortPathFromName makes it.
std::string PortPathOf(const std::string& name);

// What opening a port by name came to.
struct TOpened {
    bool Opened = false;           // the port opened and took its time-outs
    TOpenFault Fault = TOpenFault::None;
    int Error = 0;                 // the system's code of a System fault
    bool TimeoutsRefused = false;  // it opened but refused its time-outs, and was closed again
    bool Network = false;
    std::string Path;              // what was opened (PortPathOf the name)
};

class TAnyPort : public TPort {
public:
    TAnyPort();
    ~TAnyPort() override;

    // Opens the port a technician names (a path, a name under /dev or COM3, or a
    // network name of net/Address.h) with the line's mode and reply wait. The
    // reply wait is known before a network port connects, as it bounds the
    // connecting too. Every face of the program opens a port this way.
    TOpened Open(const std::string& name, const TLineSettings& line);
    // The read's time-outs for a reply wait: the wait is the read's total
    // constant; the inter-byte gap (30 ms) and the write time-out (30 ms) stay.
    // A port that refuses them is closed (Com.TimeoutFault); false then.
    bool ApplyReplyWait(uint16_t waitMs);

    bool OpenPort(const std::string& path, const std::string& mode) override;
    // Also kept while the port is closed, for the next network connection's bound.
    bool SetTimeouts(uint16_t ri, uint16_t rm, uint16_t rc, uint16_t wm, uint16_t wc) override;
    const TTimeouts& Timeouts() const override;
    void ClosePort() override;
    TOpenFault OpenFault() const override { return port_->OpenFault(); }
    int OpenErrno() const override { return port_->OpenErrno(); }

    bool IsOpened() const override { return port_->IsOpened(); }
    uint16_t WritePort(const uint8_t* frame, uint16_t n) override;
    bool ReadPort(const TReplyEnd& end) override;
    using TPort::ReadPort;
    bool ReadLate(uint32_t waitMs) override;
    bool LineFramed() const override { return port_->LineFramed(); }
    uint32_t Received() const override { return port_->Received(); }
    const uint8_t* RxBuffer() const override { return port_->RxBuffer(); }
    std::vector<uint8_t> WireRequest(const uint8_t* frame, uint16_t n) const override {
        return port_->WireRequest(frame, n);
    }
    std::optional<TUnframed> Unframe(const uint8_t* p, uint32_t n) const override { return port_->Unframe(p, n); }
    std::span<const uint8_t> PassedOver() const override { return port_->PassedOver(); }

    // The kind of the port last opened (a serial line before any).
    net::TPortKind Kind() const { return kind_; }
    bool IsNetwork() const { return kind_ != net::TPortKind::Serial; }

    TCOM Com;

private:
    void Mirror();
    bool SetReplyWait(uint16_t waitMs);

    net::TPortKind kind_ = net::TPortKind::Serial;
    std::unique_ptr<TPort> port_;
    TTimeouts wanted_;  // the last time-outs asked for
};

}  // namespace vyx
