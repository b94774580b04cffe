// SPDX-License-Identifier: GPL-3.0-or-later
// vyx sim playing a line of several units: each at its own address with its own
// registers, each telling what it is by functions 17 and 43/14 (or refusing
// both), on its terminal and its Modbus TCP address alike.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <modbus/modbus.h>

#include "base/Text.h"
#include "modbus/Builders.h"
#include "modbus/Identify.h"
#include "modbus/Wire.h"
#include "port/AnyPort.h"
#include "tests/support/Simulator.h"
#include "tests/support/Wire.h"

using namespace vyx;
using test::RegisterRecord;

namespace {

const std::string kVxt = std::string(VYX_DEVICES_DIR) + "/VXT-20F.dat";
const std::string kVxp = std::string(VYX_DEVICES_DIR) + "/VXP-10.dat";

class SimUnitsTest : public test::SimulatorTest {
protected:
    SimUnitsTest() : SimulatorTest(VYX_BINARY, "sim-units") {}

    // The line of three: VXT-20F at 247, VXP-10 at 5, VXT-20F at 12 without identification.
    void StartLine() {
        pty = StartSim(kVxt, {"--noise", "0", "--mbtcp", "0", "--unit", kVxp + ":5", "--unit", kVxt + ":12:noident"});
        ASSERT_FALSE(pty.empty());
        mbtcp = Sim().Line(1);
        ASSERT_EQ(mbtcp.rfind("mbtcp://", 0), 0u) << mbtcp;
    }
    void Open(const std::string& name, uint16_t waitMs = 1000) {
        TLineSettings line;
        line.ReplyWaitMs = waitMs;  // a busy machine may run the simulator late
        ASSERT_TRUE(port.Open(name, line).Opened) << name;
        wire.Forget();
    }
    TExchangeResult Exchange() { return wire.Exchange(port, frame, {}); }
    std::string Read(uint8_t slave, const char16_t* address, const char16_t* type, const char16_t* length) {
        BuildRead(frame, slave, RegisterRecord(address, type, length));
        const TExchangeResult r = Exchange();
        if (r.Outcome != TOutcome::Good) return OutcomeReason(r.Outcome, r.ExceptionCode, TLanguage::English);
        return ToUtf8(DecodeValue(frame.TypeCode, r.Rx[r.PduAt + 1], &r.Rx[r.PduAt + 2]));
    }

    std::string pty, mbtcp;
    TAnyPort port;
    TWire wire;
    TFrame frame;
};

}  // namespace

TEST_F(SimUnitsTest, EachUnitAnswersAtItsOwnAddressOnly) {
    StartLine();
    Open(pty);
    const struct {
        uint8_t slave;
        const char16_t* address;
        const char16_t* type;
        std::string value;
    } reads[] = {
        {247, u"40050", u"TEXT", "VXT-20F"}, {247, u"40059", u"WORD", "10234"},
        {5, u"40030", u"TEXT", "VXP-10"},    {5, u"40047", u"WORD", "2211"},
        {5, u"40059", u"WORD", "exception 2: illegal data address"},  // VXT-20F's, not VXP-10's
        {12, u"40050", u"TEXT", "VXT-20F"},
    };
    for (const auto& r : reads)
        EXPECT_EQ(Read(r.slave, r.address, r.type, r.type == std::u16string(u"TEXT") ? u"8" : u"1"), r.value)
            << int(r.slave) << " " << ToUtf8(r.address);
    // Two units of one file keep registers of their own.
    BuildWriteSingle(frame, 12, RegisterRecord(u"40035", u"INT", u"1", u"-7"));
    ASSERT_EQ(Exchange().Outcome, TOutcome::Good);
    EXPECT_EQ(Read(12, u"40035", u"INT", u"1"), "-7");
    EXPECT_EQ(Read(247, u"40035", u"INT", u"1"), "0");
    // Nobody is at 7 and nobody answers the broadcast.
    Open(pty, 100);
    for (const uint8_t silent : {7, 0}) {
        BuildRead(frame, silent, RegisterRecord(u"40059", u"WORD", u"1"));
        EXPECT_EQ(Exchange().Outcome, TOutcome::Timeout) << int(silent);
    }
}

