// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A device played in memory behind the port interface, for tests of what runs
// above the transaction: it answers reads from a table of 16-bit registers,
// stores writes into it and echoes them, and answers chosen requests with a
// broken CRC, an exception reply or silence. It records every request and the
// stack position of every send.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "modbus/Frame.h"
#include "port/Port.h"

namespace vyx::test {

class TScriptedPort : public TPort {
public:
    enum class TFault { Crc, Exception, Silence };

    bool Opened = true;
    // (function 3 or 4, wire address) -> register value; absent registers read 0.
    std::map<std::pair<int, int>, uint16_t> Registers;
    // Faults by request number, counted from 0.
    std::map<size_t, TFault> Faults;
    // Called before request `index` is answered, to change what it reads.
    std::function<void(size_t index)> BeforeReply;
    std::vector<std::vector<uint8_t>> Requests;
    std::vector<uintptr_t> StackMarks;

    void Set(int function, int address, uint16_t value) { Registers[{function, address}] = value; }
    uint16_t Get(int function, int address) const {
        const auto it = Registers.find({function, address});
        return it == Registers.end() ? 0 : it->second;
    }
    // Function code and wire address of request i.
    int FunctionOf(size_t i) const { return Requests.at(i).at(1); }
    int AddressOf(size_t i) const { return Requests.at(i).at(2) << 8 | Requests.at(i).at(3); }

    // Always there: opening and the time-outs are taken as they come.
    bool OpenPort(const std::string&, const std::string&) override { return Opened = true; }
    bool SetTimeouts(uint16_t ri, uint16_t rm, uint16_t rc, uint16_t wm, uint16_t wc) override {
        timeouts_ = {ri, rm, rc, wm, wc};
        return Opened;
    }
    const TTimeouts& Timeouts() const override { return timeouts_; }
    void ClosePort() override { Opened = false; }
    TOpenFault OpenFault() const override { return TOpenFault::None; }
    int OpenErrno() const override { return 0; }
    bool IsOpened() const override { return Opened; }
    uint16_t WritePort(const uint8_t* frame, uint16_t n) override {
        StackMarks.push_back(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
        Requests.emplace_back(frame, frame + n);
        return n;
    }
    // Nothing ever comes late from a device in memory.
    bool ReadLate(uint32_t) override {
        received_ = 0;
        return true;
    }
    // The whole reply comes at once, so a rule for its end changes nothing.
    bool ReadPort(const TReplyEnd&) override {
        const size_t index = Requests.size() - 1;
        const std::vector<uint8_t>& q = Requests.back();
        if (BeforeReply) BeforeReply(index);
        std::vector<uint8_t> reply = Answer(q);
        const auto fault = Faults.find(index);
        if (fault != Faults.end()) {
            if (fault->second == TFault::Silence) reply.clear();
            if (fault->second == TFault::Exception) reply = {q[0], static_cast<uint8_t>(q[1] | 0x80), 2};
        }
        if (!reply.empty()) {
            const uint16_t crc = Crc16(reply.data(), static_cast<uint16_t>(reply.size()));
            reply.push_back(static_cast<uint8_t>(crc & 0xFF));
            reply.push_back(static_cast<uint8_t>(crc >> 8));
            if (fault != Faults.end() && fault->second == TFault::Crc) reply.back() ^= 0x5A;
        }
        received_ = static_cast<uint32_t>(reply.size());
        std::fill(rx_, rx_ + sizeof rx_, 0);
        std::copy(reply.begin(), reply.end(), rx_);
        return true;
    }
    uint32_t Received() const override { return received_; }
    const uint8_t* RxBuffer() const override { return rx_; }

private:
    TTimeouts timeouts_;
    std::vector<uint8_t> Answer(const std::vector<uint8_t>& q) {
        const int function = q[1];
        const int address = q[2] << 8 | q[3];
        const int count = q[4] << 8 | q[5];
        if (function == 3 || function == 4) {
            std::vector<uint8_t> r = {q[0], q[1], static_cast<uint8_t>(2 * count)};
            for (int k = 0; k < count; ++k) {
                const uint16_t v = Get(function, address + k);
                r.push_back(static_cast<uint8_t>(v >> 8));
                r.push_back(static_cast<uint8_t>(v & 0xFF));
            }
            return r;
        }
        if (function == 6) Set(3, address, static_cast<uint16_t>(count));
        if (function == 16)
            for (int k = 0; k < count; ++k) Set(3, address + k, static_cast<uint16_t>(q[7 + 2 * k] << 8 | q[8 + 2 * k]));
        return {q.begin(), q.begin() + 6};  // 6 and 16 echo; 8 echoes its 6 bytes too
    }

    uint8_t rx_[128] = {};
    uint32_t received_ = 0;
};

}  // namespace vyx::test
