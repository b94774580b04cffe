// SPDX-License-Identifier: GPL-3.0-or-later
// vyx walk, vyx monitor and vyx calibrate against the simulator.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/support/Process.h"
#include "tests/support/Simulator.h"

using vyx::test::TProcess;

namespace {

const std::string kDevice = std::string(VYX_DEVICES_DIR) + "/VXT-20F.dat";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// True when `text` follows `pattern`: '9' stands for one digit, a final '+' for
// one or more digits, anything else for itself.
bool Like(const std::string& text, const std::string& pattern) {
    size_t i = 0;
    for (const char p : pattern) {
        if (p == '+') {
            if (i == text.size()) return false;
            for (; i < text.size(); ++i)
                if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
            return true;
        }
        if (i == text.size() || (p == '9' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != p))
            return false;
        ++i;
    }
    return i == text.size();
}

// The CSV lines of `vyx monitor --csv`: the local time to the millisecond, the
// value (none for a failed reading) and the reason (none for a good one).
const std::regex kCsvGood(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3};(-?\d+);)");
const std::regex kCsvFailed(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3};;(\S.*))");

bool HasLineStarting(const std::string& text, const std::string& start) {
    for (const auto& line : Lines(text))
        if (line.rfind(start, 0) == 0) return true;
    return false;
}

class SequencedTest : public vyx::test::SimulatorTest {
protected:
    SequencedTest() : SimulatorTest(VYX_BINARY, "sequenced") {}

    std::string Start(const std::vector<std::string>& options = {}) { return StartSim(kDevice, options); }
};

}  // namespace

TEST_F(SequencedTest, CalibrateWritesItsMeanIntoN100) {
    const std::string port = Start({"--noise", "3"});
    const auto c = Vyx({"calibrate", "--port", port, "--file", kDevice, "--count", "16", "--write", "100R"});
    ASSERT_EQ(c.Status, 0) << c.Err;
    const auto lines = Lines(c.Out);
    ASSERT_EQ(lines.size(), 2u + 16 + 3 + 1) << c.Out;
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1], "kalibracja 100R ... ");
    long sum = 0;
    for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(lines[2 + i].substr(0, 19), "30001  R0          ");
        sum += std::stol(lines[2 + i].substr(19));
    }
    const long mean = (sum + 8) / 16;  // readings near 1000: no negative sums
    EXPECT_EQ(lines[18], "========           " + std::to_string(mean) + " ");
    EXPECT_TRUE(Like(lines[19], "err:               9,999 ")) << lines[19];  // noise of 3: err below 1
    EXPECT_EQ(lines[20], "");
    EXPECT_EQ(lines[21], "40001  N100:       " + std::to_string(mean));

    const auto r = Vyx({"read", "--port", port, "--file", kDevice, "N100"});
    EXPECT_EQ(r.Out, "40001  N100        " + std::to_string(mean) + ",00\n");
}

TEST_F(SequencedTest, WalkStopsAtTheFirstFailureWithItsStatus) {
    {
        const std::string port = Start({"--noise", "0"});
        const auto w = Vyx({"walk", "--port", port, "--file", kDevice, "Pomiar"});
        EXPECT_EQ(w.Status, 0) << w.Err;
        EXPECT_EQ(Lines(w.Out).size(), 8u) << w.Out;  // the bit children are not read
        EXPECT_EQ(Lines(w.Out)[0], "30001  R0          1000");
        EXPECT_EQ(Vyx({"walk", "--port", port, "--file", kDevice, "Brak"}).Status, 1);
    }
    const std::string port = Start({"--crc-errors", "0.3"});
    // A walk of 8 reads passes 0.3 CRC errors untouched one time in 17: a few walks meet one.
    int failed = 0;
    for (int attempt = 0; attempt < 8 && !failed; ++attempt) {
        const auto w = Vyx({"walk", "--port", port, "--file", kDevice, "Pomiar", "--hex"});
        int requests = 0, results = 0;
        for (const auto& line : Lines(w.Out)) {
            if (line.rfind("< ", 0) == 0)
                ++requests;
            else if (line.rfind("> ", 0) != 0)
                ++results;
        }
        if (w.Status == 0) {
            EXPECT_EQ(results, 8);
            continue;
        }
        ++failed;
        EXPECT_EQ(w.Status, 2) << w.Err;
        EXPECT_EQ(w.Err, "crc_error\n");
        EXPECT_EQ(requests, results + 1) << w.Out;  // nothing read after the failure
    }
    EXPECT_EQ(failed, 1);
}

