// SPDX-License-Identifier: GPL-3.0-or-later
// A set of signals read in rounds over one line of two simulated units, and
// `vyx monitor` with several registers.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "port/AnyPort.h"
#include "sequences/Signals.h"
#include "tests/support/Simulator.h"

using namespace vyx;

namespace {

const std::string kVxt = std::string(VYX_DEVICES_DIR) + "/VXT-20F.dat";
const std::string kVxp = std::string(VYX_DEVICES_DIR) + "/VXP-10.dat";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class SignalsTest : public test::SimulatorTest {
protected:
    SignalsTest() : SimulatorTest(VYX_BINARY, "signals") {}
};

}  // namespace

TEST_F(SignalsTest, ARoundReadsEverySignalAndAFailureStopsNoOther) {
    const std::string pty = StartSim(kVxt, {"--noise", "0", "--unit", kVxp + ":5"});
    TAnyPort port;
    TLineSettings settings;
    settings.ReplyWaitMs = 1000;  // a busy machine may run the simulator late
    ASSERT_TRUE(port.Open(pty, settings).Opened);
    TWire wire;
    const std::vector<TSignal> set = {
        {247, "VXT-20F.dat", {u"R0", u"", u"30001", u"INT", u"1", u"RO", u""}},
        {5, "VXP-10.dat", {u"Numer", u"", u"40059", u"WORD", u"1", u"RO", u""}},  // VXT-20F's only
        {5, "VXP-10.dat", {u"Przepływ chwilowy", u"m³/h", u"30001", u"REAL", u"2", u"RO", u""}},
    };
    const TRound round = ReadRound(port, wire, {}, set);
    ASSERT_EQ(round.Readings.size(), 3u);
    EXPECT_EQ(round.Readings[0].Reading.Number, 1000);
    EXPECT_FALSE(round.Readings[1].Reading.Good);
    EXPECT_EQ(round.Readings[1].Outcome, TOutcome::Exception);
    EXPECT_EQ(round.Readings[2].Reading.Number, 12.5);
    EXPECT_EQ(round.Lines.size(), 6u);  // each request and its reply
    EXPECT_EQ(RoundCsvHeader(set), "czas;R0 @247;Numer @5;Przepływ chwilowy [m³/h] @5;przyczyna");
    const std::string line = RoundCsvLine(set, round);
    EXPECT_TRUE(std::regex_match(
        line, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3};1000;;12,5;Numer: wyjątek 2: niedozwolony adres danych)")))
        << line;
}

TEST_F(SignalsTest, MonitorPrintsTheSetsCsvWithItsHeader) {
    const std::string pty = StartSim(kVxt, {"--noise", "0"});
    const auto m = Vyx({"monitor", "--port", pty, "--file", kVxt, "R0", "Prąd wyjściowy", "--period", "100",
                        "--count", "3", "--csv"});
    ASSERT_EQ(m.Status, 0) << m.Err;
    const auto lines = Lines(m.Out);
    ASSERT_EQ(lines.size(), 4u) << m.Out;
    EXPECT_EQ(lines[0],
              "czas;R0 [Wartość surowa przetwornika A/C w jednostkach przetwornika, źródło kalibracji] @247;"
              "Prąd wyjściowy [mA, wartość zadana pętli 4–20 mA] @247;przyczyna");
    for (size_t k = 1; k < 4; ++k)
        EXPECT_TRUE(std::regex_match(lines[k], std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3};1000;4,05;)")))
            << lines[k];
    // A single register keeps its lines without a header.
    const auto one = Vyx({"monitor", "--port", pty, "--file", kVxt, "R0", "--period", "100", "--count", "1", "--csv"});
    EXPECT_EQ(Lines(one.Out).size(), 1u) << one.Out;
}

TEST_F(SignalsTest, MonitorJudgesEachSignalAndNamesTheUnstableOnes) {
    // R0 wanders by up to 50 counts; the output current holds still.
    const std::string pty = StartSim(kVxt, {"--noise", "50"});
    const auto m = Vyx({"monitor", "--port", pty, "--file", kVxt, "R0", "Prąd wyjściowy", "--period", "100",
                        "--count", "4", "--stats", "3", "--stable", "0,5"});
    EXPECT_EQ(m.Status, 5) << m.Err;
    EXPECT_NE(m.Out.find("Prąd wyjściowy: stabilny: rozrzut 0"), std::string::npos) << m.Out;
    EXPECT_NE(m.Out.find("R0: niestabilny: rozrzut "), std::string::npos) << m.Out;
    EXPECT_NE(m.Err.find("not stable: R0\n"), std::string::npos) << m.Err;
    EXPECT_EQ(m.Err.find("Prąd wyjściowy"), std::string::npos) << m.Err;
}
