// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A real libmodbus RTU slave on a pseudo-terminal, served from a thread of the
// test. The client under test opens SlavePath(); the test sets and reads the
// slave's holding and input registers (wire addresses 0 and up).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include <modbus/modbus.h>

#include "tests/support/Pty.h"

namespace vyx::test {

class TModbusSlave {
public:
    // Serves slave address `slave` with `holding` holding and `input` input
    // registers (requests beyond them get the "illegal data address" exception).
    // Requests for other addresses are ignored, garbage is dropped.
    explicit TModbusSlave(int slave = 247, int holding = 0x10000, int input = 0x10000);
    ~TModbusSlave();
    TModbusSlave(const TModbusSlave&) = delete;
    TModbusSlave& operator=(const TModbusSlave&) = delete;

    const std::string& SlavePath() const { return Pty_.SlavePath(); }
    TPty& Pty() { return Pty_; }

    void SetHolding(uint16_t address, uint16_t value);
    void SetHolding(uint16_t address, const std::vector<uint16_t>& values);
    uint16_t Holding(uint16_t address) const;
    void SetInput(uint16_t address, uint16_t value);
    void SetInput(uint16_t address, const std::vector<uint16_t>& values);
    uint16_t Input(uint16_t address) const;

    // The next request for this slave is answered with these bytes as they
    // stand (no CRC added) instead of libmodbus's reply.
    void ReplyRawOnce(Bytes raw);
    // The next `count` requests for this slave get no reply at all.
    void SkipReplies(int count);
    // Writes into these holding registers are acknowledged and not stored, as by
    // a device that silently refuses a parameter.
    void KeepHolding(uint16_t address, uint16_t count = 1);

    // Frames dropped (another slave's, a bad CRC, garbage), each counted once
    // the slave has thrown away all of it. A test that sends such a frame waits
    // for it before the next one, which a late drop would take with it.
    int DroppedCount() const;
    bool WaitDropped(int count, std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

    // Requests for this slave with a good CRC, and the last of them.
    int RequestCount() const;
    Bytes LastRequest() const;

    // Ends the serving thread; the destructor calls it.
    void Stop();

private:
    void Serve();

    TPty Pty_;
    modbus_t* Ctx_ = nullptr;
    modbus_mapping_t* Map_ = nullptr;
    int Holding_;
    int Input_;
    mutable std::mutex Mutex_;
    std::deque<Bytes> RawReplies_;
    int Skip_ = 0;
    std::set<uint16_t> Kept_;
    int Requests_ = 0;
    int Dropped_ = 0;
    Bytes LastRequest_;
    std::atomic<bool> Stop_{false};
    std::thread Thread_;
};

}  // namespace vyx::test
