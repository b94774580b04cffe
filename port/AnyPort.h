// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The port that the window and the service sessions hold: one object for the
// whole run, which the transaction is given once, while the name of each open
// chooses what is behind it (net/Address.h): a serial line (TSerial), RTU over
// TCP or Modbus TCP (net::TNetPort). Com mirrors the state of the port behind it.
#include <memory>
#include <string>

#include "net/Address.h"
#include "port/Port.h"

namespace vyx {

// A new closed port of the kind the name stands for.
std::unique_ptr<TPort> MakePort(const std::string& name);

// What opens the port of a typed name: a network name as it is, a serial name
// as serial/Serial.h's PortPathFromName makes it.
std::string PortPathOf(const std::string& name);

class TAnyPort : public TPort {
public:
    TAnyPort();
    ~TAnyPort() override;

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

    net::TPortKind kind_ = net::TPortKind::Serial;
    std::unique_ptr<TPort> port_;
    TTimeouts wanted_;  // the last time-outs asked for
};

}  // namespace vyx
