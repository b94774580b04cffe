// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulator on the network: listening sockets, bound to the loopback unless
// allowed anywhere, and the connections they accept, served as RTU over TCP or
// as Modbus TCP with the same answers as the terminal's.
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <string>

namespace vyx::sim {

// A device's reply to one request in RTU form (CRC included, perhaps broken by
// the fault injection); 0 for none. Shared by the terminal and every connection.
using TAnswer = std::function<int(uint8_t* request, int n, uint8_t* reply)>;

// A listening socket on the loopback (or, when allowed, anywhere).
struct TListener {
    int fd = -1;
    bool mbtcp = false;
    std::string name;  // tcp://HOST:PORT as bound

    ~TListener() {
        if (fd >= 0) close(fd);
    }
};

// Binds `[HOST:]PORT` (HOST numeric, "localhost", or an IPv6 address in
// brackets); throws std::invalid_argument for a bad text or a HOST off the
// loopback without `any`, std::runtime_error when the system refuses.
void Listen(const std::string& option, const std::string& text, bool any, TListener& l);
// Accepts clients until the stop, each served in a thread of its own (up to 16 at once).
void Accept(const TListener& l, const TAnswer& answer, long baud);

}  // namespace vyx::sim
