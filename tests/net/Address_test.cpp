// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Address.h"

#include <gtest/gtest.h>

namespace vyx::net {
namespace {

TEST(NetAddress, NamesChooseTheTransportAndTheirDefaults) {
    using K = TPortKind;
    const struct {
        const char* name;
        bool ok;
        TNetAddress address;
    } cases[] = {
        {"tcp://10.0.0.5", true, {K::RtuOverTcp, "10.0.0.5", 4001}},
        {"tcp://10.0.0.5:4002", true, {K::RtuOverTcp, "10.0.0.5", 4002}},
        {"TCP://gw.plant:9", true, {K::RtuOverTcp, "gw.plant", 9}},
        {"10.0.0.5:4001", true, {K::RtuOverTcp, "10.0.0.5", 4001}},
        {"[::1]:4001", true, {K::RtuOverTcp, "::1", 4001}},
        {"mbtcp://10.0.0.5", true, {K::ModbusTcp, "10.0.0.5", 502}},
        {"mbtcp://[fe80::1]:1502", true, {K::ModbusTcp, "fe80::1", 1502}},
        {"mbtcp://[::1]", true, {K::ModbusTcp, "::1", 502}},
        {"tcp://host:0", false, {}},
        {"tcp://host:65536", false, {}},
        {"tcp://host:", false, {}},
        {"tcp://:4001", false, {}},
        {"mbtcp://[::1", false, {}},
        {"mbtcp://[::1]x", false, {}},
        {"tcp://a b:1", false, {}},
        {"/dev/ttyUSB0", false, {}},
        {"ttyUSB0", false, {}},
        {"COM3", false, {}},
    };
    for (const auto& c : cases) {
        TNetAddress a;
        EXPECT_EQ(ParseNetAddress(c.name, a), c.ok) << c.name;
        if (c.ok) {
            EXPECT_EQ(a, c.address) << c.name;
        }
    }
}

TEST(NetAddress, SerialNamesStaySerial) {
    for (const char* name : {"/dev/ttyUSB0", "ttyS0", "COM3", "/dev/serial/by-id/usb-FTDI:1", "a:b", ""})
        EXPECT_FALSE(IsNetworkName(name)) << name;
    for (const char* name : {"tcp://x", "mbtcp://x", "gw:4001", "tcp://host:99999"}) EXPECT_TRUE(IsNetworkName(name)) << name;
}

}  // namespace
}  // namespace vyx::net
