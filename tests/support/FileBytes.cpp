// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/FileBytes.h"

#include <stdexcept>

namespace vyx::test {
namespace {

int Nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw std::invalid_argument(std::string("not a hexadecimal digit: ") + c);
}

}  // namespace

std::vector<uint8_t> HexBytes(std::string_view hex) {
    std::vector<uint8_t> out;
    int high = -1;
    for (char c : hex) {
        if (c == ' ' || c == '\n' || c == '\t' || c == ',') continue;
        const int v = Nibble(c);
        if (high < 0) {
            high = v;
        } else {
            out.push_back(static_cast<uint8_t>(high * 16 + v));
            high = -1;
        }
    }
    if (high >= 0) throw std::invalid_argument("odd number of hexadecimal digits");
    return out;
}

FileBytes& FileBytes::Magic(uint16_t version, uint16_t unit4) {
    return U16(0x2045).U16(0x0056).U16(0x0054).U16(version).U16(unit4).U16(0x2046);
}

FileBytes& FileBytes::U8(uint8_t v) {
    bytes_.push_back(v);
    return *this;
}

FileBytes& FileBytes::U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }

FileBytes& FileBytes::U32(uint32_t v) {
    return U16(static_cast<uint16_t>(v)).U16(static_cast<uint16_t>(v >> 16));
}

FileBytes& FileBytes::Hex(std::string_view hex) {
    for (uint8_t b : HexBytes(hex)) U8(b);
    return *this;
}

FileBytes& FileBytes::Raw(std::string_view bytes) {
    for (char c : bytes) U8(static_cast<uint8_t>(c));
    return *this;
}

FileBytes& FileBytes::Begin(int32_t type) {
    I32(type);
    open_.push_back(bytes_.size());
    return U32(0);
}

FileBytes& FileBytes::End() {
    if (open_.empty()) throw std::logic_error("End() without Begin()");
    const size_t at = open_.back();
    open_.pop_back();
    const auto size = static_cast<uint32_t>(bytes_.size() - (at + 4));
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(size >> (8 * i));
    return *this;
}

FileBytes& FileBytes::Base2(uint32_t children, uint32_t height, uint16_t states, uint8_t align,
                            uint8_t checkState, uint8_t checkType) {
    return U32(children).U32(height).U16(states).U8(align).U8(checkState).U8(checkType).U32(0);
}

FileBytes& FileBytes::Base01(uint32_t children, uint32_t height, uint8_t states, uint8_t align,
                             uint8_t checkState, uint8_t checkType) {
    return U32(children).U32(height).U8(states).U8(align).U8(checkState).U8(checkType);
}

FileBytes& FileBytes::Str06(std::string_view bytes) {
    if (bytes.size() > 255) throw std::invalid_argument("form 06 holds at most 255 bytes");
    return U8(0x06).U8(static_cast<uint8_t>(bytes.size())).Raw(bytes);
}

FileBytes& FileBytes::Str0C(std::string_view bytes) {
    return U8(0x0C).U32(static_cast<uint32_t>(bytes.size())).Raw(bytes);
}

FileBytes& FileBytes::Str12(std::u16string_view text) {
    U8(0x12).U32(static_cast<uint32_t>(text.size()));
    for (char16_t c : text) U16(c);
    return *this;
}

FileBytes& FileBytes::Str14(std::string_view bytes) {
    return U8(0x14).U32(static_cast<uint32_t>(bytes.size())).Raw(bytes);
}

FileBytes& FileBytes::Empty12(int count) {
    for (int i = 0; i < count; ++i) Str12(u"");
    return *this;
}

FileBytes& FileBytes::Caption(std::u16string_view text) {
    Header(3, static_cast<int32_t>(2 * text.size()));
    for (char16_t c : text) U16(c);
    return *this;
}

FileBytes& FileBytes::SimpleNode2(const std::u16string& name, uint16_t states) {
    Begin(1);
    Begin(2).Base2(0, 18, states).End();
    Begin(4).Str12(name).Empty12(6).End();
    return End();
}

}  // namespace vyx::test
