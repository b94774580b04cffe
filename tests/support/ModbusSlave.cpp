// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ModbusSlave.h"

#include <modbus/modbus.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>

namespace vyx::test {

TModbusSlave::TModbusSlave(int slave, int holding, int input) : Holding_(holding), Input_(input) {
    // The device name is never opened: the pseudo-terminal's master is handed over
    // as the context's descriptor.
    Ctx_ = modbus_new_rtu("/dev/null", 19200, 'E', 8, 1);
    if (Ctx_ == nullptr) throw std::runtime_error("modbus_new_rtu failed");
    Map_ = modbus_mapping_new(0, 0, holding, input);
    if (Map_ == nullptr) {
        modbus_free(Ctx_);
        throw std::runtime_error("modbus_mapping_new failed");
    }
    modbus_set_slave(Ctx_, slave);
    modbus_set_socket(Ctx_, Pty_.MasterFd());
    // libmodbus retries select on EINTR, so the stop flag is polled through a
    // bounded wait for a request; a frame cut short is dropped after 20 ms, well
    // before a client that got no reply sends its next request.
    modbus_set_indication_timeout(Ctx_, 0, 20000);
    modbus_set_byte_timeout(Ctx_, 0, 20000);
    modbus_set_response_timeout(Ctx_, 0, 500000);
    Thread_ = std::thread(&TModbusSlave::Serve, this);
}

TModbusSlave::~TModbusSlave() {
    Stop();
    modbus_mapping_free(Map_);
    modbus_free(Ctx_);
}

void TModbusSlave::Stop() {
    Stop_ = true;
    if (Thread_.joinable()) Thread_.join();
}

void TModbusSlave::Serve() {
    uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    const int fd = Pty_.MasterFd();
    while (!Stop_) {
        // Wait for a request here, so that a failed receive below is known to be
        // about bytes that came, not about the wait.
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;

        const int length = modbus_receive(Ctx_, request);
        if (length <= 0) {
            // A request for another slave (0), a bad CRC or a cut frame (-1): drop
            // what is left of it.
            tcflush(fd, TCIFLUSH);
            if (length == 0) {
                // After a request for another slave libmodbus takes the next
                // message for that slave's reply and swallows it; let that wait
                // end at once, as no other slave answers here.
                modbus_set_response_timeout(Ctx_, 0, 1);
                modbus_receive(Ctx_, request);
                modbus_set_response_timeout(Ctx_, 0, 500000);
                tcflush(fd, TCIFLUSH);
            }
            std::lock_guard lock(Mutex_);
            ++Dropped_;
            continue;
        }

        std::lock_guard lock(Mutex_);
        ++Requests_;
        LastRequest_.assign(request, request + length);
        if (Skip_ > 0) {
            --Skip_;
            continue;
        }
        if (!RawReplies_.empty()) {
            const Bytes raw = std::move(RawReplies_.front());
            RawReplies_.pop_front();
            try {
                Pty_.Send(raw);
            } catch (const std::exception&) {
            }
            continue;
        }
        std::vector<std::pair<uint16_t, uint16_t>> kept;
        for (const uint16_t a : Kept_) kept.emplace_back(a, Map_->tab_registers[a]);
        modbus_reply(Ctx_, request, length, Map_);
        for (const auto& [a, value] : kept) Map_->tab_registers[a] = value;
    }
}

void TModbusSlave::SetHolding(uint16_t address, uint16_t value) { SetHolding(address, std::vector{value}); }

void TModbusSlave::SetHolding(uint16_t address, const std::vector<uint16_t>& values) {
    std::lock_guard lock(Mutex_);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (address + i >= static_cast<std::size_t>(Holding_)) throw std::out_of_range("holding register");
        Map_->tab_registers[address + i] = values[i];
    }
}

uint16_t TModbusSlave::Holding(uint16_t address) const {
    std::lock_guard lock(Mutex_);
    if (address >= Holding_) throw std::out_of_range("holding register");
    return Map_->tab_registers[address];
}

void TModbusSlave::SetInput(uint16_t address, uint16_t value) { SetInput(address, std::vector{value}); }

void TModbusSlave::SetInput(uint16_t address, const std::vector<uint16_t>& values) {
    std::lock_guard lock(Mutex_);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (address + i >= static_cast<std::size_t>(Input_)) throw std::out_of_range("input register");
        Map_->tab_input_registers[address + i] = values[i];
    }
}

uint16_t TModbusSlave::Input(uint16_t address) const {
    std::lock_guard lock(Mutex_);
    if (address >= Input_) throw std::out_of_range("input register");
    return Map_->tab_input_registers[address];
}

void TModbusSlave::ReplyRawOnce(Bytes raw) {
    std::lock_guard lock(Mutex_);
    RawReplies_.push_back(std::move(raw));
}

void TModbusSlave::SkipReplies(int count) {
    std::lock_guard lock(Mutex_);
    Skip_ = count;
}

void TModbusSlave::KeepHolding(uint16_t address, uint16_t count) {
    std::lock_guard lock(Mutex_);
    for (uint16_t i = 0; i < count; ++i) {
        if (address + i >= Holding_) throw std::out_of_range("holding register");
        Kept_.insert(static_cast<uint16_t>(address + i));
    }
}

int TModbusSlave::DroppedCount() const {
    std::lock_guard lock(Mutex_);
    return Dropped_;
}

bool TModbusSlave::WaitDropped(int count, std::chrono::milliseconds limit) const {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (DroppedCount() < count) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

int TModbusSlave::RequestCount() const {
    std::lock_guard lock(Mutex_);
    return Requests_;
}

Bytes TModbusSlave::LastRequest() const {
    std::lock_guard lock(Mutex_);
    return LastRequest_;
}

}  // namespace vyx::test
