// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Servers on the loopback for tests of the network ports:
//  - a real libmodbus Modbus TCP server (modbus_tcp_listen, modbus_tcp_accept,
//    modbus_receive, modbus_reply) served from a thread of the test;
//  - a scripted server that takes one client, reads one request and answers it
//    with the bytes a test makes from that request, then may close;
//  - a trickling server that answers each request of its one client a byte at
//    a time, without end.
// Both listen on 127.0.0.1 at a port the system picks (Port()).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <modbus/modbus.h>

namespace vyx::test {

class TModbusTcpSlave {
public:
    explicit TModbusTcpSlave(int holding = 0x100);
    ~TModbusTcpSlave();
    TModbusTcpSlave(const TModbusTcpSlave&) = delete;
    TModbusTcpSlave& operator=(const TModbusTcpSlave&) = delete;

    uint16_t Port() const { return port_; }
    void SetHolding(uint16_t address, uint16_t value);
    uint16_t Holding(uint16_t address) const;

private:
    void Serve();

    modbus_t* ctx_ = nullptr;
    modbus_mapping_t* map_ = nullptr;
    int listener_ = -1;
    uint16_t port_ = 0;
    mutable std::mutex lock_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class TScriptedServer {
public:
    // The reply's bytes from the request's; the server closes the connection
    // after sending them when `close` is set.
    using TScript = std::function<std::vector<uint8_t>(const std::vector<uint8_t>& request)>;
    TScriptedServer(TScript script, bool close);
    ~TScriptedServer();
    TScriptedServer(const TScriptedServer&) = delete;
    TScriptedServer& operator=(const TScriptedServer&) = delete;

    uint16_t Port() const { return port_; }

private:
    void Serve();

    TScript script_;
    bool close_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class TTricklingServer {
public:
    // Sends the script's bytes for each request, then `fill` bytes, one every
    // `period` (and a little more), until the client goes or the server ends.
    TTricklingServer(TScriptedServer::TScript script, std::chrono::milliseconds period, uint8_t fill);
    ~TTricklingServer();
    TTricklingServer(const TTricklingServer&) = delete;
    TTricklingServer& operator=(const TTricklingServer&) = delete;

    uint16_t Port() const { return port_; }

private:
    void Serve();

    TScriptedServer::TScript script_;
    std::chrono::milliseconds period_;
    uint8_t fill_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound, never listened on, then
// released: the next connection there is refused).
uint16_t ClosedPort();

}  // namespace vyx::test
