// SPDX-License-Identifier: GPL-3.0-or-later
// vyx calibrate --record and vyx report: against the simulator, and against a
// libmodbus slave that keeps N100 whatever is written into it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/ModbusSlave.h"
#include "tests/support/Process.h"
#include "tests/support/Simulator.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string kDevice = std::string(VYX_DEVICES_DIR) + "/VXT-20F.dat";
const std::string kOtherDevice = std::string(VYX_DEVICES_DIR) + "/VXP-10.dat";

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string LastLine(const std::string& text) {
    std::istringstream in(text);
    std::string line, last;
    while (std::getline(in, line)) last = line;
    return last;
}

class RecordTest : public vyx::test::SimulatorTest {
protected:
    RecordTest() : SimulatorTest(VYX_BINARY, "record") {}
    std::string File(const char* name) const { return (folder / name).string(); }
    // vyx report reads no device: it takes no wait.
    vyx::test::TRun Report(std::vector<std::string> args) const {
        args.insert(args.begin(), "report");
        return vyx::test::RunToEnd(program, args);
    }
};

}  // namespace

TEST_F(RecordTest, CalibrateAppendsVerifiedRunsToTheRecord) {
    const std::string port = StartSim(kDevice, {"--noise", "2"});
    const std::string record = File("record.json");
    const auto first = Vyx({"calibrate", "--port", port, "--file", kDevice, "--count", "4", "--write", "100R",
                            "--stable", "10", "--record", record});
    ASSERT_EQ(first.Status, 0) << first.Err;
    EXPECT_EQ(LastLine(first.Out), "N100: zweryfikowano");
    const auto second = Vyx({"calibrate", "--port", port, "--file", kDevice, "--count", "3", "--record", record});
    ASSERT_EQ(second.Status, 0) << second.Err;

    const json doc = json::parse(Bytes(record));
    ASSERT_EQ(doc["runs"].size(), 2u);
    const json& run = doc["runs"][0];
    EXPECT_EQ(run["device"], "VXT-20F.dat");
    EXPECT_EQ(run["point"], "100R");
    EXPECT_EQ(run["readings"].size(), 4u);
    EXPECT_EQ(run["verdict"].get<std::string>().rfind("stabilny", 0), 0u) << run["verdict"];
    EXPECT_EQ(run["write"]["name"], "N100");
    EXPECT_EQ(run["write"]["before"]["value"], "1000,00");  // the sample device's N100
    EXPECT_EQ(run["write"]["written"]["value"], run["mean"]);
    EXPECT_EQ(run["write"]["after"]["words"], run["write"]["written"]["words"]);
    EXPECT_EQ(run["write"]["verified"], true);
    EXPECT_EQ(doc["runs"][1]["readings"].size(), 3u);
    EXPECT_FALSE(doc["runs"][1].contains("write"));
}

TEST_F(RecordTest, AWriteTheDeviceDidNotKeepIsRecordedWithWhatItHolds) {
    vyx::test::TModbusSlave slave;
    slave.SetInput(0, 1000);                   // R0
    slave.SetHolding(0, {0x8000, 0x4479});     // N100: 998.0, the low word first
    slave.KeepHolding(0, 2);
    const std::string record = File("record.json");
    const auto c = Vyx({"calibrate", "--port", slave.SlavePath(), "--file", kDevice, "--count", "2", "--write", "100R",
                        "--record", record});
    EXPECT_EQ(c.Status, 1) << c.Err;
    EXPECT_EQ(LastLine(c.Out), "N100: odczytano 998,00 [8000 4479] zamiast 1000 [0000 447A]");
    EXPECT_NE(c.Err.find("N100: odczytano 998,00"), std::string::npos) << c.Err;
    const json run = json::parse(Bytes(record))["runs"][0];
    EXPECT_EQ(run["write"]["verified"], false);
    EXPECT_EQ(run["write"]["before"]["value"], "998,00");
    EXPECT_EQ(run["write"]["after"]["value"], "998,00");
}

TEST_F(RecordTest, ADamagedRecordIsRefusedBeforeAnyReadingAndLeftAsItWas) {
    const std::string port = StartSim(kDevice, {"--noise", "0"});
    const std::string record = File("record.json");
    for (const std::string& bytes : {std::string("{\"format\": 1, \"kind\": \"calibration rec"),
                                    std::string(R"({"format": 1, "device": "VXT-20F.dat", "registers": []})")}) {
        std::ofstream(record, std::ios::binary | std::ios::trunc) << bytes;
        const auto c = Vyx({"calibrate", "--port", port, "--file", kDevice, "--count", "2", "--write", "100R",
                            "--record", record});
        EXPECT_EQ(c.Status, 1);
        EXPECT_NE(c.Err.find("record.json: not"), std::string::npos) << c.Err;
        EXPECT_EQ(c.Out, "");  // nothing was read, nothing written
        EXPECT_EQ(Bytes(record), bytes);
    }
    const auto n100 = Vyx({"read", "--port", port, "--file", kDevice, "N100"});
    EXPECT_EQ(n100.Out, "40001  N100        1000,00\n");
}

