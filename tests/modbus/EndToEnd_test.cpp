// SPDX-License-Identifier: GPL-3.0-or-later
// Each value type end to end: the builders' request goes over a pseudo-terminal to
// a libmodbus RTU slave, and its reply decodes to the value the slave holds.
#include <gtest/gtest.h>

#include "modbus/Builders.h"
#include "modbus/Slave.h"
#include "base/Text.h"
#include "serial/Serial.h"
#include "tests/support/ModbusSlave.h"
#include "tests/support/Wire.h"

using namespace vyx;

namespace {

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() {
        EXPECT_TRUE(port.OpenPort(slave.SlavePath(), "19200,e,8,1"));
        // Every request here is answered: a long first-byte wait keeps a slave
        // thread that a busy machine runs late from turning a reply into a time-out.
        EXPECT_TRUE(port.SetTimeouts(30, 0, 1000, 0, 30));
    }

    // Sends the frame; returns the decoded value of a good reply.
    std::u16string Exchange() {
        EXPECT_EQ(port.WritePort(frame.TxBuf.data(), frame.FrameLength), frame.FrameLength);
        EXPECT_TRUE(port.ReadPort());
        const uint32_t n = port.Received();
        EXPECT_GE(n, 5u);
        EXPECT_TRUE(CheckCrc(port.RxBuffer(), static_cast<uint16_t>(n)));
        const uint8_t* rx = port.RxBuffer();
        EXPECT_EQ(rx[0], 247);
        EXPECT_EQ(rx[1], frame.Function());
        return DecodeValue(frame.TypeCode, rx[2], rx + 3);
    }

    test::TModbusSlave slave;
    TSerial port;
    TFrame frame;
};

}  // namespace

TEST_F(EndToEnd, EveryTypeReadsBackAsItsText) {
    const struct {
        const char16_t* type;
        const char16_t* length;
        bool input;
        std::vector<uint16_t> registers;
        const char16_t* text;
    } cases[] = {
        {u"WORD", u"1", false, {0xFFFE}, u"65534"},
        {u"INT", u"1", true, {0xFFFE}, u"-2"},
        {u"HEX", u"1", false, {0x0ABC}, u"$ABC"},
        {u"REAL", u"2", true, {0x0000, 0x3FC0}, u"1,50"},
        {u"FINE", u"2", false, {0x0000, 0xC148}, u"-12,5000"},
        {u"FLOAT", u"2", false, {0x3F80, 0x0000}, u"1,00"},
        {u"PREC", u"2", true, {0x3E80, 0x0000}, u"0,25000000"},
        {u"TEXT", u"4", false, {0x5A61, 0xBF3F, 0x2000, 0x4142}, u"Za\u017C? "},
        {u"BIT", u"1", false, {0x0001}, u""},
    };
    uint16_t address = 10;
    for (const auto& c : cases) {
        if (c.input)
            slave.SetInput(address, c.registers);
        else
            slave.SetHolding(address, c.registers);
        const std::u16string number = FromUtf8(std::to_string((c.input ? 30001 : 40001) + address));
        BuildRead(frame, 247, test::RegisterRecord(number.c_str(), c.type, c.length));
        EXPECT_EQ(frame.Function(), c.input ? 4 : 3);
        EXPECT_EQ(Exchange(), c.text) << ToUtf8(c.type);
        address += 8;
    }
}

TEST_F(EndToEnd, WritesChangeTheSlaveRegisters) {
    BuildWriteSingle(frame, 247, test::RegisterRecord(u"40005", u"INT", u"1", u"-300"));
    Exchange();
    EXPECT_EQ(slave.Holding(4), 0xFED4);

    BuildWriteMultiple(frame, 247, test::RegisterRecord(u"40020", u"FLOAT", u"2", u"-2,5"));
    Exchange();
    EXPECT_EQ(slave.Holding(19), 0xC020);
    EXPECT_EQ(slave.Holding(20), 0x0000);

    BuildWriteMultiple(frame, 247, test::RegisterRecord(u"40030", u"TEXT", u"3", u"Łódź"));
    Exchange();
    EXPECT_EQ(slave.Holding(29), 0xA3F3);
    EXPECT_EQ(slave.Holding(30), 0x649F);
    EXPECT_EQ(slave.Holding(31), 0x2020);

    // Read back, the text is the one written, padded with the spaces of the write.
    BuildRead(frame, 247, test::RegisterRecord(u"40030", u"TEXT", u"3"));
    EXPECT_EQ(Exchange(), u"\u0141\u00F3d\u017A  ");
}