TEST_F(SimUnitsTest, UnitsTellWhatTheyAreOnTheTerminalAndOverModbusTcp) {
    StartLine();
    for (const std::string& name : {pty, mbtcp}) {
        SCOPED_TRACE(name);
        Open(name);
        const struct {
            uint8_t slave;
            std::string type, revision;
        } units[] = {{247, "VXT-20F", "$0502"}, {5, "VXP-10", "$0310"}};
        for (const auto& u : units) {
            BuildReportSlaveId(frame, u.slave);
            TExchangeResult r = Exchange();
            ASSERT_EQ(r.Outcome, TOutcome::Good) << OutcomeReason(r.Outcome, r.ExceptionCode, TLanguage::English);
            const auto id = DecodeSlaveId(&r.Rx[r.PduAt], r.PduSize);
            ASSERT_TRUE(id);
            EXPECT_EQ(id->Id, u.slave);
            EXPECT_TRUE(id->Running);
            EXPECT_EQ(id->DataText(), u.type);

            for (const uint8_t first : {0, 2}) {
                BuildReadDeviceId(frame, u.slave, first);
                r = Exchange();
                ASSERT_EQ(r.Outcome, TOutcome::Good) << OutcomeReason(r.Outcome, r.ExceptionCode, TLanguage::English);
                const auto device = DecodeDeviceId(&r.Rx[r.PduAt], r.PduSize);
                ASSERT_TRUE(device);
                EXPECT_EQ(device->Conformity, 0x01);
                EXPECT_FALSE(device->MoreFollows);
                std::vector<std::string> values;
                for (const auto& o : device->Objects) values.push_back(std::to_string(o.Id) + " " + o.Value);
                if (first == 0)
                    EXPECT_EQ(values, (std::vector<std::string>{"0 vyx sim", "1 " + u.type, "2 " + u.revision}));
                else
                    EXPECT_EQ(values, std::vector<std::string>{"2 " + u.revision});
            }
        }
        // No object 3; and the unit without identification refuses both functions.
        BuildReadDeviceId(frame, 5, 3);
        TExchangeResult r = Exchange();
        EXPECT_EQ(r.Outcome, TOutcome::Exception);
        EXPECT_EQ(r.ExceptionCode, 2);
        for (const bool deviceId : {false, true}) {
            deviceId ? BuildReadDeviceId(frame, 12) : BuildReportSlaveId(frame, 12);
            r = Exchange();
            EXPECT_EQ(r.Outcome, TOutcome::Exception);
            EXPECT_EQ(r.ExceptionCode, 1);
        }
        port.ClosePort();
    }

    // libmodbus as another client of function 17, on the terminal opened raw here.
    const int fd = open(pty.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    modbus_t* ctx = modbus_new_rtu("/dev/null", 19200, 'E', 8, 1);
    ASSERT_NE(ctx, nullptr);
    modbus_set_socket(ctx, fd);
    modbus_set_slave(ctx, 5);
    modbus_set_response_timeout(ctx, 2, 0);
    uint8_t dest[MODBUS_MAX_PDU_LENGTH] = {};
    const int n = modbus_report_slave_id(ctx, sizeof dest, dest);
    modbus_free(ctx);
    close(fd);
    ASSERT_EQ(n, 8);
    EXPECT_EQ(dest[0], 5);
    EXPECT_EQ(dest[1], 0xFF);
    EXPECT_EQ(std::string(dest + 2, dest + n), "VXP-10");
}

TEST_F(SimUnitsTest, UnitsAreGivenWellOrRefused) {
    const struct {
        std::vector<std::string> args;
        std::string error;
    } refused[] = {
        {{"--unit", kVxp + ":247"}, "two units at slave 247"},
        {{"--slave", "5", "--unit", kVxp + ":5"}, "two units at slave 5"},
        {{"--unit", kVxp + ":9", "--unit", kVxt + ":9:noident"}, "two units at slave 9"},
        {{"--unit", kVxp + ":248"}, "--unit needs FILE.dat:SLAVE"},
        {{"--unit", kVxp}, "--unit needs FILE.dat:SLAVE"},
        {{"--unit", kVxp + ":5:ident"}, "--unit needs FILE.dat:SLAVE"},
    };
    for (const auto& c : refused) {
        std::vector<std::string> args = {"sim", kVxt};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto run = test::RunToEnd(VYX_BINARY, args);
        EXPECT_EQ(run.Status, 2) << run.Err;
        EXPECT_NE(run.Err.find(c.error), std::string::npos) << run.Err;
    }
    const auto missing = test::RunToEnd(VYX_BINARY, {"sim", kVxt, "--unit", (folder / "missing.dat").string() + ":5"});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Err.find("missing.dat"), std::string::npos) << missing.Err;
}
