// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Address.h"

#include <cctype>
#include <string_view>

namespace vyx::net {
namespace {

constexpr std::string_view kTcp = "tcp://";
constexpr std::string_view kMbtcp = "mbtcp://";

bool StartsWith(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

bool ParsePort(std::string_view text, uint16_t& port) {
    if (!AllDigits(text) || text.size() > 5) return false;
    uint32_t v = 0;
    for (char c : text) v = v * 10 + static_cast<uint32_t>(c - '0');
    if (v < 1 || v > 65535) return false;
    port = static_cast<uint16_t>(v);
    return true;
}

// HOST[:PORT] or [V6][:PORT].
bool ParseHostPort(std::string_view rest, uint16_t defaultPort, TNetAddress& a) {
    std::string_view host;
    std::string_view port;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) return false;
        host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') return false;
            port = after.substr(1);
            if (port.empty()) return false;
        }
    } else {
        const size_t colon = rest.find(':');
        host = rest.substr(0, colon);
        if (colon != std::string_view::npos) {
            port = rest.substr(colon + 1);
            if (port.empty()) return false;
        }
    }
    if (host.empty()) return false;
    for (char c : host)
        if (c == '/' || c == '\\' || c == ' ' || c == '[' || c == ']' || c == '@') return false;
    uint16_t number = defaultPort;
    if (!port.empty() && !ParsePort(port, number)) return false;
    a.Host = std::string(host);
    a.Port = number;
    return true;
}

bool IsBareHostPort(std::string_view name) {
    if (name.find('/') != std::string_view::npos || name.find('\\') != std::string_view::npos) return false;
    const size_t colon = name.rfind(':');
    return colon != std::string_view::npos && colon > 0 && AllDigits(name.substr(colon + 1));
}

}  // namespace

TPortKind PortKindOf(const std::string& name) {
    if (StartsWith(name, kTcp)) return TPortKind::RtuOverTcp;
    if (StartsWith(name, kMbtcp)) return TPortKind::ModbusTcp;
    return IsBareHostPort(name) ? TPortKind::RtuOverTcp : TPortKind::Serial;
}

bool IsNetworkName(const std::string& name) { return PortKindOf(name) != TPortKind::Serial; }

bool ParseNetAddress(const std::string& name, TNetAddress& address) {
    TNetAddress a;
    a.Kind = PortKindOf(name);
    std::string_view rest = name;
    switch (a.Kind) {
        case TPortKind::Serial: return false;
        case TPortKind::RtuOverTcp:
            if (StartsWith(rest, kTcp)) rest.remove_prefix(kTcp.size());
            if (!ParseHostPort(rest, kRtuOverTcpPort, a)) return false;
            break;
        case TPortKind::ModbusTcp:
            rest.remove_prefix(kMbtcp.size());
            if (!ParseHostPort(rest, kModbusTcpPort, a)) return false;
            break;
    }
    address = a;
    return true;
}

}  // namespace vyx::net
