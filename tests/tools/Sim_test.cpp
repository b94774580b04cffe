// SPDX-License-Identifier: GPL-3.0-or-later
// vyx sim as a client sees it: over its pseudo-terminal, with the builders and
// the serial port of the program.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <set>
#include <filesystem>
#include <thread>

#include "modbus/Builders.h"
#include "modbus/Slave.h"
#include "modbus/Transaction.h"
#include "base/Error.h"
#include "registers/RegisterFile.h"
#include "base/Text.h"
#include "port/PortList.h"
#include "serial/Serial.h"
#include "tests/support/Process.h"
#include "tests/support/RecordingView.h"
#include "tests/support/Simulator.h"
#include "tests/support/Wire.h"

using namespace vyx;
namespace fs = std::filesystem;
using vyx::test::RegisterRecord;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kDevice = std::string(VYX_DEVICES_DIR) + "/VXT-20F.dat";

class SimTest : public test::SimulatorTest {
protected:
    SimTest() : SimulatorTest(VYX_BINARY, "sim") {}

    // Starts a simulator and opens its terminal; returns its path.
    std::string Start(const std::vector<std::string>& options, const std::string& file = kDevice) {
        const std::string path = StartSim(file, options);
        EXPECT_FALSE(path.empty()) << "the simulator printed no terminal path";
        return path;
    }

    // A simulator is another process, which a busy machine may schedule late: a
    // long first-byte wait keeps that from turning a reply into a time-out. It
    // costs nothing when the reply comes; where silence is expected, ExpectSilence.
    void Connect(const std::string& path) {
        ASSERT_TRUE(port.OpenPort(path, "19200,e,8,1"));
        ASSERT_TRUE(port.SetTimeouts(30, 0, 1000, 0, 30));
    }
    void ExpectSilence() { ASSERT_TRUE(port.SetTimeouts(30, 0, 40, 0, 30)); }

    // Sends the frame and reads the reply; the number of bytes received.
    uint32_t Exchange() { return test::Exchange(port, frame); }

    bool GoodReply() { return Exchange() >= 5 && CheckCrc(port.RxBuffer(), static_cast<uint16_t>(port.Received())); }

    std::u16string Read(const TRegData& r) {
        BuildRead(frame, 247, r);
        if (!GoodReply() || (port.RxBuffer()[1] & 0x80)) return u"(no value)";
        return DecodeValue(frame.TypeCode, port.RxBuffer()[2], port.RxBuffer() + 3);
    }

    TSerial port;
    TFrame frame;
};

}  // namespace

TEST_F(SimTest, ServesEveryRegisterOfTheFileWithItsValue) {
    Connect(Start({"--noise", "0"}));
    TRegisterTree tree;
    LoadRegisterFile(tree, kDevice);
    int registers = 0;
    for (const TNode* n = tree.First(); n; n = tree.NextNode(n)) {
        const TRegData& r = n->Record;
        const int type = GetTypeCode(r.DataType);
        if (GetAccessCode(r.Access) == kAccessGroup || type == kTypeNone) continue;
        ++registers;
        // The value as the device holds it: the file's text through its encoding.
        const int length = StrToInt(r.Length);
        std::u16string expected;
        if (type == kTypeText) {
            expected = r.Value.substr(0, static_cast<size_t>(2 * length));
        } else {
            const auto bytes = EncodeRegisters(type, r.Value, length);
            expected = DecodeValue(type, static_cast<int>(bytes.size()), bytes.data());
        }
        EXPECT_EQ(Read(r), expected) << ToUtf8(r.Name);
    }
    EXPECT_GT(registers, 20);
}

TEST_F(SimTest, CountsReadingsOfR0AndZeroesTheCounterOnCommand) {
    Connect(Start({}));
    const TRegData counter = RegisterRecord(u"30011", u"WORD", u"1");
    const TRegData command = RegisterRecord(u"40070", u"WORD", u"1");
    for (int i = 0; i < 3; ++i) Read(RegisterRecord(u"30001", u"INT", u"1"));
    Read(RegisterRecord(u"30003", u"REAL", u"2"));  // not R0: not counted
    EXPECT_EQ(Read(counter), u"3");

    // Another command value is kept and does nothing to the counter.
    BuildWriteSingle(frame, 247, RegisterRecord(u"40070", u"WORD", u"1", u"2"));
    ASSERT_TRUE(GoodReply());
    EXPECT_EQ(Read(command), u"2");
    EXPECT_EQ(Read(counter), u"3");

    BuildWriteSingle(frame, 247, RegisterRecord(u"40070", u"WORD", u"1", u"1"));
    ASSERT_TRUE(GoodReply());
    EXPECT_EQ(port.RxBuffer()[1], 6);
    EXPECT_EQ(Read(counter), u"0");
    EXPECT_EQ(Read(command), u"0");
    Read(RegisterRecord(u"30001", u"INT", u"1"));
    EXPECT_EQ(Read(counter), u"1");
}