TEST_F(SequencedTest, MonitorPrintsReadingsUntilCountOrCtrlC) {
    const std::string port = Start();
    const auto m = Vyx({"monitor", "--port", port, "--file", kDevice, "R0", "--period", "100", "--count", "5", "--csv"});
    EXPECT_EQ(m.Status, 0) << m.Err;
    const auto lines = Lines(m.Out);
    ASSERT_EQ(lines.size(), 5u) << m.Out;
    for (const auto& line : lines)
        EXPECT_TRUE(std::regex_match(line, kCsvGood)) << line;

    EXPECT_EQ(Vyx({"monitor", "--port", port, "--file", kDevice, "R0", "--period", "50"}).Status, 1);
    EXPECT_EQ(Vyx({"monitor", "--port", port, "--file", kDevice, "Pomiar", "--period", "100"}).Status, 1);

    TProcess run(VYX_BINARY, {"monitor", "--port", port, "--file", kDevice, "R0", "--period", "100", "--wait", "1000"});
    EXPECT_EQ(run.FirstLine(std::chrono::seconds(10)), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(run.Stop(SIGINT), 0) << run.Stderr();
    const auto shown = Lines(run.RestOfOutput());
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[1], "30001  R0:");
    EXPECT_TRUE(Like(shown[2], "99:99:99  +")) << shown[2];
}

