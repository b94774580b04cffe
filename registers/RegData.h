// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The register record, the keyword tables that steer the program, the integer and
// decimal conversions every part uses to turn texts into numbers, and the value
// encodings between device bytes and display text.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vyx {

// One register or group of the device; seven wide texts in this order, also
// their order in a register description file.
struct TRegData {
    std::u16string Name;
    std::u16string Note;
    std::u16string Address;   // register number, decimal text
    std::u16string DataType;  // type keyword; "BIT" for a bit child, empty for a group
    std::u16string Length;    // number of 16-bit registers, decimal text
    std::u16string Access;    // access keyword; empty for a group
    std::u16string Value;     // value text, also the source of every write

    bool operator==(const TRegData&) const = default;
};

// Type codes (GetTypeCode) and access codes (GetAccessCode).
enum TypeCode : int {
    kTypeNone = 0,
    kTypeWord = 4,
    kTypeInt = 5,
    kTypeReal = 6,
    kTypeText = 7,
    kTypeHex = 10,
    kTypePrec = 11,
    kTypeFloat = 12,
    kTypeFine = 13,
};
enum AccessCode : int { kAccessGroup = 0, kAccessRO = 1, kAccessRW = 16, kAccessRP = 17 };

// Keywords as 8-bit text; only a..z are upper-cased before an exact comparison.
int GetTypeCode(std::string_view keyword);
int GetAccessCode(std::string_view keyword);
// The same for the record's wide keywords (converted to 8-bit text first).
int GetTypeCode(std::u16string_view keyword);
int GetAccessCode(std::u16string_view keyword);

// Integer conversion: optional leading spaces, optional sign, then decimal digits
// (must fit a signed 32-bit integer) or a hexadecimal number after "$", "x", "X",
// "0x" or "0X" (at most 8 digits, taken as a 32-bit pattern); nothing may follow.
// Throws Error("'<text>' is not a valid integer value").
int32_t StrToInt(std::u16string_view text);

// Decimal conversion with the decimal comma: optional leading spaces, optional
// sign, digits with an optional "," and more digits (at least one digit or the
// comma), an optional exponent ("E"/"e", optional sign, optional digits), optional
// trailing spaces. Rounded to single precision.
// Throws Error("'<text>' is not a valid floating point value") or
// Error("Floating point overflow").
float StrToFloat(std::u16string_view text);

// Fixed-point text with exactly `decimals` decimals and the decimal comma, rounded
// half away from zero on the value's exact decimal expansion. Non-finite values
// show as "NAN", "INF", "-INF".
std::u16string FormatFixed(double value, int decimals);

// "$" and the upper-case hexadecimal digits of a 16-bit value, at least two.
std::u16string FormatHex(uint16_t value);

// The value text of a read reply: `data` are the n data bytes that follow the
// reply's byte-count field, each register high byte first. A type without a
// decoding, or fewer bytes than the type needs, gives the empty text.
std::u16string DecodeValue(int typeCode, int n, const uint8_t* data);
// The number of a read reply, from the same bytes: exact for WORD, INT and HEX,
// the float's own value for REAL, FINE, FLOAT and PREC (not rounded to the
// decimals the text shows). None for TEXT, another type, too few bytes, or a
// float that is not finite.
std::optional<double> DecodeNumber(int typeCode, int n, const uint8_t* data);

// The register value of a single-register write, high byte first. Refuses values
// outside -32768..65535 with Error("wartość poza zakresem").
std::vector<uint8_t> EncodeSingleRegister(std::u16string_view value);

// The payload of a multi-register write: exactly 2 x length bytes in wire order.
// Numeric types fill the first four bytes and leave the rest zero; TEXT fills with
// the Windows-1250 bytes of the value, padded with spaces and cut at 2 x length.
// A type code without an encoding throws Error("nieznany typ rejestru").
std::vector<uint8_t> EncodeRegisters(int typeCode, std::u16string_view value, int length);

}  // namespace vyx
