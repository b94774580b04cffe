// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary texts to the integer and decimal conversions and checks each
// against a small model of its accepted syntax, written here apart from the
// conversions themselves: a text is accepted exactly when the model accepts it,
// with the model's value. Each input byte is one UTF-16 code unit, so the
// fuzzer reaches every ASCII text quickly and some non-ASCII ones too.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Error.h"
#include "registers/RegData.h"
#include "base/Text.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& text) {
    std::fprintf(stderr, "Conversions_fuzz: %s for \"%s\"\n", what, text.c_str());
    std::abort();
}

bool Digit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool HexDigit(char16_t c) { return Digit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

// Integer syntax: spaces, a sign, then decimal digits within the 32-bit range,
// or "$", "x", "X", "0x" or "0X" and one to eight hexadecimal digits (a 32-bit
// pattern, negated by "-"); nothing else anywhere.
bool ModelInt(const std::u16string& t, int32_t& value) {
    size_t i = 0;
    while (i < t.size() && t[i] == u' ') ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
    const std::u16string rest = t.substr(i);
    std::u16string hex;
    if (rest.size() >= 2 && rest[0] == u'0' && (rest[1] == u'x' || rest[1] == u'X')) {
        hex = rest.substr(2);
    } else if (!rest.empty() && (rest[0] == u'$' || rest[0] == u'x' || rest[0] == u'X')) {
        hex = rest.substr(1);
    } else {
        if (rest.empty()) return false;
        std::string digits;
        for (char16_t c : rest) {
            if (!Digit(c)) return false;
            if (!digits.empty() || c != u'0') digits += static_cast<char>(c);
        }
        // Compare as decimal texts: no arithmetic that could overflow.
        const std::string limit = negative ? "2147483648" : "2147483647";
        if (digits.size() > limit.size() || (digits.size() == limit.size() && digits > limit)) return false;
        const long long v = digits.empty() ? 0 : std::stoll(digits);
        value = static_cast<int32_t>(negative ? -v : v);
        return true;
    }
    if (hex.empty() || hex.size() > 8) return false;
    uint32_t pattern = 0;
    for (char16_t c : hex) {
        if (!HexDigit(c)) return false;
        const uint32_t d = Digit(c) ? c - u'0' : (c | 0x20) - u'a' + 10;
        pattern = pattern * 16 + d;
    }
    value = static_cast<int32_t>(negative ? 0u - pattern : pattern);
    return true;
}

// Decimal syntax: spaces, a sign, digits, a comma and digits (at least one digit
// or the comma), an exponent letter with a sign and digits (the digits may be
// missing, then there is no exponent), spaces. Builds the C form for the value.
bool ModelFloat(const std::u16string& t, std::string& c) {
    size_t i = 0;
    const size_t n = t.size();
    while (i < n && t[i] == u' ') ++i;
    if (i < n && (t[i] == u'+' || t[i] == u'-')) {
        if (t[i] == u'-') c += '-';
        ++i;
    }
    size_t digits = 0;
    std::string mantissa;
    while (i < n && Digit(t[i])) mantissa += static_cast<char>(t[i++]), ++digits;
    bool comma = false;
    if (i < n && t[i] == u',') {
        comma = true;
        mantissa += '.';
        ++i;
        while (i < n && Digit(t[i])) mantissa += static_cast<char>(t[i++]), ++digits;
    }
    if (digits == 0 && !comma) return false;
    c += "0" + mantissa + (mantissa.back() == '.' ? "0" : "");
    if (i < n && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        std::string exponent;
        if (i < n && (t[i] == u'+' || t[i] == u'-')) exponent += static_cast<char>(t[i++]);
        size_t expDigits = 0;
        while (i < n && Digit(t[i])) exponent += static_cast<char>(t[i++]), ++expDigits;
        if (expDigits > 0) c += "e" + exponent;
    }
    while (i < n && t[i] == u' ') ++i;
    return i == n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    const std::u16string text(data, data + size);
    const std::string shown(data, data + size);

    int32_t expected = 0;
    const bool intOk = ModelInt(text, expected);
    try {
        const int32_t got = vyx::StrToInt(text);
        if (!intOk) Fail("integer accepted against the model", shown);
        if (got != expected) Fail("integer value differs from the model", shown);
    } catch (const vyx::Error& e) {
        if (intOk) Fail("integer refused against the model", shown);
        // what() ends at a NUL the text may hold.
        const std::string message = "'" + vyx::ToUtf8(text) + "' is not a valid integer value";
        if (std::string(e.what()) != message.substr(0, message.find('\0')))
            Fail("integer refusal without its message", shown);
    }

    std::string c;
    const bool floatOk = ModelFloat(text, c);
    try {
        const float got = vyx::StrToFloat(text);
        if (!floatOk) Fail("decimal accepted against the model", shown);
        // Rounded once, straight to single precision (never through a double).
        float f = 0;
        const auto [end, error] = std::from_chars(c.data(), c.data() + c.size(), f);
        if (end != c.data() + c.size()) Fail("model's C form does not parse", c);
        if (error == std::errc() && got != f && !(std::isnan(got) && std::isnan(f)))
            Fail("decimal value differs from the model", shown);
        if (error == std::errc::result_out_of_range && std::fabs(got) > 1e-30f)
            Fail("decimal beyond single range is not tiny", shown);
        if (std::isinf(got)) Fail("infinite decimal without overflow", shown);
    } catch (const vyx::Error& e) {
        if (!floatOk) return 0;
        float f = 0;
        double d = 0;
        const auto single = std::from_chars(c.data(), c.data() + c.size(), f);
        const auto wide = std::from_chars(c.data(), c.data() + c.size(), d);
        // Beyond the double range, only the direction is asked of the C library.
        const bool overflows = single.ec != std::errc::result_out_of_range ? std::isinf(f)
                               : wide.ec == std::errc::result_out_of_range
                                   ? std::isinf(std::strtod(c.c_str(), nullptr))
                                   : std::fabs(d) >= 1;
        if (!overflows || std::string(e.what()) != "Floating point overflow")
            Fail("decimal refused against the model", shown);
    }
    return 0;
}
