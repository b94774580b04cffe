// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Builds register description files byte by byte for tests, without the
// program's own writer: every byte is placed by the test that wants it.
//
//   FileBytes f;
//   f.Magic(2).U32(1);                  // magic of version 2, one top-level node
//   f.Begin(1);                          // node chunk, size filled in by End()
//   f.Begin(2).Base2(0, 18, 0x81).End(); // base chunk without children
//   f.Begin(4).Str06("G").Empty12(6).End();
//   f.End();
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vyx::test {

class FileBytes {
public:
    // The magic: U+2045 'V' 'T' version unit4 U+2046 as UTF-16LE.
    FileBytes& Magic(uint16_t version, uint16_t unit4 = 0x0020);

    FileBytes& U8(uint8_t v);
    FileBytes& U16(uint16_t v);
    FileBytes& U32(uint32_t v);
    FileBytes& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
    // Bytes given as hexadecimal pairs, blanks ignored: "45 20 56 00".
    FileBytes& Hex(std::string_view hex);
    FileBytes& Raw(std::string_view bytes);

    // A chunk header with a size given by the caller.
    FileBytes& Header(int32_t type, int32_t size) { return I32(type).I32(size); }
    // A chunk header whose size End() sets to the bytes written after it.
    FileBytes& Begin(int32_t type);
    FileBytes& End();

    // Base chunk bodies: 17 bytes for version 2, 12 for versions 0 and 1.
    FileBytes& Base2(uint32_t children, uint32_t height, uint16_t states, uint8_t align = 50,
                     uint8_t checkState = 0, uint8_t checkType = 0);
    FileBytes& Base01(uint32_t children, uint32_t height, uint8_t states, uint8_t align = 50,
                      uint8_t checkState = 0, uint8_t checkType = 0);

    // String values in each form. Str06 and Str0C take the 8-bit bytes as they
    // stand (Windows-1250), Str14 the UTF-8 bytes as they stand.
    FileBytes& Str06(std::string_view bytes);
    FileBytes& Str0C(std::string_view bytes);
    FileBytes& Str12(std::u16string_view text);
    FileBytes& Str14(std::string_view bytes);
    // `count` empty form-12 strings (12 00 00 00 00 each).
    FileBytes& Empty12(int count);

    // A caption chunk with its header.
    FileBytes& Caption(std::u16string_view text);

    // A whole node without children: base chunk, user chunk with the seven
    // texts as form 12 strings, no caption.
    FileBytes& SimpleNode2(const std::u16string& name, uint16_t states = 0x81);

    size_t Size() const { return bytes_.size(); }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    std::vector<size_t> open_;
};

// Hexadecimal pairs to bytes, blanks ignored.
std::vector<uint8_t> HexBytes(std::string_view hex);

}  // namespace vyx::test