TEST_F(SequencedTest, CtrlCEndsACalibrationWithoutASummary) {
    const std::string port = Start({"--noise", "0"});
    TProcess run(VYX_BINARY, {"calibrate", "--port", port, "--file", kDevice, "--count", "1000", "--wait", "1000"});
    EXPECT_EQ(run.FirstLine(std::chrono::seconds(10)), "");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(run.Stop(SIGINT), 1);
    EXPECT_EQ(run.Stderr(), "vyx calibrate: interrupted\n");
    const std::string out = run.RestOfOutput();
    EXPECT_NE(out.find("kalibracja  ... \n30001  R0          1000\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("========"), std::string::npos) << out;
}

TEST_F(SequencedTest, MonitorEndsWhenThePortIsGone) {
    const std::string port = Start();
    TProcess run(VYX_BINARY, {"monitor", "--port", port, "--file", kDevice, "R0", "--period", "100", "--wait", "1000"});
    EXPECT_EQ(run.FirstLine(std::chrono::seconds(10)), "");
    Sim().Stop(SIGKILL);  // its pseudo-terminal hangs up
    EXPECT_EQ(run.Wait(), 1);  // rather than "brak połączenia !" every period, for ever
    EXPECT_NE(run.Stderr().find("the port " + port + " is gone"), std::string::npos) << run.Stderr();
}

// --stable ends the run with 0 once the last N good readings settle; an unsettled
// end gives the status of the last failed reading, or 5 without one.
TEST_F(SequencedTest, MonitorStableEndsWithItsVerdict) {
    struct Case {
        const char* name;
        std::vector<std::string> sim, monitor;
        int status;
        const char* verdict;  // the line that ends the run begins so
        const char* reason;   // of the failed CSV lines; none: every line is good
    } cases[] = {
        {"settles", {"--noise", "1"}, {"--stable", "5", "--stats", "3", "--count", "30", "--csv"}, 0,
         "stabilny: rozrzut ", nullptr},
        {"too tight", {"--noise", "50"}, {"--stable", "0,0", "--stats", "4", "--count", "8"}, 5,
         "niestabilny: rozrzut ", nullptr},
        // Mostly failures: never 4 good readings in a row, and so never settled.
        {"time-outs", {"--noise", "50", "--silence", "0.9"},
         {"--stable", "0", "--stats", "4", "--count", "6", "--csv", "--wait", "300"}, 4, "vyx monitor: not stable: ",
         "brak odpowiedzi urządzenia"},
        {"crc errors", {"--noise", "50", "--crc-errors", "0.9"},
         {"--stable", "0%", "--stats", "4", "--count", "6", "--csv"}, 2, "vyx monitor: not stable: ",
         "błąd CRC odpowiedzi"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string port = Start(c.sim);
        std::vector<std::string> args = {"monitor", "--port", port, "--file", kDevice, "R0", "--period", "100"};
        args.insert(args.end(), c.monitor.begin(), c.monitor.end());
        const auto m = Vyx(args);
        EXPECT_EQ(m.Status, c.status) << m.Err;
        const bool csv = std::find(args.begin(), args.end(), "--csv") != args.end();
        // The statistics and the verdict go where the readings are not CSV; that
        // too few good readings came in a row goes to standard error.
        const std::string& side = csv ? m.Err : m.Out;
        EXPECT_TRUE(HasLineStarting(c.reason ? m.Err : side, c.verdict)) << m.Out << m.Err;
        if (!c.reason) {
            EXPECT_TRUE(HasLineStarting(side, "n: ")) << side;
        }
        if (!csv) continue;
        int failedLines = 0;
        for (const auto& line : Lines(m.Out)) {
            std::smatch match;
            if (std::regex_match(line, match, kCsvFailed)) {
                ++failedLines;
                EXPECT_EQ(match[1].str(), c.reason ? c.reason : "") << line;
            } else {
                EXPECT_TRUE(std::regex_match(line, kCsvGood)) << line;
            }
        }
        EXPECT_EQ(failedLines > 0, c.reason != nullptr) << m.Out;
        if (c.reason) {
            EXPECT_EQ(Lines(m.Out).size(), 6u) << m.Out;  // a failed reading has its line too
        }
    }
    const std::string port = Start();
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"R0", "--stats", "1"}, {"R0", "--stable", "x"}, {"R0", "--stable", ""}, {"Data kalibracji", "--stats", "5"}}) {
        std::vector<std::string> args = {"monitor", "--port", port, "--file", kDevice, "--period", "100", "--count", "2"};
        args.insert(args.end(), bad.begin(), bad.end());
        const auto m = Vyx(args);
        EXPECT_EQ(m.Status, 1) << bad[1] << " " << bad[2];
        EXPECT_EQ(m.Out, "");
    }
}

// A settling simulator: the readings climb until they stay within 1 %.
TEST_F(SequencedTest, MonitorStableWaitsForASettlingDevice) {
    const std::string port = Start({"--noise", "0", "--settle", "1,0"});
    const auto m = Vyx({"monitor", "--port", port, "--file", kDevice, "R0", "--period", "100", "--count", "200",
                        "--stable", "1%", "--stats", "5", "--csv"});
    EXPECT_EQ(m.Status, 0) << m.Err;
    const auto lines = Lines(m.Out);
    ASSERT_GE(lines.size(), 5u) << m.Out;
    std::smatch first, last;
    ASSERT_TRUE(std::regex_match(lines.front(), first, kCsvGood)) << lines.front();
    ASSERT_TRUE(std::regex_match(lines.back(), last, kCsvGood)) << lines.back();
    EXPECT_LT(std::stoi(first[1]), std::stoi(last[1])) << m.Out;
    EXPECT_GE(std::stoi(last[1]), 950) << m.Out;
}
