// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <vector>

#include "modbus/Builders.h"
#include "modbus/Slave.h"
#include "base/Error.h"
#include "tests/support/ErrorText.h"
#include "base/Text.h"

using namespace vyx;
using vyx::test::ErrorOf;
using Bytes = std::vector<uint8_t>;

namespace {

TRegData Reg(const char* address, const char* length = "1", const char* type = "WORD", const char* value = "") {
    TRegData r;
    r.Name = u"R";
    r.Address = U16(address);
    r.Length = U16(length);
    r.DataType = U16(type);
    r.Access = u"RW";
    r.Value = U16(value);
    return r;
}

Bytes Sent(const TFrame& f) { return Bytes(f.TxBuf.begin(), f.TxBuf.begin() + f.FrameLength); }

}  // namespace

TEST(BuildRead, FramesFromKnownVectors) {
    const struct {
        const char* address;
        Bytes frame;
    } cases[] = {
        {"40001", {0xF7, 0x03, 0x00, 0x00, 0x00, 0x01, 0x90, 0x9C}},
        {"30001", {0xF7, 0x04, 0x00, 0x00, 0x00, 0x01, 0x25, 0x5C}},
    };
    for (const auto& c : cases) {
        TFrame f;
        BuildRead(f, 247, Reg(c.address));
        EXPECT_EQ(Sent(f), c.frame) << c.address;
    }
}

TEST(BuildRead, RegisterNumberMapping) {
    const struct {
        const char* address;
        uint8_t function;
        uint16_t wire;
        uint16_t number;
    } cases[] = {
        {"40001", 3, 0, 40001},     {"65535", 3, 25534, 65535}, {"40000", 4, 9999, 40000},
        {"30001", 4, 0, 30001},     {"30000", 3, 30000, 30000}, {"2100", 3, 2100, 2100},
        {"2099", 4, 2099, 2099},    {"2001", 4, 2001, 2001},    {"299", 3, 299, 299},
        {"200", 3, 200, 200},       {"199", 4, 199, 199},       {"0", 4, 0, 0},
        {"65537", 4, 1, 1},         {"105536", 4, 9999, 40000}, {"$9C41", 3, 0, 40001},
    };
    for (const auto& c : cases) {
        TFrame f;
        BuildRead(f, 247, Reg(c.address, "1", "HEX"));
        EXPECT_EQ(f.TxBuf[1], c.function) << c.address;
        EXPECT_EQ(f.TxBuf[2] << 8 | f.TxBuf[3], c.wire) << c.address;
        EXPECT_EQ(f.RequestRegister, c.number) << c.address;
        EXPECT_EQ(f.TypeCode, kTypeHex);
        EXPECT_EQ(f.FrameLength, 8);
        EXPECT_TRUE(CheckCrc(f.TxBuf.data(), 8));
    }
}

TEST(BuildRead, AddressBytesOfTheBoundaries) {
    TFrame f;
    BuildRead(f, 247, Reg("40000"));
    EXPECT_EQ(f.TxBuf[2], 0x27);
    EXPECT_EQ(f.TxBuf[3], 0x0F);
    BuildRead(f, 247, Reg("2099"));
    EXPECT_EQ(f.TxBuf[2], 0x08);
    EXPECT_EQ(f.TxBuf[3], 0x33);
    BuildRead(f, 247, Reg("2100"));
    EXPECT_EQ(f.TxBuf[2], 0x08);
    EXPECT_EQ(f.TxBuf[3], 0x34);
}

TEST(BuildRead, LengthKeepsItsLowBits) {
    TFrame f;
    BuildRead(f, 247, Reg("40001", "300", "TEXT"));
    EXPECT_EQ(f.TxBuf[0], 247);
    EXPECT_EQ(f.RegisterCount, 44);
    EXPECT_EQ(f.TxBuf[4], 0);
    EXPECT_EQ(f.TxBuf[5], 44);
    EXPECT_EQ(f.TypeCode, kTypeText);
}

TEST(BuildRead, RegistersWithoutReadFunctionAreRefusedAndNothingChanges) {
    TFrame f;
    BuildWriteSingle(f, 247, Reg("40010", "1", "WORD", "5"));
    const TFrame before = f;
    for (const char* address : {"300", "1000", "2000"}) {
        EXPECT_EQ(ErrorOf([&] { BuildRead(f, 247, Reg(address)); }), "rejestr poza zakresem") << address;
        EXPECT_EQ(Sent(f), Sent(before));
        EXPECT_EQ(f.RequestRegister, before.RequestRegister);
        EXPECT_EQ(f.TypeCode, before.TypeCode);
    }
}

