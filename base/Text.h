// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text at the edges of the program. Inside, register texts are UTF-16
// (std::u16string) and messages UTF-8 (std::string); 8-bit texts on the wire and in
// files are Windows-1250. These are the only conversions between them.
#include <filesystem>
#include <string>
#include <string_view>

namespace vyx {

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16. Each invalid or truncated sequence becomes one U+FFFD.
std::u16string FromUtf8(std::string_view bytes);

// Windows-1250 bytes to UTF-16. The five bytes the code page leaves undefined
// (81, 83, 88, 90, 98) map to the control characters of the same number, so
// nothing read is lost.
std::u16string FromCp1250(std::string_view bytes);
char16_t Cp1250ToChar(unsigned char byte);

// UTF-16 to Windows-1250. A character the code page lacks becomes '?'.
std::string ToCp1250(std::u16string_view text);
unsigned char CharToCp1250(char16_t ch);

// File names held as UTF-8 text (arguments, messages) and the paths of the
// system. On Windows a path is UTF-16 and a plain std::string would be taken in
// the ANSI code page, which loses letters outside it; these never do.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

// Convenience for literals and messages.
// Bytes as base64 text (the standard alphabet, '=' padded), e.g. to carry an
// image inside a document.
std::string Base64(std::string_view bytes);

inline std::u16string U16(std::string_view utf8) { return FromUtf8(utf8); }

}  // namespace vyx
