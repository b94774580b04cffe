// SPDX-License-Identifier: GPL-3.0-or-later
// The line scan and the identification of a unit, on a scripted line: a late
// reply of one unit never counts for another, and a unit is told by its type
// register through the sample device files.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "base/Text.h"
#include "service/LineScan.h"
#include "service/UnitIdentity.h"
#include "tests/support/ScriptedLine.h"

using namespace vyx;
using namespace vyx::service;
using namespace vyx::test;
using std::chrono::milliseconds;

namespace {

class TFoundUnits : public TScanEvents {
public:
    void Found(const TScanFound& unit) override { Units.push_back(unit); }
    std::vector<TScanFound> Units;
};

std::vector<TChunk> Now(Bytes b) { return {{milliseconds(0), std::move(b)}}; }

// Text registers are sent two characters a word, first character high.
std::vector<uint16_t> TextWords(const std::string& text, size_t words) {
    std::vector<uint16_t> w(words, 0x2020);
    for (size_t i = 0; i < text.size() && i / 2 < words; ++i)
        w[i / 2] = static_cast<uint16_t>(i % 2 ? (w[i / 2] & 0xFF00) | uint8_t(text[i]) : (uint8_t(text[i]) << 8) | 0x20);
    return w;
}

uint16_t Register(const Bytes& q) { return static_cast<uint16_t>(q[2] << 8 | q[3]); }

}  // namespace

TEST(LineScan, ALateReplyOfOneUnitNeverCountsForTheNext) {
    // Unit 3 answers after the wait is over, so its reply runs into the try of
    // unit 4, which answers at once behind it.
    TScriptedLine line([](const Bytes& q, size_t) {
        if (q[0] == 3) return std::vector<TChunk>{{milliseconds(1500), ReadReply(q, {333})}};
        return Now(ReadReply(q, {444}));
    });
    TScanPlan plan;
    plan.Port = line.Path();
    plan.Modes = {"19200,e,8,1"};
    plan.Slaves = {3, 4};
    plan.ReplyWaitMs = 1000;  // wide: the line's thread may run late on a busy machine
    plan.Identify = false;
    TAnyPort port;
    TWire wire;
    TFoundUnits events;
    const std::atomic<bool> cancel{false};
    const TScanSummary s = ScanLine(port, wire, plan, events, cancel);
    ASSERT_EQ(events.Units.size(), 1u);
    EXPECT_EQ(events.Units[0].Slave, 4);
    EXPECT_EQ(events.Units[0].Answer, "reply 444");
    EXPECT_EQ(s.Done, 2u);
    EXPECT_GE(s.Stray + s.Garbled, 1u) << "unit 3's late reply is refused, not taken";
}

TEST(UnitIdentity, TheDeviceFileWhoseTypeTheUnitReturnsIsProposed) {
    // A unit of the VXP-10 kind that knows neither 43/14 nor 17 (exception 1)
    // and serves only its own registers.
    TScriptedLine line([](const Bytes& q, size_t) {
        const auto exception = [&](uint8_t code) { return Now(WithCrc({q[0], uint8_t(q[1] | 0x80), code})); };
        if (q[1] != 3) return exception(1);
        switch (Register(q)) {
            case 29: return Now(ReadReply(q, TextWords("VXP-10", 8)));  // 40030
            case 45: return Now(ReadReply(q, {0x0310}));                // 40046
            case 46: return Now(ReadReply(q, {2211}));                  // 40047
            default: return exception(2);
        }
    });
    std::vector<TIdentityProbe> probes = IdentityProbes({VYX_DEVICES_DIR});
    ASSERT_EQ(probes.size(), 2u);
    EXPECT_EQ(probes[0].File.filename(), "VXP-10.dat");
    // A file whose type register stands where another's does is read with it, once;
    // and never more than the cap of distinct reads.
    probes.push_back(probes[0]);
    probes.back().File = "other.dat";
    for (int i = 0; i < 20; ++i) {
        probes.push_back(probes[1]);
        probes.back().Type.Address = FromUtf8(std::to_string(41000 + i));
    }
    TAnyPort port;
    ASSERT_TRUE(port.Open(line.Path(), TLineSettings{"19200,e,8,1", 1000, {}}).Opened);
    TWire wire;
    const TUnitIdentity id =
        IdentifyUnit([&](const TFrame& f) { return wire.Exchange(port, f, {}); }, 5, probes);
    EXPECT_TRUE(id.Answered());
    EXPECT_FALSE(id.DeviceId);
    EXPECT_EQ(id.DeviceIdFailure, "exception 1: illegal function");
    EXPECT_FALSE(id.SlaveId);
    EXPECT_EQ(id.File.filename(), "VXP-10.dat");
    EXPECT_EQ(id.Type, "VXP-10");
    EXPECT_EQ(id.Serial, "2211");
    EXPECT_EQ(id.Firmware, "$310");  // as the window shows a HEX value
    EXPECT_EQ(id.Summary(), "VXP-10  nr 2211  VXP-10.dat");
    ASSERT_EQ(id.TypeReads.size(), kMaxTypeReads);
    EXPECT_EQ(id.TypeReads[0].Value, "VXP-10");
    EXPECT_EQ(id.TypeReads[1].Failure, "exception 2: illegal data address");
    // 43/14 and 17, the type reads, the serial number and the version.
    EXPECT_EQ(line.Requests().size(), 2 + kMaxTypeReads + 2);
}
