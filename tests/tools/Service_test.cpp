// SPDX-License-Identifier: GPL-3.0-or-later
// vyx scan, backup, diff and restore against simulators.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "tests/support/Process.h"
#include "tests/support/Simulator.h"

namespace fs = std::filesystem;
using vyx::test::RunToEnd;
using vyx::test::TRun;

namespace {

const std::string kCalibratable = std::string(VYX_DEVICES_DIR) + "/VXT-20F.dat";
const std::string kFlowMeter = std::string(VYX_DEVICES_DIR) + "/VXP-10.dat";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The line with each run of spaces made one: the columns' widths follow the names.
std::string Squeezed(const std::string& line) {
    std::string out;
    for (const char c : line)
        if (c != ' ' || out.empty() || out.back() != ' ') out += c;
    return out;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class ServiceTest : public vyx::test::SimulatorTest {
protected:
    ServiceTest() : SimulatorTest(VYX_BINARY, "service") {}

    std::string Start(const std::string& device, std::vector<std::string> options = {}) {
        options.insert(options.begin(), {"--noise", "0"});
        return StartSim(device, options);
    }

    // A scan waits for silent addresses: it keeps the window's first-byte wait.
    TRun Scan(const std::vector<std::string>& args) const { return RunToEnd(program, args); }

    std::string File(const char* name) const { return (folder / name).string(); }
};

}  // namespace

TEST_F(ServiceTest, ScanFindsEachSimulatorAtItsLineAndSlaveOnly) {
    const std::string a = Start(kCalibratable, {"--slave", "5", "--mode", "9600,o,8,1"});
    const std::string b = Start(kFlowMeter, {"--slave", "7", "--mode", "38400,n,8,2"});
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    // 2 speeds x 4 settings x 6 addresses on each terminal.
    const auto scanA = Scan({"scan", "--port", a, "--bauds", "9600,38400", "--slaves", "3-8"});
    EXPECT_EQ(scanA.Status, 0) << scanA.Err;
    EXPECT_EQ(Lines(scanA.Out), std::vector<std::string>{"9600,o,8,1  slave 5  VXT-20F  nr 10234  VXT-20F.dat"});
    const auto scanB = Scan({"scan", "--port", b, "--bauds", "9600,38400", "--slaves", "3-8"});
    EXPECT_EQ(scanB.Status, 0) << scanB.Err;
    EXPECT_EQ(Lines(scanB.Out), std::vector<std::string>{"38400,n,8,2  slave 7  VXP-10  nr 2211  VXP-10.dat"});
    EXPECT_NE(scanB.Err.find("48 of 48 tries"), std::string::npos) << scanB.Err;
    // Nobody at these addresses.
    const auto none = Scan({"scan", "--port", a, "--bauds", "9600", "--parities", "o", "--slaves", "1-2"});
    EXPECT_EQ(none.Status, 3) << none.Err;
    EXPECT_EQ(none.Out, "");
}

// A snapshot is saved as every file of the program: a link stays a link, a FIFO
// nobody reads is refused at once instead of hanging the backup.
TEST_F(ServiceTest, BackupOntoALinkOrAFifoKeepsThem) {
    const std::string port = Start(kCalibratable);
    fs::create_symlink("target.json", folder / "link.json");
    ASSERT_EQ(Vyx({"backup", "--port", port, "--file", kCalibratable, "-o", File("link.json")}).Status, 0);
    EXPECT_TRUE(fs::is_symlink(folder / "link.json"));
    std::ifstream in(folder / "target.json");
    EXPECT_EQ(nlohmann::json::parse(in)["device"], "VXT-20F.dat");

    ASSERT_EQ(::mkfifo(File("fifo").c_str(), 0600), 0);
    const auto fifo = Vyx({"backup", "--port", port, "--file", kCalibratable, "-o", File("fifo")});
    EXPECT_NE(fifo.Status, 0);
    EXPECT_NE(fifo.Err.find("nothing reads the FIFO"), std::string::npos) << fifo.Err;
    EXPECT_EQ(fs::symlink_status(folder / "fifo").type(), fs::file_type::fifo);
}

TEST_F(ServiceTest, BackupDiffRestoreRoundTrip) {
    const std::string port = Start(kCalibratable);
    const std::string before = File("unit.json");
    const auto backup = Vyx({"backup", "--port", port, "--file", kCalibratable, "-o", before});
    ASSERT_EQ(backup.Status, 0) << backup.Err;
    std::ifstream in(before);
    const auto doc = nlohmann::json::parse(in);
    EXPECT_EQ(doc["format"], 1);
    EXPECT_EQ(doc["device"], "VXT-20F.dat");
    EXPECT_EQ(doc["slave"], 247);
    EXPECT_EQ(doc["complete"], true);
    EXPECT_EQ(doc["registers"].size(), 28u);  // registers only: no groups, no bit children
    const auto& n100 = doc["registers"][8];
    EXPECT_EQ(n100["name"], "N100");
    EXPECT_EQ(n100["value"], "1000,00");
    EXPECT_EQ(n100["words"], nlohmann::json({"0000", "447A"}));

    ASSERT_EQ(Vyx({"write", "--port", port, "--file", kCalibratable, "N100", "1500,25"}).Status, 0);
    ASSERT_EQ(Vyx({"write", "--port", port, "--file", kCalibratable, "Data kalibracji", "01.01.2025"}).Status, 0);
    const std::vector<std::string> changed = {
        "40001 N100 1000,00 | 1500,25",
        "40007 Data kalibracji 14.05.2024 | 01.01.2025 ",  // TEXT keeps its padding
    };
    const auto diff = Vyx({"diff", before, "--port", port});
    EXPECT_EQ(diff.Status, 3) << diff.Err;
    EXPECT_EQ(Lines(diff.Out).size(), 3u) << diff.Out;
    EXPECT_EQ(Squeezed(Lines(diff.Out).at(1)), changed[0]);
    EXPECT_EQ(Squeezed(Lines(diff.Out).at(2)), changed[1]);
    // The same between two snapshots.
    const std::string after = File("after.json");
    ASSERT_EQ(Vyx({"backup", "--port", port, "--file", kCalibratable, "-o", after}).Status, 0);
    const auto files = Vyx({"diff", before, after});
    EXPECT_EQ(files.Status, 3);
    EXPECT_EQ(Lines(files.Out).size(), 3u) << files.Out;

    // Without --yes nothing is written.
    const auto dry = Vyx({"restore", before, "--port", port});
    EXPECT_EQ(dry.Status, 0) << dry.Err;
    EXPECT_NE(dry.Err.find("2 registers would be written"), std::string::npos) << dry.Err;
    EXPECT_EQ(Vyx({"diff", before, "--port", port}).Status, 3);

    const auto restore = Vyx({"restore", before, "--port", port, "--yes", "--hex"});
    EXPECT_EQ(restore.Status, 0) << restore.Err;
    EXPECT_NE(restore.Err.find("restored 2 registers"), std::string::npos) << restore.Err;
    // By the saved words: function 16, the text's bytes as they were read (zero padded).
    EXPECT_NE(restore.Out.find("< $F71000000002040000447A5CC7\n"), std::string::npos) << restore.Out;
    EXPECT_NE(restore.Out.find("40001  N100:       1000,00\n"), std::string::npos) << restore.Out;
    EXPECT_NE(restore.Out.find("< $F710000600081031342E30352E323032340000000000006E72\n"), std::string::npos)
        << restore.Out;
    const auto again = Vyx({"diff", before, "--port", port});
    EXPECT_EQ(again.Status, 0) << again.Err;
    EXPECT_EQ(again.Out, "");
}

TEST_F(ServiceTest, RestoreRefusesAnotherDevicesSnapshot) {
    const std::string flow = Start(kFlowMeter);
    const std::string other = File("flow.json");
    ASSERT_EQ(Vyx({"backup", "--port", flow, "--file", kFlowMeter, "-o", other}).Status, 0);
    const std::string port = Start(kCalibratable);
    const auto refused = Vyx({"restore", other, "--port", port, "--file", kCalibratable, "--yes"});
    EXPECT_EQ(refused.Status, 1);
    EXPECT_NE(refused.Err.find("was taken from VXP-10.dat, not from VXT-20F.dat"), std::string::npos) << refused.Err;
    EXPECT_EQ(refused.Out, "");
    // Without --file the snapshot's own device file is used, found beside vyx.
    const auto own = Vyx({"restore", other, "--port", flow});
    EXPECT_EQ(own.Status, 0) << own.Err;
    EXPECT_NE(own.Err.find("nothing to write"), std::string::npos) << own.Err;
}

TEST_F(ServiceTest, TheSnapshotsDeviceFileIsLookedForInTheUsersFolderToo) {
    const std::string port = Start(kCalibratable);
    const std::string snapshot = File("own.json");
    ASSERT_EQ(Vyx({"backup", "--port", port, "--file", kCalibratable, "-o", snapshot}).Status, 0);
    nlohmann::json doc;
    std::ifstream(snapshot) >> doc;
    doc["device"] = "Własny.dat";  // in none of vyx's folders
    std::ofstream(snapshot) << doc.dump();

    const fs::path data = folder / "data", bin = fs::path(program).parent_path();
    const char* old = std::getenv("XDG_DATA_HOME");
    const bool had = old != nullptr;
    const std::string saved = had ? old : "";
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    const auto missing = Vyx({"diff", snapshot, "--port", port});
    EXPECT_EQ(missing.Status, 1);
    EXPECT_NE(missing.Err.find("Własny.dat is not in " + bin.string() + ", " + (data / "vyx-cfg/devices").string() +
                               " or " + (bin.parent_path() / "share/vyx-cfg/devices").string() +
                               "; name it with --file"),
              std::string::npos)
        << missing.Err;

    fs::create_directories(data / "vyx-cfg" / "devices");
    fs::copy_file(kCalibratable, data / "vyx-cfg" / "devices" / "Własny.dat");
    const auto found = Vyx({"diff", snapshot, "--port", port});
    if (had)
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(found.Status, 0) << found.Err;
    EXPECT_EQ(found.Out, "");
}

TEST_F(ServiceTest, CrcErrorsGiveAnIncompleteBackup) {
    const std::string port = Start(kCalibratable, {"--crc-errors", "0.2"});
    // One backup is complete only with a chance of 0.8^28, under 0.2 %; a few tries make it certain.
    bool incomplete = false;
    for (int attempt = 0; attempt < 5 && !incomplete; ++attempt) {
        const std::string file = File("noisy.json");
        const auto r = Vyx({"backup", "--port", port, "--file", kCalibratable, "-o", file});
        std::ifstream in(file);
        const auto doc = nlohmann::json::parse(in);
        size_t failed = 0;
        for (const auto& reg : doc["registers"]) failed += reg.contains("error");
        EXPECT_EQ(doc["registers"].size(), 28u);
        EXPECT_EQ(Count(r.Err, ": crc_error\n"), failed) << r.Err;
        EXPECT_EQ(doc["complete"], failed == 0);
        EXPECT_EQ(r.Status, failed == 0 ? 0 : 3) << r.Err;
        if (failed) {
            EXPECT_NE(r.Err.find("snapshot incomplete: " + std::to_string(failed) + " of 28 registers not read"),
                      std::string::npos)
                << r.Err;
            incomplete = true;
        }
    }
    EXPECT_TRUE(incomplete);
}

TEST_F(ServiceTest, DamagedSnapshotsAreRefusedByName) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"{\"format\": 2}", "format: 2 is not a snapshot format this vyx reads"},
        {"{\"format\": 1, \"device\": \"X.dat\", \"slave\": 1, \"mode\": \"9600\", \"time\": \"\", \"registers\": "
         "[{\"name\": \"A\", \"address\": \"40001\", \"type\": \"WORD\", \"length\": \"1\", \"access\": \"RW\", "
         "\"value\": \"1\", \"words\": [\"12G4\"]}]}",
         "registers[0].words[0]: \"12G4\" is not four hexadecimal digits"},
        {"[1, 2", "not JSON"},
        {"{\"format\": 1, \"device\": \"X.dat\", \"slave\": 1, \"mode\": \"9600\", \"gap\": 1001}",
         "gap: expected a whole number of ms from 0 to 1000"},
    };
    for (const auto& c : cases) {
        const std::string file = File("bad.json");
        std::ofstream(file) << c.text;
        const auto r = Vyx({"diff", file, file});
        EXPECT_EQ(r.Status, 1);
        EXPECT_NE(r.Err.find(c.error), std::string::npos) << r.Err;
    }
}