TEST(BuildRead, ConversionFailuresLeaveTheFrame) {
    TFrame f;
    BuildRead(f, 247, Reg("40001"));
    const Bytes before = Sent(f);
    EXPECT_EQ(ErrorOf([&] { BuildRead(f, TSlave::Parse(u"abc").Address(), Reg("40002")); }), "'abc' is not a valid integer value");
    EXPECT_EQ(ErrorOf([&] { BuildRead(f, 247, Reg("4x")); }), "'4x' is not a valid integer value");
    EXPECT_EQ(ErrorOf([&] { BuildRead(f, 247, Reg("40002", "")); }), "'' is not a valid integer value");
    EXPECT_EQ(Sent(f), before);
}

TEST(BuildWriteSingle, KnownFrameAndWrittenText) {
    TFrame f;
    const std::u16string written = BuildWriteSingle(f, 247, Reg("40010", "1", "WORD", "5"));
    EXPECT_EQ(Sent(f), (Bytes{0xF7, 0x06, 0x00, 0x09, 0x00, 0x05, 0x8D, 0x5D}));
    EXPECT_EQ(written, u"5");
    EXPECT_EQ(f.RequestRegister, 40010);
    EXPECT_EQ(f.TypeCode, kTypeWord);
}

TEST(BuildWriteSingle, KeepsTheRegisterCountOfTheLastRead) {
    TFrame f;
    BuildRead(f, 247, Reg("40001", "7"));
    BuildWriteSingle(f, 247, Reg("40010", "1", "INT", "-2"));
    EXPECT_EQ(f.RegisterCount, 7);
    EXPECT_EQ(f.TxBuf[4], 0xFF);
    EXPECT_EQ(f.TxBuf[5], 0xFE);
    EXPECT_EQ(f.TypeCode, kTypeInt);
}

TEST(BuildWriteSingle, Refusals) {
    TFrame f;
    BuildRead(f, 247, Reg("30005"));
    const Bytes before = Sent(f);
    EXPECT_EQ(ErrorOf([&] { BuildWriteSingle(f, 247, Reg("40000", "1", "WORD", "1")); }), "rejestr poza zakresem");
    EXPECT_EQ(ErrorOf([&] { BuildWriteSingle(f, 247, Reg("30001", "1", "WORD", "1")); }), "rejestr poza zakresem");
    EXPECT_EQ(ErrorOf([&] { BuildWriteSingle(f, 247, Reg("40001", "1", "WORD", "70000")); }), "wartość poza zakresem");
    EXPECT_EQ(ErrorOf([&] { BuildWriteSingle(f, 247, Reg("40001", "1", "REAL", "1,5")); }),
              "'1,5' is not a valid integer value");
    EXPECT_EQ(Sent(f), before);
    EXPECT_EQ(f.RequestRegister, 30005);
}

TEST(BuildWriteMultiple, FramePerType) {
    const struct {
        const char* type;
        const char* value;
        const char* length;
        Bytes payload;
    } cases[] = {
        {"REAL", "1,5", "2", {0x00, 0x00, 0x3F, 0xC0}},
        {"FLOAT", "1,5", "2", {0x3F, 0xC0, 0x00, 0x00}},
        {"INT", "-2", "2", {0xFF, 0xFE, 0xFF, 0xFF}},
        {"TEXT", "AB", "2", {0x41, 0x42, 0x20, 0x20}},
        {"TEXT", "Ćma", "3", {0xC6, 'm', 'a', 0x20, 0x20, 0x20}},
    };
    for (const auto& c : cases) {
        TFrame f;
        const std::u16string written = BuildWriteMultiple(f, 247, Reg("40001", c.length, c.type, c.value));
        const size_t n = c.payload.size();
        EXPECT_EQ(f.FrameLength, 9 + n) << c.type;
        EXPECT_EQ(f.TxBuf[1], 16);
        EXPECT_EQ(f.TxBuf[2], 0);
        EXPECT_EQ(f.TxBuf[3], 0);
        EXPECT_EQ(f.TxBuf[4], 0);
        EXPECT_EQ(f.TxBuf[5], n / 2);
        EXPECT_EQ(f.TxBuf[6], n);
        EXPECT_EQ(Bytes(f.TxBuf.begin() + 7, f.TxBuf.begin() + 7 + static_cast<long>(n)), c.payload) << c.type;
        EXPECT_TRUE(CheckCrc(f.TxBuf.data(), f.FrameLength));
        EXPECT_EQ(f.RegisterCount, n / 2);
        EXPECT_EQ(written, U16(c.value));
    }
}

