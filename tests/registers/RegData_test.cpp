// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "base/Error.h"
#include "tests/support/ErrorText.h"
#include "registers/RegData.h"
#include "base/Text.h"

using namespace vyx;
using vyx::test::ErrorOf;
using Bytes = std::vector<uint8_t>;

TEST(Keywords, TypeCodes) {
    const struct {
        const char* keyword;
        int code;
    } cases[] = {
        {"WORD", 4}, {"word", 4}, {"WoRd", 4}, {" WORD", 0}, {"WORD ", 0}, {"INT", 5},
        {"REAL", 6}, {"TEXT", 7}, {"HEX", 10}, {"hex", 10}, {"PREC", 11}, {"FLOAT", 12},
        {"FINE", 13}, {"BIT", 0}, {"bit", 0}, {"", 0}, {"WOR", 0}, {"WORDS", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GetTypeCode(std::string_view(c.keyword)), c.code) << c.keyword;
        EXPECT_EQ(GetTypeCode(U16(c.keyword)), c.code) << c.keyword;
    }
}

TEST(Keywords, AccessCodesUpperCaseOnlyAsciiLetters) {
    EXPECT_EQ(GetAccessCode(u"RO"), 1);
    EXPECT_EQ(GetAccessCode(u"rw"), 16);
    EXPECT_EQ(GetAccessCode(u"Rp"), 17);
    EXPECT_EQ(GetAccessCode(u""), 0);
    EXPECT_EQ(GetAccessCode(u"R W"), 0);
    // Letters with diacritics are not upper-cased, so they never match.
    EXPECT_EQ(GetTypeCode(U16("teXt")), 7);
    EXPECT_EQ(GetTypeCode(U16("ţEXT")), 0);
}

TEST(IntegerConversion, Accepted) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"0", 0}, {"40001", 40001}, {"  7", 7}, {"+12", 12}, {"-1", -1},
        {"2147483647", 2147483647}, {"-2147483648", std::numeric_limits<int32_t>::min()},
        {"$1A", 26}, {"x1A", 26}, {"X1a", 26}, {"0x1A", 26}, {"0X1a", 26}, {"$FFFFFFFF", -1},
        {"$80000000", std::numeric_limits<int32_t>::min()}, {"-$10", -16}, {"007", 7},
        {"$0001", 1}, {"$FF00", 0xFF00},
    };
    for (const auto& c : cases) EXPECT_EQ(StrToInt(U16(c.text)), c.value) << c.text;
}

TEST(IntegerConversion, RefusedWithTheTextInTheMessage) {
    const char* cases[] = {"", " ", "abc", "12 ", "1,5", "1.5", "- 1", "+", "$", "0x",
                           "$123456789", "2147483648", "-2147483649", "99999999999", "$G1", "1e3"};
    for (const char* text : cases) {
        EXPECT_EQ(ErrorOf([&] { StrToInt(U16(text)); }),
                  std::string("'") + text + "' is not a valid integer value")
            << text;
    }
}

TEST(DecimalConversion, Accepted) {
    const struct {
        const char* text;
        float value;
    } cases[] = {
        {"1,5", 1.5f}, {"  -2,25  ", -2.25f}, {"+3", 3.0f}, {",", 0.0f}, {",5", 0.5f}, {"5,", 5.0f},
        {"1E3", 1000.0f}, {"1e-2", 0.01f}, {"2E", 2.0f}, {"2e+", 2.0f}, {"12,50", 12.5f},
        {"0,1", 0.1f}, {"1e-50", 0.0f},
    };
    for (const auto& c : cases) EXPECT_EQ(StrToFloat(U16(c.text)), c.value) << c.text;
}

TEST(DecimalConversion, RefusedWithTheTextInTheMessage) {
    const char* cases[] = {"", "1.5", "abc", "E5", "1,5,0", "--1", "1 2", "$10", "1e5x", ", ,"};
    for (const char* text : cases) {
        EXPECT_EQ(ErrorOf([&] { StrToFloat(U16(text)); }),
                  std::string("'") + text + "' is not a valid floating point value")
            << text;
    }
}