TEST_F(ServiceTest, ScanAndIdentTellTheUnitsOfALineApart) {
    const std::string port = Start(kCalibratable, {"--unit", kFlowMeter + ":5", "--unit", kCalibratable + ":12:noident"});
    ASSERT_FALSE(port.empty());
    const auto scan = Scan({"scan", "--port", port, "--bauds", "19200", "--parities", "e", "--slaves", "1-15,247"});
    EXPECT_EQ(scan.Status, 0) << scan.Err;
    // The unit without 43/14 and 17 is told by its type register all the same.
    EXPECT_EQ(Lines(scan.Out), (std::vector<std::string>{"19200,e,8,1  slave 5  VXP-10  nr 2211  VXP-10.dat",
                                                         "19200,e,8,1  slave 12  VXT-20F  nr 10234  VXT-20F.dat",
                                                         "19200,e,8,1  slave 247  VXT-20F  nr 10234  VXT-20F.dat"}));
    const auto ident = Vyx({"ident", "--port", port, "--slave", "5"});
    EXPECT_EQ(ident.Status, 0) << ident.Err;
    EXPECT_EQ(ident.Out, "vendor: vyx sim\nproduct code: VXP-10\nrevision: $0310\nslave id: 5\nrun indicator: FF (on)\n"
                         "data: VXP-10\nTyp urządzenia 40030 (8): VXP-10\n"
                         "Typ urządzenia 40050 (8): exception 2: illegal data address\ndevice file: VXP-10.dat\n"
                         "Numer fabryczny: 2211\nWersja oprogramowania: $310\n");
    const auto plain = Vyx({"ident", "--port", port, "--slave", "12"});
    EXPECT_EQ(plain.Status, 0) << "exception 1 is an answer";
    EXPECT_TRUE(Has(plain.Out, "device identification (43/14): exception 1: illegal function\n"
                               "slave id (17): exception 1: illegal function\n")) << plain.Out;
    // A backup keeps what the unit said of itself, where it said anything.
    for (const auto& [slave, product] : {std::pair{"5", "VXP-10"}, std::pair{"12", ""}}) {
        const std::string unit = File("unit.json");
        Vyx({"backup", "--port", port, "--slave", slave, "--file", kFlowMeter, "-o", unit});
        std::ifstream in(unit);
        const nlohmann::json doc = nlohmann::json::parse(in);
        EXPECT_EQ(doc.contains("identification"), *product != 0) << slave;
        if (*product) {
            EXPECT_EQ(doc["identification"]["product_code"], product);
        }
    }
    const auto nobody = Vyx({"ident", "--port", port, "--slave", "30"});
    EXPECT_EQ(nobody.Status, 4);
    EXPECT_TRUE(Has(nobody.Out, "device file: ?\n")) << nobody.Out;
}

