// SPDX-License-Identifier: GPL-3.0-or-later
// Mode strings and the termios records made from them. A pseudo-terminal cannot
// show parity or data bits (it forces 8 bits, no parity), so those are checked on
// the record itself.
#include <gtest/gtest.h>

#include "serial/Serial.h"
#ifndef _WIN32
#include "serial/Termios.h"
#endif

#include <ostream>

namespace vyx {

void PrintTo(const TSerialLine& line, std::ostream* os) {
    *os << line.Baud << ',' << line.Parity << ',' << int{line.DataBits} << ',' << int{line.StopBits};
}

namespace {

struct ModeCase {
    const char* mode;
    TSerialLine line;
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << '"' << c.mode << '"'; }

class ModeAccepted : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ModeAccepted, GivesTheLine) {
    TSerialLine line;
    ASSERT_TRUE(ParseMode(GetParam().mode, line)) << GetParam().mode;
    EXPECT_EQ(line, GetParam().line) << GetParam().mode;
}

INSTANTIATE_TEST_SUITE_P(
    Serial, ModeAccepted,
    ::testing::Values(
        // The suffixes of the connection panel.
        ModeCase{"19200,e,8,1", {19200, 'E', 8, 1}}, ModeCase{"19200,o,8,1", {19200, 'O', 8, 1}},
        ModeCase{"19200,n,8,2", {19200, 'N', 8, 2}}, ModeCase{"19200,n,8,1", {19200, 'N', 8, 1}},
        // The baud alone is the Modbus RTU default line.
        ModeCase{"9600", {9600, 'E', 8, 1}}, ModeCase{"115200", {115200, 'E', 8, 1}},
        // Shorter suffixes keep the defaults for what they leave out.
        ModeCase{"38400,n", {38400, 'N', 8, 1}}, ModeCase{"38400,o,7", {38400, 'O', 7, 1}},
        ModeCase{"57600,E,8,1", {57600, 'E', 8, 1}}, ModeCase{"1200,N,5,2", {1200, 'N', 5, 2}},
        ModeCase{" 19200 , n , 6 , 2 ", {19200, 'N', 6, 2}},
        // Rates outside the standard table are for the port to accept or refuse.
        ModeCase{"250000", {250000, 'E', 8, 1}}, ModeCase{"4294967295,n,8,1", {4294967295u, 'N', 8, 1}}));

class ModeRefused : public ::testing::TestWithParam<const char*> {};

TEST_P(ModeRefused, LeavesTheLineAlone) {
    TSerialLine line{1234, 'O', 7, 2};
    EXPECT_FALSE(ParseMode(GetParam(), line)) << GetParam();
    EXPECT_EQ(line, (TSerialLine{1234, 'O', 7, 2}));
}

INSTANTIATE_TEST_SUITE_P(Serial, ModeRefused,
                         ::testing::Values("", "abc", "e,8,1", "baud", "19200,x,8,1", "19200,ee,8,1",
                                           "19200,m,8,1", "19200,e,9,1", "19200,e,4,1", "19200,e,8,3",
                                           "19200,e,8,0", "19200,e,8,1.5", "19200,e,8,1,", "19200,",
                                           "19200,,8,1", "0", "0,e,8,1", "4294967296", "19200x", "-9600",
                                           "19 200", "0x4B00"));

#ifndef _WIN32
struct TermiosCase {
    TSerialLine line;
    tcflag_t size;
    bool twoStop;
    bool parity;
    bool odd;
};

void PrintTo(const TermiosCase& c, std::ostream* os) { PrintTo(c.line, os); }

class TermiosFromLine : public ::testing::TestWithParam<TermiosCase> {};

TEST_P(TermiosFromLine, RawWithTheGivenFrame) {
    const TermiosCase& c = GetParam();
    termios t = posix::RawLine(c.line);

    // First step: raw, no parity yet, no flow control of any kind.
    EXPECT_EQ(t.c_cflag & CSIZE, c.size);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.twoStop);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD), 0u);
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | PARMRK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);

    // Second step: the parity.
    posix::AddParity(t, c.line);
    EXPECT_EQ((t.c_cflag & PARENB) != 0, c.parity);
    EXPECT_EQ((t.c_cflag & PARODD) != 0, c.odd);
    EXPECT_EQ((t.c_iflag & INPCK) != 0, c.parity);
    EXPECT_EQ(t.c_cflag & CSIZE, c.size);
}

INSTANTIATE_TEST_SUITE_P(Serial, TermiosFromLine,
                         ::testing::Values(TermiosCase{{19200, 'E', 8, 1}, CS8, false, true, false},
                                           TermiosCase{{19200, 'O', 8, 1}, CS8, false, true, true},
                                           TermiosCase{{19200, 'N', 8, 2}, CS8, true, false, false},
                                           TermiosCase{{9600, 'N', 8, 1}, CS8, false, false, false},
                                           TermiosCase{{9600, 'E', 7, 2}, CS7, true, true, false},
                                           TermiosCase{{9600, 'O', 6, 1}, CS6, false, true, true},
                                           TermiosCase{{9600, 'N', 5, 1}, CS5, false, false, false}));

TEST(SerialSpeed, StandardRatesUseTheirConstantAndOthersAreCustom) {
    EXPECT_EQ(posix::StandardSpeed(9600), B9600);
    EXPECT_EQ(posix::StandardSpeed(19200), B19200);
    EXPECT_EQ(posix::StandardSpeed(115200), B115200);
    EXPECT_EQ(posix::StandardSpeed(250000), B0);
    EXPECT_EQ(posix::StandardSpeed(19201), B0);

    const termios t = posix::RawLine({57600, 'E', 8, 1});
    EXPECT_EQ(cfgetospeed(&t), B57600);
    EXPECT_EQ(cfgetispeed(&t), B57600);
}

#endif  // _WIN32

}  // namespace
}  // namespace vyx