TEST(BuildWriteMultiple, ThirteenRegistersFillTheBufferExactly) {
    TFrame f;
    BuildWriteMultiple(f, 247, Reg("40100", "13", "TEXT", "abcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(f.FrameLength, 35);
    EXPECT_EQ(f.TxBuf[6], 26);
    EXPECT_EQ(f.TxBuf[7 + 25], 'z');
    EXPECT_TRUE(CheckCrc(f.TxBuf.data(), 35));
}

TEST(BuildWriteMultiple, RefusalsLeaveTheFrameUntouched) {
    TFrame f;
    BuildRead(f, 247, Reg("40001", "2", "REAL"));
    const TFrame before = f;
    const struct {
        const char* address;
        const char* length;
        const char* type;
        const char* value;
        const char* message;
    } cases[] = {
        {"30001", "2", "REAL", "1", "rejestr poza zakresem"},
        {"40001", "14", "TEXT", "x", "zbyt wiele rejestrów do zapisu"},
        {"40001", "257", "TEXT", "x", "zbyt wiele rejestrów do zapisu"},  // would be 1 after truncation
        {"40001", "0", "TEXT", "x", "nieprawidłowa długość rejestru"},
        {"40001", "-1", "TEXT", "x", "nieprawidłowa długość rejestru"},
        {"40001", "2", "BIT", "1", "nieznany typ rejestru"},
        {"40001", "2", "", "1", "nieznany typ rejestru"},
        {"40001", "2", "REAL", "1.5", "'1.5' is not a valid floating point value"},
        {"40001", "2", "FLOAT", "1E40", "Floating point overflow"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorOf([&] { BuildWriteMultiple(f, 247, Reg(c.address, c.length, c.type, c.value)); }),
                  c.message)
            << c.address << " " << c.length << " " << c.type;
        EXPECT_EQ(f.TxBuf, before.TxBuf);
        EXPECT_EQ(f.FrameLength, before.FrameLength);
        EXPECT_EQ(f.RegisterCount, before.RegisterCount);
        EXPECT_EQ(f.TypeCode, before.TypeCode);
    }
}

TEST(BuildDiagnostic, RestartFrameAndBroadcastRefusal) {
    TFrame f;
    ASSERT_TRUE(BuildDiagnostic(f, 247, kRestartSubFunction, kRestartData));
    EXPECT_EQ(Sent(f), (Bytes{0xF7, 0x08, 0x00, 0x01, 0xFF, 0x00, 0xE4, 0xAD}));
    EXPECT_EQ(f.TypeCode, kTypeHex);
    EXPECT_EQ(f.RegisterCount, 0x00);
    EXPECT_EQ(f.RequestRegister, 1);

    TFrame g;
    BuildRead(g, 247, Reg("40001", "1", "WORD"));
    const Bytes before = Sent(g);
    EXPECT_FALSE(BuildDiagnostic(g, 0, kRestartSubFunction, kRestartData));
    EXPECT_EQ(ErrorOf([&] { BuildDiagnostic(g, TSlave::Parse(u"256").Address(), kRestartSubFunction, kRestartData); }), "nieprawidłowy adres urządzenia");
    EXPECT_EQ(Sent(g), before);
    EXPECT_EQ(g.TypeCode, kTypeHex);  // the type code is set before anything else
    EXPECT_EQ(ErrorOf([&] { BuildDiagnostic(g, TSlave::Parse(u"").Address(), kRestartSubFunction, kRestartData); }), "'' is not a valid integer value");
}

TEST(BuildWriteWords, ExactWordsByFunction6Or16) {
    const struct {
        const char* slave;
        const char* address;
        const char* length;
        std::vector<uint16_t> words;
        Bytes frame;
    } cases[] = {
        {"247", "40010", "1", {0x0005}, {0xF7, 0x06, 0x00, 0x09, 0x00, 0x05, 0x8D, 0x5D}},
        // Words are sent as they stand, whatever the type would encode.
        {"247", "40001", "2", {0x0000, 0x447A}, {0xF7, 0x10, 0x00, 0x00, 0x00, 0x02, 0x04, 0x00, 0x00, 0x44, 0x7A, 0x5C, 0xC7}},
        {"5", "40007", "3", {0x4142, 0x2020, 0xFFFE},
         {0x05, 0x10, 0x00, 0x06, 0x00, 0x03, 0x06, 0x41, 0x42, 0x20, 0x20, 0xFF, 0xFE, 0xB5, 0x7F}},
    };
    for (const auto& c : cases) {
        TFrame f;
        TRegData r = Reg(c.address, c.length, "REAL", "12,50");
        EXPECT_EQ(BuildWriteWords(f, TSlave::Parse(U16(c.slave)).Address(), r, c.words), u"12,50");
        EXPECT_EQ(Sent(f), c.frame) << c.address;
        EXPECT_EQ(f.TypeCode, kTypeReal);
    }
}

TEST(BuildWriteWords, RefusalsLeaveTheFrameUntouched) {
    const struct {
        const char* address;
        const char* length;
        size_t words;
        const char* error;
    } cases[] = {
        {"40001", "2", 1, "nieprawidłowa długość rejestru"},  // fewer words than the register has
        {"40001", "1", 2, "nieprawidłowa długość rejestru"},
        {"40001", "0", 0, "nieprawidłowa długość rejestru"},
        {"40001", "14", 14, "zbyt wiele rejestrów do zapisu"},
        {"30001", "1", 1, "rejestr poza zakresem"},
    };
    for (const auto& c : cases) {
        TFrame f;
        BuildRead(f, 247, Reg("40001"));
        const TFrame before = f;
        const std::vector<uint16_t> words(c.words, 0x1234);
        EXPECT_EQ(ErrorOf([&] { BuildWriteWords(f, 247, Reg(c.address, c.length), words); }), c.error)
            << c.address << " " << c.length;
        EXPECT_EQ(Sent(f), Sent(before));
    }
}

// Typed numbers that do not fit their field are refused, never cut to their low
// bits (256 would be a broadcast, 503 slave 247, 105537 and -25535 register 40001).
TEST(Builders, NumbersBeyondTheirFieldsAreRefusedBeforeAnyByte) {
    using Build = void (*)(TFrame&, std::u16string_view, const TRegData&);
    const Build builders[] = {
        [](TFrame& f, std::u16string_view s, const TRegData& r) { BuildRead(f, TSlave::Parse(s).Address(), r); },
        [](TFrame& f, std::u16string_view s, const TRegData& r) { BuildWriteSingle(f, TSlave::Parse(s).Address(), r); },
        [](TFrame& f, std::u16string_view s, const TRegData& r) { BuildWriteMultiple(f, TSlave::Parse(s).Address(), r); },
        [](TFrame& f, std::u16string_view s, const TRegData&) { BuildDiagnostic(f, TSlave::Parse(s).Address(), kRestartSubFunction, kRestartData); },
    };
    const struct {
        const char* slave;
        const char* address;
        const char* message;
    } cases[] = {
        {"256", "40001", "nieprawidłowy adres urządzenia"}, {"-1", "40001", "nieprawidłowy adres urządzenia"},
        {"503", "40001", "nieprawidłowy adres urządzenia"}, {"$100", "40001", "nieprawidłowy adres urządzenia"},
        {"247", "105537", "rejestr poza zakresem"},         {"247", "-25535", "rejestr poza zakresem"},
        {"247", "-1", "rejestr poza zakresem"},
    };
    for (size_t b = 0; b < std::size(builders); ++b) {
        for (const auto& c : cases) {
            if (b == 3 && c.message[0] == 'r') continue;  // the diagnostic has no register
            TFrame f;
            BuildRead(f, 17, Reg("40002", "1", "INT"));
            const TFrame before = f;
            EXPECT_EQ(ErrorOf([&] { builders[b](f, U16(c.slave), Reg(c.address, "1", "WORD", "7")); }), c.message)
                << "builder " << b << ", slave " << c.slave << ", register " << c.address;
            EXPECT_EQ(f.TxBuf, before.TxBuf);
            EXPECT_EQ(f.FrameLength, before.FrameLength);
            EXPECT_EQ(f.RequestRegister, before.RequestRegister);
        }
        // The edges still build.
        TFrame f;
        EXPECT_EQ(ErrorOf([&] { builders[b](f, u"255", Reg("65535", "1", "WORD", "7")); }), "(no error)");
        EXPECT_EQ(f.TxBuf[0], 255);
    }
    TFrame f;
    BuildWriteSingle(f, 0, Reg("40001", "1", "WORD", "7"));
    EXPECT_EQ(f.TxBuf[0], 0) << "a broadcast write stays allowed";
}

TEST(BuildWriteMultiple, ValueIsConvertedBeforeTheRegisterNumber) {
    TFrame f;
    EXPECT_EQ(ErrorOf([&] { BuildWriteMultiple(f, 247, Reg("4x", "2", "REAL", "1.5")); }),
              "'1.5' is not a valid floating point value");
    EXPECT_EQ(ErrorOf([&] { BuildWriteMultiple(f, 247, Reg("4x", "2", "REAL", "1,5")); }),
              "'4x' is not a valid integer value");
}
