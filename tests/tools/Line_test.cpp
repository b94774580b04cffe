// SPDX-License-Identifier: GPL-3.0-or-later
// The line's echo and gap on every command that talks to a device, against a
// simulator whose line echoes; restoring a snapshot with unread registers; a
// backup behind a device slower than the reply wait.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/support/Process.h"
#include "tests/support/Simulator.h"

namespace {

const std::string kCalibratable = std::string(VYX_DEVICES_DIR) + "/VXT-20F.dat";
const std::string kFlowMeter = std::string(VYX_DEVICES_DIR) + "/VXP-10.dat";
const std::string kEchoed = "the adapter echoes the request: use --echo\n";

class LineTest : public vyx::test::SimulatorTest {
protected:
    LineTest() : SimulatorTest(VYX_BINARY, "line") {}

    std::string Start(const std::string& device, std::vector<std::string> options = {}) {
        options.insert(options.begin(), {"--noise", "0"});
        return StartSim(device, options);
    }
    std::string File(const char* name) const { return (folder / name).string(); }
    static nlohmann::json Load(const std::string& file) {
        std::ifstream in(file);
        return nlohmann::json::parse(in);
    }
    static bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
};

}  // namespace

// Without --echo every command fails on the echo; with it, it reads. A stray
// byte before the reply is skipped.
TEST_F(LineTest, EveryCommandReadsAnEchoingLineWithEchoOnly) {
    const std::string port = Start(kCalibratable, {"--echo"});
    const std::string unit = File("unit.json");
    const struct {
        std::vector<std::string> args;
        int without;          // the status without --echo
        std::string message;  // on standard error without --echo
        std::string out;      // part of standard output with --echo
    } cases[] = {
        {{"read", "--file", kCalibratable, "R0"}, 6, kEchoed, "30001  R0          1000\n"},
        {{"write", "--file", kCalibratable, "N100", "1000"}, 6, kEchoed, "40001  N100:       1000\n"},
        {{"reset"}, 6, kEchoed, "       Reset\n"},
        {{"walk", "--file", kCalibratable, "Kalibracja"}, 6, kEchoed, "40015  Licznik kal 3\n"},
        {{"monitor", "--file", kCalibratable, "R0", "--period", "100", "--count", "1"}, 6, kEchoed, "  1000\n"},
        {{"calibrate", "--file", kCalibratable, "--count", "2"}, 6, kEchoed, "========           1000"},
        {{"backup", "--file", kCalibratable, "-o", unit}, 3, "not read: 30001  R0: " + kEchoed, ""},
        {{"scan", "--bauds", "19200", "--parities", "e", "--slaves", "247"}, 3,
         "the line echoes the requests (1 try): use --echo", "19200,e,8,1  slave 247  VXT-20F  nr 10234  VXT-20F.dat\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin() + 1, {"--port", port});
        const auto without = Vyx(args);
        EXPECT_EQ(without.Status, c.without) << args[0] << ": " << without.Err;
        EXPECT_TRUE(Has(without.Err, c.message)) << args[0] << ": " << without.Err;
        args.insert(args.end(), {"--echo", "--gap", "5"});
        const auto with = Vyx(args);
        EXPECT_EQ(with.Status, 0) << args[0] << ": " << with.Err;
        EXPECT_TRUE(Has(with.Out, c.out)) << args[0] << ": " << with.Out;
    }
    // The snapshot keeps the line, and diff and restore take it from there.
    EXPECT_EQ(Load(unit)["gap"], 5);
    EXPECT_EQ(Vyx({"diff", unit, "--port", port}).Status, 0);
    EXPECT_TRUE(Has(Vyx({"restore", unit, "--port", port}).Err, "nothing to write"));
    EXPECT_TRUE(Has(Vyx({"diff", unit, "--port", port, "--no-echo"}).Err, "28 registers differ"));

    const auto stray = Vyx({"read", "--port", Start(kCalibratable, {"--stray"}), "--file", kCalibratable, "R0"});
    EXPECT_EQ(stray.Status, 0) << stray.Err;
    EXPECT_EQ(stray.Out, "30001  R0          1000\n");
}

// Refused before the port is touched by the ten commands that take it, and
// unknown to the others.
TEST_F(LineTest, AGapOutOfRangeIsRefused) {
    const std::string none = File("none");
    const std::string unit = File("unit.json");
    std::ofstream(unit) << R"({"format": 1, "device": "VXT-20F.dat", "slave": 247, "mode": "19200,e,8,1",
                               "time": "", "registers": []})";
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"read", "--address", "40001"}, {"write", "--address", "40001", "1"}, {"reset"},
             {"walk", "--file", kCalibratable, "Kalibracja"}, {"monitor", "--file", kCalibratable, "R0"},
             {"calibrate", "--file", kCalibratable}, {"scan"}, {"backup", "--file", kCalibratable},
             {"diff", unit}, {"restore", unit}}) {
        std::vector<std::string> bad = args;
        bad.insert(bad.end(), {"--port", none, "--gap", "1001"});
        const auto r = Vyx(bad);
        EXPECT_NE(r.Status, 0) << args[0];
        EXPECT_TRUE(Has(r.Err, "--gap needs a whole number from 0 to 1000")) << args[0] << ": " << r.Err;
        EXPECT_FALSE(Has(r.Err, "cannot open")) << args[0] << ": " << r.Err;
    }
    for (const std::string option : {"--gap", "--echo"})
        EXPECT_TRUE(Has(vyx::test::RunToEnd(program, {"report", option}).Err, "unknown option " + option));
}

