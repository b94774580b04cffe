// SPDX-License-Identifier: GPL-3.0-or-later
#include "registers/RegData.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "base/Error.h"
#include "base/Text.h"

namespace vyx {
namespace {

std::string UpperAscii(std::string_view keyword) {
    std::string s(keyword);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

[[noreturn]] void NotInteger(std::u16string_view text) {
    throw Error("'" + ToUtf8(text) + "' is not a valid integer value");
}

[[noreturn]] void NotFloat(std::u16string_view text) {
    throw Error("'" + ToUtf8(text) + "' is not a valid floating point value");
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

uint32_t FloatBits(float f) { return std::bit_cast<uint32_t>(f); }

}  // namespace

int GetTypeCode(std::string_view keyword) {
    static const struct {
        const char* word;
        int code;
    } kTable[] = {{"WORD", kTypeWord}, {"INT", kTypeInt},     {"REAL", kTypeReal},
                  {"TEXT", kTypeText}, {"HEX", kTypeHex},     {"PREC", kTypePrec},
                  {"FLOAT", kTypeFloat}, {"FINE", kTypeFine}};
    const std::string up = UpperAscii(keyword);
    for (const auto& row : kTable)
        if (up == row.word) return row.code;
    return kTypeNone;
}

int GetAccessCode(std::string_view keyword) {
    const std::string up = UpperAscii(keyword);
    if (up == "RO") return kAccessRO;
    if (up == "RW") return kAccessRW;
    if (up == "RP") return kAccessRP;
    return kAccessGroup;
}

int GetTypeCode(std::u16string_view keyword) { return GetTypeCode(ToCp1250(keyword)); }
int GetAccessCode(std::u16string_view keyword) { return GetAccessCode(ToCp1250(keyword)); }

int32_t StrToInt(std::u16string_view text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == u' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    if (i >= n) NotInteger(text);

    bool hex = false;
    if (text[i] == u'$' || text[i] == u'x' || text[i] == u'X') {
        hex = true;
        ++i;
    } else if (text[i] == u'0' && i + 1 < n && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i >= n) NotInteger(text);

    if (hex) {
        if (n - i > 8) NotInteger(text);
        uint32_t v = 0;
        for (; i < n; ++i) {
            const int d = HexDigit(text[i]);
            if (d < 0) NotInteger(text);
            v = (v << 4) | static_cast<uint32_t>(d);
        }
        if (negative) v = 0u - v;
        return static_cast<int32_t>(v);
    }

    int64_t v = 0;
    for (; i < n; ++i) {
        if (!IsDigit(text[i])) NotInteger(text);
        v = v * 10 + (text[i] - u'0');
        if (v > int64_t{1} << 31) NotInteger(text);
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min())
        NotInteger(text);
    return static_cast<int32_t>(v);
}

namespace {

// Whether the magnitude of a number in C form ("-12.5e-3": sign, digits, point,
// digits, exponent) is at least 1, from its digits alone: the place of its first
// significant digit plus the exponent. Exact whatever the number's range.
bool AtLeastOne(const std::string& c) {
    size_t i = c.front() == '-' ? 1 : 0;
    long long place = 0;  // decimal place of the first significant digit (0: units)
    bool significant = false;
    long long integerDigits = 0;
    for (; i < c.size() && c[i] >= '0' && c[i] <= '9'; ++i)
        if (significant || c[i] != '0') significant = true, ++integerDigits;
    if (significant) place = integerDigits - 1;
    if (i < c.size() && c[i] == '.')
        for (++i, place = significant ? place : -1; i < c.size() && c[i] >= '0' && c[i] <= '9'; ++i) {
            if (significant) continue;
            if (c[i] != '0') significant = true;
            else --place;
        }
    if (!significant) return false;
    long long exponent = 0;
    if (i < c.size() && (c[i] == 'e' || c[i] == 'E')) {
        const bool negative = ++i < c.size() && c[i] == '-';
        if (i < c.size() && (c[i] == '-' || c[i] == '+')) ++i;
        // Beyond a billion the direction is all that counts.
        for (; i < c.size() && c[i] >= '0' && c[i] <= '9'; ++i) exponent = std::min(exponent * 10 + (c[i] - '0'), 1'000'000'000LL);
        if (negative) exponent = -exponent;
    }
    return place + exponent >= 0;
}

}  // namespace

float StrToFloat(std::u16string_view text) {
    // Checked here by the exact syntax, then converted from the C form straight to
    // single precision (rounded once), whatever the process locale says.
    std::string c;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == u' ') ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) c += static_cast<char>(text[i++]);
    bool mantissa = false;
    bool digitsBefore = false;
    while (i < n && IsDigit(text[i])) c += static_cast<char>(text[i++]), mantissa = digitsBefore = true;
    if (!digitsBefore) c += '0';
    if (i < n && text[i] == u',') {
        ++i;
        mantissa = true;
        c += '.';
        bool digitsAfter = false;
        while (i < n && IsDigit(text[i])) c += static_cast<char>(text[i++]), digitsAfter = true;
        if (!digitsAfter) c += '0';
    }
    if (!mantissa) NotFloat(text);
    if (i < n && (text[i] == u'E' || text[i] == u'e')) {
        ++i;
        std::string exp;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) exp += static_cast<char>(text[i++]);
        bool expDigits = false;
        while (i < n && IsDigit(text[i])) exp += static_cast<char>(text[i++]), expDigits = true;
        if (expDigits) c += "e" + exp;
    }
    while (i < n && text[i] == u' ') ++i;
    if (i != n) NotFloat(text);

