// SPDX-License-Identifier: GPL-3.0-or-later
// vyx sim playing a line of three units: VXT-20F at 247, VXP-10 at 5 and
// VXT-20F at 12 without identification, each with its own registers, on its
// terminal and its Modbus TCP address alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    SimUnitsTest() : SimulatorTest(VYX_BINARY, "sim-units") {
        pty = StartSim(kVxt, {"--noise", "0", "--mbtcp", "0", "--unit", kVxp + ":5", "--unit", kVxt + ":12:noident"});
        mbtcp = Sim().Line(1);
    }
    // A long reply wait: a busy machine may run the simulator late.
    void Open(const std::string& name, uint16_t waitMs = 1000) {
        TLineSettings line;
        line.ReplyWaitMs = waitMs;
        ASSERT_TRUE(port.Open(name, line).Opened) << name;
        wire.Forget();
    }
    TExchangeResult Exchange() { return wire.Exchange(port, frame, {}); }
    // The value read, or why none.
    std::string Read(uint8_t slave, const char16_t* address, const char16_t* type) {
        BuildRead(frame, slave, RegisterRecord(address, type, type == std::u16string(u"TEXT") ? u"8" : u"1"));
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
    Open(pty);
    EXPECT_EQ(Read(247, u"40050", u"TEXT"), "VXT-20F");
    EXPECT_EQ(Read(5, u"40030", u"TEXT"), "VXP-10");
    EXPECT_EQ(Read(5, u"40047", u"WORD"), "2211");
    EXPECT_EQ(Read(5, u"40059", u"WORD"), "exception 2: illegal data address");  // VXT-20F's, not VXP-10's
    EXPECT_EQ(Read(12, u"40059", u"WORD"), "10234");
    // Two units of one file keep registers of their own.
    BuildWriteSingle(frame, 12, RegisterRecord(u"40035", u"INT", u"1", u"-7"));
    ASSERT_EQ(Exchange().Outcome, TOutcome::Good);
    EXPECT_EQ(Read(12, u"40035", u"INT"), "-7");
    EXPECT_EQ(Read(247, u"40035", u"INT"), "0");
    // Nobody is at 7, and nobody answers the broadcast.
    Open(pty, 100);
    EXPECT_EQ(Read(7, u"40059", u"WORD"), "no reply");
    EXPECT_EQ(Read(0, u"40059", u"WORD"), "no reply");
}

TEST_F(SimUnitsTest, UnitsTellWhatTheyAreOnTheTerminalAndOverModbusTcp) {
    ASSERT_EQ(mbtcp.rfind("mbtcp://", 0), 0u) << mbtcp;
    for (const std::string& name : {pty, mbtcp}) {
        SCOPED_TRACE(name);
        Open(name);
        BuildReportSlaveId(frame, 247);
        TExchangeResult r = Exchange();
        ASSERT_EQ(r.Outcome, TOutcome::Good);
        const auto id = DecodeSlaveId(&r.Rx[r.PduAt], r.PduSize);
        ASSERT_TRUE(id);
        EXPECT_EQ(id->Id, 247);
        EXPECT_TRUE(id->Running);
        EXPECT_EQ(id->DataText(), "VXT-20F");
        // All objects, and from the one asked for.
        const struct {
            uint8_t first;
            std::vector<std::string> objects;
        } reads[] = {{0, {"0 vyx sim", "1 VXP-10", "2 $0310"}}, {2, {"2 $0310"}}};
        for (const auto& read : reads) {
            BuildReadDeviceId(frame, 5, read.first);
            r = Exchange();
            ASSERT_EQ(r.Outcome, TOutcome::Good);
            const auto device = DecodeDeviceId(&r.Rx[r.PduAt], r.PduSize);
            ASSERT_TRUE(device);
            EXPECT_EQ(device->Conformity, 0x01);
            EXPECT_FALSE(device->MoreFollows);
            std::vector<std::string> objects;
            for (const auto& o : device->Objects) objects.push_back(std::to_string(o.Id) + " " + o.Value);
            EXPECT_EQ(objects, read.objects);
        }
        // No object 3; the unit without identification refuses both functions.
        const struct {
            void (*build)(TFrame&);
            uint8_t code;
        } refused[] = {{[](TFrame& f) { BuildReadDeviceId(f, 5, 3); }, 2},
                       {[](TFrame& f) { BuildReadDeviceId(f, 12); }, 1},
                       {[](TFrame& f) { BuildReportSlaveId(f, 12); }, 1}};
        for (const auto& c : refused) {
            c.build(frame);
            r = Exchange();
            EXPECT_EQ(r.Outcome, TOutcome::Exception);
            EXPECT_EQ(r.ExceptionCode, c.code);
        }
        port.ClosePort();
    }
}

TEST_F(SimUnitsTest, TwoUnitsAtOneAddressOrABadUnitAreRefused) {
    const struct {
        std::vector<std::string> args;
        std::string error;
    } refused[] = {
        {{"--unit", kVxp + ":247"}, "two units at slave 247"},
        {{"--unit", kVxp + ":9", "--unit", kVxt + ":9:noident"}, "two units at slave 9"},
        {{"--unit", kVxp + ":248"}, "--unit needs FILE.dat:SLAVE"},
        {{"--unit", kVxp + ":5:ident"}, "--unit needs FILE.dat:SLAVE"},
    };
    for (const auto& c : refused) {
        std::vector<std::string> args = {"sim", kVxt};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto run = test::RunToEnd(VYX_BINARY, args);
        EXPECT_EQ(run.Status, 2) << run.Err;
        EXPECT_NE(run.Err.find(c.error), std::string::npos) << run.Err;
    }
}