// Every command that talks to a device takes --wait and says the same of a port
// it cannot open.
TEST_F(ServiceTest, OneWayToOpenThePort) {
    const std::string port = Start(kCalibratable, {"--delay", "100"});
    const std::string unit = File("unit.json");
    const auto slow = Vyx({"backup", "--port", port, "--file", kCalibratable, "-o", unit, "--wait", "3000"});
    EXPECT_EQ(slow.Status, 0) << slow.Err;
    const std::vector<std::string> once = {"scan", "--port", port, "--bauds", "19200", "--parities", "e",
                                           "--slaves", "247"};
    auto scan = once;
    scan.insert(scan.end(), {"--wait", "3000"});
    EXPECT_EQ(Scan(scan).Status, 0);
    EXPECT_EQ(Scan(once).Status, 3) << "the window's 40 ms are too short for this device";

    const std::string none = File("none");
    const std::string fault = "cannot open " + none + " with 19200,e,8,1: no such device";
    for (const auto& args : std::vector<std::vector<std::string>>{{"read", "--port", none, "--address", "40001"},
                                                                   {"backup", "--port", none, "--file", kCalibratable},
                                                                   {"diff", unit, "--port", none},
                                                                   {"restore", unit, "--port", none}}) {
        const auto r = Vyx(args);
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Err, "vyx " + args[0] + ": " + fault + "\n");
    }
    scan = once;
    scan[2] = none;
    EXPECT_NE(Scan(scan).Err.find(fault + ": skipped"), std::string::npos);
    scan.insert(scan.end(), {"--wait", "0"});
    EXPECT_EQ(Scan(scan).Status, 2);
}
