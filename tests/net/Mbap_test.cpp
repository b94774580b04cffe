// SPDX-License-Identifier: GPL-3.0-or-later
// The byte vectors are written out by hand from the Modbus TCP framing (and,
// for the CRCs, as libmodbus sends them on a serial line).
#include "net/Mbap.h"

#include <gtest/gtest.h>

#include <vector>

#include "modbus/Frame.h"
#include "serial/Port.h"

namespace vyx::net {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(Mbap, RequestDropsTheCrcAndTakesTheAddressAsUnitId) {
    const Bytes rtu = {0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x9C};
    Bytes out(rtu.size() + 4);
    out.resize(MbapRequest(0x1234, rtu.data(), static_cast<uint32_t>(rtu.size()), out.data()));
    EXPECT_EQ(out, (Bytes{0x12, 0x34, 0, 0, 0, 6, 0xF7, 0x03, 0x00, 0x00, 0x00, 0x01}));
    EXPECT_EQ(MbapRequest(1, rtu.data(), 3, out.data()), 0u);
}

TEST(Mbap, ReplyHeaderStates) {
    using S = TMbapState;
    const struct {
        Bytes bytes;
        S state;
        uint32_t frame;
    } cases[] = {
        {{0x00, 0x07, 0x00, 0x00, 0x00}, S::NeedMore, 0},
        {{0x00, 0x07, 0x00, 0x00, 0x00, 0x05, 0xF7, 0x03}, S::NeedMore, 11},
        {{0x00, 0x07, 0x00, 0x00, 0x00, 0x05, 0xF7, 0x03, 0x02, 0x00, 0x2A}, S::Complete, 11},
        {{0x00, 0x06, 0x00, 0x00, 0x00, 0x05, 0xF7, 0x03, 0x02, 0x00, 0x2A}, S::Other, 11},
        {{0x00, 0x07, 0x00, 0x01, 0x00, 0x05}, S::BadProtocol, 0},
        {{0x00, 0x07, 0x00, 0x00, 0x00, 0xFF}, S::BadLength, 0},
        {{0x00, 0x07, 0x00, 0x00, 0xFF, 0xFF}, S::BadLength, 0},
        {{0x00, 0x07, 0x00, 0x00, 0x00, 0x01}, S::BadLength, 0},
        {{0x00, 0x07, 0x00, 0x00, 0x00, 0xFE}, S::NeedMore, 260},
    };
    for (const auto& c : cases) {
        const TMbapReply r = CheckMbapReply(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), 7);
        EXPECT_EQ(r.State, c.state) << HexDump(c.bytes.data(), static_cast<uint16_t>(c.bytes.size()));
        EXPECT_EQ(r.Frame, c.frame) << HexDump(c.bytes.data(), static_cast<uint16_t>(c.bytes.size()));
    }
}

TEST(Mbap, ReplyBecomesTheLineFormWithItsCrc) {
    // libmodbus on the line: F7 03 02 00 00 70 51.
    const Bytes mbap = {0x00, 0x01, 0x00, 0x00, 0x00, 0x05, 0xF7, 0x03, 0x02, 0x00, 0x00};
    uint8_t rtu[kPortBufferSize];
    ASSERT_EQ(MbapToRtu(mbap.data(), 11, rtu, sizeof rtu), 7u);
    EXPECT_EQ(Bytes(rtu, rtu + 7), (Bytes{0xF7, 0x03, 0x02, 0x00, 0x00, 0x70, 0x51}));
}

TEST(Mbap, SixtyOneRegistersFitTheBufferAndMoreNeverPassForGood) {
    for (const uint32_t registers : {61u, 62u, 125u}) {
        Bytes mbap = {0, 1, 0, 0, 0, static_cast<uint8_t>(3 + 2 * registers), 0xF7, 0x03,
                      static_cast<uint8_t>(2 * registers)};
        mbap.resize(9 + 2 * registers, 0x11);
        uint8_t rtu[kPortBufferSize];
        const uint32_t n = MbapToRtu(mbap.data(), static_cast<uint32_t>(mbap.size()), rtu, sizeof rtu);
        EXPECT_EQ(n, std::min<uint32_t>(static_cast<uint32_t>(mbap.size()) - 4, kPortBufferSize)) << registers;
        EXPECT_EQ(CheckCrc(rtu, static_cast<uint16_t>(n)), registers == 61) << registers;
    }
}

}  // namespace
}  // namespace vyx::net