TEST_F(LineTest, RestoreOfASnapshotWithUnreadRegistersNeedsPartial) {
    const std::string port = Start(kFlowMeter);
    const std::string unit = File("unit.json");
    ASSERT_EQ(Vyx({"backup", "--port", port, "--file", kFlowMeter, "-o", unit}).Status, 0);
    nlohmann::json doc = Load(unit);
    nlohmann::json& unread = doc["registers"][11];
    ASSERT_EQ(unread["name"], "Średnica nominalna");
    unread.erase("value"), unread.erase("words"), unread["error"] = "no reply";
    std::ofstream(unit) << doc.dump();
    ASSERT_EQ(Vyx({"write", "--port", port, "--file", kFlowMeter, "Korekta zera", "5"}).Status, 0);
    ASSERT_EQ(Vyx({"write", "--port", port, "--file", kFlowMeter, "Średnica nominalna", "80"}).Status, 0);

    const auto refused = Vyx({"restore", unit, "--port", port, "--yes"});
    EXPECT_EQ(refused.Status, 1);
    EXPECT_EQ(refused.Err, "not read in " + unit + ": 40007  Średnica nominalna\nvyx restore: " + unit +
                               " is incomplete: 1 register not read; --partial restores the registers that were read\n");
    EXPECT_TRUE(Has(Vyx({"diff", unit, "--port", port}).Err, "2 registers differ")) << "nothing written";

    const auto partial = Vyx({"restore", unit, "--port", port, "--yes", "--partial"});
    EXPECT_EQ(partial.Status, 0) << partial.Err;
    EXPECT_TRUE(Has(partial.Err, "restored 1 register\n1 register not read in " + unit + " left out\n"));
    EXPECT_TRUE(Has(Vyx({"diff", unit, "--port", port}).Out, "| 80\n")) << "the unread register is left as it is";
}

// The device answers 500 ms after each request, past the 400 ms reply wait and
// well within the one more wait in which the next request listens for it (300 ms
// to spare for a loaded machine's scheduling): the late reply is drained, never
// taken for the next register's.
TEST_F(LineTest, ABackupBehindASlowDeviceStoresNoLateReply) {
    const std::string port = Start(kFlowMeter, {"--delay", "500"});
    const std::string full = File("full.json"), hurried = File("hurried.json");
    ASSERT_EQ(Vyx({"backup", "--port", port, "--file", kFlowMeter, "-o", full}).Status, 0);
    Vyx({"backup", "--port", port, "--file", kFlowMeter, "-o", hurried, "--wait", "400"});
    const nlohmann::json a = Load(full)["registers"], b = Load(hurried)["registers"];
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        if (!b[i].contains("error")) {
            EXPECT_EQ(b[i]["words"], a[i]["words"]) << b[i]["name"];
        }
}