TEST(DecimalConversion, BeyondSinglePrecisionOverflows) {
    EXPECT_EQ(ErrorOf([] { StrToFloat(u"1E39"); }), "Floating point overflow");
    EXPECT_EQ(ErrorOf([] { StrToFloat(u"-4E38"); }), "Floating point overflow");
    EXPECT_EQ(StrToFloat(u"3E38"), 3e38f);
    // Beyond even the double range: the direction comes from the digits, with or
    // without an exponent, never from how the number is written.
    const std::u16string zeros(400, u'0');
    EXPECT_EQ(ErrorOf([&] { StrToFloat(u"1" + zeros); }), "Floating point overflow");
    EXPECT_EQ(ErrorOf([&] { StrToFloat(u"0,0001E999"); }), "Floating point overflow");
    EXPECT_EQ(StrToFloat(u"0," + zeros + u"1449271051"), 0.0f);
    EXPECT_EQ(StrToFloat(u"-0," + zeros + u"1"), -0.0f);
    EXPECT_EQ(StrToFloat(u"1" + zeros + u"E-999"), 0.0f);
    EXPECT_EQ(StrToFloat(u"00001E-400"), 0.0f);
}

TEST(NumberFormatting, FixedDecimalsWithComma) {
    const struct {
        double value;
        int decimals;
        const char* text;
    } cases[] = {
        {1.5, 2, "1,50"},       {0.5, 2, "0,50"},       {-1.0, 2, "-1,00"},
        {0.125, 2, "0,13"},     {-0.125, 2, "-0,13"},   {0.375, 2, "0,38"},
        {2.5, 0, "3"},          {9.999, 2, "10,00"},    {1.005, 2, "1,00"},  // 1.005 lies just below the tie as a double
        {1.0, 8, "1,00000000"}, {0.0001, 4, "0,0001"},  {-0.001, 2, "0,00"},
        {1234567.0, 2, "1234567,00"},
        {static_cast<double>(0.1f), 8, "0,10000000"},
        {std::nan(""), 2, "NAN"}, {INFINITY, 2, "INF"}, {-INFINITY, 4, "-INF"},
    };
    for (const auto& c : cases) EXPECT_EQ(ToUtf8(FormatFixed(c.value, c.decimals)), c.text) << c.value;
}

TEST(NumberFormatting, HexAtLeastTwoDigits) {
    EXPECT_EQ(FormatHex(5), u"$05");
    EXPECT_EQ(FormatHex(2748), u"$ABC");
    EXPECT_EQ(FormatHex(4660), u"$1234");
    EXPECT_EQ(FormatHex(0), u"$00");
    EXPECT_EQ(FormatHex(0xFFFE), u"$FFFE");
}

TEST(DecodeValue, EveryType) {
    const struct {
        int type;
        Bytes data;
        const char* text;
    } cases[] = {
        {kTypeWord, {0xFF, 0xFE}, "65534"},
        {kTypeInt, {0xFF, 0xFE}, "-2"},
        {kTypeHex, {0xFF, 0xFE}, "$FFFE"},
        {kTypeHex, {0x00, 0x05}, "$05"},
        {kTypeWord, {0x00, 0x07, 0x12, 0x34}, "7"},  // registers after the first are ignored
        {kTypeReal, {0x00, 0x00, 0x3F, 0x80}, "1,00"},
        {kTypeFine, {0x00, 0x00, 0x3F, 0x80}, "1,0000"},
        {kTypeFloat, {0x3F, 0x80, 0x00, 0x00}, "1,00"},
        {kTypePrec, {0x3F, 0x80, 0x00, 0x00}, "1,00000000"},
        {kTypeReal, {0x00, 0x00, 0xC1, 0x48}, "-12,50"},
        {kTypeFloat, {0x7F, 0xC0, 0x00, 0x00}, "NAN"},
        {kTypeFloat, {0x7F, 0x80, 0x00, 0x00}, "INF"},
        {kTypeReal, {0x00, 0x00, 0xFF, 0x80}, "-INF"},
        {kTypeText, {0x41, 0x42, 0x00, 0x43}, "AB"},
        {kTypeText, {0x41, 0x42, 0x20, 0x20}, "AB  "},
        {kTypeText, {0xB3, 0xF3, 0x9F}, "łóź"},
        {kTypeText, {}, ""},
        {kTypeNone, {0x00, 0x05}, ""},
        {99, {0x00, 0x05}, ""},
        // Fewer data bytes than the type needs.
        {kTypeWord, {0x01}, ""},
        {kTypeReal, {0x00, 0x00}, ""},
        {kTypePrec, {0x3F, 0x80, 0x00}, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ToUtf8(DecodeValue(c.type, static_cast<int>(c.data.size()), c.data.data())), c.text)
            << "type " << c.type;
    }
}

