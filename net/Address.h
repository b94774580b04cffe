// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Port names that stand for a serial device server on the network:
//   tcp://HOST[:PORT]     RTU frames through a TCP connection (default port 4001);
//                         a bare HOST:PORT means the same
//   mbtcp://HOST[:PORT]   Modbus TCP (default port 502)
// An IPv6 address goes in brackets: tcp://[::1]:4001. Every other name is a
// serial port.
#include <cstdint>
#include <string>

namespace vyx::net {

enum class TPortKind { Serial, RtuOverTcp, ModbusTcp };

inline constexpr uint16_t kRtuOverTcpPort = 4001;
inline constexpr uint16_t kModbusTcpPort = 502;

// What the name stands for, by its prefix, or for a bare name by ending in
// ":DIGITS" with a host before it and no "/" or "\" in it.
TPortKind PortKindOf(const std::string& name);
bool IsNetworkName(const std::string& name);

struct TNetAddress {
    TPortKind Kind = TPortKind::Serial;
    std::string Host;  // without brackets
    uint16_t Port = 0;

    bool operator==(const TNetAddress&) const = default;
};

// Parses a network name; false for a serial name or a malformed one (an empty
// host, a port that is not 1 to 65535, an unclosed bracket, text after it).
bool ParseNetAddress(const std::string& name, TNetAddress& address);

}  // namespace vyx::net
