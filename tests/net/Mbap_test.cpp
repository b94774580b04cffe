// SPDX-License-Identifier: GPL-3.0-or-later
// The byte vectors are written out by hand from the Modbus TCP framing (and,
// for the CRCs, as libmodbus sends them on a serial line).
#include "net/Mbap.h"

#include <gtest/gtest.h>

#include <vector>

#include "modbus/Frame.h"

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

TEST(Mbap, AReplyOutOfItsFrameOrItsDamageNamed) {
    const struct {
        Bytes bytes;
        const char* polish;  // empty: unit 247 and a PDU of 4 bytes
        const char* english;
    } cases[] = {
        {{0x00, 0x07, 0x00, 0x00, 0x00, 0x05, 0xF7, 0x03, 0x02, 0x00, 0x2A}, "", ""},
        {{0x00, 0x07, 0x00, 0x01, 0x00, 0x05, 0xF7, 0x03, 0x02, 0x00, 0x2A}, "nagłówek MBAP (protokół 1)",
         "MBAP header (protocol 1)"},
        {{0x00, 0x07, 0x00, 0x00, 0x00, 0x00}, "nagłówek MBAP (długość 0)", "MBAP header (length 0)"},
        {{0x00, 0x07, 0x00, 0x00, 0xFF, 0xFF}, "nagłówek MBAP (długość 65535)", "MBAP header (length 65535)"},
        {{0x00, 0x07, 0x00}, "nagłówek MBAP niepełny (3 z 7 bajtów)", "MBAP header incomplete (3 of 7 bytes)"},
        {{0x00, 0x07, 0x00, 0x00, 0x00, 0x05, 0xF7, 0x03, 0x02}, "ramka MBAP niepełna (9 z 11 bajtów)",
         "MBAP frame incomplete (9 of 11 bytes)"},
        {{0x00, 0x09, 0x00, 0x00, 0x00, 0x05, 0xF7, 0x03, 0x02, 0x00, 0x2A},
         "nagłówek MBAP (identyfikator transakcji 9 zamiast 7)", "MBAP header (transaction id 9 instead of 7)"},
    };
    for (const auto& c : cases) {
        const TUnframed u = UnframeMbap(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()), 7);
        const std::string hex = HexDump(c.bytes.data(), static_cast<uint16_t>(c.bytes.size()));
        EXPECT_EQ(u.DetailPl, c.polish) << hex;
        EXPECT_EQ(u.DetailEn, c.english) << hex;
        EXPECT_EQ(u.Fault, *c.polish ? TFrameFault::Header : TFrameFault::None) << hex;
        if (!*c.polish) {
            EXPECT_EQ(u.Unit, 0xF7);
            EXPECT_EQ(Bytes(u.Pdu, u.Pdu + u.PduSize), (Bytes{0x03, 0x02, 0x00, 0x2A}));
        }
    }
}

TEST(Mbap, OnlyTheLastSixteenRequestsSentHaveLateReplies) {
    EXPECT_TRUE(MbapLate(6, 7, 6));
    EXPECT_TRUE(MbapLate(0xFFFF, 1, 2));  // across the wrap of the id
    EXPECT_FALSE(MbapLate(6, 7, 0));      // nothing went before
    EXPECT_FALSE(MbapLate(7, 7, 6));
    EXPECT_FALSE(MbapLate(8, 7, 6));      // never sent
    EXPECT_FALSE(MbapLate(2, 20, 19));    // too long ago
}

}  // namespace
}  // namespace vyx::net
