// SPDX-License-Identifier: GPL-3.0-or-later
// A read ended by the reply's own length, over a pseudo-terminal: the test plays
// the device. CRCs from an independent generator.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "modbus/Frame.h"
#include "serial/Serial.h"
#include "tests/support/Pty.h"

using namespace vyx;
using namespace std::chrono_literals;
using test::Bytes;
using Clock = std::chrono::steady_clock;

namespace {

const Bytes kRequest = {0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x9C};

class ReadEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(port.OpenPort(pty.SlavePath(), "19200,e,8,1"));
        // The replies are there before each read starts; a long first-byte wait
        // keeps a busy machine from turning one into a time-out.
        ASSERT_TRUE(port.SetTimeouts(30, 0, 1000, 0, 30));
    }

    // Sends the request, answers it with `reply` at once and reads as the
    // transaction does; how long the read took, in milliseconds.
    double Exchange(const Bytes& reply) {
        EXPECT_EQ(port.WritePort(kRequest.data(), 8), 8);
        EXPECT_EQ(pty.ReadClient(8, 500ms), kRequest);
        pty.Send(reply);
        const auto start = Clock::now();
        EXPECT_TRUE(port.ReadPort(ReplyEnd));
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }

    Bytes Received() const { return Bytes(port.RxBuf.begin(), port.RxBuf.begin() + port.Com.Received); }

    test::TPty pty;
    TSerial port;
};

}  // namespace

TEST_F(ReadEnd, CompleteReplyWithAGoodCrcEndsTheReadAtOnce) {
    const Bytes replies[] = {
        {0xF7, 0x03, 0x02, 0x12, 0x34, 0x7D, 0x26},
        {0xF7, 0x04, 0x04, 0x00, 0x01, 0x00, 0x02, 0xBD, 0x8A},
        {0xF7, 0x83, 0x02, 0x20, 0xC3},                    // exception
        {0xF7, 0x10, 0x00, 0x00, 0x00, 0x02, 0x55, 0x5E},  // write echo
        {0xF7, 0x08, 0x00, 0x01, 0xFF, 0x00, 0xE4, 0xAD},  // restart echo
    };
    for (const Bytes& reply : replies) {
        double fastest = 1000;
        for (int i = 0; i < 5; ++i) {  // the fastest of five: a busy machine does not decide
            fastest = std::min(fastest, Exchange(reply));
            EXPECT_EQ(Received(), reply);
        }
        EXPECT_LT(fastest, 15.0) << HexDump(reply.data(), static_cast<uint16_t>(reply.size()))
                                 << " waited for the line's silence";
    }
}

TEST_F(ReadEnd, RepliesWithoutAKnownGoodEndWaitForTheSilenceAsBefore) {
    const struct {
        const char* what;
        Bytes reply;
    } cases[] = {
        {"bad CRC", {0xF7, 0x03, 0x02, 0x12, 0x34, 0x7D, 0x27}},
        {"exception with a bad CRC", {0xF7, 0x83, 0x02, 0x20, 0xC4}},
        {"unknown function", {0xF7, 0x2B, 0x0E, 0x01, 0x87, 0xF8}},
        {"byte count beyond what arrives", {0xF7, 0x03, 0x04, 0x12, 0x34, 0x7D, 0x26}},
        {"too short to tell", {0xF7, 0x03}},
    };
    for (const auto& c : cases) {
        EXPECT_GE(Exchange(c.reply), 29.0) << c.what;
        EXPECT_EQ(Received(), c.reply) << c.what;
    }
}

TEST_F(ReadEnd, StrayBytesBehindACompleteReplyAreGoneBeforeTheNextRequest) {
    const Bytes withStray = {0xF7, 0x03, 0x02, 0x12, 0x34, 0x7D, 0x26, 0x00, 0xFF, 0x13};
    const Bytes reply(withStray.begin(), withStray.begin() + 7);
    Exchange(withStray);
    EXPECT_EQ(Received(), reply);
    EXPECT_TRUE(CheckCrc(port.RxBuf.data(), static_cast<uint16_t>(port.Com.Received)));
    EXPECT_TRUE(std::all_of(port.RxBuf.begin() + 7, port.RxBuf.end(), [](uint8_t b) { return b == 0; }));

    // The next request purges them: its reply is read alone.
    pty.Send({0x99});  // and one more that came late
    Exchange({0xF7, 0x83, 0x02, 0x20, 0xC3});
    EXPECT_EQ(Received(), (Bytes{0xF7, 0x83, 0x02, 0x20, 0xC3}));
}
