// SPDX-License-Identifier: GPL-3.0-or-later
#include "port/AnyPort.h"

#include "net/NetPort.h"
#include "serial/Serial.h"

namespace vyx {

std::unique_ptr<TPort> MakePort(const std::string& name) {
    const net::TPortKind kind = net::PortKindOf(name);
    if (kind == net::TPortKind::Serial) return std::make_unique<TSerial>();
    return std::make_unique<net::TNetPort>(kind);
}

std::string PortPathOf(const std::string& name) { return net::IsNetworkName(name) ? name : PortPathFromName(name); }

TAnyPort::TAnyPort() : port_(std::make_unique<TSerial>()) {}
TAnyPort::~TAnyPort() = default;

void TAnyPort::Mirror() {
    Com.Opened = port_->IsOpened();
    Com.Received = port_->Received();
}

TOpened TAnyPort::Open(const std::string& name, const TLineSettings& line) {
    TOpened opened;
    opened.Path = PortPathOf(name);
    Com.PortPath = opened.Path;
    Com.ModeText = line.Mode;
    SetReplyWait(line.ReplyWaitMs);  // kept while closed: it bounds a network port's connecting
    const bool open = OpenPort(opened.Path, line.Mode);
    opened.Fault = OpenFault();
    opened.Error = OpenErrno();
    opened.Network = IsNetwork();
    opened.TimeoutsRefused = open && !ApplyReplyWait(line.ReplyWaitMs);
    opened.Opened = open && !opened.TimeoutsRefused;
    return opened;
}

bool TAnyPort::SetReplyWait(uint16_t waitMs) { return SetTimeouts(30, 0, waitMs, 0, 30); }

bool TAnyPort::ApplyReplyWait(uint16_t waitMs) {
    const bool applied = SetReplyWait(waitMs);
    Com.TimeoutFault = applied ? 0 : 1;
    if (!applied) ClosePort();
    return applied;
}

bool TAnyPort::OpenPort(const std::string& path, const std::string& mode) {
    ClosePort();
    const net::TPortKind kind = net::PortKindOf(path);
    if (kind != kind_) {
        port_ = MakePort(path);
        kind_ = kind;
    }
    if (auto* network = dynamic_cast<net::TNetPort*>(port_.get())) network->PresetTimeouts(wanted_);
    const bool opened = port_->OpenPort(path, mode);
    Mirror();
    return opened;
}

bool TAnyPort::SetTimeouts(uint16_t ri, uint16_t rm, uint16_t rc, uint16_t wm, uint16_t wc) {
    wanted_ = {ri, rm, rc, wm, wc};
    const bool applied = port_->SetTimeouts(ri, rm, rc, wm, wc);
    Mirror();
    return applied;
}

const TTimeouts& TAnyPort::Timeouts() const { return port_->Timeouts(); }

void TAnyPort::ClosePort() {
    port_->ClosePort();
    Mirror();
}

uint16_t TAnyPort::WritePort(const uint8_t* frame, uint16_t n) {
    const uint16_t written = port_->WritePort(frame, n);
    Com.Written = written;
    Mirror();
    return written;
}

bool TAnyPort::ReadPort(const TReplyEnd& end) {
    const bool read = port_->ReadPort(end);
    Mirror();
    return read;
}

bool TAnyPort::ReadLate(uint32_t waitMs) {
    const bool read = port_->ReadLate(waitMs);
    Mirror();
    return read;
}

}  // namespace vyx