TEST_F(SimTest, SteadyDeviceCountsNoReadings) {
    Connect(Start({"--noise", "0"}));
    for (int i = 0; i < 3; ++i) Read(RegisterRecord(u"30001", u"INT", u"1"));
    EXPECT_EQ(Read(RegisterRecord(u"30011", u"WORD", u"1")), u"0");
}

TEST_F(SimTest, StoresWritesToWritableRegistersOnly) {
    Connect(Start({}));
    BuildWriteMultiple(frame, 247, RegisterRecord(u"40001", u"REAL", u"2", u"1234,5"));  // N100, RW
    ASSERT_TRUE(GoodReply());
    EXPECT_EQ(port.RxBuffer()[1], 16);
    EXPECT_EQ(Read(RegisterRecord(u"40001", u"REAL", u"2")), u"1234,50");

    BuildWriteSingle(frame, 247, RegisterRecord(u"40015", u"WORD", u"1", u"9"));  // RP: written like RW
    ASSERT_TRUE(GoodReply());
    EXPECT_EQ(Read(RegisterRecord(u"40015", u"WORD", u"1")), u"9");

    BuildWriteSingle(frame, 247, RegisterRecord(u"40059", u"WORD", u"1", u"1"));  // RO
    ASSERT_TRUE(GoodReply());
    EXPECT_EQ(port.RxBuffer()[1], 0x86);
    EXPECT_EQ(port.RxBuffer()[2], 2);  // illegal data address
    EXPECT_EQ(Read(RegisterRecord(u"40059", u"WORD", u"1")), u"10234");
}

TEST_F(SimTest, UnknownAddressesGetTheIllegalAddressException) {
    Connect(Start({}));
    BuildRead(frame, 247, RegisterRecord(u"40999", u"WORD", u"1"));
    ASSERT_TRUE(GoodReply());
    EXPECT_EQ(port.RxBuffer()[1], 0x83);
    EXPECT_EQ(port.RxBuffer()[2], 2);
    // A read that runs past the end of a register is refused as well.
    BuildRead(frame, 247, RegisterRecord(u"40070", u"WORD", u"2"));  // 40071 is no register
    ASSERT_TRUE(GoodReply());
    EXPECT_EQ(port.RxBuffer()[1], 0x83);
}