    if (c.front() == '+') c.erase(0, 1);
    float f = 0;
    const auto [end, ec] = std::from_chars(c.data(), c.data() + c.size(), f);
    if (ec == std::errc::result_out_of_range) {
        // Too large for single precision is an overflow; too small rounds to zero.
        if (AtLeastOne(c)) throw Error("Floating point overflow");
        return c.front() == '-' ? -0.0f : 0.0f;
    }
    if (ec != std::errc() || end != c.data() + c.size()) NotFloat(text);
    if (std::isinf(f)) throw Error("Floating point overflow");
    return f;
}

std::u16string FormatFixed(double value, int decimals) {
    if (std::isnan(value)) return u"NAN";
    if (std::isinf(value)) return value < 0 ? u"-INF" : u"INF";

    // The exact decimal expansion of a double has at most 1074 fractional digits;
    // printing all of them lets the rounding below see true ties.
    const bool negative = std::signbit(value);
    const double mag = std::fabs(value);
    static thread_local char buf[1500];  // 309 integer digits, the point, 1100 decimals
    const auto printed = std::to_chars(buf, buf + sizeof buf, mag, std::chars_format::fixed, 1100);
    const std::string digits(buf, printed.ptr);

    const size_t point = digits.find('.');
    std::string intPart = digits.substr(0, point);
    std::string frac = digits.substr(point + 1);
    const bool roundUp = frac[static_cast<size_t>(decimals)] >= '5';
    frac.resize(static_cast<size_t>(decimals));
    std::string all = intPart + frac;
    if (roundUp) {
        size_t k = all.size();
        while (k > 0) {
            --k;
            if (all[k] == '9') {
                all[k] = '0';
            } else {
                ++all[k];
                break;
            }
            if (k == 0) all.insert(all.begin(), '1');
        }
    }
    const size_t intLen = all.size() - static_cast<size_t>(decimals);
    std::string out = all.substr(0, intLen);
    if (decimals > 0) {
        out.push_back(',');
        out.append(all, intLen, std::string::npos);
    }
    if (negative && all.find_first_not_of('0') != std::string::npos) out = '-' + out;
    return FromUtf8(out);
}

std::u16string FormatHex(uint16_t value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "$%02X", value);
    return FromUtf8(buf);
}

namespace {

// The data words as the register types lay them out.
uint16_t WordOf(const uint8_t* data, int k) { return static_cast<uint16_t>(data[k] << 8 | data[k + 1]); }
float SingleOf(uint8_t b3, uint8_t b2, uint8_t b1, uint8_t b0) {
    return std::bit_cast<float>(static_cast<uint32_t>(b3) << 24 | static_cast<uint32_t>(b2) << 16 |
                                static_cast<uint32_t>(b1) << 8 | b0);
}
// REAL and FINE come low word first, FLOAT and PREC high word first.
float FloatOf(int typeCode, const uint8_t* data) {
    return typeCode == kTypeReal || typeCode == kTypeFine ? SingleOf(data[2], data[3], data[0], data[1])
                                                          : SingleOf(data[0], data[1], data[2], data[3]);
}

}  // namespace

