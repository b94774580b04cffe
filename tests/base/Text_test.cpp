// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <utility>

#include "base/Text.h"

using namespace vyx;
using namespace std::string_literals;

namespace {

// What the system's iconv makes of one Windows-1250 byte; 0 when it refuses it.
char16_t IconvCp1250(unsigned char byte) {
    iconv_t cd = iconv_open("UTF-16LE", "CP1250");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* pin = in;
    char* pout = out;
    size_t inLeft = 1, outLeft = sizeof out;
    const size_t r = iconv(cd, &pin, &inLeft, &pout, &outLeft);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1)) return 0;
    return static_cast<char16_t>(static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8);
}

}  // namespace

TEST(Cp1250, UpperHalfMatchesIconv) {
    for (int b = 0x80; b <= 0xFF; ++b) {
        const char16_t expected = IconvCp1250(static_cast<unsigned char>(b));
        const char16_t got = Cp1250ToChar(static_cast<unsigned char>(b));
        if (expected == 0) {
            // Undefined in the code page: kept as the control character of that number.
            EXPECT_EQ(got, b) << "byte " << std::hex << b;
        } else {
            EXPECT_EQ(got, expected) << "byte " << std::hex << b;
        }
        EXPECT_EQ(CharToCp1250(got), b) << "round trip of byte " << std::hex << b;
    }
}

TEST(Cp1250, PolishLettersBothWays) {
    const std::u16string text = U16("zażółć gęślą jaźń ŁĄ");
    const std::string bytes = ToCp1250(text);
    EXPECT_EQ(bytes, "za\xBF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1 \xA3\xA5");
    EXPECT_EQ(FromCp1250(bytes), text);
}

TEST(Cp1250, MissingCharacterBecomesQuestionMark) {
    EXPECT_EQ(ToCp1250(u"a\u4E2Db\u00E9"), "a?b\xE9");
}

TEST(Utf8, RoundTripIncludingSurrogatePairs) {
    const std::string utf8 = "ł€\xF0\x9F\x98\x80x";
    const std::u16string u = FromUtf8(utf8);
    EXPECT_EQ(u, (std::u16string{u'\u0142', u'\u20AC', 0xD83D, 0xDE00, u'x'}));
    EXPECT_EQ(ToUtf8(u), utf8);
}

TEST(Utf8, InvalidSequencesBecomeReplacementCharacters) {
    const struct {
        std::string in;
        std::u16string out;
    } cases[] = {
        {"a\xFF" "b", u"a\uFFFDb"},
        {"\xC5", u"\uFFFD"},             // truncated at the end
        {"\xC5x", u"\uFFFDx"},           // continuation missing
        {"\xC0\x80", u"\uFFFD\uFFFD"},   // overlong lead is never valid
        {"\xED\xA0\x80", u"\uFFFD"},     // encoded surrogate
        {"\x80\x80", u"\uFFFD\uFFFD"},   // stray continuations
    };
    for (const auto& c : cases) EXPECT_EQ(FromUtf8(c.in), c.out) << c.in;
    EXPECT_EQ(ToUtf8(std::u16string{0xD800, u'a'}), "\xEF\xBF\xBD" "a");
}

TEST(Base64, PaddingAndHighBytes) {
    // Vectors from RFC 4648 and Python's base64 module.
    const std::pair<std::string, std::string> cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xff\x00\xfe\x80"s, "/wD+gA=="},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(Base64(bytes), text) << bytes;
}
