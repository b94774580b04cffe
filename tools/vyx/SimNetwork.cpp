// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/vyx/SimNetwork.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "modbus/Frame.h"
#include "tools/vyx/SimWire.h"

namespace vyx::sim {
namespace {

bool IsLoopback(const sockaddr* a) {
    if (a->sa_family == AF_INET)
        return (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) == 127;
    if (a->sa_family == AF_INET6) return IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr);
    return false;
}


// Reads exactly n bytes of a connection; false once it is closed, or at the stop.
bool ReadExactly(int fd, uint8_t* into, int n) {
    for (int got = 0; got < n;) {
        if (gStop) return false;
        pollfd p{fd, POLLIN, 0};
        const int r = poll(&p, 1, 200);
        if (r < 0 && errno != EINTR) return false;
        if (r <= 0) continue;
        const ssize_t k = read(fd, into + got, static_cast<size_t>(n - got));
        if (k == 0 || (k < 0 && errno != EINTR && errno != EAGAIN)) return false;
        if (k > 0) got += static_cast<int>(k);
    }
    return true;
}

// One client of the RTU over TCP port: frames as on the line.
void ServeRtu(int fd, const TAnswer& answer, long baud) {
    uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    uint8_t reply[MODBUS_RTU_MAX_ADU_LENGTH + 8];
    TCarry carry;
    while (!gStop) {
        int n = ReceiveFrame(fd, request, sizeof request, carry, true);
        if (n < 0) return;
        if (n == 0) continue;
        const int expected = RequestLength(request, n);
        if (expected > 0 && n > expected) n = expected;
        const int length = answer(request, n, reply);
        if (length > 0) Send(fd, reply, length, baud);
    }
}

// One client of the Modbus TCP port: each request's MBAP header is taken off
// and the reply gets it back; a client whose header is garbled is dropped.
void ServeMbap(int fd, const TAnswer& answer, long baud) {
    uint8_t adu[6 + 256];
    uint8_t request[256 + 2];
    uint8_t reply[MODBUS_RTU_MAX_ADU_LENGTH + 8];
    uint8_t wire[sizeof reply + 6];
    while (!gStop) {
        if (!ReadExactly(fd, adu, 6)) return;
        const int length = adu[4] << 8 | adu[5];
        if (adu[2] != 0 || adu[3] != 0 || length < 2 || length > 254) return;
        if (!ReadExactly(fd, adu + 6, length)) return;
        std::memcpy(request, adu + 6, static_cast<size_t>(length));
        const uint16_t crc = vyx::Crc16(request, static_cast<uint16_t>(length));
        request[length] = static_cast<uint8_t>(crc & 0xFF);
        request[length + 1] = static_cast<uint8_t>(crc >> 8);
        const int n = answer(request, length + 2, reply);
        if (n < 4) continue;
        // No CRC travels here: a broken one is sent as a damaged header.
        const bool damaged = !vyx::CheckCrc(reply, static_cast<uint16_t>(n));
        const int body = n - 2;
        wire[0] = adu[0], wire[1] = adu[1];
        wire[2] = wire[3] = damaged ? 0x5A : 0;
        wire[4] = static_cast<uint8_t>(body >> 8), wire[5] = static_cast<uint8_t>(body);
        std::memcpy(wire + 6, reply, static_cast<size_t>(body));
        Send(fd, wire, 6 + body, baud);
    }
}

}  // namespace

// Binds `[HOST:]PORT` (HOST numeric, "localhost", or an IPv6 address in
// brackets); throws std::invalid_argument for a bad text or a HOST off the
// loopback without `any`, std::runtime_error when the system refuses.
void Listen(const std::string& option, const std::string& text, bool any, TListener& l) {
    std::string host = "127.0.0.1";
    std::string port = text;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find("]:");
        if (close == std::string::npos) throw std::invalid_argument(option + " needs [HOST:]PORT");
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const size_t colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host == "localhost") host = "127.0.0.1";
    char* end = nullptr;
    const long number = std::strtol(port.c_str(), &end, 10);
    if (port.empty() || *end || number < 0 || number > 65535)
        throw std::invalid_argument(option + ": '" + port + "' is not a port from 0 to 65535");
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), port.c_str(), &hints, &list) != 0 || !list)
        throw std::invalid_argument(option + ": '" + host + "' is not a numeric address");
    const std::unique_ptr<addrinfo, void (*)(addrinfo*)> owned(list, freeaddrinfo);
    if (!any && !IsLoopback(list->ai_addr))
        throw std::invalid_argument(option + ": " + host +
                                    " is not the loopback; give --listen-any to serve the network");
    l.fd = socket(list->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (l.fd < 0 || setsockopt(l.fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(l.fd, list->ai_addr, list->ai_addrlen) != 0 || listen(l.fd, 8) != 0)
        throw std::runtime_error("cannot listen on " + text + ": " + std::strerror(errno));
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(l.fd, reinterpret_cast<sockaddr*>(&bound), &length);
    const int boundPort = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                                      : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    const std::string shown = list->ai_family == AF_INET6 ? "[" + host + "]" : host;
    l.name = std::string(l.mbtcp ? "mbtcp://" : "tcp://") + shown + ":" + std::to_string(boundPort);
}

// Accepts clients until the stop, each served in a thread of its own (up to 16 at once).
void Accept(const TListener& l, const TAnswer& answer, long baud) {
    std::vector<std::thread> clients;
    std::atomic<int> live{0};
    while (!gStop) {
        pollfd p{l.fd, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        const int fd = accept4(l.fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        if (live >= 16) {
            close(fd);
            continue;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ++live;
        clients.emplace_back([fd, &l, &answer, &live, baud] {
            if (l.mbtcp)
                ServeMbap(fd, answer, baud);
            else
                ServeRtu(fd, answer, baud);
            close(fd);
            --live;
        });
    }
    for (std::thread& t : clients) t.join();
}

}  // namespace vyx::sim
