// SPDX-License-Identifier: GPL-3.0-or-later
// vyx read, vyx write and vyx reset against the simulator: what they print and
// the exit status of each outcome.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "modbus/Frame.h"
#include "serial/Serial.h"
#include "tests/support/ModbusSlave.h"
#include "tests/support/Process.h"
#include "tests/support/Simulator.h"
#include "tests/support/Wire.h"

namespace fs = std::filesystem;
using vyx::test::RunToEnd;
using vyx::test::TProcess;

namespace {

const std::string kDevice = std::string(VYX_DEVICES_DIR) + "/VXT-20F.dat";

class MasterTest : public vyx::test::SimulatorTest {
protected:
    MasterTest() : SimulatorTest(VYX_BINARY, "master") {}

    std::string Start(std::vector<std::string> options = {}) {
        options.insert(options.begin(), {"--noise", "0"});
        return StartSim(kDevice, options);
    }
};

}  // namespace

TEST_F(MasterTest, ReadPrintsTheResultLineAndTheFrames) {
    const std::string port = Start();
    const auto r = Vyx({"read", "--port", port, "--file", kDevice, "Numer fabryczny", "--hex"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    // The name's 13th character on is overwritten by the value.
    EXPECT_EQ(r.Out, "< $F703003A0001B091\n> $F7030227FAEBE2\n40059  Numer fabry 10234\n");
}

TEST_F(MasterTest, WriteThenReadBack) {
    const std::string port = Start();
    auto w = Vyx({"write", "--port", port, "--file", kDevice, "N100", "1500,25"});
    EXPECT_EQ(w.Status, 0) << w.Err;
    EXPECT_EQ(w.Out, "40001  N100:       1500,25\n");
    auto r = Vyx({"read", "--port", port, "--file", kDevice, "N100"});
    EXPECT_EQ(r.Out, "40001  N100        1500,25\n");
    // A register not in a file, by its number, type and length.
    w = Vyx({"write", "--port", port, "--address", "40020", "--type", "TEXT", "--length", "8", "Zbiornik Łąka"});
    EXPECT_EQ(w.Status, 0) << w.Err;
    r = Vyx({"read", "--port", port, "--address", "40020", "--type", "TEXT", "--length", "8"});
    EXPECT_EQ(r.Out, "40020              Zbiornik Łąka\n");  // the line loses its trailing spaces
}

TEST_F(MasterTest, ExitStatusOfEachOutcome) {
    {
        const std::string port = Start();
        const auto exception = Vyx({"read", "--port", port, "--address", "40999"});
        EXPECT_EQ(exception.Status, 3);
        EXPECT_EQ(exception.Err, "błąd ! (exception 2: illegal data address)\n");
        EXPECT_EQ(exception.Out, "");  // no result line
        const auto ro = Vyx({"write", "--port", port, "--file", kDevice, "Numer fabryczny", "1"});
        EXPECT_EQ(ro.Status, 1);
        EXPECT_NE(ro.Err.find("not writable"), std::string::npos) << ro.Err;
        const auto bad = Vyx({"write", "--port", port, "--file", kDevice, "N100", "1.5"});
        EXPECT_EQ(bad.Status, 1);
        EXPECT_NE(bad.Err.find("'1.5' is not a valid floating point value"), std::string::npos) << bad.Err;
        const auto reset = Vyx({"reset", "--port", port, "--hex"});
        EXPECT_EQ(reset.Status, 0) << reset.Err;
        EXPECT_EQ(reset.Out, "< $F7080001FF00E4AD\n> $F7080001FF00E4AD\n       Reset\n");
        EXPECT_EQ(Vyx({"reset", "--port", port, "--slave", "0"}).Status, 1);
    }
    {
        const std::string port = Start({"--crc-errors", "1"});
        const auto crc = Vyx({"read", "--port", port, "--file", kDevice, "R0"});
        EXPECT_EQ(crc.Status, 2);
        EXPECT_EQ(crc.Err, "crc_error\n");
    }
    {
        const std::string port = Start({"--silence", "1"});
        const auto silent = Vyx({"read", "--port", port, "--file", kDevice, "R0", "--wait", "40"});
        EXPECT_EQ(silent.Status, 4);
        EXPECT_EQ(silent.Err, "no reply\n");
    }
    EXPECT_EQ(Vyx({"read", "--port", (folder / "none").string(), "--address", "40001"}).Status, 1);
    EXPECT_EQ(Vyx({"read", "--port", "/dev/null", "--file", kDevice, "Nieznany"}).Status, 1);
}

TEST_F(MasterTest, CountRepeatsAndSummarises) {
    const std::string port = Start();
    const auto r = Vyx({"read", "--port", port, "--file", kDevice, "R0", "--count", "5"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(std::count(r.Out.begin(), r.Out.end(), '\n'), 5);
    EXPECT_NE(r.Err.find("requests: 5, good: 5, CRC errors: 0, exceptions: 0, time-outs: 0"), std::string::npos)
        << r.Err;
}

// Another master than ours: mbpoll's one-shot read of the simulator.
TEST_F(MasterTest, MbpollReadsTheSimulator) {
    ASSERT_TRUE(fs::exists("/usr/bin/mbpoll")) << "scripts/setup installs mbpoll";
    const std::string port = Start();
    const auto r = RunToEnd("/usr/bin/mbpoll",
                            {"-m", "rtu", "-a", "247", "-b", "19200", "-P", "even", "-t", "4", "-r", "59", "-c", "2",
                             "-1", port});
    EXPECT_EQ(r.Status, 0) << r.Out << r.Err;
    EXPECT_NE(r.Out.find("[59]: \t10234"), std::string::npos) << r.Out;
    EXPECT_NE(r.Out.find("[60]: \t"), std::string::npos) << r.Out;
}

TEST_F(MasterTest, PortThatGoesAwayEndsTheCountAtOnceAndOpensAgainOnceBack) {
    using Clock = std::chrono::steady_clock;
    const std::string port = Start({"--baud", "9600"});
    const auto start = Clock::now();
    TProcess read(VYX_BINARY, {"read", "--port", port, "--file", kDevice, "Numer fabryczny", "--count", "100000"});
    // Long enough that the start-up's own processor time (under the sanitizers,
    // a fifth of a second) is small beside what a spinning read would burn.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto unplugged = Clock::now();
    Sim().Stop(SIGKILL);  // its pseudo-terminal hangs up
    EXPECT_EQ(read.Wait(), 1);
    const auto end = Clock::now();
    EXPECT_NE(read.Stderr().find("the port " + port + " is gone"), std::string::npos) << read.Stderr();
    EXPECT_NE(read.Stderr().find("requests: "), std::string::npos) << read.Stderr();
    // 100 000 reads would take half an hour; a hung-up line that spins would burn the processor.
    EXPECT_LT(end - unplugged, std::chrono::seconds(5));
    // A spinning read would use all of it.
    EXPECT_LT(read.CpuTime(), (end - start) / 2) << "a waiting read must sleep";

    const std::string back = Start();
    const auto r = Vyx({"read", "--port", back, "--file", kDevice, "Numer fabryczny"});
    EXPECT_EQ(r.Status, 0) << r.Err;
}

TEST_F(MasterTest, WaitGivesASlowDeviceTimeToAnswer) {
    const std::string port = Start({"--delay", "100"});
    const auto waited = Vyx({"read", "--port", port, "--file", kDevice, "Numer fabryczny", "--wait", "3000"});
    EXPECT_EQ(waited.Status, 0) << waited.Err;
    EXPECT_EQ(waited.Out, "40059  Numer fabry 10234\n");
    // Last, so that its late reply meets no other read.
    const auto late = Vyx({"read", "--port", port, "--file", kDevice, "Numer fabryczny", "--wait", "40"});
    EXPECT_EQ(late.Status, 4) << late.Err;  // the window's 40 ms
    EXPECT_EQ(Vyx({"read", "--port", port, "--file", kDevice, "Numer fabryczny", "--wait", "0"}).Status, 1);
}

TEST_F(MasterTest, MessagesSayWhy) {
    const std::string port = Start();
    vyx::TSerial holder;  // another program holding a port
    vyx::test::TPty other;
    ASSERT_TRUE(holder.OpenPort(other.SlavePath(), "19200"));
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"read", "--port", (folder / "none").string(), "--address", "40001"}, "no such device"},
        {{"read", "--port", other.SlavePath(), "--address", "40001"}, "busy: held by another program"},
        {{"read", "--port", "/dev/null", "--address", "40001"}, "not a terminal"},
        {{"read", "--port", port, "--mode", "19200,x", "--address", "40001"}, "the mode string is not understood"},
        {{"read", "--port", port, "--file", kDevice, "Kalibracja"}, "\"Kalibracja\" is a group, not a register"},
        {{"write", "--port", port, "--file", kDevice, "kPa", "1"},
         "\"kPa\" is a bit child of \"Jednostka ciśnienia\", not a register"},
        {{"read", "--port", port, "--address", "40001", "--type", "WROD"}, "unknown --type WROD"},
        {{"write", "--port", port, "--file", kDevice, "N100", "1.5"}, "a decimal comma is expected"},
        {{"read", "--port", port, "--address", "40001", "--slave", "256"}, "nieprawidłowy adres urządzenia"},
        {{"read", "--port", port, "--address", "-25535"}, "rejestr poza zakresem"},
    };
    for (const auto& c : cases) {
        const auto r = Vyx(c.args);
        EXPECT_EQ(r.Status, 1) << c.message;
        EXPECT_NE(r.Err.find(c.message), std::string::npos) << r.Err;
        EXPECT_EQ(r.Out, "");
    }
}

// Slave texts and register numbers beyond their fields send nothing at all.
TEST(MasterRefusals, NothingIsSent) {
    vyx::test::TModbusSlave slave;
    const struct {
        const char* slave;
        const char* address;
    } cases[] = {{"256", "40001"}, {"-1", "40001"}, {"503", "40001"}, {"247", "105537"}, {"247", "-25535"}};
    for (const auto& c : cases) {
        for (const char* command : {"read", "write"}) {
            std::vector<std::string> args = {command, "--port", slave.SlavePath(), "--slave", c.slave, "--address",
                                             c.address};
            if (command[0] == 'w') args.push_back("1");
            EXPECT_EQ(RunToEnd(VYX_BINARY, args).Status, 1) << command << " " << c.slave << " " << c.address;
        }
    }
    EXPECT_EQ(RunToEnd(VYX_BINARY, {"reset", "--port", slave.SlavePath(), "--slave", "256"}).Status, 1);
    EXPECT_TRUE(slave.Pty().ReadUntilQuiet(std::chrono::milliseconds(100), std::chrono::seconds(1)).empty());
    EXPECT_EQ(slave.RequestCount(), 0);
}

// A reply with a good CRC that answers another request (another slave, function
// or byte count: most likely a late reply) stores nothing: the read fails with
// status 6 and the reason, and --count counts it.
TEST(MasterMismatch, RepliesNotAnsweringTheRequestFailWithSix) {
    const struct {
        vyx::test::Bytes reply;
        std::string reason;
    } cases[] = {
        {vyx::test::WithCrc({0x11, 0x03, 0x02, 0x00, 0x07}), "slave 17 instead of 247"},
        {vyx::test::WithCrc({0xF7, 0x04, 0x02, 0x00, 0x07}), "function 4 instead of 3"},
        {vyx::test::WithCrc({0xF7, 0x03, 0x04, 0x00, 0x07, 0x00, 0x08}), "4 data bytes instead of 2"},
    };
    for (const auto& c : cases) {
        vyx::test::TModbusSlave slave;
        slave.ReplyRawOnce(c.reply);
        // A reply wait a busy machine (and the sanitizers) keeps: the slave answers at once otherwise.
        const auto r = RunToEnd(VYX_BINARY, {"read", "--port", slave.SlavePath(), "--address", "40001", "--wait", "3000"});
        EXPECT_EQ(r.Status, 6) << r.Err;
        EXPECT_EQ(r.Out, "") << "no value of another request's reply";
        EXPECT_EQ(r.Err, "the reply does not answer the request: " + c.reason + "\n");
    }
    vyx::test::TModbusSlave slave;
    slave.SetHolding(0, 5);
    slave.ReplyRawOnce(cases[0].reply);
    slave.ReplyRawOnce(cases[1].reply);
    const auto r = RunToEnd(VYX_BINARY,
                            {"read", "--port", slave.SlavePath(), "--address", "40001", "--count", "3", "--wait", "3000"});
    EXPECT_EQ(r.Status, 6) << r.Err;
    EXPECT_EQ(r.Out, "40001              5\n");
    EXPECT_NE(r.Err.find("good: 1,"), std::string::npos) << r.Err;
    EXPECT_NE(r.Err.find("replies not matching the request: 2;"), std::string::npos) << r.Err;
}