TEST_F(SimTest, RestartDiagnosticIsEchoed) {
    Connect(Start({}));
    ASSERT_TRUE(BuildDiagnostic(frame, 247, kRestartSubFunction, kRestartData));
    ASSERT_EQ(Exchange(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(port.RxBuffer(), port.RxBuffer() + 8),
              std::vector<uint8_t>(frame.TxBuf.begin(), frame.TxBuf.begin() + 8));
}

TEST_F(SimTest, OtherSlaveAddressesAreNotAnswered) {
    const std::string path = Start({"--slave", "5"});
    Connect(path);
    ExpectSilence();
    BuildRead(frame, 247, RegisterRecord(u"40059", u"WORD", u"1"));
    EXPECT_EQ(Exchange(), 0u);
    Connect(path);
    BuildRead(frame, 5, RegisterRecord(u"40059", u"WORD", u"1"));
    EXPECT_TRUE(GoodReply());
}

TEST_F(SimTest, FaultInjection) {
    {
        Connect(Start({"--crc-errors", "1"}));
        for (int i = 0; i < 3; ++i) {
            BuildRead(frame, 247, RegisterRecord(u"40059", u"WORD", u"1"));
            ASSERT_EQ(Exchange(), 7u);
            EXPECT_FALSE(CheckCrc(port.RxBuffer(), 7));
        }
    }
    {
        Connect(Start({"--silence", "1"}));
        ExpectSilence();
        for (int i = 0; i < 3; ++i) {
            BuildRead(frame, 247, RegisterRecord(u"40059", u"WORD", u"1"));
            EXPECT_EQ(Exchange(), 0u);
        }
    }
    {
        Connect(Start({"--exceptions", "1"}));
        BuildRead(frame, 247, RegisterRecord(u"40059", u"WORD", u"1"));
        ASSERT_TRUE(GoodReply());
        EXPECT_EQ(port.RxBuffer()[1], 0x83);
        EXPECT_EQ(port.RxBuffer()[2], 4);  // slave device failure
    }
    const int status = sims.front()->Stop(SIGTERM);
    EXPECT_EQ(status, 0);
    EXPECT_NE(sims.front()->Stderr().find("3 requests"), std::string::npos) << sims.front()->Stderr();
    EXPECT_NE(sims.front()->Stderr().find("3 with a broken CRC"), std::string::npos);
}

TEST_F(SimTest, NoiseVariesR0AroundItsValue) {
    Connect(Start({"--noise", "5"}));
    std::set<std::u16string> seen;
    for (int i = 0; i < 5; ++i) {
        const std::u16string v = Read(RegisterRecord(u"30001", u"INT", u"1"));
        EXPECT_LE(std::abs(StrToInt(v) - 1000), 5) << ToUtf8(v);  // R0 of the sample device is 1000 counts
        seen.insert(v);
    }
    EXPECT_GT(seen.size(), 1u);
}

// From the request's first byte to the reply's last one, as the line delivers
// them: the read ends with the reply's last byte.
TEST_F(SimTest, BaudPacesTheExchangeLikeALine) {
    const auto fastestExchange = [&](const std::string& path) {
        Connect(path);
        // A simulator that a busy machine holds up mid-reply must not end the read:
        // a complete reply ends it anyway.
        EXPECT_TRUE(port.SetTimeouts(500, 0, 1000, 0, 30));
        BuildRead(frame, 247, RegisterRecord(u"40001", u"TEXT", u"13"));
        double fastest = 1e9;
        for (int i = 0; i < 5; ++i) {  // the fastest of five: a busy machine does not decide
            const auto start = Clock::now();
            EXPECT_EQ(Exchange(), 31u);
            fastest = std::min(fastest, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        return fastest;
    };
    const double paced = fastestExchange(Start({"--baud", "9600"}));
    const double free = fastestExchange(Start({}));
    // 8 + 31 bytes of 11 bits at 9600 baud take 44.7 ms; the simulator sleeps them.
    EXPECT_GT(paced, 40.0);
    EXPECT_LT(paced, 300.0);
    EXPECT_LT(free, paced / 2);
}

TEST_F(SimTest, LinkLivesAsLongAsTheSimulatorAndTwoRunSideBySide) {
    const std::string first = Start({});
    const std::string second = Start({});
    const fs::path link1 = folder / "vyx" / "VXT-20F";
    const fs::path link2 = folder / "vyx" / "VXT-20F-2";
    ASSERT_TRUE(fs::is_symlink(link1));
    ASSERT_TRUE(fs::is_symlink(link2));
    EXPECT_EQ(fs::read_symlink(link1), first);
    EXPECT_EQ(fs::read_symlink(link2), second);
    const auto ports = ListPorts();
    EXPECT_NE(std::find(ports.begin(), ports.end(), link1.string()), ports.end());

    // Both answer, each on its own terminal, opened through the links.
    Connect(link1.string());
    EXPECT_EQ(Read(RegisterRecord(u"40059", u"WORD", u"1")), u"10234");
    TSerial other;
    ASSERT_TRUE(other.OpenPort(link2.string(), "19200,e,8,1"));
    port.ClosePort();

    EXPECT_EQ(sims[0]->Stop(SIGINT), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link1)));
    EXPECT_TRUE(fs::is_symlink(link2));
    EXPECT_EQ(sims[1]->Stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link2)));
}

// A simulator killed outright leaves its link behind. The port list ignores it
// even when its terminal exists again for another simulator, and the next
// simulator of that name takes the name over.
TEST_F(SimTest, LinkOfAKilledSimulatorIsStale) {
    Start({"--name", "old"});
    const fs::path stale = folder / "vyx" / "old";
    ASSERT_TRUE(fs::is_symlink(stale));
    EXPECT_EQ(sims.back()->Stop(SIGKILL), 128 + SIGKILL);
    ASSERT_TRUE(fs::is_symlink(stale)) << "nothing removed it";

    // Wherever the stale link points now (a new terminal may reuse its number),
    // it is not listed; the new simulator's link is.
    const std::string other = Start({"--name", "new"});
    auto ports = ListPorts();
    EXPECT_EQ(std::find(ports.begin(), ports.end(), stale.string()), ports.end());
    EXPECT_NE(std::find(ports.begin(), ports.end(), (folder / "vyx" / "new").string()), ports.end());
    // Pointed at a live terminal, the stale link is still not a port.
    fs::remove(stale);
    fs::create_symlink(other, stale);
    ports = ListPorts();
    EXPECT_EQ(std::find(ports.begin(), ports.end(), stale.string()), ports.end());

    // The next simulator named "old" replaces the stale link instead of taking "old-2".
    const std::string again = Start({"--name", "old"});
    EXPECT_EQ(fs::read_symlink(stale), again);
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "vyx" / "old-2")));
    ports = ListPorts();
    EXPECT_NE(std::find(ports.begin(), ports.end(), stale.string()), ports.end());
    EXPECT_EQ(sims.back()->Stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(stale)));
    EXPECT_FALSE(fs::exists(SimulatorLockPath(stale.string()))) << "a clean end leaves nothing behind";
}

