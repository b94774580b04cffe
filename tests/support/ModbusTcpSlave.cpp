// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/ModbusTcpSlave.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace vyx::test {
namespace {

uint16_t BoundPort(int fd) {
    sockaddr_in a{};
    socklen_t n = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    return ntohs(a.sin_port);
}

int ListenOnLoopback() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0)
        throw std::runtime_error("cannot listen on the loopback");
    return fd;
}

// Waits up to 20 ms for the descriptor to be readable.
bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 20) > 0;
}

}  // namespace

TModbusTcpSlave::TModbusTcpSlave(int holding) {
    // Port 0: the system picks a free one, read back from the listening socket.
    ctx_ = modbus_new_tcp("127.0.0.1", 0);
    map_ = modbus_mapping_new(0, 0, holding, 0);
    if (!ctx_ || !map_) throw std::runtime_error("libmodbus: no context");
    listener_ = modbus_tcp_listen(ctx_, 1);
    if (listener_ < 0) throw std::runtime_error("libmodbus: cannot listen");
    port_ = BoundPort(listener_);
    thread_ = std::thread(&TModbusTcpSlave::Serve, this);
}

TModbusTcpSlave::~TModbusTcpSlave() {
    stop_ = true;
    thread_.join();
    modbus_close(ctx_);
    close(listener_);
    modbus_mapping_free(map_);
    modbus_free(ctx_);
}

void TModbusTcpSlave::SetHolding(uint16_t address, uint16_t value) {
    const std::lock_guard<std::mutex> g(lock_);
    map_->tab_registers[address] = value;
}

uint16_t TModbusTcpSlave::Holding(uint16_t address) const {
    const std::lock_guard<std::mutex> g(lock_);
    return map_->tab_registers[address];
}

void TModbusTcpSlave::Serve() {
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    while (!stop_) {
        if (!Readable(listener_)) continue;
        if (modbus_tcp_accept(ctx_, &listener_) < 0) continue;
        const int client = modbus_get_socket(ctx_);
        while (!stop_) {
            if (!Readable(client)) continue;
            const int n = modbus_receive(ctx_, query);
            if (n < 0) break;  // the client has gone
            if (n == 0) continue;
            const std::lock_guard<std::mutex> g(lock_);
            modbus_reply(ctx_, query, n, map_);
        }
        modbus_close(ctx_);
    }
}

TScriptedServer::TScriptedServer(TScript script, bool close)
    : script_(std::move(script)), close_(close), listener_(ListenOnLoopback()), port_(BoundPort(listener_)) {
    thread_ = std::thread(&TScriptedServer::Serve, this);
}

TScriptedServer::~TScriptedServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
}

void TScriptedServer::Serve() {
    int client = -1;
    while (!stop_ && client < 0)
        if (Readable(listener_)) client = accept(listener_, nullptr, nullptr);
    std::vector<uint8_t> request;
    while (!stop_ && client >= 0) {
        if (!Readable(client)) {
            if (request.empty()) continue;
            // A pause after bytes: the request is in.
            const std::vector<uint8_t> reply = script_(request);
            request.clear();
            if (!reply.empty() && send(client, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) break;
            if (close_) break;
            continue;
        }
        uint8_t buf[512];
        const ssize_t n = recv(client, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.insert(request.end(), buf, buf + n);
    }
    if (client >= 0) close(client);
}

TTricklingServer::TTricklingServer(TScriptedServer::TScript script, std::chrono::milliseconds period, uint8_t fill)
    : script_(std::move(script)), period_(period), fill_(fill), listener_(ListenOnLoopback()),
      port_(BoundPort(listener_)) {
    thread_ = std::thread(&TTricklingServer::Serve, this);
}

TTricklingServer::~TTricklingServer() {
    stop_ = true;
    thread_.join();
    close(listener_);
}

void TTricklingServer::Serve() {
    int client = -1;
    while (!stop_ && client < 0)
        if (Readable(listener_)) client = accept(listener_, nullptr, nullptr);
    std::vector<uint8_t> request, reply;
    size_t sent = 0;
    while (!stop_ && client >= 0) {
        if (Readable(client)) {
            uint8_t buf[512];
            const ssize_t n = recv(client, buf, sizeof buf, 0);
            if (n <= 0) break;
            request.insert(request.end(), buf, buf + n);
            continue;
        }
        if (!request.empty()) {  // a pause after bytes: the request is in, a new reply begins
            reply = script_(request);
            request.clear();
            sent = 0;
        }
        if (reply.empty()) continue;
        const uint8_t byte = sent < reply.size() ? reply[sent] : fill_;
        ++sent;
        if (send(client, &byte, 1, MSG_NOSIGNAL) != 1) break;
        std::this_thread::sleep_for(period_);
    }
    if (client >= 0) close(client);
}

uint16_t ClosedPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const uint16_t port = BoundPort(fd);
    close(fd);
    return port;
}

}  // namespace vyx::test