// The README's worked example: backup, write, calibrate with a record, backup, report.
TEST_F(RecordTest, AReportOfAServiceVisit) {
    const std::string port = StartSim(kDevice, {"--noise", "0"});
    const std::string before = File("before.json"), after = File("after.json"), record = File("record.json");
    const std::string html = File("report.html");
    ASSERT_EQ(Vyx({"backup", "--port", port, "--file", kDevice, "-o", before}).Status, 0);
    ASSERT_EQ(Vyx({"write", "--port", port, "--file", kDevice, "Koniec zakresu", "250,00"}).Status, 0);
    ASSERT_EQ(Vyx({"calibrate", "--port", port, "--file", kDevice, "--count", "2", "--write", "400R", "--record",
                   record}).Status, 0);
    ASSERT_EQ(Vyx({"backup", "--port", port, "--file", kDevice, "-o", after}).Status, 0);

    const auto r = Report({"--before", before, "--after", after, "--calibration", record, "--technician",
                        "<script>x</script>", "--site", "Zbiornik 1", "-o", html});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string doc = Bytes(html);
    EXPECT_EQ(doc.find("<script"), std::string::npos);
    EXPECT_NE(doc.find("&lt;script&gt;x&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(doc.find("<td>40059</td><td>Numer fabryczny</td><td>10234</td>"), std::string::npos);
    // The range and N400 changed, and nothing else.
    const size_t changes = doc.find("id=\"changes\"");
    const std::string section = doc.substr(changes, doc.find("</section>", changes) - changes);
    size_t rows = 0;
    for (size_t at = section.find("<tr class=\"changed\">"); at != std::string::npos;
         at = section.find("<tr class=\"changed\">", at + 1))
        ++rows;
    EXPECT_EQ(rows, 2u);
    // Each value with the device file's note, which the snapshots carry.
    EXPECT_NE(section.find("<td>Koniec zakresu</td><td>400,00 <span class=\"note\">(W jednostce ciśnienia)</span></td>"
                           "<td>250,00 <span"),
              std::string::npos)
        << section;
    EXPECT_NE(section.find("<td>N400</td><td>4000,00 <span"), std::string::npos);
    // Numbered in the report's folder, and the next report there gets the next number.
    EXPECT_NE(doc.find("Protokół serwisowy nr SR-"), std::string::npos);
    const std::string second = File("second.html");
    ASSERT_EQ(Report({"--before", before, "--after", after, "-o", second}).Status, 0);
    const std::string index = Bytes(File("numery-raportow.txt"));
    EXPECT_EQ(std::count(index.begin(), index.end(), '\n'), 2) << index;
    EXPECT_NE(index.find("-0002\tsecond.html\n"), std::string::npos) << index;
    // A number set by hand that the folder already gave is refused, and nothing is written.
    const std::string taken = index.substr(0, index.find('\t'));
    const auto twice = Report({"--before", before, "--after", after, "--number", taken, "-o", File("third.html")});
    EXPECT_EQ(twice.Status, 1);
    EXPECT_NE(twice.Err.find(taken + " is already report.html's"), std::string::npos) << twice.Err;
    EXPECT_FALSE(fs::exists(File("third.html")));
    // Into a pipe: the document whole, and no number taken.
    const auto piped = Report({"--before", before, "--after", after, "-o", "/dev/stdout"});
    EXPECT_EQ(piped.Status, 0) << piped.Err;
    EXPECT_NE(piped.Out.find("</html>"), std::string::npos);
    EXPECT_NE(doc.find(">zweryfikowano<"), std::string::npos);

    // A snapshot of another device file is refused unless --force; a damaged one always.
    const std::string other = File("other.json");
    const std::string flow = StartSim(kOtherDevice, {"--noise", "0"});
    ASSERT_EQ(Vyx({"backup", "--port", flow, "--file", kOtherDevice, "-o", other}).Status, 0);
    fs::remove(html);
    const auto refused = Report({"--before", before, "--after", other, "-o", html});
    EXPECT_EQ(refused.Status, 1);
    EXPECT_NE(refused.Err.find("VXP-10.dat"), std::string::npos) << refused.Err;
    EXPECT_FALSE(fs::exists(html));
    EXPECT_EQ(Report({"--before", before, "--after", other, "--force", "-o", html}).Status, 0);
    std::ofstream(after, std::ios::binary | std::ios::trunc) << "{\"format\": 1";
    const auto damaged = Report({"--before", before, "--after", after, "-o", html});
    EXPECT_EQ(damaged.Status, 1);
    EXPECT_NE(damaged.Err.find("after.json: not JSON"), std::string::npos) << damaged.Err;
    EXPECT_EQ(Report({"--before", File("missing.json"), "--after", before}).Status, 1);
}