std::u16string DecodeValue(int typeCode, int n, const uint8_t* data) {
    switch (typeCode) {
        case kTypeWord:
            return n < 2 ? u"" : FromUtf8(std::to_string(WordOf(data, 0)));
        case kTypeInt:
            return n < 2 ? u"" : FromUtf8(std::to_string(static_cast<int16_t>(WordOf(data, 0))));
        case kTypeHex:
            return n < 2 ? u"" : FormatHex(WordOf(data, 0));
        case kTypeReal:
        case kTypeFine:
        case kTypeFloat:
        case kTypePrec: {
            if (n < 4) return u"";
            const int decimals = typeCode == kTypeFine ? 4 : typeCode == kTypePrec ? 8 : 2;
            return FormatFixed(FloatOf(typeCode, data), decimals);
        }
        case kTypeText: {
            std::u16string s;
            for (int k = 0; k < n && data[k] != 0; ++k) s += Cp1250ToChar(data[k]);
            return s;
        }
        default:
            return u"";
    }
}

std::optional<double> DecodeNumber(int typeCode, int n, const uint8_t* data) {
    switch (typeCode) {
        case kTypeWord:
        case kTypeHex:
            if (n < 2) return std::nullopt;
            return WordOf(data, 0);
        case kTypeInt:
            if (n < 2) return std::nullopt;
            return static_cast<int16_t>(WordOf(data, 0));
        case kTypeReal:
        case kTypeFine:
        case kTypeFloat:
        case kTypePrec: {
            if (n < 4) return std::nullopt;
            const float f = FloatOf(typeCode, data);
            if (!std::isfinite(f)) return std::nullopt;
            return f;
        }
        default:
            return std::nullopt;
    }
}

std::vector<uint8_t> EncodeSingleRegister(std::u16string_view value) {
    const int32_t v = StrToInt(value);
    if (v < -32768 || v > 65535) throw Error("wartość poza zakresem");
    const auto u = static_cast<uint16_t>(v);
    return {static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u & 0xFF)};
}

std::vector<uint8_t> EncodeRegisters(int typeCode, std::u16string_view value, int length) {
    if (length < 0) throw Error("nieprawidłowa długość rejestru");
    std::vector<uint8_t> p(static_cast<size_t>(2 * length), 0);
    uint32_t bits = 0;
    // Byte positions of V3..V0 (most significant first) in the payload.
    int order[4] = {0, 0, 0, 0};
    switch (typeCode) {
        case kTypeWord:
        case kTypeInt:
        case kTypeHex:
            bits = static_cast<uint32_t>(StrToInt(value));
            order[0] = 2, order[1] = 3, order[2] = 0, order[3] = 1;  // V1 V0 V3 V2
            break;
        case kTypeReal:
        case kTypeFine:
            bits = FloatBits(StrToFloat(value));
            order[0] = 2, order[1] = 3, order[2] = 0, order[3] = 1;  // F1 F0 F3 F2
            break;
        case kTypeFloat:
        case kTypePrec:
            bits = FloatBits(StrToFloat(value));
            order[0] = 0, order[1] = 1, order[2] = 2, order[3] = 3;  // F3 F2 F1 F0
            break;
        case kTypeText: {
            std::fill(p.begin(), p.end(), uint8_t{' '});
            const size_t k = std::min(value.size(), p.size());
            for (size_t i = 0; i < k; ++i) p[i] = CharToCp1250(value[i]);
            return p;
        }
        default:
            throw Error("nieznany typ rejestru");
    }
    for (int b = 0; b < 4; ++b) {
        const auto pos = static_cast<size_t>(order[b]);
        if (pos < p.size()) p[pos] = static_cast<uint8_t>(bits >> (8 * (3 - b)));
    }
    return p;
}

}  // namespace vyx
