// SPDX-License-Identifier: GPL-3.0-or-later
// The libmodbus slave harness that the transaction tests rely on, driven with
// hand-made frames (CRCs from an independent generator).
#include <gtest/gtest.h>

#include "serial/Serial.h"
#include "tests/support/ModbusSlave.h"

namespace vyx {
namespace {

using test::Bytes;

class ModbusSlaveHarness : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(port.OpenPort(slave.SlavePath(), "19200,e,8,1"));
        ASSERT_TRUE(port.SetTimeouts(30, 0, 40, 0, 30));
    }

    // One request and its reply, as a transaction does it; a generous first-byte
    // wait keeps a busy machine from turning a slow reply into a time-out.
    Bytes Exchange(const Bytes& request) {
        EXPECT_EQ(port.WritePort(request.data(), static_cast<uint16_t>(request.size())), request.size());
        EXPECT_TRUE(port.ReadPort());
        return Bytes(port.RxBuf.begin(), port.RxBuf.begin() + port.Com.Received);
    }

    test::TModbusSlave slave;
    TSerial port;
};

TEST_F(ModbusSlaveHarness, AnswersAHoldingRegisterRead) {
    slave.SetHolding(0, 0x1234);
    ASSERT_TRUE(port.SetTimeouts(30, 0, 500, 0, 30));
    EXPECT_EQ(Exchange({0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x9C}),
              (Bytes{0xF7, 0x03, 0x02, 0x12, 0x34, 0x7D, 0x26}));
    EXPECT_EQ(slave.RequestCount(), 1);
    EXPECT_EQ(slave.LastRequest(), (Bytes{0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x9C}));
}

TEST_F(ModbusSlaveHarness, AnswersAnInputRegisterRead) {
    slave.SetInput(0x10, {1, 2});
    ASSERT_TRUE(port.SetTimeouts(30, 0, 500, 0, 30));
    EXPECT_EQ(Exchange({0xF7, 0x04, 0x00, 0x10, 0x00, 0x02, 0x64, 0x98}),
              (Bytes{0xF7, 0x04, 0x04, 0x00, 0x01, 0x00, 0x02, 0xBD, 0x8A}));
}

TEST_F(ModbusSlaveHarness, StoresASingleRegisterWrite) {
    ASSERT_TRUE(port.SetTimeouts(30, 0, 500, 0, 30));
    const Bytes request = {0xF7, 0x06, 0x00, 0x05, 0x00, 0x2A, 0x0C, 0x82};
    EXPECT_EQ(Exchange(request), request);
    EXPECT_EQ(slave.Holding(5), 42);
}

TEST_F(ModbusSlaveHarness, IgnoresOtherSlavesAndGarbageThenAnswersAgain) {
    // Each frame is dropped whole before the next is sent: on a busy machine the
    // slave's thread may get to a frame after the client's read has ended.
    EXPECT_TRUE(Exchange({0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}).empty());
    ASSERT_TRUE(slave.WaitDropped(1));
    EXPECT_TRUE(Exchange({0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x9D}).empty()) << "bad CRC";
    ASSERT_TRUE(slave.WaitDropped(2));
    EXPECT_TRUE(Exchange({0x13, 0x37, 0xFF, 0x00, 0x42}).empty());
    ASSERT_TRUE(slave.WaitDropped(3));
    EXPECT_EQ(slave.RequestCount(), 0);

    slave.SetHolding(0, 0x1234);
    ASSERT_TRUE(port.SetTimeouts(30, 0, 500, 0, 30));
    EXPECT_EQ(Exchange({0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x9C}),
              (Bytes{0xF7, 0x03, 0x02, 0x12, 0x34, 0x7D, 0x26}));
}

TEST_F(ModbusSlaveHarness, ScriptedRawReplyAndSilenceApplyOnce) {
    slave.SetHolding(0, 0x1234);
    ASSERT_TRUE(port.SetTimeouts(30, 0, 500, 0, 30));
    const Bytes read = {0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x9C};
    const Bytes good = {0xF7, 0x03, 0x02, 0x12, 0x34, 0x7D, 0x26};

    slave.ReplyRawOnce({0xF7, 0x03, 0x02, 0x12, 0x34, 0x00, 0x00});
    EXPECT_EQ(Exchange(read), (Bytes{0xF7, 0x03, 0x02, 0x12, 0x34, 0x00, 0x00}));
    EXPECT_EQ(Exchange(read), good);

    ASSERT_TRUE(port.SetTimeouts(30, 0, 100, 0, 30));
    slave.SkipReplies(1);
    EXPECT_TRUE(Exchange(read).empty());
    ASSERT_TRUE(port.SetTimeouts(30, 0, 500, 0, 30));
    EXPECT_EQ(Exchange(read), good);
    EXPECT_EQ(slave.RequestCount(), 4);
}

TEST_F(ModbusSlaveHarness, ReadBeyondTheRegistersGetsAnException) {
    test::TModbusSlave small(247, 4, 4);
    TSerial client;
    ASSERT_TRUE(client.OpenPort(small.SlavePath(), "19200,e,8,1"));
    ASSERT_TRUE(client.SetTimeouts(30, 0, 500, 0, 30));
    const Bytes request = {0xF7, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xD1, 0x5B};
    ASSERT_EQ(client.WritePort(request.data(), 8), 8);
    ASSERT_TRUE(client.ReadPort());
    ASSERT_EQ(client.Com.Received, 5u);
    EXPECT_EQ(client.RxBuf[0], 0xF7);
    EXPECT_EQ(client.RxBuf[1], 0x83);
    EXPECT_EQ(client.RxBuf[2], 0x02);  // illegal data address
}

}  // namespace
}  // namespace vyx