TEST(DecodeNumber, TheFloatsOwnValueNotTheShownText) {
    const struct {
        int type;
        Bytes data;
        std::optional<double> number;
    } cases[] = {
        {kTypeWord, {0xFF, 0xFE}, 65534},
        {kTypeInt, {0xFF, 0xFE}, -2},
        {kTypeHex, {0xFF, 0xFE}, 65534},
        {kTypeReal, {0x12, 0x6F, 0x3B, 0x83}, 0.004f},  // shown "0,00"
        {kTypePrec, {0x3B, 0x83, 0x12, 0x6F}, 0.004f},
        {kTypeFloat, {0x7F, 0xC0, 0x00, 0x00}, std::nullopt},
        {kTypeReal, {0x00, 0x00, 0xFF, 0x80}, std::nullopt},
        {kTypeText, {0x41, 0x42}, std::nullopt},
        {kTypeReal, {0x00, 0x00}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeNumber(c.type, static_cast<int>(c.data.size()), c.data.data()), c.number) << "type " << c.type;
}

TEST(EncodeSingleRegister, LowSixteenBitsHighByteFirst) {
    EXPECT_EQ(EncodeSingleRegister(u"5"), (Bytes{0x00, 0x05}));
    EXPECT_EQ(EncodeSingleRegister(u"-2"), (Bytes{0xFF, 0xFE}));
    EXPECT_EQ(EncodeSingleRegister(u"$1A"), (Bytes{0x00, 0x1A}));
    EXPECT_EQ(EncodeSingleRegister(u"0x1A"), (Bytes{0x00, 0x1A}));
    EXPECT_EQ(EncodeSingleRegister(u"x1A"), (Bytes{0x00, 0x1A}));
    EXPECT_EQ(EncodeSingleRegister(u"65535"), (Bytes{0xFF, 0xFF}));
    EXPECT_EQ(EncodeSingleRegister(u"-32768"), (Bytes{0x80, 0x00}));
}

TEST(EncodeSingleRegister, RefusesWhatSixteenBitsCannotHold) {
    EXPECT_EQ(ErrorOf([] { EncodeSingleRegister(u"70000"); }), "wartość poza zakresem");
    EXPECT_EQ(ErrorOf([] { EncodeSingleRegister(u"-32769"); }), "wartość poza zakresem");
    EXPECT_EQ(ErrorOf([] { EncodeSingleRegister(u"1,5"); }), "'1,5' is not a valid integer value");
}

TEST(EncodeRegisters, EveryType) {
    const struct {
        int type;
        const char* value;
        int length;
        Bytes payload;
    } cases[] = {
        {kTypeReal, "1,5", 2, {0x00, 0x00, 0x3F, 0xC0}},
        {kTypeFine, "1,5", 2, {0x00, 0x00, 0x3F, 0xC0}},
        {kTypeFloat, "1,5", 2, {0x3F, 0xC0, 0x00, 0x00}},
        {kTypePrec, "1,5", 2, {0x3F, 0xC0, 0x00, 0x00}},
        {kTypeInt, "-2", 2, {0xFF, 0xFE, 0xFF, 0xFF}},
        {kTypeWord, "$12345678", 2, {0x56, 0x78, 0x12, 0x34}},
        {kTypeHex, "$1A", 2, {0x00, 0x1A, 0x00, 0x00}},
        {kTypeText, "AB", 2, {0x41, 0x42, 0x20, 0x20}},
        {kTypeText, "ABCDEFG", 2, {0x41, 0x42, 0x43, 0x44}},
        {kTypeText, "", 2, {0x20, 0x20, 0x20, 0x20}},
        // Windows-1250, as a read decodes it, so a text written back stays the same.
        {kTypeText, "łó", 2, {0xB3, 0xF3, 0x20, 0x20}},
        {kTypeText, "a中", 1, {0x61, '?'}},
        // Above two registers, the bytes past the fourth stay zero.
        {kTypeFloat, "1,5", 3, {0x3F, 0xC0, 0x00, 0x00, 0x00, 0x00}},
        {kTypeInt, "1", 4, {0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}},
        // Fewer than two registers: only the payload is written.
        {kTypeFloat, "1,5", 0, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EncodeRegisters(c.type, U16(c.value), c.length), c.payload) << c.value << " type " << c.type;
}

TEST(EncodeRegisters, NumericValuesReadBackUnchanged) {
    const struct {
        int type;
        const char* value;
    } cases[] = {{kTypeReal, "-12,50"}, {kTypeFine, "3,1416"}, {kTypeFloat, "100,25"},
                 {kTypePrec, "0,00012207"}, {kTypeInt, "-300"}, {kTypeWord, "65534"}, {kTypeHex, "$ABC"}};
    for (const auto& c : cases) {
        const Bytes p = EncodeRegisters(c.type, U16(c.value), 2);
        EXPECT_EQ(ToUtf8(DecodeValue(c.type, 4, p.data())), c.value) << "type " << c.type;
    }
}

TEST(EncodeRegisters, Refusals) {
    EXPECT_EQ(ErrorOf([] { EncodeRegisters(kTypeReal, u"1.5", 2); }), "'1.5' is not a valid floating point value");
    EXPECT_EQ(ErrorOf([] { EncodeRegisters(kTypeFloat, u"1.5", 2); }), "'1.5' is not a valid floating point value");
    EXPECT_EQ(ErrorOf([] { EncodeRegisters(kTypeNone, u"1", 2); }), "nieznany typ rejestru");
    EXPECT_EQ(ErrorOf([] { EncodeRegisters(3, u"1", 2); }), "nieznany typ rejestru");
    EXPECT_EQ(ErrorOf([] { EncodeRegisters(kTypeWord, u"1", -1); }), "nieprawidłowa długość rejestru");
}

// The window's toolkit sets the C locale from the environment; a Polish one has a
// decimal comma. Conversions and formatting must not notice.
TEST(Locale, ConversionsIgnoreTheProcessLocale) {
    const auto results = [] {
        std::vector<std::u16string> out;
        for (const char16_t* t : {u"12,5", u"-0,001", u"3,4e38", u"1,1754943E-38", u"16777217", u"0,1"})
            out.push_back(FormatFixed(StrToFloat(t), 8));
        const uint8_t real[] = {0x00, 0x00, 0x41, 0x48};  // 12.5 as REAL
        out.push_back(DecodeValue(kTypeReal, 4, real));
        return out;
    };
    const std::vector<std::u16string> inC = results();
#ifdef _WIN32
    ASSERT_NE(std::setlocale(LC_ALL, "Polish_Poland.1250"), nullptr);
#else
    ASSERT_NE(std::setlocale(LC_ALL, "pl_PL.UTF-8"), nullptr) << "scripts/setup generates pl_PL.UTF-8";
#endif
    const std::vector<std::u16string> inPolish = results();
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(inC, inPolish);
    EXPECT_EQ(inC[0], u"12,50000000");
    EXPECT_EQ(inC[4], u"16777216,00000000");  // rounded once, to single precision
    EXPECT_EQ(inC[6], u"12,50");
    EXPECT_THROW(StrToFloat(u"12.5"), Error);
}
