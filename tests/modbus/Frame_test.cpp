// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "modbus/Frame.h"
#include "tests/support/Wire.h"

using namespace vyx;
using Bytes = std::vector<uint8_t>;
using vyx::test::Join;

namespace {

uint16_t Crc(const Bytes& b) { return Crc16(b.data(), static_cast<uint16_t>(b.size())); }

}  // namespace

// Vectors from the Modbus documentation and a CRC-16/MODBUS catalogue, not from this code.
TEST(Crc16, KnownVectors) {
    const struct {
        Bytes bytes;
        uint16_t crc;
    } cases[] = {
        {{'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0x4B37},
        {{}, 0xFFFF},
        {{0x01, 0x03, 0x00, 0x00, 0x00, 0x01}, 0x0A84},
        {{0xF7, 0x03, 0x00, 0x00, 0x00, 0x01}, 0x9C90},
        {{0x11, 0x03, 0x00, 0x6B, 0x00, 0x03}, 0x8776},
        {{0x01, 0x03, 0x00, 0x00, 0x00, 0x0A}, 0xCDC5},
        {{0xF7, 0x08, 0x00, 0x01, 0xFF, 0x00}, 0xADE4},
    };
    for (const auto& c : cases) EXPECT_EQ(Crc(c.bytes), c.crc);
}

TEST(Frame, AppendCrcLowByteFirst) {
    const struct {
        Bytes frame;
        uint8_t lo, hi;
    } cases[] = {{{0x01, 0x03, 0x00, 0x00, 0x00, 0x01}, 0x84, 0x0A},
                 {{0xF7, 0x03, 0x00, 0x00, 0x00, 0x01}, 0x90, 0x9C}};
    for (const auto& c : cases) {
        TFrame f;
        std::memcpy(f.TxBuf.data(), c.frame.data(), c.frame.size());
        f.FrameLength = 6;
        f.AppendCrc();
        EXPECT_EQ(f.FrameLength, 8);
        EXPECT_EQ(f.TxBuf[6], c.lo);
        EXPECT_EQ(f.TxBuf[7], c.hi);
        EXPECT_EQ(f.FrameCrc, c.hi << 8 | c.lo);
    }
}

TEST(CheckCrc, GoodFrameAndEverySingleByteChange) {
    const Bytes good = {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    EXPECT_TRUE(CheckCrc(good.data(), 8));
    for (size_t i = 0; i < good.size(); ++i) {
        for (int flip : {0x01, 0x80, 0xFF}) {
            Bytes bad = good;
            bad[i] ^= static_cast<uint8_t>(flip);
            EXPECT_FALSE(CheckCrc(bad.data(), 8)) << "byte " << i << " xor " << flip;
        }
    }
}

TEST(CheckCrc, ShortCounts) {
    const Bytes ffff = {0xFF, 0xFF};
    EXPECT_TRUE(CheckCrc(ffff.data(), 2));  // the CRC of nothing is FFFF
    const Bytes other = {0xFF, 0xFE};
    EXPECT_FALSE(CheckCrc(other.data(), 2));
    EXPECT_FALSE(CheckCrc(ffff.data(), 1));
    EXPECT_FALSE(CheckCrc(ffff.data(), 0));
}

TEST(LastWord, LowByteFirst) {
    const Bytes b = {0x00, 0x12, 0x34};
    EXPECT_EQ(LastWord(b.data(), 3), 0x3412);
}

TEST(HexDump, Texts) {
    const Bytes b = {0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x9C};
    EXPECT_EQ(HexDump(b.data(), 8), "$F70300000001909C");
    EXPECT_EQ(HexDump(b.data(), 0), "$");
    const Bytes all = {0x0A, 0xBC, 0xDE, 0xF0};
    EXPECT_EQ(HexDump(all.data(), 4), "$0ABCDEF0");
}

TEST(ByteOrder, SwapHelpers) {
    uint8_t field[2];
    const uint16_t v = 0x1234;
    std::memcpy(field, &v, 2);  // little-endian host order: 34 12
    Swap2(field);
    EXPECT_EQ(field[0], 0x12);
    EXPECT_EQ(field[1], 0x34);

    uint8_t five[] = {1, 2, 3, 4, 5};
    SwapPairs(five, 5);
    EXPECT_EQ(Bytes(five, five + 5), (Bytes{2, 1, 4, 3, 5}));

    uint8_t four[] = {1, 2, 3, 4};
    Reverse4(four);
    EXPECT_EQ(Bytes(four, four + 4), (Bytes{4, 3, 2, 1}));

    uint8_t word[2];
    PutWord(word, 0xABCD);
    EXPECT_EQ(word[0], 0xAB);
    EXPECT_EQ(word[1], 0xCD);
}

// Replies with their CRCs from an independent generator.
const Bytes kReadReply = {0xF7, 0x03, 0x02, 0x12, 0x34, 0x7D, 0x26};
const Bytes kInputReply = {0xF7, 0x04, 0x04, 0x00, 0x01, 0x00, 0x02, 0xBD, 0x8A};
const Bytes kException = {0xF7, 0x83, 0x02, 0x20, 0xC3};
const Bytes kWriteEcho = {0xF7, 0x10, 0x00, 0x00, 0x00, 0x02, 0x55, 0x5E};
const Bytes kUnknown = {0xF7, 0x41, 0x0E, 0x01, 0xA7, 0xE4};  // good CRC, function 65 (user-defined)

TEST(ReplyLength, FromTheReplysOwnHeader) {
    const struct {
        Bytes bytes;
        uint32_t length;
    } cases[] = {
        {{}, 0},
        {{0xF7}, 0},                      // no function byte yet
        {{0xF7, 0x83}, 5},                // exception: bit 7
        {{0xF7, 0x90, 0x01}, 5},          // exception to a write
        {{0xF7, 0xFF}, 5},
        {{0xF7, 0x80}, 5},
        {{0xF7, 0x03}, 0},                // no byte count yet
        {{0xF7, 0x03, 0x02}, 7},
        {{0xF7, 0x04, 0x00}, 5},
        {{0xF7, 0x03, 0xFF}, 260},        // longer than any read takes
        {kInputReply, 9},
        {{0xF7, 0x06}, 8},
        {{0xF7, 0x08}, 8},
        {{0xF7, 0x10}, 8},
        {{0xF7, 0x00, 0x00}, 0},          // other functions: not known
        {{0xF7, 0x01, 0x01}, 0},
        {{0xF7, 0x05, 0x00}, 0},
        {{0xF7, 0x0F, 0x00}, 0},
        {{0xF7, 0x2B, 0x0E}, 0},          // 43/14: its objects not in yet
        {{0xF7, 0x2B, 0x0D, 0x01, 0x01, 0x00, 0x00, 0x00}, 0},  // another MEI type
        {{0xF7, 0x11}, 0},
        {{0xF7, 0x11, 0x04}, 9},
        {{0xF7, 0x7F, 0x00}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplyLength(c.bytes.data(), static_cast<uint32_t>(c.bytes.size())), c.length)
            << HexDump(c.bytes.data(), static_cast<uint16_t>(c.bytes.size()));
}

Bytes Prefix(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n)); }
Bytes Damaged(Bytes b) {
    b.back() ^= 0x01;
    return b;
}
Bytes Plus(Bytes b, uint8_t stray) {
    b.push_back(stray);
    return b;
}

TEST(ReplyEnd, CompleteOnlyWithAGoodCrc) {
    const struct {
        Bytes bytes;
        uint32_t end;
    } cases[] = {
        {{}, 3},  // the header first: every reply has three bytes
        {{0xF7}, 3},
        {{0xF7, 0x83}, 3},
        {Prefix(kReadReply, 3), 7},
        {Prefix(kReadReply, 6), 7},
        {kReadReply, 7},                 // complete
        {kInputReply, 9},
        {kException, 5},
        {kWriteEcho, 8},
        {Prefix(kWriteEcho, 3), 8},
        {Damaged(kReadReply), 0},        // bad CRC: the time-outs end the read
        {Damaged(kException), 0},
        {Plus(kReadReply, 0x00), 0},     // more than the header tells
        {kUnknown, 0},
        {Prefix(kUnknown, 3), 0},
        {{0xF7, 0x03, 0xFF}, 260},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplyEnd(c.bytes.data(), static_cast<uint32_t>(c.bytes.size())), c.end)
            << HexDump(c.bytes.data(), static_cast<uint16_t>(c.bytes.size()));
}

// Replies compared with the request sent (slave 247, read of 2 registers by
// function 3, a function 6 write of $0005 to register 9, a function 16 write of
// 2 registers at 9, the restart diagnostic); the CRC bytes play no part.
TEST(ReplyMismatch, NamesWhatDiffersFromTheRequest) {
    TFrame read;
    read.TxBuf[0] = 247, read.TxBuf[1] = 3, read.RegisterCount = 2;
    TFrame write = read;
    write.TxBuf[1] = 6, write.TxBuf[3] = 9, write.TxBuf[5] = 5;
    TFrame many = read;
    many.TxBuf[1] = 16, many.TxBuf[3] = 9, many.TxBuf[5] = 2;
    TFrame diagnostic = read;
    diagnostic.TxBuf[1] = 8, diagnostic.TxBuf[3] = 1, diagnostic.TxBuf[4] = 0xFF;
    const struct {
        const TFrame& request;
        Bytes reply;
        std::string mismatch;
    } cases[] = {
        {read, {0xF7, 0x03, 0x04, 0, 1, 0, 2, 0, 0}, ""},
        {read, {0xF7, 0x83, 0x02, 0, 0}, ""},  // an exception reply has no byte count
        {read, {0xF7, 0x83, 0x02, 0, 0, 0}, "a frame of 6 bytes instead of 5"},
        {read, {0x01, 0x03, 0x04, 0, 1, 0, 2, 0, 0}, "slave 1 instead of 247"},
        {read, {0xF7, 0x04, 0x04, 0, 1, 0, 2, 0, 0}, "function 4 instead of 3"},
        {read, {0xF7, 0x84, 0x02, 0, 0}, "function 4 instead of 3"},
        {read, {0xF7, 0x03, 0x02, 0, 1, 0, 0}, "2 data bytes instead of 4"},
        {read, {0xF7, 0x03, 0x04, 0, 1, 0, 0}, "a frame of 7 bytes instead of 9"},
        {read, {0xF7, 0x03, 0, 0}, "a frame of 4 bytes instead of 9"},  // no byte count at all
        {read, {0x00, 0x10, 0x02, 0, 1, 0, 0}, "slave 0 instead of 247, function 16 instead of 3"},
        {write, {0xF7, 0x06, 0x00, 0x09, 0x00, 0x05, 0, 0}, ""},
        {write, {0xF7, 0x06, 0x00, 0x08, 0x00, 0x06, 0, 0},
         "register address 8 instead of 9, value $0006 instead of $0005"},
        {write, {0xF7, 0x03, 0x02, 0x00, 0x05, 0, 0}, "function 3 instead of 6"},
        {many, {0xF7, 0x10, 0x00, 0x09, 0x00, 0x02, 0, 0}, ""},
        {many, {0xF7, 0x10, 0x00, 0x09, 0x00, 0x01, 0, 0}, "register count 1 instead of 2"},
        {diagnostic, {0xF7, 0x08, 0x00, 0x01, 0xFF, 0x00, 0, 0}, ""},
        {diagnostic, {0xF7, 0x08, 0x00, 0x01, 0x00, 0x00, 0, 0}, "data $0000 instead of $FF00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplyMismatch(c.request, c.reply.data(), static_cast<uint32_t>(c.reply.size())), c.mismatch)
            << HexDump(c.reply.data(), static_cast<uint16_t>(c.reply.size()));
    // The window's words, with Polish numerals.
    const Bytes fewer{0xF7, 0x03, 0x02, 0, 1, 0, 0}, more{0xF7, 0x03, 0x16, 0, 0};
    EXPECT_EQ(ReplyMismatch(read, fewer.data(), 7, TLanguage::Polish), "2 bajty danych zamiast 4");
    EXPECT_EQ(ReplyMismatch(read, more.data(), 5, TLanguage::Polish), "22 bajty danych zamiast 4");
    EXPECT_EQ(ReplyMismatch(write, fewer.data(), 7, TLanguage::Polish), "funkcja 3 zamiast 6");
}

// A reply behind up to three stray bytes, found by the request's address and
// function; the request's own bytes (an echo) are never stray.
TEST(ReplyEndFor, FindsTheReplyBehindStrayBytes) {
    TFrame read;
    read.TxBuf = {0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x91, 0x5C};
    read.FrameLength = 8, read.RegisterCount = 1;
    const Bytes echo(read.TxBuf.begin(), read.TxBuf.begin() + 8);
    const struct {
        Bytes bytes;
        uint32_t end;
        uint32_t stray;
    } cases[] = {
        {kReadReply, 7, 0},
        {Join({0x00}, Prefix(kReadReply, 3)), 8, 0},  // more is due behind the stray byte
        {Join({0x00}, kReadReply), 8, 1},             // complete: the read ends at once
        {Join({0xFF, 0x00, 0x80}, kReadReply), 10, 3},
        {Join({1, 2, 3, 4}, kReadReply), 0, 0},       // more than three
        {Join({0x00}, Damaged(kReadReply)), 0, 0},
        {Join(echo, kReadReply), 0, 0},               // an echo, never skipped
    };
    for (const auto& c : cases) {
        const auto n = static_cast<uint32_t>(c.bytes.size());
        EXPECT_EQ(ReplyEndFor(read, c.bytes.data(), n), c.end) << HexDump(c.bytes.data(), uint16_t(n));
        EXPECT_EQ(StrayBytes(read, c.bytes.data(), n), c.stray) << HexDump(c.bytes.data(), uint16_t(n));
    }
}

TEST(ExceptionMeaning, NamesTheCodes) {
    EXPECT_STREQ(ExceptionMeaning(2), "illegal data address");
    EXPECT_STREQ(ExceptionMeaning(4), "slave device failure");
    EXPECT_STREQ(ExceptionMeaning(0x7F), "unknown exception");
}