TEST_F(SimTest, SummaryCountsEachReplyOnce) {
    Connect(Start({"--crc-errors", "0.5", "--exceptions", "0.5"}));
    constexpr int kRequests = 40;
    for (int i = 0; i < kRequests; ++i) {
        BuildRead(frame, 247, RegisterRecord(u"40059", u"WORD", u"1"));
        Exchange();
    }
    ASSERT_EQ(sims.back()->Stop(SIGTERM), 0);
    const std::string& summary = sims.back()->Stderr();
    long requests = -1, good = -1, writes = -1, echoes = -1, exceptions = -1, crc = -1, silent = -1, ignored = -1;
    const size_t at = summary.find("vyx sim: ", summary.find('\n'));
    ASSERT_NE(at, std::string::npos) << summary;
    ASSERT_EQ(std::sscanf(summary.c_str() + at,
                          "vyx sim: %ld requests: %ld good replies (%ld writes, %ld echoes), %ld exceptions, "
                          "%ld with a broken CRC, %ld unanswered; %ld frames ignored",
                          &requests, &good, &writes, &echoes, &exceptions, &crc, &silent, &ignored),
              8)
        << summary;
    EXPECT_EQ(requests, kRequests);
    EXPECT_EQ(good + exceptions + crc + silent, requests) << summary;
    EXPECT_GT(crc, 0);
    EXPECT_GT(exceptions, 0);
}

TEST_F(SimTest, BadFileAndOptionsAreRefused) {
    const auto bad = test::RunToEnd(VYX_BINARY, {"sim", (folder / "missing.dat").string()});
    EXPECT_EQ(bad.Status, 1);
    EXPECT_NE(bad.Err.find("Cannot open file"), std::string::npos) << bad.Err;
    // A simulator folder that is a link somewhere else is not used.
    fs::create_directories(folder / "elsewhere");
    fs::create_directory_symlink(folder / "elsewhere", folder / "vyx");
    const auto planted = test::RunToEnd(VYX_BINARY, {"sim", kDevice}, {{"XDG_RUNTIME_DIR", folder.string()}});
    EXPECT_EQ(planted.Status, 1);
    EXPECT_NE(planted.Err.find("is not a folder of this user"), std::string::npos) << planted.Err;
    EXPECT_TRUE(fs::is_empty(folder / "elsewhere"));
    const auto option = test::RunToEnd(VYX_BINARY, {"sim", kDevice, "--crc-errors", "2"});
    EXPECT_NE(option.Status, 0);
    EXPECT_NE(option.Err.find("probability"), std::string::npos) << option.Err;
    for (const char* settle : {"0", "-1", "x", "1,5s", "nan"}) {
        const auto refused = test::RunToEnd(VYX_BINARY, {"sim", kDevice, "--settle", settle});
        EXPECT_EQ(refused.Status, 2) << settle;
        EXPECT_NE(refused.Err.find("--settle needs a time in seconds above 0"), std::string::npos) << refused.Err;
    }
}

// The transaction of the program against the simulator, on the sample device's
// own tree: the value is stored and the matching bit child ticked.
TEST_F(SimTest, TransactionReadsTheSampleDevice) {
    Connect(Start({"--noise", "0"}));
    TRegisterTree tree;
    LoadRegisterFile(tree, kDevice);
    test::TRecordingView view;
    TTransaction t(port, frame, view);
    TNode* unit = tree.FindRegisterByName(U16("Jednostka ciśnienia"));
    ASSERT_NE(unit, nullptr);
    ASSERT_TRUE(unit->States & kStateHasChildren);
    t.ReadRegister(*unit, 247);
    EXPECT_EQ(unit->Record.Value, u"1");
    for (size_t i = 0; i < unit->ChildCount(); ++i)
        EXPECT_EQ(unit->Child(i)->CheckState, i == 1 ? kCheckCheckedNormal : kCheckUncheckedNormal)
            << ToUtf8(unit->Child(i)->Record.Name);
    ASSERT_EQ(view.ResultLines.size(), 1u);
    EXPECT_EQ(view.ResultLines[0], "40028  Jednostka c 1");

    // A write of a new unit, then the read ticks the child of that value.
    unit->Record.Value = std::u16string(1, u'4');
    ASSERT_TRUE(t.WriteRegister(*unit, 247));
    t.ReadRegister(*unit, 247);
    EXPECT_EQ(unit->Child(4)->CheckState, kCheckCheckedNormal);
    EXPECT_EQ(unit->Child(1)->CheckState, kCheckUncheckedNormal);
    EXPECT_TRUE(view.Messages.empty());
}
