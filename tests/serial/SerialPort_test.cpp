// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port over a real pseudo-terminal: the test plays the device on the
// master side.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <numeric>
#include <thread>
#include <ostream>

#include <gtest/gtest.h>

#include "serial/Serial.h"
#include "serial/Termios.h"
#include "tests/support/Pty.h"

namespace vyx {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::TChunk;
using test::TPty;
using Clock = std::chrono::steady_clock;

const Bytes kRequest = {0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x9C};

Bytes Sequence(std::size_t n, uint8_t first = 0) {
    Bytes b(n);
    std::iota(b.begin(), b.end(), first);
    return b;
}

Bytes RxBytes(const TSerial& port) {
    return Bytes(port.RxBuf.begin(), port.RxBuf.begin() + port.Com.Received);
}

bool AllBytes(const TSerial& port, uint8_t value) {
    return std::all_of(port.RxBuf.begin(), port.RxBuf.end(), [=](uint8_t b) { return b == value; });
}

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class SerialPort : public ::testing::Test {
protected:
    // Opens the client end with the values the connection panel uses.
    void Open(const std::string& mode = "19200,e,8,1") {
        ASSERT_TRUE(port.OpenPort(pty.SlavePath(), mode));
        ASSERT_TRUE(port.SetTimeouts(30, 0, 40, 0, 30));
    }

    // Sends the request as a transaction does and checks that it reached the device.
    void SendRequest() {
        ASSERT_EQ(port.WritePort(kRequest.data(), static_cast<uint16_t>(kRequest.size())), kRequest.size());
        ASSERT_EQ(pty.ReadClient(kRequest.size(), 500ms), kRequest);
    }

    // A first-byte wait that a busy machine cannot outlast, for reads that
    // expect bytes: it costs nothing when they come.
    void WaitLongForTheFirstByte() { ASSERT_TRUE(port.SetTimeouts(30, 0, 1000, 0, 30)); }

    // Reads once and returns how long it took, in milliseconds.
    long long TimedRead(bool& ok) {
        const auto start = Clock::now();
        ok = port.ReadPort();
        return MsSince(start);
    }

    TPty pty;
    TSerial port;
};

// ---- Opening and closing ----

TEST_F(SerialPort, OpensAndPurgesWhatWaited) {
    pty.Send({1, 2, 3});
    Open();
    EXPECT_TRUE(port.Com.Opened);
    EXPECT_TRUE(port.IsOpened());
    EXPECT_NE(port.Handle(), kInvalidPortHandle);
    bool ok = false;
    TimedRead(ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(port.Com.Received, 0u) << "input queued before the open must be discarded";
}

TEST_F(SerialPort, PathWithoutDeviceFails) {
    EXPECT_FALSE(port.OpenPort("/dev/vyx-no-such-port", "19200,e,8,1"));
    EXPECT_FALSE(port.Com.Opened);
    EXPECT_EQ(port.Handle(), kInvalidPortHandle);
    EXPECT_FALSE(port.OpenPort("", "19200,e,8,1"));
    EXPECT_FALSE(port.Com.Opened);
}

TEST_F(SerialPort, FileThatIsNoTerminalFails) {
    EXPECT_FALSE(port.OpenPort("/dev/null", "19200,e,8,1"));
    EXPECT_FALSE(port.Com.Opened);
    EXPECT_EQ(port.Handle(), kInvalidPortHandle);
}

// A user outside the device's group: the open says so rather than a bare errno.
// root opens anything, so as root the open is tried in a child as nobody.
TEST_F(SerialPort, DeviceWithoutPermissionIsItsOwnFault) {
    ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        TSerial other;
        const bool opened = other.OpenPort(pty.SlavePath(), "19200,e,8,1");
        _exit(opened ? 1 : other.OpenFault() == TOpenFault::NoPermission && other.OpenErrno() == EACCES ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: opened, 2: another fault, 3: could not become nobody";
    EXPECT_EQ(OpenFaultText(TOpenFault::NoPermission, EACCES), "permission denied");

    // The owner's own refusals keep their faults.
    EXPECT_FALSE(port.OpenPort("/dev/vyx-no-such-port", "19200,e,8,1"));
    EXPECT_EQ(port.OpenFault(), TOpenFault::NoDevice);
    EXPECT_FALSE(port.OpenPort("/dev/null", "19200,e,8,1"));
    EXPECT_EQ(port.OpenFault(), TOpenFault::NotTerminal);
}

TEST_F(SerialPort, OpenWhileOpenClosesTheOldPortEvenWhenTheNewOpenFails) {
    Open();
    EXPECT_FALSE(port.OpenPort("/dev/vyx-no-such-port", "19200,e,8,1"));
    EXPECT_FALSE(port.Com.Opened);
    TSerial other;
    EXPECT_TRUE(other.OpenPort(pty.SlavePath(), "19200,e,8,1")) << "the old port is still held";
}

TEST_F(SerialPort, OpenOfAnotherPortReleasesTheFirst) {
    TPty second;
    Open();
    ASSERT_TRUE(port.OpenPort(second.SlavePath(), "9600,n,8,1"));
    EXPECT_TRUE(port.Com.Opened);
    TSerial other;
    EXPECT_TRUE(other.OpenPort(pty.SlavePath(), "19200,e,8,1"));
    TSerial third;
    EXPECT_FALSE(third.OpenPort(second.SlavePath(), "19200,e,8,1"));
}

TEST_F(SerialPort, ModeOfLettersOnlyFailsAndReleasesTheDevice) {
    EXPECT_FALSE(port.OpenPort(pty.SlavePath(), "abc"));
    EXPECT_FALSE(port.Com.Opened);
    EXPECT_EQ(port.Handle(), kInvalidPortHandle);
    TSerial other;
    EXPECT_TRUE(other.OpenPort(pty.SlavePath(), "19200,e,8,1"));
}

TEST_F(SerialPort, ClosePortTwiceDoesNothingTheSecondTime) {
    Open();
    port.ClosePort();
    EXPECT_FALSE(port.Com.Opened);
    EXPECT_EQ(port.Handle(), kInvalidPortHandle);
    port.ClosePort();
    EXPECT_FALSE(port.Com.Opened);
    EXPECT_EQ(port.Handle(), kInvalidPortHandle);
    Open();  // and the device can be opened again
}

TEST_F(SerialPort, KeepsPathAndModeTextOfTheCaller) {
    port.Com.PortPath = pty.SlavePath();
    port.Com.ModeText = "19200,e,8,1";
    Open();
    port.ClosePort();
    EXPECT_EQ(port.Com.PortPath, pty.SlavePath());
    EXPECT_EQ(port.Com.ModeText, "19200,e,8,1");
}

// ---- Line settings as the device side sees them ----

struct LineCase {
    const char* mode;
    uint32_t speed;
    bool twoStop;
};

void PrintTo(const LineCase& c, std::ostream* os) { *os << '"' << c.mode << '"'; }

class SerialLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(SerialLine, ConfiguresRawLineAtTheSpeed) {
    TPty pty;
    TSerial port;
    ASSERT_TRUE(port.OpenPort(pty.SlavePath(), GetParam().mode));
    EXPECT_EQ(port.Line().Baud, GetParam().speed);
    EXPECT_EQ(posix::LineSpeed(pty.SlaveFd()), GetParam().speed);
    const termios t = pty.SlaveAttributes();
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, GetParam().twoStop);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
}

INSTANTIATE_TEST_SUITE_P(Serial, SerialLine,
                         ::testing::Values(LineCase{"19200,e,8,1", 19200, false},
                                           LineCase{"9600,o,8,1", 9600, false},
                                           LineCase{"38400,n,8,2", 38400, true},
                                           LineCase{"57600,n,8,1", 57600, false},
                                           LineCase{"115200", 115200, false},
                                           LineCase{"250000,n,8,1", 250000, false},
                                           LineCase{"31250", 31250, false}));

TEST_F(SerialPort, CookedLineAtTheSameSpeedBecomesRawThoughParityIsRefused) {
    // Parity is the one thing a pseudo-terminal refuses; the rest must still apply.
    termios t = pty.SlaveAttributes();
    t.c_lflag |= ICANON | ECHO | ISIG;
    t.c_iflag |= ICRNL | IXON;
    t.c_oflag |= OPOST | ONLCR;
    cfsetispeed(&t, B19200);
    cfsetospeed(&t, B19200);
    ASSERT_EQ(tcsetattr(pty.SlaveFd(), TCSANOW, &t), 0);

    Open("19200,e,8,1");
    const termios now = pty.SlaveAttributes();
    EXPECT_EQ(now.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(now.c_iflag & (ICRNL | IXON), 0u);
    EXPECT_EQ(now.c_oflag & OPOST, 0u);
    EXPECT_EQ(cfgetospeed(&now), B19200);
}

TEST_F(SerialPort, BytesPassUnaltered) {
    // Bytes a cooked line would translate or act on: CR, LF, XON, XOFF, ^C, ^D, DEL, 0xFF.
    const Bytes special = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x04, 0x7F, 0xFF, 0x00, 0x1A};
    Open();
    ASSERT_EQ(port.WritePort(special.data(), static_cast<uint16_t>(special.size())), special.size());
    EXPECT_EQ(pty.ReadClient(special.size(), 500ms), special);
    WaitLongForTheFirstByte();
    pty.SendScript({{0ms, special}});
    EXPECT_TRUE(port.ReadPort());
    EXPECT_EQ(RxBytes(port), special);
}

// ---- Exclusive access (the tests run as root, whom TIOCEXCL does not stop) ----

TEST_F(SerialPort, SecondOpenerInThisProcessFails) {
    Open();
    TSerial second;
    EXPECT_FALSE(second.OpenPort(pty.SlavePath(), "19200,e,8,1"));
    EXPECT_FALSE(second.Com.Opened);
    EXPECT_EQ(second.OpenDevice(pty.SlavePath()), kInvalidPortHandle);
    // The first opener is not disturbed.
    SendRequest();
}

TEST_F(SerialPort, SecondOpenerThroughALinkFails) {
    char folder[] = "/tmp/vyx-serial-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string link = std::string(folder) + "/device";
    ASSERT_EQ(symlink(pty.SlavePath().c_str(), link.c_str()), 0);
    Open();
    TSerial second;
    EXPECT_FALSE(second.OpenPort(link, "19200,e,8,1"));
    port.ClosePort();
    EXPECT_TRUE(second.OpenPort(link, "19200,e,8,1"));
    unlink(link.c_str());
    rmdir(folder);
}

TEST_F(SerialPort, OpenerInAnotherProcessFails) {
    Open();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TSerial other;
        const bool opened = other.OpenPort(pty.SlavePath(), "19200,e,8,1");
        _exit(opened ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "another process opened the port that is open here";
}

TEST_F(SerialPort, AnotherProcessOpensOnceClosed) {
    Open();
    port.ClosePort();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TSerial other;
        _exit(other.OpenPort(pty.SlavePath(), "19200,e,8,1") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// ---- Writing ----

TEST_F(SerialPort, WriteOnClosedPortSendsNothingAndKeepsTheReceiveBuffer) {
    port.RxBuf.fill(0xAA);
    EXPECT_EQ(port.WritePort(kRequest.data(), 8), 0);
    EXPECT_TRUE(AllBytes(port, 0xAA));

    Open();
    port.ClosePort();
    port.RxBuf.fill(0xAA);
    EXPECT_EQ(port.WritePort(kRequest.data(), 8), 0);
    EXPECT_TRUE(AllBytes(port, 0xAA));
    EXPECT_TRUE(pty.ReadClient(1, 50ms).empty());
}

TEST_F(SerialPort, WriteSendsTheFrameAndKeepsAZeroedCopy) {
    Open();
    const Bytes big = Sequence(100, 1);
    ASSERT_EQ(port.WritePort(big.data(), 100), 100);
    EXPECT_EQ(pty.ReadClient(100, 500ms), big);

    ASSERT_EQ(port.WritePort(kRequest.data(), 8), 8);
    EXPECT_EQ(port.Com.Written, 8u);
    EXPECT_EQ(pty.ReadClient(8, 500ms), kRequest);
    EXPECT_TRUE(std::equal(kRequest.begin(), kRequest.end(), port.TxCopy().begin()));
    EXPECT_TRUE(std::all_of(port.TxCopy().begin() + 8, port.TxCopy().end(), [](uint8_t b) { return b == 0; }))
        << "the rest of the last, longer frame is left in the copy";
}

TEST_F(SerialPort, WriteZeroesTheReceiveBufferAndDropsStaleInput) {
    Open();
    pty.Send(Sequence(128, 1));
    ASSERT_TRUE(port.ReadPort());
    ASSERT_EQ(port.Com.Received, 128u);

    pty.Send({0x55, 0x66, 0x77});  // a late remainder of the last reply
    SendRequest();
    EXPECT_TRUE(AllBytes(port, 0));
    ASSERT_TRUE(port.ReadPort());
    EXPECT_EQ(port.Com.Received, 0u);
    EXPECT_TRUE(AllBytes(port, 0));
}

TEST_F(SerialPort, WriteAbove128BytesIsRefusedWhole) {
    Open();
    const Bytes frame = Sequence(129);
    pty.Send(Sequence(128, 1));
    ASSERT_TRUE(port.ReadPort());
    const auto before = port.RxBuf;

    EXPECT_EQ(port.WritePort(frame.data(), 129), 0);
    EXPECT_EQ(port.WritePort(frame.data(), 65535), 0);
    EXPECT_TRUE(pty.ReadClient(1, 50ms).empty());
    EXPECT_EQ(port.RxBuf, before);

    EXPECT_EQ(port.WritePort(frame.data(), 128), 128);
    EXPECT_EQ(pty.ReadClient(128, 500ms), Bytes(frame.begin(), frame.begin() + 128));
}

// ---- Reading ----

TEST_F(SerialPort, SilentDeviceEndsTheReadAfterTheFirstByteTimeout) {
    Open();
    SendRequest();
    bool ok = false;
    const long long ms = TimedRead(ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(port.Com.Received, 0u);
    EXPECT_TRUE(AllBytes(port, 0));
    EXPECT_GE(ms, 35);
    EXPECT_LT(ms, 1000);
}

TEST_F(SerialPort, FirstByteTimeoutIsTheReadTotalConstant) {
    Open();
    ASSERT_TRUE(port.SetTimeouts(30, 0, 120, 0, 30));
    EXPECT_EQ(port.Timeouts(), (TTimeouts{30, 0, 120, 0, 30}));
    bool ok = false;
    const long long ms = TimedRead(ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(port.Com.Received, 0u);
    EXPECT_GE(ms, 110);
    EXPECT_LT(ms, 1000);
}

TEST_F(SerialPort, ReplyComesWholeAfterTheInterval) {
    Open();
    SendRequest();
    const Bytes reply = {0xF7, 0x03, 0x02, 0x12, 0x34, 0x7D, 0x26};
    WaitLongForTheFirstByte();
    pty.SendScript({{5ms, reply}});
    bool ok = false;
    const long long ms = TimedRead(ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(RxBytes(port), reply);
    EXPECT_TRUE(std::all_of(port.RxBuf.begin() + 7, port.RxBuf.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_LT(ms, 700) << "ended by the interval, not by the first-byte wait";
}

TEST_F(SerialPort, GapOfMoreThanTheIntervalReturnsThePartBeforeIt) {
    Open();
    SendRequest();
    WaitLongForTheFirstByte();
    pty.SendScript({{0ms, {1, 2, 3, 4, 5}}, {90ms, {6, 7, 8, 9}}});
    ASSERT_TRUE(port.ReadPort());
    EXPECT_EQ(RxBytes(port), (Bytes{1, 2, 3, 4, 5}));
    ASSERT_TRUE(pty.WaitScript());
    // The remainder is thrown away by the purge of the next write.
    ASSERT_TRUE(port.SetTimeouts(30, 0, 40, 0, 30));
    SendRequest();
    ASSERT_TRUE(port.ReadPort());
    EXPECT_EQ(port.Com.Received, 0u);
}

TEST_F(SerialPort, ReplyStillArrivingAtTheFirstByteTimeoutIsNotCut) {
    // At 9600 baud a 40-byte reply takes about 46 ms on the line. The first part
    // is there when the read starts, and a wider interval than 30 ms keeps a busy
    // machine's late script from ending the read between two parts.
    Open("9600,e,8,1");
    ASSERT_TRUE(port.SetTimeouts(150, 0, 40, 0, 30));
    SendRequest();
    pty.Send(Sequence(7));
    std::vector<TChunk> script;
    for (int i = 1; i < 6; ++i) script.push_back({12ms, Sequence(7, static_cast<uint8_t>(7 * i))});
    pty.SendScript(script);
    ASSERT_TRUE(port.ReadPort());
    EXPECT_EQ(RxBytes(port), Sequence(42));
}

TEST_F(SerialPort, BabblingLineCannotHoldTheRead) {
    // 40 ms plus the line time of 128 bytes at 19200 baud (74 ms) at the latest.
    Open();
    SendRequest();
    pty.Send({0});  // the babble has begun when the read starts
    std::vector<TChunk> script;
    for (int i = 1; i < 80; ++i) script.push_back({5ms, {static_cast<uint8_t>(i)}});
    pty.SendScript(script);
    bool ok = false;
    const long long ms = TimedRead(ok);
    EXPECT_TRUE(ok);
    EXPECT_GT(port.Com.Received, 0u);
    EXPECT_LT(port.Com.Received, 80u);
    EXPECT_LT(ms, 300);
}

TEST_F(SerialPort, MoreThan128BytesGiveExactly128InOneRead) {
    Open();
    SendRequest();
    const Bytes flood = Sequence(200);
    pty.Send(flood);
    ASSERT_TRUE(port.ReadPort());
    ASSERT_EQ(port.Com.Received, 128u);
    EXPECT_EQ(RxBytes(port), Bytes(flood.begin(), flood.begin() + 128));
    // What follows stays queued for a read without a write in between.
    ASSERT_TRUE(port.ReadPort());
    EXPECT_EQ(RxBytes(port), Bytes(flood.begin() + 128, flood.end()));
}

TEST_F(SerialPort, ReadAndTimeoutsWithoutADeviceFail) {
    port.Com.Received = 5;
    EXPECT_FALSE(port.ReadPort());
    EXPECT_EQ(port.Com.Received, 0u);
    EXPECT_FALSE(port.SetTimeouts(30, 0, 40, 0, 30));
    EXPECT_FALSE(port.Com.Opened);
}

// ---- A read ended by the reply's own length ----

// A rule of the kind a protocol gives: three header bytes first, then the reply
// is 3 bytes plus the count in its third byte.
uint32_t CountInThirdByte(const uint8_t* b, uint32_t n) { return n < 3 ? 3 : 3u + b[2]; }
uint32_t NoEndKnown(const uint8_t*, uint32_t) { return 0; }

TEST_F(SerialPort, RuleEndsTheReadAtTheReplysEndAndLeavesWhatFollowsQueued) {
    Open();
    const Bytes withStray = {0xF7, 0x03, 0x02, 0xAA, 0xBB, 0x55, 0x66};
    const Bytes reply(withStray.begin(), withStray.begin() + 5);
    long long fastest = 1000;
    for (int i = 0; i < 5; ++i) {  // the fastest of five, so a busy machine does not decide
        SendRequest();
        pty.Send(withStray);
        const auto start = Clock::now();
        ASSERT_TRUE(port.ReadPort(CountInThirdByte));
        fastest = std::min(fastest, MsSince(start));
        EXPECT_EQ(RxBytes(port), reply);
        if (i == 0) {
            ASSERT_TRUE(port.ReadPort());
            EXPECT_EQ(RxBytes(port), (Bytes{0x55, 0x66})) << "the bytes behind the reply stay queued";
        }
    }
    EXPECT_LT(fastest, 15) << "a complete reply must not wait for 30 ms of silence";
}

TEST_F(SerialPort, RuleWithoutAnEndLeavesTheReadToTheTimeouts) {
    Open();
    SendRequest();
    pty.Send({0xF7, 0x03, 0x02, 0xAA, 0xBB});
    const auto start = Clock::now();
    ASSERT_TRUE(port.ReadPort(NoEndKnown));
    EXPECT_GE(MsSince(start), 29);
    EXPECT_EQ(port.Com.Received, 5u);
}

TEST_F(SerialPort, FirstByteWaitCountsFromWhenTheRequestHasLeftTheLine) {
    // 100 bytes of 10 bits at 9600 baud leave the line 104 ms after the write
    // returned; the device then has the whole 40 ms.
    Open("9600,n,8,1");
    const Bytes frame = Sequence(100);
    const auto start = Clock::now();
    ASSERT_EQ(port.WritePort(frame.data(), 100), 100);
    bool ok = false;
    TimedRead(ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(port.Com.Received, 0u);
    EXPECT_GE(MsSince(start), 140);
}

// ---- A device that goes away ----

TEST_F(SerialPort, HangUpDuringAReadEndsItAndClosesThePort) {
    Open();
    ASSERT_TRUE(port.SetTimeouts(30, 0, 5000, 0, 30));  // only the hang-up can end this read early
    SendRequest();
    std::thread unplug([&] {
        std::this_thread::sleep_for(10ms);
        pty.HangUp();
    });
    bool ok = true;
    const long long ms = TimedRead(ok);
    unplug.join();
    EXPECT_FALSE(ok);
    EXPECT_LT(ms, 4000);
    EXPECT_EQ(port.Com.Received, 0u);
    EXPECT_FALSE(port.IsOpened());
    EXPECT_EQ(port.Handle(), kInvalidPortHandle);
    EXPECT_EQ(port.WritePort(kRequest.data(), 8), 0);
}

TEST_F(SerialPort, HangUpBeforeAWriteClosesThePort) {
    Open();
    pty.HangUp();
    EXPECT_EQ(port.WritePort(kRequest.data(), 8), 0);
    EXPECT_FALSE(port.IsOpened());
    EXPECT_FALSE(port.ReadPort());
}

TEST_F(SerialPort, OpensAgainOnceTheDeviceIsBack) {
    // The same name before and after, as an adapter plugged in again gets.
    char folder[] = "/tmp/vyx-serial-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string link = std::string(folder) + "/device";
    ASSERT_EQ(symlink(pty.SlavePath().c_str(), link.c_str()), 0);
    ASSERT_TRUE(port.OpenPort(link, "19200,e,8,1"));
    pty.HangUp();
    EXPECT_FALSE(port.ReadPort());
    EXPECT_FALSE(port.IsOpened());

    TPty back;
    unlink(link.c_str());
    ASSERT_EQ(symlink(back.SlavePath().c_str(), link.c_str()), 0);
    EXPECT_TRUE(port.OpenPort(link, "19200,e,8,1"));
    ASSERT_EQ(port.WritePort(kRequest.data(), 8), 8);
    EXPECT_EQ(back.ReadClient(8, 500ms), kRequest);
    back.Send({1, 2, 3});
    EXPECT_TRUE(port.ReadPort());
    EXPECT_EQ(RxBytes(port), (Bytes{1, 2, 3}));
    unlink(link.c_str());
    rmdir(folder);
}

TEST_F(SerialPort, SilentDeviceCostsNoProcessorTime) {
    Open();
    ASSERT_TRUE(port.SetTimeouts(30, 0, 200, 0, 30));
    SendRequest();
    timespec before{}, after{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &before);
    EXPECT_TRUE(port.ReadPort());
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &after);
    const double cpuMs = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
    EXPECT_EQ(port.Com.Received, 0u);
    EXPECT_LT(cpuMs, 20.0) << "a 200 ms wait must sleep, not spin";
}

}  // namespace
}  // namespace vyx
